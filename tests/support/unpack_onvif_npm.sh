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
rm -rf "$folder/node_modules/onvif" "$folder/package"
mkdir -p "$folder/node_modules/onvif"
tar -xzf "$kept/onvif-0.8.1.tgz" -C "$folder"
tar -xzf "$kept/onvif-0.8.3.tgz" -C "$folder/node_modules/onvif" --strip-components=1
