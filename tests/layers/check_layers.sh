#!/usr/bin/env bash
# Every include between the folders of src/ points down the layers:
#   base < bits, regex < forms < protocol < device < wizard < desktop
# with the simulator (camd) on protocol and the terminal search (cli) on
# device. A folder may include itself and what its line allows, nothing else.
set -euo pipefail
src=${1:?usage: check_layers.sh SRC_DIR}
declare -A allowed=(
  [base]="base"
  [bits]="base bits"
  [regex]="base regex"
  [forms]="base forms"
  [protocol]="base protocol"
  [device]="base forms protocol device"
  [wizard]="base bits regex forms protocol device wizard"
  [desktop]="base bits regex forms protocol device wizard desktop"
  [camd]="base protocol camd"
  [cli]="base protocol device cli"
)
status=0
for folder in "$src"/*/; do
  name=$(basename "$folder")
  if [ -z "${allowed[$name]+set}" ]; then
    echo "layers: src/$name has no place in the layers" >&2
    status=1
    continue
  fi
  while IFS=: read -r file line target; do
    to=${target%%/*}
    case " ${allowed[$name]} " in
      *" $to "*) ;;
      *) echo "layers: ${file#"$src"/}:$line includes $target (src/$name may use: ${allowed[$name]})" >&2; status=1 ;;
    esac
  done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$folder" | sed -E 's/#include "([^"]+)"/\1/')
done
[ "$status" -eq 0 ] && echo "layers: every include in $src points down"
exit "$status"
