# Sourced by ./run and ./test: installs what a fresh Debian 12 machine lacks,
# then configures and builds into build/. A second run costs next to nothing:
# packages are checked with dpkg, and the build is incremental.

CALVERO_PACKAGES="cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
 qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev libxkbcommon-dev xvfb xauth iproute2 util-linux
 libpugixml-dev fonts-dejavu-core libx11-dev
 help2man dpkg-dev desktop-file-utils appstream shared-mime-info man-db clang-format lintian
 poppler-utils dbus-daemon"

calvero_install_packages() {
    missing=""
    for p in $CALVERO_PACKAGES $*; do
        dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" = 0 ]; then
        echo "Installing Debian packages:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing >/dev/null
    else
        echo "These Debian packages are missing; install them as root:" >&2
        echo "  apt-get install$missing" >&2
        return 1
    fi
}

calvero_build() {
    dir=${CALVERO_BUILD_DIR:-build}
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    fi
    cmake --build "$dir" -j "$(nproc)"
}
