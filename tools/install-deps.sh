#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo, the Windows header check and the
# Debian package with its checks need, only those missing.
set -euo pipefail

packages=(qtbase5-dev libqt5svg5-dev zlib1g-dev libisal-dev cmake ninja-build lld g++ make python3
          xvfb xauth xdotool openssl g++-mingw-w64-x86-64
          dpkg-dev file pkexec desktop-file-utils appstream)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
