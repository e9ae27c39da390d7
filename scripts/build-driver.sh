#!/usr/bin/env bash
# Builds the device's camera driver (driver/README.md): Debian's libgphoto2 source package of the
# version the system runs, with driver/ptp2-hooks.patch and driver/'s own files, compiled into one
# ptp2.so that Debian's unmodified libgphoto2 loads through CAMLIBS. Only ptp2 is compiled; it
# links against the system's libgphoto2 (no run path).
#   scripts/build-driver.sh                 -> build/driver/camlibs/ptp2.so
#   scripts/build-driver.sh --arch armhf    -> build-armhf/driver/camlibs/ptp2.so (the armhf
#                                              sysroot of scripts/armhf-sysroot.sh)
# The source package and its configured tree are kept in .cache/libgphoto2/ (CAMCTRL_DRIVER_CACHE:
# elsewhere, e.g. outside a CI clone). Without a deb-src line apt has no sources: one is added for
# the Debian archive the machine already uses.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

arch=amd64
if [ "${1:-}" = "--arch" ]; then
    arch=$2
    shift 2
fi
case $arch in
    amd64) out=${1:-$repo/build/driver/camlibs} ;;
    armhf) out=${1:-$repo/build-armhf/driver/camlibs} ;;
    *) echo "build-driver: --arch amd64 or armhf" >&2; exit 2 ;;
esac
cache=${CAMCTRL_DRIVER_CACHE:-$repo/.cache/libgphoto2}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
die() {
    echo "build-driver: $*" >&2
    exit 1
}

# Build tools and what libgphoto2's configure insists on (ltdl) or the driver uses (libusb
# headers are not needed: only ptp2 is compiled).
scripts/setup.sh dpkg-dev libltdl-dev patch >/dev/null

version=$(dpkg-query -W -f='${Version}' libgphoto2-dev 2>/dev/null) || die "libgphoto2-dev is not installed"
upstream=${version%-*}
src=$cache/$version
mkdir -p "$src"

# --- the source package ------------------------------------------------------------------------
if ! ls "$src"/libgphoto2_"$version".dsc >/dev/null 2>&1; then
    if ! grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        # The same archive, suites and keys as the binary packages come from.
        for f in /etc/apt/sources.list.d/*.sources; do
            grep -q 'debian' "$f" || continue
            sed -E 's/^Types:.*/Types: deb-src/' "$f"
            echo
        done | $sudo tee /etc/apt/sources.list.d/camctrl-deb-src.sources >/dev/null
        if [ -f /etc/apt/sources.list ]; then
            sed -nE 's/^deb (.*debian.*)/deb-src \1/p' /etc/apt/sources.list |
                $sudo tee /etc/apt/sources.list.d/camctrl-deb-src.list >/dev/null
        fi
    fi
    $sudo apt-get update -qq || echo "build-driver: apt-get update reported errors" >&2
    (cd "$src" && apt-get source --download-only -qq "libgphoto2=$version") ||
        die "apt-get source libgphoto2=$version failed (no deb-src line for Debian's archive?)"
fi

# --- the configured tree (configure only writes the config.h the driver compiles with) ----------
tree=$src/$arch/libgphoto2-$upstream
if [ "$arch" = armhf ]; then
    sysroot=${CAMCTRL_ARMHF_SYSROOT:-$repo/build-armhf-sysroot}
    [ -d "$sysroot/usr/include/gphoto2" ] || die "no armhf sysroot at $sysroot (scripts/armhf-sysroot.sh)"
fi
if [ ! -f "$tree/config.h" ]; then
    rm -rf "$src/$arch"
    mkdir -p "$src/$arch"
    # (the signature is not checked: apt fetched the files by their hashes in the signed index)
    dpkg-source --no-check -x "$src/libgphoto2_$version.dsc" "$tree" >/dev/null
    conf=(--with-camlibs=ptp2 --disable-nls --without-libxml-2.0 --without-libcurl --without-gdlib
        --without-jpeg --disable-rpath)
    if [ "$arch" = armhf ]; then
        conf+=(--host=arm-linux-gnueabihf
            CC="arm-linux-gnueabihf-gcc --sysroot=$sysroot"
            PKG_CONFIG_LIBDIR="$sysroot/usr/lib/arm-linux-gnueabihf/pkgconfig:$sysroot/usr/share/pkgconfig"
            PKG_CONFIG_SYSROOT_DIR="$sysroot")
    fi
    (cd "$tree" && ./configure "${conf[@]}" >configure.log 2>&1) || {
        tail -20 "$tree/configure.log" >&2
        rm -f "$tree/config.h"
        die "configure failed ($tree/configure.log)"
    }
fi

# --- compile and link ----------------------------------------------------------------------------
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/camlibs/ptp2" "$work/obj"
cp "$tree/camlibs/ptp2/library.c" "$tree/camlibs/ptp2/config.c" "$work/camlibs/ptp2/"
patch -s -d "$work" -p1 <driver/ptp2-hooks.patch || die "driver/ptp2-hooks.patch does not apply to $version"

if [ "$arch" = armhf ]; then
    cc=(arm-linux-gnueabihf-gcc --sysroot="$sysroot")
    libdir=$sysroot/usr/lib/arm-linux-gnueabihf
else
    cc=(gcc)
    libdir=/usr/lib/x86_64-linux-gnu
fi
ptp2=$tree/camlibs/ptp2
camlibdir=$(pkg-config --variable=driverdir libgphoto2)
common=(-fPIC -O2 -g -DHAVE_CONFIG_H -D_GPHOTO2_INTERNAL_CODE -DLOCALEDIR=\"/usr/share/locale\"
    -DCAMLIBS=\""$camlibdir"\" -I"$tree" -I"$tree/libgphoto2_port" -I"$ptp2" -I"$repo/driver"
    # no path of this machine in the binary (log lines name their source file)
    -ffile-prefix-map="$tree/"= -ffile-prefix-map="$work/"= -ffile-prefix-map="$repo/"=)
# libgphoto2's own files as they are, quietly (their warnings are upstream's); ours with -Werror.
theirs=(-w)
ours=(-Wall -Wextra -Wno-unused-parameter -Wshadow -Werror -std=gnu99)
{
    for f in ptp usb ptpip olympus-wrap chdk fujiptpip; do
        echo "${theirs[*]} $ptp2/$f.c -o $work/obj/$f.o"
    done
    for f in library config; do
        echo "${theirs[*]} $work/camlibs/ptp2/$f.c -o $work/obj/$f.o"
    done
    for f in driver/kd-*.c; do
        echo "${ours[*]} $repo/$f -o $work/obj/$(basename "$f" .c).o"
    done
} | xargs -P "$(nproc)" -L 1 sh -c '"$0" "$@"' "${cc[@]}" -c "${common[@]}" ||
    die "compile failed"

printf '{ global: camera_abilities; camera_id; camera_init; local: *; };\n' >"$work/camlib.map"
mkdir -p "$out"
"${cc[@]}" -shared -o "$work/ptp2.so" "$work"/obj/*.o -Wl,--version-script="$work/camlib.map" \
    -Wl,--no-undefined -L"$libdir" -lgphoto2 -lgphoto2_port -lm
mv "$work/ptp2.so" "$out/ptp2.so"
echo "build-driver: $out/ptp2.so ($arch, libgphoto2 $version + driver/)"
