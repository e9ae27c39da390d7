#!/usr/bin/env bash
# Makes the Debian packages of a build tree with CPack and checks what a maintainer would look
# at: the control fields, the contents, and that no path of this machine's source or build tree
# is in any packaged file; then lintian, where it is installed, against the list of findings
# accepted below.
#   scripts/check-debs.sh BUILD_DIR ARCH     (ARCH: amd64, armhf)
# Leaves the packages in BUILD_DIR/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
[ $# -eq 2 ] || {
    echo "usage: $0 BUILD_DIR ARCH" >&2
    exit 2
}
build=$(cd "$1" && pwd)
arch=$2

fail() {
    echo "check-debs: $*" >&2
    exit 1
}
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

version=$(cache CMAKE_PROJECT_VERSION)-1
libdir=$(cache CMAKE_INSTALL_LIBDIR)
if [ -z "$version" ] || [ -z "$libdir" ]; then
    fail "$build is not a configured build tree"
fi

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack failed"
plugin=$build/packages/libplugincameractrl_${version}_${arch}.deb
tools=$build/packages/plugincameractrl-tools_${version}_${arch}.deb
for deb in "$plugin" "$tools"; do
    [ -s "$deb" ] || fail "no package $(basename "$deb"); made: $(ls "$build/packages")"
done

field() { dpkg-deb --field "$1" "$2"; }
expect_field() {
    local got
    got=$(field "$1" "$2")
    [ "$got" = "$3" ] || fail "$(basename "$1"): $2 is '$got', expected '$3'"
}
expect_depends() {
    local depends
    depends=$(field "$1" Depends)
    for want in "${@:2}"; do
        [[ ", $depends," == *", $want"* ]] || fail "$(basename "$1"): Depends '$depends' lacks '$want'"
    done
}

expect_field "$plugin" Package libplugincameractrl
expect_field "$plugin" Section libs
expect_field "$tools" Package plugincameractrl-tools
expect_field "$tools" Section utils
for deb in "$plugin" "$tools"; do
    expect_field "$deb" Version "$version"
    expect_field "$deb" Architecture "$arch"
    expect_field "$deb" Priority optional
    [[ $(field "$deb" Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "$(basename "$deb"): Maintainer is not 'Name <address>'"
    # A summary line and a long description of several lines.
    [ "$(field "$deb" Description | wc -l)" -ge 4 ] || fail "$(basename "$deb"): no long description"
    # The libraries the programs need, as dpkg-shlibdeps found them.
    expect_depends "$deb" "libc6 (>= " "libstdc++6 (>= " "libgphoto2-6 (>= "
done
expect_depends "$tools" "libplugincameractrl (= $version)" "libgphoto2-port12 (>= "
expect_depends "$plugin" "libmicrohttpd12 (>= "

contents() { dpkg-deb --contents "$1" | awk '{ print $6 }' | sed 's,^\./,/,'; }
expect_files() {
    local deb=$1 list
    list=$(contents "$deb")
    shift
    for f in "$@"; do
        grep -qxF "$f" <<<"$list" || fail "$(basename "$deb") lacks $f"
    done
    # Everything under /usr, nothing from a build or a source tree.
    if grep -v '^/usr/' <<<"$list" | grep -q .; then
        fail "$(basename "$deb") has files outside /usr: $(grep -v '^/usr/' <<<"$list" | head -n3)"
    fi
}
expect_files "$plugin" \
    "/usr/$libdir/libPluginCameraCtrl.so" "/usr/$libdir/libZRLog.so" "/usr/$libdir/libPluginCameraWeb.so" \
    /usr/share/doc/libplugincameractrl/examples/camera-web.conf \
    /usr/include/plugincameractrl/{BlockQueue,CameraParams,PluginInterface,SetRequests,SharedDataStore,VirtualEventBus}.h \
    /usr/include/plugincameractrl/{zrlog,zrlog_text,PluginManager,BasicFunExport,FileUtils,Function,zr_misc}.h \
    "/usr/$libdir/cmake/PluginCameraCtrl/PluginCameraCtrlConfig.cmake" \
    "/usr/$libdir/cmake/PluginCameraCtrl/PluginCameraCtrlConfigVersion.cmake" \
    "/usr/$libdir/cmake/PluginCameraCtrl/PluginCameraCtrlTargets.cmake" \
    "/usr/$libdir/pkgconfig/plugincameractrl.pc" "/usr/$libdir/pkgconfig/plugincameractrl-util.pc" \
    /usr/share/doc/libplugincameractrl/{copyright,changelog.Debian.gz}
expect_files "$tools" \
    /usr/share/doc/plugincameractrl-tools/{copyright,changelog.Debian.gz} \
    /usr/bin/camera-host /usr/bin/camera-monitor /usr/bin/camsim \
    "/usr/$libdir/plugincameractrl/camsim/camlibs/camsim.so" \
    "/usr/$libdir/plugincameractrl/camsim/iolibs/camsim-usb.so" \
    "/usr/$libdir/plugincameractrl/camsim/ptp-iolibs/camsim-ptp.so" \
    /usr/share/plugincameractrl/profiles/sony-a7m3.json /usr/share/plugincameractrl/ptp/bodies/sony-a7m3.json
if contents "$plugin" | grep -q '^/usr/bin/'; then
    fail "the plug-in package carries programs"
fi
# The simulator's driver directories hold only its own drivers (libgphoto2 loads all there).
[ "$(contents "$tools" | grep -c "/usr/$libdir/plugincameractrl/camsim/.*\.so$")" -eq 3 ] ||
    fail "more than the three simulator drivers in their directories"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
for deb in "$plugin" "$tools"; do
    dpkg-deb -x "$deb" "$unpacked"
done
# Stripped binaries of the target's architecture.
case $arch in
    amd64) machine="X86-64" ;;
    armhf) machine="ARM" ;;
    *) fail "unknown architecture $arch" ;;
esac
while IFS= read -r elf; do
    readelf -h "$elf" | grep -q "Machine:.*$machine" || fail "${elf#"$unpacked"} is not built for $arch"
    if readelf -S "$elf" | grep -q '\.debug_info'; then
        fail "${elf#"$unpacked"} is not stripped"
    fi
done < <(find "$unpacked" -type f \( -name '*.so' -o -path '*/bin/*' \))
for tree in "$repo" "$build"; do
    if grep -rlF "$tree" "$unpacked" >/dev/null; then
        fail "packaged files name $tree: $(grep -rlF "$tree" "$unpacked" | sed "s,^$unpacked,," | head -n3)"
    fi
done

# Findings accepted: no ITP bug closed by the first changelog entry (the packages go into a
# firmware image, not into Debian's archive), ldconfig called by CPack's maintainer scripts
# (the trigger is there too), no manual pages, and unversioned libraries (the host loads
# libPluginCameraCtrl.so and links libZRLog.so under exactly these names).
if command -v lintian >/dev/null; then
    accepted='initial-upload-closes-no-bugs|maintscript-calls-ldconfig|no-manual-page|shared-library-lacks-version'
    report=$(lintian --no-tag-display-limit "$plugin" "$tools" 2>/dev/null || true)
    echo "lintian ($arch):"
    sed 's/^/  /' <<<"$report" # indented under the heading
    unexpected=$(grep -E '^[EW]: ' <<<"$report" | grep -Ev ": ($accepted)( |$)" || true)
    [ -z "$unexpected" ] || fail "lintian findings: $unexpected"
else
    echo "check-debs: lintian is not installed; skipped it"
fi
echo "check-debs: $(basename "$plugin") and $(basename "$tools") are fine"
