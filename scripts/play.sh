#!/usr/bin/env bash
# Installs what is missing, builds the engine, the game and the sample data, and starts the game.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/play.sh [game arguments...]

Installs what is missing, builds the normal preset (engine, game and sample data) and starts the game in
build/normal/Data, its data root, passing the arguments on to it.
EOF
    exit 0
    ;;
esac
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh normal
# The game runs with the data root as its current folder.
cd build/normal/Data
exec ../Code/System/grindlow "$@"
