#!/usr/bin/env bash
# Builds the two packages and checks them:
#   build/packages/korvel_<version>_amd64.deb: installed into this machine
#     with dpkg -i, then "korvel --version" must run from PATH;
#   build-win/packages/korvel-<version>-win64.zip: must hold korvel.exe
#     (static: no DLLs but Windows' own) and the README.
# dpkg -i runs as root (through sudo for another user).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
"$root/tools/install_deps.sh"

echo "== Debian package"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$jobs" --target korvel
rm -rf "$root/build/packages"
(cd "$root/build" && cpack -G DEB >/dev/null)
deb=$(ls "$root"/build/packages/korvel_*_amd64.deb)
dpkg-deb --info "$deb" | grep -E 'Package|Version|Depends'
dpkg-deb --contents "$deb"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo dpkg -i "$deb"
hash -r
version=$(cd / && korvel --version)
echo "$(command -v korvel): $version"
[[ "$version" == "korvel 0.3 (built "* ]] || { echo "unexpected: $version"; exit 1; }
[ -f /usr/share/doc/korvel/README.md ] && [ -f /usr/share/man/man1/korvel.1 ]

echo "== Windows zip"
cmake -S "$root" -B "$root/build-win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-win" -j "$jobs" --target korvel
rm -rf "$root/build-win/packages"
(cd "$root/build-win" && cpack -G ZIP >/dev/null)
zip=$(ls "$root"/build-win/packages/korvel-*-win64.zip)
listing=$(unzip -l "$zip")
echo "$listing"
for member in korvel.exe README.md; do
  grep -qE " korvel-[^/]+/$member\$" <<<"$listing" || { echo "$zip lacks $member"; exit 1; }
done
dlls=$(x86_64-w64-mingw32-objdump -p "$root/build-win/app/korvel.exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z')
if grep -qvE '^(kernel32|advapi32|msvcrt|winmm)\.dll$' <<<"$dlls"; then
  echo "korvel.exe needs DLLs beyond Windows' own:" $dlls
  exit 1
fi
echo "packages ok: $(basename "$deb"), $(basename "$zip")"
