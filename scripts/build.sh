#!/usr/bin/env bash
# Configures and builds one preset (default "normal"). Used by play.sh and test.sh.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/build.sh [preset]

Configures and builds one CMake preset into build/<preset>: normal (default), asan, tsan or fuzz.
Exit status: 0 when the build succeeded, 2 for bad arguments, else the failing step's.
EOF
    exit 0
    ;;
esac
if [ $# -gt 1 ]; then
  echo "build.sh: one preset at a time (see --help)" >&2
  exit 2
fi
case "${1:-normal}" in
  normal | asan | tsan | fuzz) ;;
  *) echo "build.sh: unknown preset [$1]: normal, asan, tsan or fuzz (see --help)" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
preset="${1:-normal}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
