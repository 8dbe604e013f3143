#!/usr/bin/env bash
# Makes the README pictures: the window after "Check Mails" on the demo
# mailbox, the spam checked by the demo's rules, one of them previewed,
# at 100% and at 200% scale.
#   scripts/screenshot.sh [output.png]   (the 200% one goes beside it, "-200")
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshot.png}"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target purgelet
cp tests/fixtures/demo-filters.txt build/bin/filters.txt
. scripts/lib/xsession.sh

server=build/screenshot-server
bash tests/fixtures/dovecot.sh start "$server" --no-tls
trap 'xs_stop; bash tests/fixtures/dovecot.sh stop "$server"' EXIT
. "$server/env"

xs_start
mkdir -p "$(dirname "$out")"
for scale in 1 2; do
    export QT_SCALE_FACTOR=$scale
    xs_launch build/bin/purgelet
    xs_log_in "127.0.0.1:$PURGELET_POP3_PORT" demo "$PURGELET_FIXTURE_PASSWORD"
    xs_press_check_mails
    sleep 4
    xs_click_line 1
    file="$out"; [ "$scale" = 1 ] || file="${out%.png}-200.png"
    xs_shot "$file"
    kill "$xs_app_pid"; wait "$xs_app_pid" 2>/dev/null || true; xs_app_pid=""
    echo "wrote $file"
done
