#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test for each preset given (default: normal).
# Presets: normal, asan (AddressSanitizer + UndefinedBehaviorSanitizer), tsan (ThreadSanitizer, thread tests).
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/test.sh [preset...]

Installs what is missing, then builds and runs every test of each preset given (default: normal): normal,
asan (AddressSanitizer + UndefinedBehaviorSanitizer) or tsan (ThreadSanitizer, the thread tests). Without a
display the tests run under a virtual X server (xvfb-run).
Exit status: 0 when every test passed, 2 for bad arguments, else the failing step's.
EOF
    exit 0
    ;;
esac
for preset in "$@"; do
  case "$preset" in
    normal | asan | tsan) ;;
    *) echo "test.sh: unknown preset [$preset]: normal, asan or tsan (see --help)" >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(normal)
# One test more than processors: the game tests wait at times (a start-up's pause after making the save folder, a
# video's end), and the extra one fills those waits.
jobs=$(($(nproc) + 1))
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  if [ "$preset" != normal ]; then
    # The sanitizer builds make their data with the normal build's tools (the same data; instrumented tools ran
    # several times slower over all of it); they still build their own tools for the tools' tests.
    cmake --preset normal >/dev/null
    cmake --build --preset normal --target grindlow_tools
    cmake --preset "$preset" "-DGRINDLOW_HOST_TOOLS=$PWD/build/normal" >/dev/null
  fi
  if [ "$preset" = tsan ]; then
    # Only the thread tests run under ThreadSanitizer: only their programs are built.
    cmake --build --preset tsan --target thread_tests
  else
    bash scripts/build.sh "$preset"
  fi
  # A fresh tree has no timings yet: the longest tests are named to CTest so that they start first.
  costs="build/$preset/Testing/Temporary/CTestCostData.txt"
  if [ ! -f "$costs" ]; then
    mkdir -p "$(dirname "$costs")"
    awk '!/^#/ && NF == 2 { print $1, 1, $2 }' cmake/LongTests.txt >"$costs"
  fi
  # Tests run headless; a virtual X server lets the real-window tests run too. It does not reset when its last
  # client leaves (-noreset): a reset refuses the connections that come meanwhile, the next test's among them.
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-noreset -screen 0 1280x1024x24" ctest --preset "$preset" -j "$jobs"
  else
    ctest --preset "$preset" -j "$jobs"
  fi
done
