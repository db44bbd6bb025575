#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on Debian 12 (as root).
# The configure requires every one of them (cmake/Dependencies.cmake); Qt's
# HttpServer package needs the WebSockets one to be found at all. The real
# ONVIF clients of the test suite are Debian's onvif-tools and npm's onvif
# package (kept in tests/third_party/npm), run by Debian's nodejs with
# Debian's xml2js. The real ONVIF device of the test suite (onvif_simple_server,
# built from tests/third_party) needs patch, libtomcrypt, json-c, zlib,
# lighttpd and curl. The temporary address a camera is reached through is added
# and removed with libmnl.
set -euo pipefail
packages=(
  cmake g++ clang libclang-rt-14-dev make pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev libpcre2-dev
  qt6-base-dev qt6-httpserver-dev qt6-websockets-dev qt6-qpa-plugins libgl-dev libxkbcommon-dev
  iproute2 procps xvfb xauth openbox xdotool x11-utils python3 time onvif-tools nodejs node-xml2js
  libtomcrypt-dev libjson-c-dev zlib1g-dev lighttpd curl patch
  libmnl-dev
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  apt-get update
  # Debian's maintainer scripts would start lighttpd on port 80 of this host:
  # a policy-rc.d that refuses every start keeps any daemon from starting.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi
