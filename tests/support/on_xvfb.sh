#!/usr/bin/env bash
# Runs a program on a private Xvfb server that picks a free display itself, so that runs at
# the same time never share a display or race for one.
set -uo pipefail

folder=$(mktemp -d)
mkfifo "$folder/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$folder/display" 2>"$folder/server.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$folder"' EXIT

if ! read -r display <"$folder/display" || [ -z "$display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$folder/server.log" >&2
    exit 1
fi
DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
