#!/usr/bin/env bash
# Sets up, builds, starts the demo mailbox on loopback and opens the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target purgelet
# The demo's own rules, which check its spam; the shipped sample checks nothing.
cp tests/fixtures/demo-filters.txt build/bin/filters.txt
bash tests/fixtures/dovecot.sh start build/demo-server --no-tls
. build/demo-server/env
echo "Demo mailbox: host 127.0.0.1:$PURGELET_POP3_PORT  user demo  password $PURGELET_FIXTURE_PASSWORD"
echo "The window opens with host and user filled in: type the password and press Check Mails."
export PURGELET_PRESET_HOST="127.0.0.1:$PURGELET_POP3_PORT" PURGELET_PRESET_USER=demo
trap 'bash tests/fixtures/dovecot.sh stop build/demo-server' EXIT
trap 'exit 130' INT TERM
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then exec_cmd=(xvfb-run -a); else exec_cmd=(); fi
"${exec_cmd[@]}" build/bin/purgelet
