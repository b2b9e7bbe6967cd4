# Shared by the scripts: install what the build needs, configure and build into build/.
# shellcheck shell=bash

LYSTORA_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev libgtest-dev libtag1-dev
    libsqlite3-dev libseccomp-dev)
# What the programs need at run time: the X11 platform plugin, the font the windows are made
# for, Qt's own translations, the desktop's opener, and the WebP decoder for covers.
LYSTORA_DESKTOP_PACKAGES=(qt6-qpa-plugins fonts-liberation2 qt6-translations-l10n xdg-utils
    qt6-image-formats-plugins)
# What the tests need besides: X servers of their own with a window manager and a notification
# area, the tools that drive them, the font that stands in when Liberation Sans is missing, an
# HTML checker, encoders to make real tagged files of each format, the players a playlist is
# tried in (mpv, and VLC through its library: its program refuses to run as root), and the
# browser the page is tried in, with its driver.
LYSTORA_TEST_PACKAGES=(xvfb xauth openbox wmctrl trayer xdotool x11-utils fonts-dejavu-core
    tidy lame vorbis-tools opus-tools flac ffmpeg help2man man-db bash-completion zsh fish
    desktop-file-utils appstream systemd python3 mpv python3-vlc vlc-plugin-base
    chromium chromium-driver python3-selenium ca-certificates)
# What the manual pages, the package and its checks need besides.
LYSTORA_PACKAGE_PACKAGES=(help2man dpkg-dev file lintian)
# What the benchmarks need besides: GNU time for the peak memory, encoders for tagged files, and
# tree and a browser for the page.
LYSTORA_BENCH_PACKAGES=(time lame vorbis-tools flac tree chromium chromium-driver python3-selenium)

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
    # Another install may hold apt's lock (unattended upgrades on a fresh machine): wait for it.
    local wait=(-o DPkg::Lock::Timeout=600)
    if lslocks -n -o PATH 2>/dev/null | grep -q '^/var/lib/dpkg/lock'; then
        echo "apt is busy with another install: waiting for it (up to 10 minutes)..."
    fi
    as_root apt-get "${wait[@]}" update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" install -y -qq \
        --no-install-recommends "${missing[@]}"
}

# build_into DIR [extra cmake arguments]: everything, tests included.
build_into() {
    local dir=$1
    shift
    configure_into "$dir" "$@"
    cmake --build "$dir"
}

# configure_into DIR [extra cmake arguments]
configure_into() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYSTORA_WERROR=ON "$@" \
        >/dev/null
}
