# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by scripts/run and scripts/test: installs missing Debian packages and configures and
# builds the tree in build/ (or build-sanitize/).
set -euo pipefail
BRINDLE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# brindle_install_missing PACKAGE...: installs those of the Debian packages that are missing.
brindle_install_missing() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

brindle_install_packages() {
    # shellcheck disable=SC2046
    brindle_install_missing $(grep -v '^\s*#' "$BRINDLE_ROOT/scripts/packages.txt" | awk 'NF {print $1}')
}

# brindle_build BUILD_DIR [cmake options...]
brindle_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$BRINDLE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$dir"
}
