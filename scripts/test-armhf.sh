#!/usr/bin/env bash
# Builds everything for 32-bit ARM (armhf) and runs the whole test suite on the
# emulated target: the sysroot (scripts/armhf-sysroot.sh), a cross build into
# build-armhf/ with qemu-arm as the emulator, then ctest there; then makes and checks the
# armhf Debian packages (build-armhf/packages/).
# Benchmarks are not built: there is no armhf Google Benchmark in the sysroot.
# Left out: the `slow` label as natively, and `host-tools` (tests that run the
# machine's own x86-64 programs against the build's ARM libraries).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

scripts/setup.sh g++-arm-linux-gnueabihf qemu-user
sysroot=${CAMCTRL_ARMHF_SYSROOT:-$PWD/build-armhf-sysroot}
scripts/armhf-sysroot.sh "$sysroot"

scripts/build.sh build-armhf -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/armhf.cmake" \
    -DCAMCTRL_ARMHF_SYSROOT="$sysroot" -DCAMCTRL_BUILD_BENCH=OFF

echo "armhf libraries, stripped:"
for lib in build-armhf/lib/*.so; do
    stripped=$(mktemp)
    arm-linux-gnueabihf-strip -o "$stripped" "$lib"
    printf '  %-28s %8d bytes\n' "$(basename "$lib")" "$(stat -c %s "$stripped")"
    rm -f "$stripped"
done

# --timeout covers tests that set none; camctrl_add_test scales its own.
(cd build-armhf && ctest -j2 --output-on-failure --timeout 600 -LE 'slow|host-tools')

# The armhf Debian packages: fields, contents, dependencies as dpkg-shlibdeps finds them in the
# sysroot (installing them would need the emulator as the scratch root's shell).
scripts/check-debs.sh build-armhf armhf
echo "armhf run: $((SECONDS - start)) s"
