#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test for each preset given (default: normal).
# Presets: normal, asan (AddressSanitizer + UndefinedBehaviorSanitizer), tsan (ThreadSanitizer, thread tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(normal)
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  bash scripts/build.sh "$preset"
  # Tests run headless; a virtual X server lets the real-window tests run too.
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset" -j "$jobs"
  else
    ctest --preset "$preset" -j "$jobs"
  fi
done
