#!/usr/bin/env bash
# Checks the installed tree and the Debian packages as their users get them:
#   scripts/test-install.sh [BUILD_DIR]      (default build/; builds it first)
# 1. cmake --install --strip into a staging directory: the layout, and no path of this
#    machine's source or build tree in any installed file;
# 2. a program of a host's developer (tests/install/consumer) built against the staged tree
#    with CMake (find_package) and with pkg-config, and run;
# 3. the staged camera-host --simulate sony-a7m3 with a short script and the staged camsim,
#    run with a bare environment from outside the trees (and with the trees hidden by a
#    private mount namespace where the machine allows one);
# 4. the Debian packages (scripts/check-debs.sh), then both installed into and purged from a
#    scratch root with dpkg --root, where the installed camera-host runs too. The machine's own
#    dpkg database and /usr are not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
start=$SECONDS

scripts/setup.sh lintian
build=${1:-build}
scripts/build.sh "$build"
build=$(cd "$build" && pwd)

fail() {
    echo "test-install: $*" >&2
    exit 1
}
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache CMAKE_PROJECT_VERSION)
libdir=$(cache CMAKE_INSTALL_LIBDIR)
arch=$(cache CAMCTRL_DEB_ARCHITECTURE)

work=$(mktemp -d /tmp/camctrl-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
stage=$work/stage

# --- 1. staged install -------------------------------------------------------------------

cmake --install "$build" --prefix "$stage" --strip >/dev/null
for f in bin/camera-host bin/camera-monitor bin/camsim \
    "$libdir/libPluginCameraCtrl.so" "$libdir/libZRLog.so" "$libdir/libPluginCameraWeb.so" \
    share/doc/libplugincameractrl/examples/camera-web.conf \
    include/plugincameractrl/{VirtualEventBus,PluginInterface,zrlog,FileUtils}.h \
    "$libdir/cmake/PluginCameraCtrl/PluginCameraCtrlConfig.cmake" \
    "$libdir/pkgconfig/plugincameractrl.pc" "$libdir/pkgconfig/plugincameractrl-util.pc" \
    "$libdir/plugincameractrl/camsim/camlibs/camsim.so" \
    "$libdir/plugincameractrl/camsim/iolibs/camsim-usb.so" \
    share/plugincameractrl/profiles/sony-a7m3.json; do
    [ -e "$stage/$f" ] || fail "the staged tree lacks $f"
done
for tree in "$repo" "$build"; do
    if grep -rlF "$tree" "$stage" >/dev/null; then
        fail "installed files name $tree: $(grep -rlF "$tree" "$stage" | head -n3)"
    fi
done
echo "test-install: staged install in $stage: layout and contents fine"

# --- 2. consumer programs ----------------------------------------------------------------

expected_consumer="bus: event 9002, 100 bytes, \"800\"
trim: \"f/2.8\"
plugin: PluginCameraCtrl"
run_consumer() {
    local got
    got=$(ZRLOG_LEVEL=2 "$1" "$stage/$libdir/libPluginCameraCtrl.so") || fail "$1 failed"
    [ "$got" = "$expected_consumer" ] || fail "$1 printed:
$got
expected:
$expected_consumer"
}

consumer=$work/consumer-cmake
cmake -S tests/install/consumer -B "$consumer" -DCMAKE_PREFIX_PATH="$stage" \
    -DEXPECTED_VERSION="$version" >/dev/null || fail "the CMake consumer does not configure"
found=$(sed -n 's/^PluginCameraCtrl_DIR:PATH=//p' "$consumer/CMakeCache.txt")
[ "$found" = "$stage/$libdir/cmake/PluginCameraCtrl" ] || fail "find_package found $found, not the staged package"
cmake --build "$consumer" >/dev/null || fail "the CMake consumer does not build"
run_consumer "$consumer/consumer"

export PKG_CONFIG_PATH=$stage/$libdir/pkgconfig
got=$(pkg-config --modversion plugincameractrl plugincameractrl-util | sort -u)
[ "$got" = "$version" ] || fail "pkg-config reports version $got, expected $version"
pc_libdir=$(realpath "$(pkg-config --variable=libdir plugincameractrl)")
[ "$pc_libdir" = "$stage/$libdir" ] || fail "pkg-config's libdir is $pc_libdir"
# shellcheck disable=SC2046 # the flags are words
g++ -std=c++17 -Wall -Wextra -Werror -o "$work/consumer-pkgconfig" tests/install/consumer/consumer.cpp \
    $(pkg-config --cflags --libs plugincameractrl plugincameractrl-util) -Wl,-rpath,"$pc_libdir" ||
    fail "the pkg-config consumer does not build"
unset PKG_CONFIG_PATH
run_consumer "$work/consumer-pkgconfig"
echo "test-install: consumers built with CMake and with pkg-config against the staged tree run"

# --- 3. the installed tools --------------------------------------------------------------

# camsim lists the profiles a camera can be plugged with: all but the base-* ones they build on.
expected_profiles=$(for f in sim/profiles/*.json; do
    f=$(basename "$f" .json)
    [[ $f == base-* ]] || echo "$f"
done)
# Runs camera-host of PREFIX with the simulated Sony A7 III and a script that sets ISO 800, then
# the same prefix's camsim on the camera's state and its profiles.
cat >"$work/check-host.sh" <<'EOF'
set -eu
prefix=$1 out=$2
state=$out/state
mkdir -p "$state" "$out/home"
printf 'wait 500\niso 800\nwait 500\nquit\n' >"$out/host.cmds"
timeout 60 env -i PATH=/usr/bin:/bin HOME="$out/home" ZRLOG_LEVEL=2 \
    "$prefix/bin/camera-host" --simulate sony-a7m3 --state-dir "$state" --script "$out/host.cmds" --json \
    </dev/null >"$out/host.out" 2>"$out/host.err"
env -i "$prefix/bin/camsim" --state-dir "$state" received >"$out/received"
env -i "$prefix/bin/camsim" profiles >"$out/profiles"
EOF
# run_tools PREFIX OUT [DIR...]: the script above, with DIRs hidden (a private mount namespace),
# and checks of the records camera-host printed and of what the camera received.
run_tools() {
    local prefix=$1 out=$2 mounts=""
    shift 2
    for dir in "$@"; do mounts+="mount -t tmpfs none '$dir' && "; done
    mkdir -p "$out"
    if [ $# -gt 0 ]; then
        unshare --mount --propagation private sh -c "${mounts}cd / && bash '$work/check-host.sh' '$prefix' '$out'"
    else
        (cd / && bash "$work/check-host.sh" "$prefix" "$out")
    fi || fail "the tools in $prefix failed: $(cat "$out/host.err" 2>/dev/null)"
    head -n1 "$out/host.out" | grep -q '"cameraName":"SonyA7M3","cameraType":1,"connectState":1,' ||
        fail "camera-host's first record is not a connected Sony A7 III: $(head -c 300 "$out/host.out")"
    grep -q '"iso":"800"' "$out/host.out" || fail "no record with ISO 800 from camera-host"
    grep -qx 'iso=800' "$out/received" || fail "the camera did not receive iso=800: $(cat "$out/received")"
    [ "$(sort "$out/profiles")" = "$(sort <<<"$expected_profiles")" ] ||
        fail "camsim lists the profiles $(tr '\n' ' ' <"$out/profiles")"
}

# With the source and build trees hidden nothing there can be used, whatever a program knows.
hide=("$repo")
[[ $build == "$repo"/* ]] || hide+=("$build")
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    hidden="with ${hide[*]} hidden"
    run_tools "$stage" "$work/run" "${hide[@]}"
else
    hidden="(trees not hidden: no private mount namespace here)"
    run_tools "$stage" "$work/run"
fi
echo "test-install: staged camera-host --simulate sony-a7m3 set ISO 800 $hidden"

# --- 4. Debian packages ------------------------------------------------------------------

scripts/check-debs.sh "$build" "$arch"

if [ "$(id -u)" -ne 0 ]; then
    echo "test-install: the scratch-root install needs root (dpkg --root runs the maintainer scripts chrooted); skipped"
else
    # The smallest root the maintainer scripts run in: a shell and ldconfig.
    root=$work/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/etc"
    : >"$root/var/lib/dpkg/status"
    for f in /bin/sh /sbin/ldconfig $(ldd "$(readlink -f /bin/sh)" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$f")"
        cp -L "$f" "$root$f"
    done
    host_db=$(md5sum /var/lib/dpkg/status)
    debs=("$build/packages/libplugincameractrl_${version}-1_${arch}.deb"
        "$build/packages/plugincameractrl-tools_${version}-1_${arch}.deb")
    # The libraries the packages depend on are the machine's, not the scratch root's.
    dpkg --root="$root" --force-depends -i "${debs[@]}" >"$work/dpkg-install.log" 2>&1 ||
        fail "dpkg -i in the scratch root failed: $(cat "$work/dpkg-install.log")"
    for p in libplugincameractrl plugincameractrl-tools; do
        [ "$(dpkg-query --root="$root" -W -f='${Status} ${Version}' "$p")" = "install ok installed $version-1" ] ||
            fail "$p is not installed in the scratch root"
    done
    [ -s "$root/etc/ld.so.cache" ] || fail "ldconfig did not run in the scratch root"
    run_tools "$root/usr" "$work/run-deb"
    dpkg --root="$root" --purge plugincameractrl-tools libplugincameractrl >"$work/dpkg-purge.log" 2>&1 ||
        fail "dpkg --purge in the scratch root failed: $(cat "$work/dpkg-purge.log")"
    [ ! -e "$root/usr" ] || fail "left behind in the scratch root: $(find "$root/usr" | head -n5)"
    [ -z "$(dpkg-query --root="$root" -W 2>/dev/null)" ] || fail "packages left in the scratch root's database"
    [ "$(md5sum /var/lib/dpkg/status)" = "$host_db" ] || fail "the machine's dpkg database changed"
    echo "test-install: both $arch packages install, run and purge cleanly in a scratch root"
fi
echo "test-install: passed in $((SECONDS - start)) s"
