#!/usr/bin/env bash
# Checks scripts/bench.sh --smoke against stand-in benchmark programs that write Google Benchmark's JSON: one whose
# benchmarks all ran passes; one with a benchmark that skipped with an error (exiting 0, or 1 as the programs do
# then), and one that exits with a failure, fail the run; a pinned run pins the program's virtual X server too.
#   CheckBenchSmoke.sh <source tree>
set -euo pipefail
if [[ $# -ne 1 || ! -f "$1/scripts/bench.sh" ]]; then
  echo "usage: CheckBenchSmoke.sh <source tree>" >&2
  exit 2
fi
source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A stand-in program: writes one result (with an error when told to) to --benchmark_out, then exits with the status
# given; it records the flags it was given.
stand_in() {
  local name=$1 error=$2 status=$3
  cat >"$work/$name" <<PROGRAM
#!/usr/bin/env bash
echo "\$*" >"$work/$name.args"
# The CPUs this program and its sibling X server (started by xvfb-run beside it) may run on.
grep Cpus_allowed_list /proc/\$\$/status | cut -f2 >"$work/$name.cpus"
for pid in \$(ps -o pid= --ppid \$PPID); do
  [ "\$(cat /proc/\$pid/comm 2>/dev/null)" = Xvfb ] && grep Cpus_allowed_list /proc/\$pid/status | cut -f2 >"$work/$name.server-cpus"
done
for arg in "\$@"; do
  case "\$arg" in --benchmark_out=*) out=\${arg#--benchmark_out=} ;; esac
done
{
  echo '{'
  echo '  "benchmarks": ['
  echo '    {'
  echo '      "name": "BM_Engine_Case",'
  echo '      "run_name": "BM_Engine_Case",'
  echo '      "run_type": "iteration",'
  echo '      "repetition_index": 0,'
  if [ "$error" = 1 ]; then
    echo '      "error_occurred": true,'
    echo '      "error_message": "nothing was loaded",'
  fi
  echo '      "real_time": 1.0,'
  echo '      "time_unit": "ns"'
  echo '    }'
  echo '  ]'
  echo '}'
} >"\$out"
exit $status
PROGRAM
  chmod +x "$work/$name"
}
stand_in bench_Good 0 0
stand_in bench_Skipped 1 0
stand_in bench_Crashed 0 3
stand_in bench_CheckFailed 1 1

problems=0
expect() {
  local want=$1 program=$2 status=0
  bash "$source_dir/scripts/bench.sh" --smoke --no-build "$work/$program" >"$work/out" 2>&1 || status=$?
  if [[ $status -ne $want ]]; then
    echo "bench.sh --smoke on $program: exit status $status, expected $want: $(head -c 400 "$work/out")"
    problems=$((problems + 1))
  fi
}
expect 0 bench_Good
expect 1 bench_Skipped
expect 1 bench_Crashed
expect 1 bench_CheckFailed
for program in bench_Skipped bench_CheckFailed; do
  bash "$source_dir/scripts/bench.sh" --smoke --no-build "$work/$program" >"$work/out" 2>&1 || true
  if ! grep -q "BM_Engine_Case: nothing was loaded" "$work/out"; then
    echo "bench.sh --smoke on $program does not name the benchmark and its error: $(head -c 400 "$work/out")"
    problems=$((problems + 1))
  fi
done
# Without --smoke, a program that exits 1 for a failed check still ran: its pair's row is marked FAILED, not the
# program.
bash "$source_dir/scripts/bench.sh" --no-build "$work/bench_CheckFailed" >"$work/out" 2>&1 || true
if ! grep -q "BM_Engine_Case .*FAILED: nothing was loaded" "$work/out"; then
  echo "bench.sh does not mark the failed check of a program that exits 1 for it: $(tail -c 400 "$work/out")"
  problems=$((problems + 1))
fi
# One short repetition, not interleaved.
if ! grep -q -- "--benchmark_repetitions=1 " "$work/bench_Good.args" ||
   grep -q -- "--benchmark_enable_random_interleaving" "$work/bench_Good.args"; then
  echo "bench.sh --smoke ran with: $(cat "$work/bench_Good.args")"
  problems=$((problems + 1))
fi
# Pinned without a display of the caller's: the program and the virtual X server made for it run on the CPU given.
if command -v Xvfb >/dev/null && command -v taskset >/dev/null; then
  cpu=$(grep Cpus_allowed_list /proc/self/status | cut -f2 | cut -d, -f1 | cut -d- -f1)
  env -u DISPLAY bash "$source_dir/scripts/bench.sh" --smoke --no-build --cpus "$cpu" "$work/bench_Good" >"$work/out" 2>&1 || true
  if [[ "$(cat "$work/bench_Good.cpus" 2>/dev/null)" != "$cpu" || "$(cat "$work/bench_Good.server-cpus" 2>/dev/null)" != "$cpu" ]]; then
    echo "bench.sh --cpus $cpu: the program ran on [$(cat "$work/bench_Good.cpus" 2>/dev/null)], its X server on [$(cat "$work/bench_Good.server-cpus" 2>/dev/null)]"
    problems=$((problems + 1))
  fi
fi
if [[ $problems -ne 0 ]]; then
  echo "$problems problem(s)"
  exit 1
fi
echo "bench.sh --smoke passes a clean run and fails an error or a failed program"
