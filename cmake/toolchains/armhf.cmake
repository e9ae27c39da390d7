# 32-bit ARM (armhf) with Debian's arm-linux-gnueabihf cross compiler.
# The compiler brings its own C and C++ runtime; the third-party libraries
# (libgphoto2 and what it needs, GoogleTest) come from the sysroot that
# scripts/armhf-sysroot.sh builds. Programs run under qemu-arm with that
# sysroot as the target's root file system.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

if(NOT CAMCTRL_ARMHF_SYSROOT)
    if(DEFINED ENV{CAMCTRL_ARMHF_SYSROOT})
        set(CAMCTRL_ARMHF_SYSROOT $ENV{CAMCTRL_ARMHF_SYSROOT})
    else()
        get_filename_component(CAMCTRL_ARMHF_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../../build-armhf-sysroot ABSOLUTE)
    endif()
endif()
set(CAMCTRL_ARMHF_SYSROOT ${CAMCTRL_ARMHF_SYSROOT} CACHE PATH "armhf sysroot (scripts/armhf-sysroot.sh)")
# try_compile projects read this file again and need the same sysroot.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CAMCTRL_ARMHF_SYSROOT)
set(_sysroot ${CAMCTRL_ARMHF_SYSROOT})

# The emulator sees the sysroot as "/"; the preloaded library lets the
# sysroot's 32-bit libraries list directories under emulation (qemu-readdir.c).
find_program(CAMCTRL_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CAMCTRL_QEMU_ARM} -L ${_sysroot} -E LD_PRELOAD=/usr/local/lib/libqemu-readdir.so)
# The target's gphoto2 tool, for tests that drive a camera through it.
set(CAMCTRL_GPHOTO2 ${_sysroot}/usr/bin/gphoto2)

set(CMAKE_FIND_ROOT_PATH ${_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the sysroot's .pc files and prefixes their paths.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${_sysroot})
set(ENV{PKG_CONFIG_LIBDIR} ${_sysroot}/usr/lib/arm-linux-gnueabihf/pkgconfig:${_sysroot}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Headers are included as <gphoto2/...>; searched after the compiler's own.
# -Wno-psabi: GCC notes an ARM argument-passing change of GCC 7.1 for every
# std::map use; all of this is built by one compiler.
set(CMAKE_C_FLAGS_INIT "-idirafter ${_sysroot}/usr/include -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "-idirafter ${_sysroot}/usr/include -Wno-psabi")
# The sysroot's libraries need further libraries of the sysroot at link time.
set(_libdirs ${_sysroot}/lib/arm-linux-gnueabihf ${_sysroot}/usr/lib/arm-linux-gnueabihf)
list(JOIN _libdirs ":" _rpath_link)
foreach(_kind EXE SHARED MODULE)
    set(CMAKE_${_kind}_LINKER_FLAGS_INIT "-Wl,-rpath-link,${_rpath_link}")
endforeach()
