#!/usr/bin/env bash
# Makes and checks the Debian package of the device's camera driver (driver/README.md) from what
# scripts/build-driver.sh built: plugincameractrl-driver, with ptp2.so in
# /usr/lib/<multiarch>/plugincameractrl/camlibs/ (a drivers directory of its own: Debian's
# ptp2.so stays for every other camera program; camera-host uses this one when it is there).
#   scripts/package-driver.sh [--arch amd64|armhf]   -> build[-armhf]/driver/packages/*.deb
# The checks are those scripts/check-debs.sh makes of the other packages: fields, contents,
# stripped binary of the architecture, no path of this machine, lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
arch=amd64
[ "${1:-}" = "--arch" ] && arch=$2
case $arch in
    amd64) build=$repo/build triplet=x86_64-linux-gnu machine=X86-64 strip=strip ;;
    armhf) build=$repo/build-armhf triplet=arm-linux-gnueabihf machine=ARM strip=arm-linux-gnueabihf-strip ;;
    *) echo "package-driver: --arch amd64 or armhf" >&2; exit 2 ;;
esac
fail() {
    echo "package-driver: $*" >&2
    exit 1
}
so=$build/driver/camlibs/ptp2.so
[ -s "$so" ] || fail "no $so (scripts/build-driver.sh --arch $arch)"

gphoto=$(dpkg-query -W -f='${Version}' libgphoto2-dev)
upstream=${gphoto%-*}
next=${upstream%.*}.$((${upstream##*.} + 1))
name=plugincameractrl-driver
version=$(sed -n '1s/.*(\(.*\)).*/\1/p' packaging/driver/changelog)
case $version in "$gphoto"+*) ;; *) fail "packaging/driver/changelog is for $version, the driver is built from $gphoto" ;; esac

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
lib=$root/usr/lib/$triplet/plugincameractrl/camlibs
doc=$root/usr/share/doc/$name
install -d "$lib" "$doc" "$root/DEBIAN"
"$strip" --strip-unneeded -o "$lib/ptp2.so" "$so"
chmod 0644 "$lib/ptp2.so"
install -m 0644 packaging/driver/copyright "$doc/copyright"
gzip -9n -c packaging/driver/changelog >"$doc/changelog.Debian.gz"
chmod 0644 "$doc/changelog.Debian.gz"
# A camera driver belongs to exactly one libgphoto2 release: it uses that release's camlib
# interface.
cat >"$root/DEBIAN/control" <<EOF
Package: $name
Version: $version
Architecture: $arch
Maintainer: $(sed -n 's/^ -- \(.*>\)  .*/\1/p' packaging/driver/changelog | head -n1)
Installed-Size: $(du -sk "$root/usr" | cut -f1)
Depends: libc6 (>= 2.34), libgphoto2-6 (>= $upstream), libgphoto2-6 (<< $next), libgphoto2-port12 (>= $upstream)
Section: libs
Priority: optional
Description: camera driver of the device (libgphoto2 ptp2 with additions)
 libgphoto2's ptp2 camera driver built from Debian's libgphoto2 $upstream source
 with the additions the device's camera-control plug-in relies on: its model
 rows for the Sony Alpha/FX, Canon EOS R and Nikon Z bodies, camera events for
 changes made on the body, a touch-focus widget and the Nikon photo/movie
 settings. It is installed in a drivers directory of its own, which
 libgphoto2 programs use through CAMLIBS; Debian's driver stays as it is.
EOF
out=$build/driver/packages
mkdir -p "$out"
deb=$out/${name}_${version}_${arch}.deb
dpkg-deb --root-owner-group --build "$root" "$deb" >/dev/null

# The checks.
[ "$(dpkg-deb --field "$deb" Architecture)" = "$arch" ] || fail "wrong architecture"
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's,^\./,/,' | grep -v '/$')
expected=$(printf '%s\n' "/usr/lib/$triplet/plugincameractrl/camlibs/ptp2.so" \
    "/usr/share/doc/$name/changelog.Debian.gz" "/usr/share/doc/$name/copyright")
[ "$(sort <<<"$contents")" = "$(sort <<<"$expected")" ] || fail "contents: $contents"
unpacked=$(mktemp -d)
trap 'rm -rf "$root" "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
elf=$unpacked/usr/lib/$triplet/plugincameractrl/camlibs/ptp2.so
readelf -h "$elf" | grep -q "Machine:.*$machine" || fail "ptp2.so is not built for $arch"
! readelf -S "$elf" | grep -q '\.debug_info' || fail "ptp2.so is not stripped"
! readelf -d "$elf" | grep -qE 'RPATH|RUNPATH' || fail "ptp2.so has a run path"
grep -q LGPL-2.1 "$unpacked/usr/share/doc/$name/copyright" || fail "the copyright file does not say LGPL-2.1"
for tree in "$repo" "$build"; do
    ! grep -rlF "$tree" "$unpacked" >/dev/null || fail "packaged files name $tree"
done
if command -v lintian >/dev/null; then
    # As for the other packages: no ITP bug closed (a firmware image, not Debian's archive); a
    # camera driver is a plug-in module, not a shared library with a soname.
    accepted='initial-upload-closes-no-bugs|shared-library-lacks-version|shared-library-lacks-prerequisites|package-name-doesnt-match-sonames|no-shlibs'
    report=$(lintian --no-tag-display-limit "$deb" 2>/dev/null || true)
    echo "lintian ($arch):"
    sed 's/^/  /' <<<"$report"
    unexpected=$(grep -E '^[EW]: ' <<<"$report" | grep -Ev ": ($accepted)( |$)" || true)
    [ -z "$unexpected" ] || fail "lintian findings: $unexpected"
fi
echo "package-driver: $deb is fine"
