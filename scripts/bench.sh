#!/usr/bin/env bash
# The project's benchmark runner: builds the normal preset, runs the benchmark programs
# (build/normal/Bench/bench_*) with interleaved repetitions, optionally pinned to a number of cores, and prints
# every engine/baseline pair as the median ratio of their times with its min-max range.
#
# Pairs are found by name: BM_Engine_<Case> and BM_Baseline_<Case> with identical argument suffixes. The ratio
# is engine time / baseline time (below 1: the engine is faster), taken per repetition (repetition i of the
# engine against repetition i of the baseline, both from the same run). The time is the one each benchmark was
# registered to report: "real_time" from the JSON for a run named .../real_time or .../manual_time (UseRealTime,
# UseManualTime; a /threads:N after it is allowed), else "cpu_time", Google Benchmark's default: the CPU time of the
# benchmark's own thread (of the whole process for one named .../process_time). The table's clock column says which:
# wall, manual, cpu or process. The suffix is part of the name, so the two sides of a pair share their clock.
# With --smoke it only checks that every benchmark runs: each once, briefly, and none reports an error.
# Needs only bash, awk (any POSIX awk: mawk will do), coreutils and taskset (util-linux).
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/bench.sh [options] [program...]

Builds the normal preset and runs every benchmark program in build/normal/Bench (or only the programs named:
"HashBench", "bench_HashBench" or a path), then prints each engine/baseline pair as a table of median ratios.

Options:
      --smoke         check only that every benchmark runs: one short repetition each (min time 0.01 s), the
                      programs side by side (one per CPU), no table; fails when a program fails or a benchmark
                      reports an error
  -r, --reps N        repetitions of every benchmark, interleaved at random within a program (default 5;
                      at least 5)
  -c, --cores N       pin the run to N of the CPUs this shell may use (taskset): the programs and the virtual
                      X server started for them (which does the frames' copies), so the programs see N logical
                      processors and share them with their X server. With DISPLAY set, the X server is the
                      caller's and is not pinned (the header says so)
      --cpus LIST     pin to this CPU list instead (taskset syntax, e.g. 0,2 or 4-7)
  -t, --min-time S    minimum seconds per repetition of each benchmark (default 0.2)
  -f, --filter REGEX  only the benchmarks whose names match (Google Benchmark's --benchmark_filter)
  -o, --out DIR       keep each program's JSON results in DIR (default: a temporary folder, removed)
  -j, --jobs N        parallel build jobs (default: the number of CPUs)
      --no-build      run what is built; do not build
  -h, --help          this text

Output: one row per pair: engine and baseline median times, the median of the per-repetition ratios
(engine / baseline), their min-max range and the clock they were taken on; then the benchmarks without a partner,
with their median times and clocks. A program that did not run to its end (its X server did not start, it
crashed) and a pair a side of which stopped with an error are rows marked FAILED with the reason. The clock is the one the benchmark was registered with:
  wall     UseRealTime(): wall-clock time (run name ends in /real_time)
  manual   UseManualTime(): the time the benchmark measured itself (run name ends in /manual_time)
  cpu      neither (Google Benchmark's default): the CPU time of the benchmark's own thread only, so work it
           hands to other threads and time spent waiting for them do not count
  process  MeasureProcessCPUTime() without UseRealTime(): the CPU time of every thread of the process
The two sides of a pair always share their clock (the suffix is part of the name that pairs them).
Exit status: 0 when every program ran, 1 when one failed (with --smoke: or a benchmark reported an error), 2 for
bad arguments.
EOF
}

die_usage() {
  echo "bench.sh: $1 (see --help)" >&2
  exit 2
}

cd "$(dirname "$0")/.."
root=$(pwd)

reps=5
cores=""
cpus=""
min_time=""
filter=""
out_dir=""
jobs=""
build=1
smoke=0
programs=()

while [ $# -gt 0 ]; do
  case "$1" in
    -h | --help) usage; exit 0 ;;
    -r | --reps) [ $# -ge 2 ] || die_usage "$1 needs a value"; reps=$2; shift 2 ;;
    -c | --cores) [ $# -ge 2 ] || die_usage "$1 needs a value"; cores=$2; shift 2 ;;
    --cpus) [ $# -ge 2 ] || die_usage "$1 needs a value"; cpus=$2; shift 2 ;;
    -t | --min-time) [ $# -ge 2 ] || die_usage "$1 needs a value"; min_time=$2; shift 2 ;;
    -f | --filter) [ $# -ge 2 ] || die_usage "$1 needs a value"; filter=$2; shift 2 ;;
    -o | --out) [ $# -ge 2 ] || die_usage "$1 needs a value"; out_dir=$2; shift 2 ;;
    -j | --jobs) [ $# -ge 2 ] || die_usage "$1 needs a value"; jobs=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    --smoke) smoke=1; shift ;;
    --) shift; programs+=("$@"); break ;;
    -*) die_usage "unknown option $1" ;;
    *) programs+=("$1"); shift ;;
  esac
done

[[ "$reps" =~ ^[0-9]+$ ]] && [ "$reps" -ge 5 ] || die_usage "--reps must be a whole number of at least 5"
if [ "$smoke" -eq 1 ]; then
  reps=1
  min_time=${min_time:-0.01}
fi
min_time=${min_time:-0.2}
[[ "$min_time" =~ ^[0-9]*\.?[0-9]+$ ]] || die_usage "--min-time must be a number of seconds"
[ -z "$cores" ] || [[ "$cores" =~ ^[1-9][0-9]*$ ]] || die_usage "--cores must be a positive whole number"
[ -z "$jobs" ] || [[ "$jobs" =~ ^[1-9][0-9]*$ ]] || die_usage "--jobs must be a positive whole number"
[ -z "$cores" ] || [ -z "$cpus" ] || die_usage "give --cores or --cpus, not both"

# The CPUs this shell may use, one number a line, from a list such as "0-3,6".
expand_cpu_list() {
  local part
  local IFS=,
  for part in $1; do
    if [[ "$part" == *-* ]]; then
      seq "${part%-*}" "${part#*-}"
    else
      echo "$part"
    fi
  done
}

pin=()
if [ -n "$cores" ]; then
  command -v taskset >/dev/null || { echo "bench.sh: taskset (util-linux) is needed for --cores" >&2; exit 1; }
  allowed=$(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/self/status)
  mapfile -t allowed_cpus < <(expand_cpu_list "$allowed")
  if [ "$cores" -gt "${#allowed_cpus[@]}" ]; then
    echo "bench.sh: $cores cores asked for, but only ${#allowed_cpus[@]} may be used here ($allowed)" >&2
    exit 1
  fi
  cpus=$(IFS=,; echo "${allowed_cpus[*]:0:$cores}")
fi
if [ -n "$cpus" ]; then
  command -v taskset >/dev/null || { echo "bench.sh: taskset (util-linux) is needed for --cpus" >&2; exit 1; }
  pin=(taskset -c "$cpus")
fi

# The graphics benchmarks open a real window of 1920 x 1080: without a display each program gets a virtual X
# server of that size of its own (as the tests get theirs, cmake/StartXvfb.sh), started behind the pin, so the server
# runs on the program's CPUs too.
virtual_x=0
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  virtual_x=1
  # shellcheck source=cmake/StartXvfb.sh
  source "$root/cmake/StartXvfb.sh"
fi

# Runs the command (pinned) on a virtual X server of its own when virtual_x is 1; its exit status. When the server
# does not start (its output is in $out_dir/$name.xvfb.log), says why in the file named by run_failure and returns
# 1 without running the command.
run_failure=""
run_program() {
  if [ "$virtual_x" -eq 0 ]; then
    "${pin[@]}" "$@"
    return
  fi
  local status=0
  if ! start_xvfb "$out_dir/$name.xvfb.log" "${pin[@]}"; then
    echo "bench.sh: $xvfb_error" >&2
    echo "$xvfb_error" >"$run_failure"
    return 1
  fi
  DISPLAY=$xvfb_display "${pin[@]}" "$@" || status=$?
  stop_xvfb
  return "$status"
}

if [ "$build" -eq 1 ]; then
  cmake --preset normal >/dev/null
  cmake --build --preset normal -j "${jobs:-$(nproc)}" >/dev/null || {
    echo "bench.sh: the build failed; run 'cmake --build --preset normal' to see why" >&2
    exit 1
  }
fi

bench_dir="$root/build/normal/Bench"
paths=()
if [ ${#programs[@]} -eq 0 ]; then
  for p in "$bench_dir"/bench_*; do
    [ -x "$p" ] && [ -f "$p" ] && paths+=("$p")
  done
  [ ${#paths[@]} -gt 0 ] || { echo "bench.sh: no benchmark programs in $bench_dir" >&2; exit 1; }
else
  for name in "${programs[@]}"; do
    if [[ "$name" == */* ]]; then
      p=$name
    elif [[ "$name" == bench_* ]]; then
      p="$bench_dir/$name"
    else
      p="$bench_dir/bench_$name"
    fi
    [ -x "$p" ] || { echo "bench.sh: no benchmark program $p" >&2; exit 2; }
    paths+=("$p")
  done
fi

keep_out=1
if [ -z "$out_dir" ]; then
  out_dir=$(mktemp -d "${TMPDIR:-/tmp}/grindlow-bench.XXXXXX")
  keep_out=0
fi
mkdir -p "$out_dir"
cleanup() {
  [ "$virtual_x" -eq 0 ] || stop_xvfb
  [ "$keep_out" -eq 1 ] || rm -rf "$out_dir"
}
trap cleanup EXIT

status=0
results=()
# One line a program that did not run to its end: its name, a tab, why.
failed_programs="$out_dir/failed-programs.tsv"
: >"$failed_programs"
# Runs one program. When it runs to its end its JSON is kept (a file <name>.ran marks it); else a line of
# failed_programs says why, and the status is 1.
run_one() {
  local p=$1 name json program_status=0 reason
  name=$(basename "$p")
  json="$out_dir/$name.json"
  run_failure="$out_dir/$name.failure"
  rm -f "$run_failure" "$out_dir/$name.ran"
  echo "running $name ..." >&2
  local args=(--benchmark_repetitions="$reps" --benchmark_min_time="$min_time" --benchmark_out="$json"
              --benchmark_out_format=json)
  [ "$smoke" -eq 1 ] || args+=(--benchmark_enable_random_interleaving=true)
  [ -z "$filter" ] || args+=(--benchmark_filter="$filter")
  run_program "$p" "${args[@]}" >"$out_dir/$name.log" 2>&1 || program_status=$?
  # A program exits with status 1 when a benchmark stopped with an error (a failed check): it ran to its end, and its
  # JSON marks the rows.
  if [ "$program_status" -eq 1 ] && [ -f "$json" ] && grep -q '"error_occurred": true' "$json" &&
     grep -q '^}' "$json"; then
    program_status=0
  fi
  if [ "$program_status" -ne 0 ]; then
    echo "bench.sh: $name failed; its output:" >&2
    cat "$out_dir/$name.log" >&2
    if [ -s "$run_failure" ]; then
      reason=$(head -n 1 "$run_failure")
    else
      reason="exit status $program_status: $(grep . "$out_dir/$name.log" | tail -n 1 | cut -c 1-200)"
    fi
    printf '%s\t%s\n' "$name" "$reason" >>"$failed_programs"
    return 1
  fi
  : >"$out_dir/$name.ran"
}
if [ "$smoke" -eq 1 ]; then
  # A smoke run judges no figures: the programs run side by side, one for each CPU they may use, each with an X
  # server of its own (stopped when its run ends).
  if [ -n "$cpus" ]; then
    slots=$(expand_cpu_list "$cpus" | wc -l)
  else
    slots=$(nproc)
  fi
  running=0
  for p in "${paths[@]}"; do
    while [ "$running" -ge "$slots" ]; do
      wait -n || true
      running=$((running - 1))
    done
    (
      trap stop_xvfb EXIT
      run_one "$p" || exit 1
    ) &
    running=$((running + 1))
  done
  wait || true
else
  for p in "${paths[@]}"; do
    run_one "$p" || true
  done
fi
[ ! -s "$failed_programs" ] || status=1
for p in "${paths[@]}"; do
  name=$(basename "$p")
  [ ! -f "$out_dir/$name.ran" ] || results+=("$out_dir/$name.json")
done

# Smoke: a benchmark that skipped with an error did not do its work; no figures are judged.
if [ "$smoke" -eq 1 ]; then
  for json in "${results[@]}"; do
    if grep -q '"error_occurred": true' "$json"; then
      echo "bench.sh: $(basename "$json" .json) reported errors:" >&2
      awk '
        function value(line) { sub(/^[^:]*:[ \t]*"/, "", line); sub(/",?[ \t]*$/, "", line); return line }
        /"run_name":/ { run = value($0) }
        /"error_message":/ { print "  " run ": " value($0) }
      ' "$json" >&2
      status=1
    fi
  done
  while IFS=$'\t' read -r name reason; do
    echo "bench.sh: $name failed: $reason" >&2
  done <"$failed_programs"
  echo "smoke: ${#paths[@]} programs, ${#results[@]} ran; $([ "$status" -eq 0 ] && echo "no errors" || echo "FAILED")"
  exit "$status"
fi

load=$(cut -d' ' -f1-3 /proc/loadavg)
echo
if [ -n "$cpus" ]; then
  where="pinned to CPUs $cpus ($(expand_cpu_list "$cpus" | wc -l) cores)"
  if [ "$virtual_x" -eq 1 ]; then
    where+=", their X server too"
  else
    where+=", the X server of DISPLAY=$DISPLAY not"
  fi
else
  where="not pinned ($(nproc) CPUs usable)"
fi
echo "cores: $where   repetitions: $reps (interleaved)   min time: ${min_time} s   load average: $load"
echo

# Google Benchmark's JSON puts one field a line; each result object ends with a line holding only "}".
awk -v failed_programs="$failed_programs" '
function to_ns(value, unit) {
  if (unit == "us") return value * 1e3
  if (unit == "ms") return value * 1e6
  if (unit == "s") return value * 1e9
  return value
}
function human(ns) {
  if (ns >= 1e9) return sprintf("%.3g s", ns / 1e9)
  if (ns >= 1e6) return sprintf("%.3g ms", ns / 1e6)
  if (ns >= 1e3) return sprintf("%.3g us", ns / 1e3)
  return sprintf("%.3g ns", ns)
}
# Sorts v[1..n] in place (insertion sort: a handful of repetitions).
function sort_values(v, n,    i, j, x) {
  for (i = 2; i <= n; ++i) {
    x = v[i]
    for (j = i - 1; j >= 1 && v[j] > x; --j) v[j + 1] = v[j]
    v[j + 1] = x
  }
}
function median(v, n) {
  sort_values(v, n)
  return (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}
function string_field(line,    s) {
  s = line
  sub(/^[^:]*:[ \t]*"/, "", s)
  sub(/",?[ \t]*$/, "", s)
  return s
}
function number_field(line,    s) {
  s = line
  sub(/^[^:]*:[ \t]*/, "", s)
  sub(/,?[ \t]*$/, "", s)
  return s + 0
}
FNR == 1 { ++file }
/"run_name":/ { run = string_field($0) }
/"family_index":/ { family = number_field($0) }
/"per_family_instance_index":/ { instance = number_field($0) }
/"run_type":/ { type = string_field($0) }
/"repetition_index":/ { rep = number_field($0) }
/"real_time":/ { wall_t = number_field($0) }
/"cpu_time":/ { cpu_t = number_field($0) }
/"time_unit":/ { unit = string_field($0) }
/"error_occurred": true/ { err = 1 }
/"error_message":/ { errmsg = string_field($0) }
/^[ \t]*}/ {
  if (run != "" && type == "iteration") {
    if (!(run in seen)) {
      seen[run] = 1
      names[++nnames] = run
      key[nnames] = sprintf("%04d %06d %06d", file, family, instance)
    }
    if (err) {
      failed[run] = errmsg
    } else {
      # The JSON real_time field only for runs registered on it (or on a manual time, which it then holds);
      # otherwise cpu_time.
      if (run ~ /\/real_time(\/threads:[0-9]+)?$/) clock[run] = "wall"
      else if (run ~ /\/manual_time(\/threads:[0-9]+)?$/) clock[run] = "manual"
      else if (run ~ /\/process_time(\/threads:[0-9]+)?$/) clock[run] = "process"
      else clock[run] = "cpu"
      wall = (clock[run] == "wall" || clock[run] == "manual")
      time[run, ++count[run]] = to_ns(wall ? wall_t : cpu_t, unit)
      at[run, count[run]] = rep
    }
  }
  run = ""; type = ""; rep = 0; wall_t = 0; cpu_t = 0; unit = "ns"; err = 0; errmsg = ""
}
END {
  # Registration order: program, then benchmark, then argument set (the runs themselves were shuffled).
  for (i = 1; i <= nnames; ++i) {
    k = key[i]; x = names[i]
    for (j = i - 1; j >= 1 && sortkey[j] > k; --j) { sortkey[j + 1] = sortkey[j]; order[j + 1] = order[j] }
    sortkey[j + 1] = k; order[j + 1] = x
  }
  fmt = "%-56s %11s %11s %9s  %-15s %s\n"
  printf fmt, "case", "engine", "baseline", "ratio", "range (min-max)", "clock"
  pairs = 0
  # A program that did not run to its end, and a pair a side of which stopped with an error, are rows marked failed
  # with the reason.
  while ((getline line < failed_programs) > 0) {
    split(line, part, "\t")
    printf "%-56s %s\n", part[1], "FAILED (program): " part[2]
    ++pairs
  }
  for (i = 1; i <= nnames; ++i) {
    e = order[i]
    if (e !~ /^BM_Engine_/) continue
    c = substr(e, 11)
    b = "BM_Baseline_" c
    if (!(b in seen)) continue
    paired[e] = 1; paired[b] = 1
    if ((e in failed) || (b in failed)) {
      why = (e in failed) ? "engine: " failed[e] : ""
      if (b in failed) why = why (why == "" ? "" : "; ") "baseline: " failed[b]
      printf "%-56s %s\n", c, "FAILED " why
      ++pairs
      continue
    }
    # Repetition i of the engine against repetition i of the baseline.
    n = 0
    for (k = 1; k <= count[e]; ++k) {
      for (m = 1; m <= count[b]; ++m) {
        if (at[b, m] == at[e, k] && time[b, m] > 0) { r[++n] = time[e, k] / time[b, m]; break }
      }
    }
    if (n == 0) continue
    for (k = 1; k <= count[e]; ++k) ve[k] = time[e, k]
    for (k = 1; k <= count[b]; ++k) vb[k] = time[b, k]
    me = median(ve, count[e]); mb = median(vb, count[b]); mr = median(r, n)
    printf fmt, c, human(me), human(mb), sprintf("%.3gx", mr), sprintf("%.3g-%.3g", r[1], r[n]), clock[e]
    ++pairs
  }
  if (pairs == 0) print "(no engine/baseline pairs)"
  header = 0
  for (i = 1; i <= nnames; ++i) {
    x = order[i]
    if (x in paired) continue
    if (!header) { printf "\nwithout a partner:\n"; header = 1 }
    if (x in failed) {
      printf "%-56s %s\n", x, "FAILED: " failed[x]
      continue
    }
    for (k = 1; k <= count[x]; ++k) vx[k] = time[x, k]
    printf "%-56s %11s  %s\n", x, human(median(vx, count[x])), clock[x]
  }
}
' "${results[@]:-/dev/null}"

exit "$status"
