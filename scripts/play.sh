#!/usr/bin/env bash
# Installs what is missing, builds the engine, the game and the sample data, and starts the game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh normal
# The game runs with the data root as its current folder.
cd build/normal/Data
exec ../Code/System/grindlow "$@"
