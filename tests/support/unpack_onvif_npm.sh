#!/usr/bin/env bash
# Unpacks npm's onvif, kept in tests/third_party/npm, into FOLDER once:
# 0.8.3 as FOLDER/node_modules/onvif (the client, for NODE_PATH) and 0.8.1 as
# FOLDER/package (its recorded device answers, under package/test/serverMockup).
#
#   unpack_onvif_npm.sh FOLDER
set -euo pipefail
folder=${1:?usage: unpack_onvif_npm.sh FOLDER}
kept=$(cd "$(dirname "$0")/../third_party/npm" && pwd)
[ -f "$folder/node_modules/onvif/package.json" ] && [ -d "$folder/package/test/serverMockup" ] && exit 0
# The kept releases are the ones published (tests/third_party/npm/README.md).
(cd "$kept" && sha256sum --quiet -c - <<'SUMS'
feaab0c7c1147bac73be25d15993e6484200887dc69d6170a39a3c4e3f1baf1f  onvif-0.8.1.tgz
65ec5f4984a8500cecbdff0da70774750dbb592a15e315d163a6b3201c9a6c36  onvif-0.8.3.tgz
SUMS
)
rm -rf "$folder/node_modules/onvif" "$folder/package"
mkdir -p "$folder/node_modules/onvif"
tar -xzf "$kept/onvif-0.8.1.tgz" -C "$folder"
tar -xzf "$kept/onvif-0.8.3.tgz" -C "$folder/node_modules/onvif" --strip-components=1
