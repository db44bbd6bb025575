#!/usr/bin/env bash
# Fetches npm's onvif 0.8.1 (its recorded device answers are the ONVIF
# readers' fixtures) into the folder given, once; installs npm when missing.
set -euo pipefail
dest=$1
[ -d "$dest/package/test/serverMockup" ] && exit 0
if ! command -v npm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q nodejs npm >/dev/null
fi
mkdir -p "$dest"
cd "$dest"
npm pack --silent onvif@0.8.1 >/dev/null
tar xzf onvif-0.8.1.tgz
