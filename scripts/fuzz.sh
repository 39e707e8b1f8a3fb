#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs them for a bounded total time: scripts/fuzz.sh [total seconds].
# The total is shared evenly among the targets, so adding a target does not lengthen the run. Each target runs on a
# work corpus of its own, seeded from Fuzz/corpus/<name>/ and from the seeds the fuzz build generates in
# build/fuzz/seeds/<name>/; a target whose format needs large inputs sets its own input limit.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'USAGE'
Usage: scripts/fuzz.sh [total-seconds]

Installs what is missing, builds the fuzz preset (clang, libFuzzer) and runs every target in build/fuzz/Fuzz,
sharing the total seconds (default 600) evenly among them (each gets the total divided by the number of
targets, at least 1 second; as many run at once as there are CPUs), on its corpus in build/fuzz/corpus/<target>
seeded from Fuzz/corpus/<target> and from the seeds the fuzz build writes in build/fuzz/seeds/<target>.
Exit status: 0 when every target ran without a finding, 2 for bad arguments, else the failing step's.
USAGE
    exit 0
    ;;
esac
if [ $# -gt 1 ] || ! [[ "${1:-600}" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: takes one argument, the total seconds for all targets, a whole number above 0 (see --help)" >&2
  exit 2
fi
cd "$(dirname "$0")/.."
total="${1:-600}"
bash scripts/install-deps.sh
bash scripts/build.sh fuzz
shopt -s nullglob
targets=()
for bin in build/fuzz/Fuzz/fuzz_*; do
  [ -x "$bin" ] && [ -f "$bin" ] || continue
  [ "$(basename "$bin")" = fuzz_seeds ] && continue
  targets+=("$bin")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in build/fuzz/Fuzz" >&2
  exit 1
fi
seconds=$((total / ${#targets[@]}))
[ "$seconds" -ge 1 ] || seconds=1
slots=$(nproc)
echo "fuzz.sh: ${#targets[@]} targets, ${seconds}s each (${total}s in all), $slots at a time"
logs=$(mktemp -d "${TMPDIR:-/tmp}/grindlow-fuzz-logs.XXXXXX")
trap 'rm -rf "$logs"' EXIT
# Targets run side by side, one per CPU; each one's output is printed whole when it ends.
declare -A running=()
status=0
reap() {
  local pid="" rc=0
  wait -n -p pid || rc=$?
  local name=${running[$pid]}
  unset "running[$pid]"
  echo "=== $name (${seconds}s) ==="
  cat "$logs/$name.log"
  if [ "$rc" -ne 0 ]; then
    echo "fuzz.sh: $name failed (exit status $rc)" >&2
    status=1
  fi
}
for bin in "${targets[@]}"; do
  name=$(basename "$bin")
  stem=${name#fuzz_}
  work="build/fuzz/corpus/$stem"
  mkdir -p "$work"
  seeds=()
  [ -d "Fuzz/corpus/$stem" ] && seeds+=("Fuzz/corpus/$stem")
  [ -d "build/fuzz/seeds/$stem" ] && seeds+=("build/fuzz/seeds/$stem")
  while [ ${#running[@]} -ge "$slots" ]; do reap; done
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -verbosity=0 -print_final_stats=1 \
    "$work" "${seeds[@]}" >"$logs/$name.log" 2>&1 &
  running[$!]=$name
done
while [ ${#running[@]} -gt 0 ]; do reap; done
exit "$status"
