#!/usr/bin/env bash
# Configures and builds one preset (default "normal"). Used by play.sh and test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-normal}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
