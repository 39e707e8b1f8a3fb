#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a bounded time: scripts/fuzz.sh [seconds per target].
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/install-deps.sh
bash scripts/build.sh fuzz
shopt -s nullglob
for bin in build/fuzz/Fuzz/fuzz_*; do
  name=$(basename "$bin")
  stem=${name#fuzz_}
  work="build/fuzz/corpus/$stem"
  mkdir -p "$work"
  seeds=()
  [ -d "Fuzz/corpus/$stem" ] && seeds+=("Fuzz/corpus/$stem")
  [ -d "build/fuzz/seeds/$stem" ] && seeds+=("build/fuzz/seeds/$stem")
  echo "=== $name (${seconds}s) ==="
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -verbosity=0 -print_final_stats=1 "$work" "${seeds[@]}"
done
