# Sourced by the launch and test commands: installs what a fresh Debian 12
# machine lacks and defines tavrel_build. Quick when everything is in place.
set -euo pipefail

TAVREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

tavrel_packages=(
  cmake ninja-build g++ pkg-config ca-certificates ccache
  qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei
  libcurl4-openssl-dev libpcre2-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
)

tavrel_install_missing() {
  local missing=() p
  for p in "${tavrel_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# tavrel_build DIR [cmake options...] [-- targets...]: configures DIR (once)
# and builds it, or only the targets named after "--".
tavrel_build() {
  local dir="$TAVREL_ROOT/$1" options=() targets=()
  shift
  while (($#)) && [ "$1" != "--" ]; do options+=("$1"); shift; done
  (($#)) && shift
  while (($#)); do targets+=(--target "$1"); shift; done
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$TAVREL_ROOT" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${options[@]}"
  fi
  cmake --build "$dir" "${targets[@]}"
}

tavrel_install_missing
