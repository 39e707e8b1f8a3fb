#!/usr/bin/env bash
# Installs what is missing, builds the engine, the game and the sample data (no tests), and starts the game.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/play.sh [game arguments...]

Installs what is missing, builds what playing needs from the normal preset (the engine, the game, the tools
that make the data and the sample data; not the tests or benchmarks, which scripts/test.sh builds) and starts
the game in build/normal/Data, its data root, passing the arguments on to it. While neither GRINDLOW_STORE_CONFIG
nor a store.ini in the store folder is there, the store uses Content/Store/sample_store.ini (other players'
scores).
EOF
    exit 0
    ;;
esac
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset normal >/dev/null
cmake --build --preset normal --target grindlow grindlow_data
# Without a store configuration of the user's own, the sample one seeds other players' scores and friends.
store_dir="${GRINDLOW_STORE_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/grindlow}"
# A store.ini that is there in any form (a dangling or looping link too) is the player's, said if unusable.
if [ -z "${GRINDLOW_STORE_CONFIG:-}" ] && [ ! -e "$store_dir/store.ini" ] && [ ! -L "$store_dir/store.ini" ]; then
  export GRINDLOW_STORE_CONFIG="$PWD/Content/Store/sample_store.ini"
fi
# The game runs with the data root as its current folder.
cd build/normal/Data
exec ../Code/System/grindlow "$@"
