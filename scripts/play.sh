#!/usr/bin/env bash
# Installs what is missing, builds the engine, the game and the sample data (no tests), and starts the game.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/play.sh [game arguments...]

Installs what is missing, builds what playing needs from the normal preset (the engine, the game, the tools
that make the data and the sample data; not the tests or benchmarks, which scripts/test.sh builds) and starts
the game in build/normal/Data, its data root, passing the arguments on to it.
EOF
    exit 0
    ;;
esac
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset normal >/dev/null
cmake --build --preset normal --target grindlow grindlow_data
# The game runs with the data root as its current folder.
cd build/normal/Data
exec ../Code/System/grindlow "$@"
