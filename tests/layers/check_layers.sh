#!/usr/bin/env bash
# Every include and every link between the folders of src/ points down the
# layers. bits, regex, forms and protocol each sit on base, side by side;
# device on protocol; wizard on device, forms, bits and regex (and the wire
# constants of protocol); desktop on wizard; the simulator (camd) on protocol
# and the terminal search (cli) on device. A folder may use itself and what
# its line allows, nothing else: the table allows only what the code uses.
# LINKS lists "folder target linked-folder linked-target", one link a line.
set -euo pipefail
usage="usage: check_layers.sh SRC_DIR LINKS"
src=${1:?$usage} links=${2:?$usage}
declare -A allowed=(
  [base]="base"
  [bits]="base bits"
  [regex]="base regex"
  [forms]="base forms"
  [protocol]="base protocol"
  [device]="base protocol device"
  [wizard]="base bits regex forms protocol device wizard"
  [desktop]="base bits regex forms device wizard desktop"
  [camd]="base protocol camd"
  [cli]="base device cli"
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
[ -s "$links" ] || { echo "layers: no links listed in $links" >&2; exit 1; }
while read -r from target to library; do
  case " ${allowed[$from]:-} " in
    *" $to "*) ;;
    *) echo "layers: $target (src/$from) links $library (src/$to) (src/$from may use: ${allowed[$from]:-nothing})" >&2; status=1 ;;
  esac
done <"$links"
[ "$status" -eq 0 ] && echo "layers: every include and link in $src points down"
exit "$status"
