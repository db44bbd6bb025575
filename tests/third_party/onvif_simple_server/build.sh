#!/usr/bin/env bash
# Builds the ONVIF test device from the pinned upstream source and lays it
# out in OUT the way start-device.sh runs it:
#   OUT/bin/wsd_simple_server       WS-Discovery daemon
#   OUT/www/onvif/                  the ONVIF CGI, its templates, the CGI wrapper
#   OUT/hooks/onvif-hook.py         records requests and changes, applies them
#   OUT/etc/                        the device's identity and discovery templates
#   OUT/start-device.sh, stop-device.sh
#
#   build.sh OUT
#
# The fixture patch is applied before anything is compiled: upstream's
# SystemReboot calls reboot(2), which as root restarts the whole machine even
# from inside a network namespace. Never run an unpatched build as root.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:?usage: build.sh OUT}

missing=()
for tool in cc make patch lighttpd python3 curl setpriv nsenter ip; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
for header in tomcrypt.h json-c/json.h zlib.h; do
  echo "#include <$header>" | cc -E -x c - >/dev/null 2>&1 || missing+=("<$header>")
done
[ -f /usr/lib/lighttpd/mod_cgi.so ] || missing+=("lighttpd's mod_cgi")
if [ ${#missing[@]} -gt 0 ]; then
  echo "onvif test device: missing ${missing[*]} (run scripts/install-deps.sh)" >&2
  exit 1
fi

src=$out/src
rm -rf "$src"
mkdir -p "$src"
tar -xzf "$here/onvif_simple_server-c0d58e8.tar.gz" -C "$src" --strip-components=1
patch -s -d "$src" -p1 < "$here/onvif_simple_server-fixture.patch"
grep -q 'reboot(RB_AUTOBOOT)' "$src/utils.c" && { echo "onvif test device: reboot(2) still in the source" >&2; exit 1; }
# its own make, apart from the jobserver of a build that runs this script
env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -C "$src" onvif_simple_server wsd_simple_server >/dev/null

rm -rf "$out/bin" "$out/www" "$out/hooks" "$out/etc"
mkdir -p "$out/bin" "$out/www/onvif" "$out/hooks" "$out/etc"
cp "$src/wsd_simple_server" "$out/bin/"
cp "$src/onvif_simple_server" "$out/www/onvif/"
for d in device_service_files deviceio_service_files events_service_files generic_files \
         media_service_files media2_service_files ptz_service_files; do
  cp -r "$src/$d" "$out/www/onvif/"
done
cp -r "$src/wsd_files" "$out/etc/wsd_simple_server"
install -m 755 "$here/cgi-wrapper.sh" "$out/www/onvif/cgi-wrapper.sh"
for s in device_service media_service media2_service ptz_service events_service deviceio_service; do
  ln -sfn cgi-wrapper.sh "$out/www/onvif/$s"
done
install -m 755 "$here/onvif-hook.py" "$out/hooks/onvif-hook.py"
install -m 644 "$here/onvif_simple_server.conf" "$out/etc/onvif_simple_server.conf"
install -m 755 "$here/start-device.sh" "$here/stop-device.sh" "$out/"
mkdir -p "$out/run"
touch "$out/built"
