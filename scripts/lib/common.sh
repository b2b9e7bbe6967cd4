# Shared by the scripts: install what the build needs, configure and build into build/.
# shellcheck shell=bash

LYSTORA_BUILD_PACKAGES=(g++ cmake ninja-build qt6-base-dev libgtest-dev fonts-dejavu-core)
# What the desktop program needs to show its windows on a real display.
LYSTORA_DESKTOP_PACKAGES=(qt6-qpa-plugins fonts-liberation2 xdg-utils)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "Need root (or sudo) to install: $*" >&2
        return 1
    fi
}

# Installs the Debian packages given that are not installed yet; nothing when all are there.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_into DIR [extra cmake arguments]
build_into() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYSTORA_WERROR=ON "$@"
    cmake --build "$dir"
}
