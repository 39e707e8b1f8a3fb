#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the game need. Safe to run again: it only calls
# apt-get when something is missing.
set -euo pipefail
case "${1:-}" in
  -h | --help)
    cat <<'EOF'
Usage: scripts/install-deps.sh

Installs the Debian packages the build, the tests and the game need (with sudo when not root), calling
apt-get only when one is missing. Takes no arguments.
EOF
    exit 0
    ;;
esac
if [ $# -gt 0 ]; then
  echo "install-deps.sh: takes no arguments (see --help)" >&2
  exit 2
fi

packages=(
  # toolchain
  build-essential g++ cmake ninja-build ccache pkg-config git clang libclang-rt-14-dev lld
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  # engine libraries
  zlib1g-dev libcrypto++-dev libsqlite3-dev
  libsdl2-dev libsdl2-image-dev libpng-dev libgl-dev libegl-dev libgl1-mesa-dri
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libsndfile1-dev libsamplerate0-dev libfreetype-dev
  # fonts the font builder rasterises: Latin, Cyrillic and Polish; simplified Chinese
  fonts-dejavu-core fonts-wqy-microhei
  # data tools: GLSL checking of effects, rectangle packing and image writing, test movies
  glslang-tools libstb-dev ffmpeg
  # benchmark baselines
  libsdl2-mixer-dev libsdl2-ttf-dev
  # headless runs of window, GL and audio tests; the X server's core fonts, which the message box draws with
  xvfb xauth libx11-dev libxcomposite-dev xfonts-base
  # key taps sent through a real X server (XTest)
  libxtst-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
