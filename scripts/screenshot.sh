#!/usr/bin/env bash
# Makes the README picture: the window after "Check Mails" on the demo
# mailbox, the spam checked by the sample rule file, one of them previewed.
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
xs_log_in "127.0.0.1:$PURGELET_POP3_PORT" demo "$PURGELET_FIXTURE_PASSWORD"
xs_press_check_mails
sleep 4
xs_click_line 1
mkdir -p "$(dirname "$out")"
xs_shot "$out"
echo "wrote $out"
