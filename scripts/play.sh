#!/usr/bin/env bash
# Installs what is missing, builds the engine, the game and the sample data, and starts the game.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/play.sh [game arguments...]

Installs what is missing, builds the normal preset (engine, game and sample data) and starts the game in
build/normal/Data, its data root, passing the arguments on to it. While neither GRINDLOW_STORE_CONFIG nor a
store.ini in the store folder is there, the store uses Content/Store/sample_store.ini (other players' scores).
EOF
    exit 0
    ;;
esac
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh normal
# Without a store configuration of the user's own, the sample one seeds other players' scores and friends.
store_dir="${GRINDLOW_STORE_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/grindlow}"
if [ -z "${GRINDLOW_STORE_CONFIG:-}" ] && [ ! -e "$store_dir/store.ini" ]; then
  export GRINDLOW_STORE_CONFIG="$PWD/Content/Store/sample_store.ini"
fi
# The game runs with the data root as its current folder.
cd build/normal/Data
exec ../Code/System/grindlow "$@"
