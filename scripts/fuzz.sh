#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a bounded time: scripts/fuzz.sh [seconds per target].
# Each target runs on a work corpus of its own, seeded from Fuzz/corpus/<name>/ and from the seeds the fuzz build
# generates in build/fuzz/seeds/<name>/; a target whose format needs large inputs sets its own input limit.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/fuzz.sh [seconds]

Installs what is missing, builds the fuzz preset (clang, libFuzzer) and runs every target in build/fuzz/Fuzz
for the given seconds each (default 60), on its corpus in build/fuzz/corpus/<target> seeded from
Fuzz/corpus/<target> and from the seeds the fuzz build writes in build/fuzz/seeds/<target>.
Exit status: 0 when every target ran without a finding, 2 for bad arguments, else the failing step's.
EOF
    exit 0
    ;;
esac
if [ $# -gt 1 ] || ! [[ "${1:-60}" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: takes one argument, the seconds per target, a whole number above 0 (see --help)" >&2
  exit 2
fi
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/install-deps.sh
bash scripts/build.sh fuzz
shopt -s nullglob
for bin in build/fuzz/Fuzz/fuzz_*; do
  [ -x "$bin" ] && [ -f "$bin" ] || continue
  name=$(basename "$bin")
  [ "$name" = fuzz_seeds ] && continue
  stem=${name#fuzz_}
  work="build/fuzz/corpus/$stem"
  mkdir -p "$work"
  seeds=()
  [ -d "Fuzz/corpus/$stem" ] && seeds+=("Fuzz/corpus/$stem")
  [ -d "build/fuzz/seeds/$stem" ] && seeds+=("build/fuzz/seeds/$stem")
  echo "=== $name (${seconds}s) ==="
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -verbosity=0 -print_final_stats=1 \
    "$work" "${seeds[@]}"
done
