#!/usr/bin/env bash
# Builds everything for 32-bit ARM (armhf) and runs the tests whose outcome can depend on the
# target on the emulated target: the sysroot (scripts/armhf-sysroot.sh), a cross build into
# build-armhf/ with qemu-arm as the emulator, then ctest there; then makes and checks the
# armhf Debian packages (build-armhf/packages/).
# The tests: CAMCTRL_TESTS=target (tests/CMakeLists.txt), what depends on the ABI and the
# kernel interface; CAMCTRL_ARMHF_TESTS=all builds and runs the whole suite instead.
# Benchmarks are not built: there is no armhf Google Benchmark in the sysroot.
# Left out: the `slow` label as natively, and `host-tools` (tests that run the
# machine's own x86-64 programs against the build's ARM libraries).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stages.sh

stage armhf-setup scripts/setup.sh g++-arm-linux-gnueabihf qemu-user
sysroot=${CAMCTRL_ARMHF_SYSROOT:-$PWD/build-armhf-sysroot}
# .ci/run has made it already, beside the native builds.
[ "${CAMCTRL_ARMHF_SYSROOT_READY:-0}" = 1 ] || stage armhf-sysroot scripts/armhf-sysroot.sh "$sysroot"

# The device's camera driver for armhf and its package, beside the cross build.
armhf_driver() { scripts/build-driver.sh --arch armhf && scripts/package-driver.sh --arch armhf; }
stage_bg armhf-driver armhf_driver

# The test programs' own code without optimisation, as in scripts/test.sh; the product's with
# line tables only (the packages are stripped).
stage armhf-build scripts/build.sh build-armhf -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/armhf.cmake" \
    -DCAMCTRL_ARMHF_SYSROOT="$sysroot" -DCAMCTRL_BUILD_BENCH=OFF -DCAMCTRL_TEST_COMPILE_OPTIONS="-O0;-g1" \
    -DCAMCTRL_TESTS="${CAMCTRL_ARMHF_TESTS:-target}" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

echo "armhf libraries, stripped:"
for lib in build-armhf/lib/*.so; do
    stripped=$(mktemp)
    arm-linux-gnueabihf-strip -o "$stripped" "$lib"
    printf '  %-28s %8d bytes\n' "$(basename "$lib")" "$(stat -c %s "$stripped")"
    rm -f "$stripped"
done

# --timeout covers tests that set none; camctrl_add_test scales its own. The emulator keeps a
# core busy per test, but many tests still mostly wait: CAMCTRL_ARMHF_CTEST_JOBS (default 3).
armhf_ctest() {
    cd build-armhf && ctest -j"${CAMCTRL_ARMHF_CTEST_JOBS:-3}" --output-on-failure --timeout 600 -LE 'slow|host-tools'
}
stage armhf-ctest armhf_ctest

# The armhf Debian packages: fields, contents, dependencies as dpkg-shlibdeps finds them in the
# sysroot (installing them would need the emulator as the scratch root's shell).
stage armhf-debs scripts/check-debs.sh build-armhf armhf
stage_wait armhf-driver
[ "${STAGE_OWNER:-}" != $$ ] || stage_summary
