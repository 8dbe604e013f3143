#!/usr/bin/env bash
# Makes the README picture: the window after "Check Mails" on the demo
# mailbox, with the spam checked by the sample rule file.
#   scripts/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot.png}"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target purgelet
. scripts/lib/xsession.sh

server=build/screenshot-server
bash tests/fixtures/dovecot.sh start "$server" --no-tls
trap 'xs_stop; bash tests/fixtures/dovecot.sh stop "$server"' EXIT
. "$server/env"

xs_start
xs_launch build/bin/purgelet
# Positions inside the window: host, user and password boxes, "Check Mails".
xs_type_into 150 25 "127.0.0.1:$PURGELET_POP3_PORT"
xs_type_into 150 49 demo
xs_type_into 150 73 "$PURGELET_FIXTURE_PASSWORD"
xs_click 296 28
sleep 4
mkdir -p "$(dirname "$out")"
xs_shot "$out"
echo "wrote $out"
