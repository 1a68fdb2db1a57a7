#!/usr/bin/env bash
# Checks every quoted include of the programmer and the board against the
# folder layers (docs/DESIGN.md, "Layers"): a folder may include its own
# headers and those of the folders below it in its stack, never one above
# it or one of the other stack. Then checks that no two source files include
# each other round a circle (a file and its header count as one). Prints
# each fault and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
stacks=("runtime serial boot transfer onchip fast app" "sim/cpu sim/board sim/h8board")

declare -A stack_of level_of folder_of
for s in "${!stacks[@]}"; do
  level=0
  for folder in ${stacks[$s]}; do
    stack_of[$folder]=$s level_of[$folder]=$level
    level=$((level + 1))
    for header in $(find "$folder" -maxdepth 1 -name '*.h'); do folder_of[$(basename "$header")]=$folder; done
  done
done

faults=0 edges=""
for folder in "${!stack_of[@]}"; do
  while IFS=: read -r file _ header; do
    header=${header#*\"} header=${header%\"*}
    target=${folder_of[$header]:-}
    [ -n "$target" ] || continue  # not one of ours (a system header)
    if [ "${stack_of[$target]}" != "${stack_of[$folder]}" ] || [ "${level_of[$target]}" -gt "${level_of[$folder]}" ]; then
      echo "layers: $file includes $target/$header, which is above $folder or outside its stack"
      faults=1
    fi
    from=${file%.*} to=$target/${header%.h}
    [ "$from" = "$to" ] || edges+="$from $to"$'\n'
  done < <(grep -n '^#include "' $(find "$folder" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \)) /dev/null)
done

# tsort names the files of each circle it meets.
if ! circle=$(tsort <<<"$edges" 2>&1 >/dev/null) || [ -n "$circle" ]; then
  echo "layers: include circle: $(grep -v 'input contains a loop' <<<"$circle" | sed 's/^tsort: //' | tr '\n' ' ')"
  faults=1
fi
[ $faults -eq 0 ] && echo "layers: every include goes down"
exit $faults
