# Shared by scripts/run, scripts/test and scripts/bench: install what is missing, build.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages of the list that are not installed yet.
need_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev)

# build_tree DIR BUILD_TYPE [cmake options...] -- [targets...]
build_tree() {
    local dir=$1 type=$2; shift 2
    local options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    targets=("$@")
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "${options[@]}" >/dev/null
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
    else
        cmake --build "$dir" -j"$(nproc)"
    fi
}
