#!/usr/bin/env bash
# Builds the packages and checks them:
#   build/packages/korvel_<version>_amd64.deb and h8board_<version>_amd64.deb:
#     lintian finds no error or warning; both are installed into this machine
#     with dpkg -i, then "korvel --version" must run from PATH, and the
#     installed korvel must program a file into the installed h8board;
#   build-arm64/packages/korvel_<version>_arm64.deb and
#   build-armhf/packages/korvel_<version>_armhf.deb: lintian clean, the same
#     files as the amd64 package, their architecture, the C and C++ runtime
#     as dependencies, and their korvel answers --version under qemu;
#   build-win/packages/korvel-<version>-win64.zip: must hold korvel.exe
#     (static: no DLLs but Windows' own) and the README.
# With KORVEL_WEB_BUILD=DIR (a WebAssembly build with korvel-web built, e.g.
# build-web) every .deb also holds the browser page in /usr/share/korvel/web/.
# Unset, it is build-web when tools/run_tests.sh has built korvel-web there;
# set empty, the packages hold no page.
# dpkg -i runs as root (through sudo for another user).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${JOBS:-2}"
if [ -z "${KORVEL_WEB_BUILD+set}" ] && [ -f "$root/build-web/app/korvel-web.js" ]; then
  KORVEL_WEB_BUILD="$root/build-web"
fi
if [ -n "${KORVEL_WEB_BUILD:-}" ]; then
  web=(-DKORVEL_WEB_BUILD="$(cd "$KORVEL_WEB_BUILD" && pwd)")
else
  web=(-DKORVEL_WEB_BUILD=)
fi
"$root/tools/install_deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -z "${board:-}" ] || kill "$board" 2>/dev/null || true' EXIT

# debs DIR: a fresh cpack in DIR; prints the .deb files it made.
debs() {
  rm -rf "$1/packages"
  (cd "$1" && cpack -G DEB >/dev/null)
  ls "$1"/packages/*.deb
}
# lint DEB...: lintian, with its warnings counted as failures.
lint() { lintian --allow-root --fail-on error,warning "$@"; }
files() { dpkg-deb --contents "$1" | awk '{print $6}'; }

echo "== Debian packages (amd64)"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${web[@]}" >/dev/null
cmake --build "$root/build" -j "$jobs" --target korvel h8board
debs "$root/build" >/dev/null
deb=$(ls "$root"/build/packages/korvel_*_amd64.deb)
board_deb=$(ls "$root"/build/packages/h8board_*_amd64.deb)
for package in "$deb" "$board_deb"; do
  dpkg-deb --info "$package" | grep -E 'Package|Version|Architecture|Depends'
  dpkg-deb --contents "$package"
done
lint "$deb" "$board_deb"
changelog=$(dpkg-parsechangelog -l "$root/docs/changelog" -S Version)
[ "$changelog" = "$(dpkg-deb --field "$deb" Version)" ] || { echo "docs/changelog is at $changelog"; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo dpkg -i "$deb" "$board_deb"
hash -r
version=$(cd / && korvel --version)
echo "$(command -v korvel): $version"
[[ "$version" == "korvel 0.3 (built "* ]] || { echo "unexpected: $version"; exit 1; }
for page in korvel h8board; do
  [ -f "/usr/share/man/man1/$page.1.gz" ] && [ -f "/usr/share/doc/$page/copyright" ]
done
[ -f /usr/share/doc/korvel/README.md ]
if [ -n "${KORVEL_WEB_BUILD:-}" ]; then
  for page in index.html style.css korvel-page.js korvel-web.js korvel-web.wasm; do
    [ -f "/usr/share/korvel/web/$page" ] || { echo "the package lacks /usr/share/korvel/web/$page"; exit 1; }
  done
fi
# The installed programs, as a user would run them: korvel against h8board.
printf 'S1130100000102030405060708090A0B0C0D0E0F73\r\nS9030100FB\r\n' >"$work/app.mot"
h8board --link "$work/line" --out "$work/flash.bin" --timeout 60 >/dev/null 2>"$work/board.err" &
board=$!
for _ in $(seq 100); do [ -e "$work/line" ] && break; sleep 0.1; done
(cd "$work" && korvel "$work/line" app.mot >"$work/run.out" 2>/dev/null)
wait "$board" || { cat "$work/board.err"; exit 1; }
board=""
tail -c 12 "$work/run.out" | grep -q "Success" || { cat "$work/run.out" "$work/board.err"; exit 1; }
cmp <(head -c 272 "$work/flash.bin" | tail -c 16) <(printf '\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17') ||
  { echo "h8board's flash does not hold the file"; exit 1; }
echo "installed korvel programmed the installed h8board: $(cat "$work/board.err")"

# ARM: the same package from the cross builds, its korvel run under qemu.
for arch in arm64 armhf; do
  echo "== Debian package ($arch)"
  case $arch in
    arm64) triplet=aarch64-linux-gnu qemu=qemu-aarch64 ;;
    armhf) triplet=arm-linux-gnueabihf qemu=qemu-arm ;;
  esac
  dir="$root/build-$arch"
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$triplet.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVEL_BUILD_TESTS=OFF "${web[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs" --target korvel
  arm_deb=$(debs "$dir")
  [ "$(basename "$arm_deb")" = "$(basename "$deb" _amd64.deb)_$arch.deb" ] || { echo "unexpected: $arm_deb"; exit 1; }
  dpkg-deb --info "$arm_deb" | grep -E 'Package|Version|Architecture|Depends'
  [ "$(dpkg-deb --field "$arm_deb" Architecture)" = "$arch" ]
  [[ "$(dpkg-deb --field "$arm_deb" Depends)" =~ ^libc6\ \(\>=\ [0-9.]+\),\ libgcc-s1.*libstdc\+\+6 ]] ||
    { echo "$arm_deb: unexpected Depends"; exit 1; }
  diff <(files "$deb") <(files "$arm_deb") || { echo "$arm_deb holds other files than $deb"; exit 1; }
  lint "$arm_deb"
  rm -rf "$work/$arch" && dpkg-deb -x "$arm_deb" "$work/$arch"
  arm_version=$("$qemu" -L "/usr/$triplet" "$work/$arch/usr/bin/korvel" --version)
  echo "$qemu: $arm_version"
  [[ "$arm_version" == "korvel 0.3 (built "* ]] || { echo "unexpected: $arm_version"; exit 1; }
done

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
echo "packages ok: $(cd "$root" && ls build/packages/*.deb build-arm64/packages/*.deb build-armhf/packages/*.deb \
  build-win/packages/*.zip | xargs -n1 basename | tr '\n' ' ')"
