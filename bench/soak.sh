#!/usr/bin/env bash
# 20 rounds of "Check Mails" and "Delete Now on Server" on a mailbox of 5,000
# messages in a private Dovecot; prints the resident memory after each round.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cycles="${1:-20}" size="${2:-5000}"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPURGELET_TESTS=OFF >/dev/null
cmake --build "$root/build-release" -j2 --target bench_mailbox
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
state="$root/build-release/soak-server"
bash "$root/tests/fixtures/dovecot.sh" start "$state" --no-tls >/dev/null
trap 'bash "$root/tests/fixtures/dovecot.sh" stop "$state"' EXIT
bash "$root/tests/fixtures/dovecot.sh" add-user "$state" soak --generated "$size"
sleep 1.2
. "$state/env"
QT_QPA_PLATFORM=offscreen "$root/build-release/bin/bench_mailbox" "127.0.0.1:$PURGELET_POP3_PORT" soak \
    "$PURGELET_FIXTURE_PASSWORD" --soak "$cycles"
