#!/usr/bin/env bash
# Runs one fuzz target for a bounded time from its saved inputs.
#   run_fuzzer.sh TARGET CORPUS_DIR REGRESSIONS_DIR WORK_DIR SECONDS
# New inputs go to WORK_DIR, never into the source tree. A crash leaves its
# input in WORK_DIR/artifacts; copy it to REGRESSIONS_DIR to keep it as a test.
set -euo pipefail
target="$1" corpus="$2" regressions="$3" work="$4" seconds="$5"
mkdir -p "$work/corpus" "$work/artifacts"
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=200000 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$corpus" "$regressions" 2>"$work/log" || {
    tail -40 "$work/log"
    echo "fuzz target failed; reproducer: $(ls "$work/artifacts" | head -1)"
    exit 1
}
grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/log"
echo "corpus now $(ls "$work/corpus" | wc -l) inputs"
