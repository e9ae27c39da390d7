#!/usr/bin/env bash
# Builds the armhf sysroot the cross build links against and qemu-arm runs in:
#   scripts/armhf-sysroot.sh [SYSROOT]     (default: build-armhf-sysroot/)
# Debian's armhf packages are fetched with `apt-get download` and unpacked with
# `dpkg-deb -x` (installing foreign-architecture packages through apt is not
# reliable here; downloading is). Their runtime dependencies are followed
# recursively. GoogleTest/GoogleMock are Debian's armhf static libraries; the readdir fix
# that programs under qemu-arm preload (cmake/toolchains/qemu-readdir.c) is built into
# SYSROOT/usr/local.
# A package that cannot be downloaded stops the script with its name. Downloads are cached in
# .cache/armhf-debs/ (CAMCTRL_ARMHF_DEBS: elsewhere).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

sysroot=${1:-${CAMCTRL_ARMHF_SYSROOT:-$repo/build-armhf-sysroot}}
mkdir -p "$sysroot"
sysroot=$(cd "$sysroot" && pwd)
# Downloaded packages are kept (by their archive names) for the next run; CAMCTRL_ARMHF_DEBS puts
# them outside the tree, e.g. where a fresh clone in CI finds them again.
debs=${CAMCTRL_ARMHF_DEBS:-$repo/.cache/armhf-debs}
mkdir -p "$debs"

# What the build links against and the tests run: libgphoto2 with its port
# library, the C++ runtime, and the gphoto2 tool for tests that drive the
# camera through it, the web remote's HTTP library, and GoogleTest/GoogleMock.
seeds=(
    libc6 libgcc-s1 libstdc++6
    libgphoto2-dev libgphoto2-6 libgphoto2-port12 libexif-dev libexif12
    libltdl-dev libltdl7 libusb-1.0-0 libudev1
    libmicrohttpd-dev libmicrohttpd12
    libgtest-dev libgmock-dev
    gphoto2
)
# Architecture-independent headers the build uses.
arch_all=(nlohmann-json3-dev)

die() {
    echo "armhf-sysroot: $*" >&2
    exit 1
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    echo "armhf-sysroot: adding the armhf architecture to apt"
    $sudo dpkg --add-architecture armhf
    # One unreachable index (e.g. a mirror mid-sync) must not stop the rest;
    # the check below tells whether the armhf packages are known.
    $sudo apt-get update -qq || echo "armhf-sysroot: apt-get update reported errors" >&2
fi
if ! apt-cache show --no-all-versions libgphoto2-6:armhf >/dev/null 2>&1; then
    $sudo apt-get update -qq || echo "armhf-sysroot: apt-get update reported errors" >&2
    apt-cache show --no-all-versions libgphoto2-6:armhf >/dev/null 2>&1 ||
        die "apt knows no armhf packages (apt-get update failed?)"
fi

# Prints "name|arch|multi-arch|filename|depends" for each package.
describe() {
    apt-cache show --no-all-versions "${@/%/:armhf}" 2>/dev/null | awk '
        function flush() { if (p != "") print p "|" a "|" m "|" f "|" d; p = a = m = f = d = "" }
        /^Package: /      { flush(); p = $2 }
        /^Architecture: / { a = $2 }
        /^Multi-Arch: /   { m = $2 }
        /^Filename: /     { f = $2 }
        /^(Pre-)?Depends: / { sub(/^[^:]*: /, ""); d = d (d == "" ? "" : ", ") $0 }
        END { flush() }'
}

# Breadth-first over Depends/Pre-Depends (first alternative of each). A
# dependency joins only if it is built for armhf and is not Multi-Arch:
# foreign: those are tools and data (dpkg, debconf, fonts) the host provides.
declare -A seen=() file=()
queue=("${seeds[@]}")
for p in "${seeds[@]}"; do seen[$p]=seed; done
while [ ${#queue[@]} -gt 0 ]; do
    next=()
    found=()
    while IFS='|' read -r name arch ma filename depends; do
        found+=("$name")
        if [ "${seen[$name]}" != seed ] && { [ "$arch" != armhf ] || [ "$ma" = foreign ]; }; then
            unset "file[$name]"
            continue
        fi
        file[$name]=$filename
        # Development packages are seeds with their libraries; what they
        # depend on beyond that (libc6-dev, pkg-config) the cross compiler has.
        [[ $name != *-dev ]] || continue
        IFS=',' read -ra deps <<<"$depends"
        for dep in "${deps[@]}"; do
            dep=${dep%%|*}
            dep=${dep%%(*}
            dep=${dep// /}
            dep=${dep%:any}
            [ -n "$dep" ] || continue
            if [ -z "${seen[$dep]:-}" ]; then
                seen[$dep]=dep
                next+=("$dep")
            fi
        done
    done < <(describe "${queue[@]}")
    # A name without a record is virtual (e.g. automake-1.16): nothing to
    # unpack. A library it stands for would show up in the check below.
    for p in "${queue[@]}"; do
        [[ " ${found[*]} " == *" $p "* ]] || [ "${seen[$p]}" != seed ] || die "no armhf package '$p' in apt's lists"
    done
    queue=("${next[@]}")
done

declare -A apt_name=()
for p in "${!file[@]}"; do apt_name[$p]=$p:armhf; done
for p in "${arch_all[@]}"; do
    file[$p]=$(apt-cache show --no-all-versions "$p" 2>/dev/null | sed -n 's/^Filename: //p' | head -n1)
    [ -n "${file[$p]}" ] || die "no package '$p' in apt's lists"
    apt_name[$p]=$p
done

mapfile -t packages < <(printf '%s\n' "${!file[@]}" | sort)
echo "armhf-sysroot: ${#packages[@]} packages"

# apt-get download names a file with an epoch "NAME_EPOCH%3aVERSION_ARCH.deb";
# the cache keeps the archive's name.
want=()
for p in "${packages[@]}"; do
    [ -s "$debs/$(basename "${file[$p]}")" ] || want+=("${apt_name[$p]}")
done
if [ ${#want[@]} -gt 0 ]; then
    echo "armhf-sysroot: downloading ${#want[@]} packages"
    as_root=()
    [ "$(id -u)" -ne 0 ] || as_root=(-o APT::Sandbox::User=root)
    (cd "$debs" && apt-get download -qq "${as_root[@]}" "${want[@]}" >/dev/null) ||
        echo "armhf-sysroot: apt-get download reported errors" >&2
    for w in "${want[@]}"; do
        p=${w%:armhf}
        deb=$(basename "${file[$p]}")
        got=$(ls "$debs/${p}_"*.deb 2>/dev/null | grep -v "/$deb\$" | head -n1 || true)
        [ -z "$got" ] || mv "$got" "$debs/$deb"
        [ -s "$debs/$deb" ] || die "download of $w failed"
    done
fi

# Unpack again only when the packages or what builds the sysroot changed.
shim=$repo/cmake/toolchains/qemu-readdir.c
stamp=$( (
    for p in "${packages[@]}"; do basename "${file[$p]}"; done
    cat "$shim" "$repo/cmake/toolchains/armhf.cmake" "$repo/scripts/armhf-sysroot.sh"
) | sha256sum | cut -c1-16)
if [ "$(cat "$sysroot/.stamp" 2>/dev/null)" = "$stamp" ]; then
    echo "armhf-sysroot: $sysroot is up to date"
    exit 0
fi

find "$sysroot" -mindepth 1 -delete
for p in "${packages[@]}"; do
    dpkg-deb -x "$debs/$(basename "${file[$p]}")" "$sysroot" || die "unpacking $p failed"
done

# A dpkg database of what was unpacked, for dpkg-shlibdeps when the armhf Debian packages are
# made (cmake/Packaging.cmake): which package a library comes from, by its path in the sysroot,
# and that package's symbols and shlibs files. Nothing is installed through it.
admin=$sysroot/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates"
echo armhf >"$admin/arch"
echo 1 >"$admin/info/format" # file names with the architecture, as in a multiarch database
: >"$admin/status"
control=$(mktemp -d)
for p in "${packages[@]}"; do
    deb=$debs/$(basename "${file[$p]}")
    rm -rf "$control" && dpkg-deb -e "$deb" "$control" || die "reading the control files of $p failed"
    key=$p
    ! grep -qx 'Multi-Arch: same' "$control/control" || key=$p:armhf
    { sed '/^Package:/a Status: install ok installed' "$control/control"; echo; } >>"$admin/status"
    dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n "s,^\./\(.*[^/]\)/*\$,$sysroot/\1,p" >"$admin/info/$key.list"
    for f in symbols shlibs; do
        [ ! -f "$control/$f" ] || cp "$control/$f" "$admin/info/$key.$f"
    done
done
rm -rf "$control"

# Absolute links would point into the host's file system.
while IFS= read -r link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$sysroot$target")" "$link"
done < <(find "$sysroot" -type l -lname '/*')

# Every library and program must find what it needs inside the sysroot.
libdirs=("$sysroot/lib/arm-linux-gnueabihf" "$sysroot/usr/lib/arm-linux-gnueabihf")
missing=()
while read -r dir soname; do
    [ -e "${libdirs[0]}/$soname" ] || [ -e "${libdirs[1]}/$soname" ] || [ -e "$dir/$soname" ] ||
        missing+=("$soname")
done < <(find "$sysroot" -type f \( -name '*.so*' -o -path '*/bin/*' \) -exec readelf -d {} + 2>/dev/null |
    awk '/^File: / { dir = $2; sub(/\/[^\/]*$/, "", dir) }
         /\(NEEDED\)/ { so = $NF; gsub(/[][]/, "", so); print dir, so }' | sort -u)
[ ${#missing[@]} -eq 0 ] || die "libraries missing from the sysroot: ${missing[*]}"

mkdir -p "$sysroot/usr/local/lib"
arm-linux-gnueabihf-gcc -O2 -Wall -Wextra -Werror -fno-strict-aliasing -shared -fPIC \
    -o "$sysroot/usr/local/lib/libqemu-readdir.so" "$shim"


echo "$stamp" >"$sysroot/.stamp"
echo "armhf-sysroot: $sysroot ready"
