#!/usr/bin/env bash
# Builds in Release and runs the mailbox benchmark against a private Dovecot
# on loopback; writes bench/results.md. Options go to mailbox_bench.py
# (e.g. --sizes 1000,10000 --delays 0,10 --runs 3 --no-peers; --only-command-line
# times purgelet --list beside the floor into its own section).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
command -v mpop >/dev/null || { apt-get update; DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends mpop; }
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPURGELET_TESTS=OFF >/dev/null
cmake --build "$root/build-release" -j2 --target bench_mailbox bench_wire_floor purgelet
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
state="$root/build-release/bench-server"
. "$root/scripts/lib/xsession.sh"
trap 'xs_stop; bash "$root/tests/fixtures/dovecot.sh" stop "$state"' EXIT
bash "$root/tests/fixtures/dovecot.sh" start "$state" --no-tls
xs_start   # the window is measured on a real X display
python3 "$root/bench/mailbox_bench.py" "$root/build-release/bin" "$state" "$@"
