# Install rules, the CMake package and pkg-config files that hosts and other plug-ins build
# against, and the Debian packages (CPack). Two components, one package each:
#   plugin  libPluginCameraCtrl.so, the web remote libPluginCameraWeb.so with a sample of its
#           configuration, the libZRLog.so stand-in, the headers, the CMake package and the
#           pkg-config files
#   tools   camera-host, camera-monitor, camsim, the simulator's drivers and profiles
# The installed tree is relocatable: programs find the plug-in, the drivers and the profiles
# relative to their own directory, so the same files work under /usr and in a staging directory.

# The install directories (Debian's multiarch LIBDIR) are set in the top-level CMakeLists.txt,
# before any folder reads them.
include(CMakePackageConfigHelpers)

set(CAMCTRL_PACKAGE_NAME plugincameractrl)
set(CAMCTRL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/${CAMCTRL_PACKAGE_NAME})
set(CAMCTRL_INSTALL_CAMLIBSDIR ${CMAKE_INSTALL_LIBDIR}/${CAMCTRL_PACKAGE_NAME}/camsim/camlibs)
set(CAMCTRL_INSTALL_IOLIBSDIR ${CMAKE_INSTALL_LIBDIR}/${CAMCTRL_PACKAGE_NAME}/camsim/iolibs)
set(CAMCTRL_INSTALL_PTP_IOLIBSDIR ${CMAKE_INSTALL_LIBDIR}/${CAMCTRL_PACKAGE_NAME}/camsim/ptp-iolibs)
set(CAMCTRL_INSTALL_PROFILEDIR ${CMAKE_INSTALL_DATADIR}/${CAMCTRL_PACKAGE_NAME}/profiles)
set(CAMCTRL_INSTALL_PTPBODYDIR ${CMAKE_INSTALL_DATADIR}/${CAMCTRL_PACKAGE_NAME}/ptp/bodies)
set(CAMCTRL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/PluginCameraCtrl)
set(CAMCTRL_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

foreach(_dir BINDIR LIBDIR DATADIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
        message(FATAL_ERROR "CMAKE_INSTALL_${_dir} must be relative to the prefix (the installed tree is relocatable)")
    endif()
endforeach()

# camctrl_relative(OUT FROM TO): the path from one install directory to another.
function(camctrl_relative out from to)
    file(RELATIVE_PATH _rel /prefix/${from} /prefix/${to})
    string(REGEX REPLACE "/$" "" _rel "${_rel}")
    if(_rel STREQUAL "")
        set(_rel .)
    endif()
    set(${out} ${_rel} PARENT_SCOPE)
endfunction()

camctrl_relative(_bin_to_lib ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
camctrl_relative(_bin_to_camlibs ${CMAKE_INSTALL_BINDIR} ${CAMCTRL_INSTALL_CAMLIBSDIR})
camctrl_relative(_bin_to_iolibs ${CMAKE_INSTALL_BINDIR} ${CAMCTRL_INSTALL_IOLIBSDIR})
camctrl_relative(_bin_to_ptp_iolibs ${CMAKE_INSTALL_BINDIR} ${CAMCTRL_INSTALL_PTP_IOLIBSDIR})
camctrl_relative(_bin_to_profiles ${CMAKE_INSTALL_BINDIR} ${CAMCTRL_INSTALL_PROFILEDIR})
camctrl_relative(_pc_to_prefix ${CAMCTRL_INSTALL_PKGCONFIGDIR} .)

if(TARGET CamSimControl)
    target_compile_definitions(CamSimControl PRIVATE
        CAMSIM_BIN_TO_PROFILES="${_bin_to_profiles}"
        CAMSIM_BIN_TO_CAMLIBS="${_bin_to_camlibs}"
        CAMSIM_BIN_TO_IOLIBS="${_bin_to_iolibs}"
        CAMSIM_BIN_TO_PTP_IOLIBS="${_bin_to_ptp_iolibs}")
endif()
if(TARGET HostApp)
    target_compile_definitions(HostApp PRIVATE CAMCTRL_BIN_TO_LIB="${_bin_to_lib}")
endif()

# --- plugin component ---------------------------------------------------------------------

# The plug-in stays in the library directory: the host loads it by path, and the device's other
# applications link it for the utility functions it exports. It finds libZRLog.so beside it.
set_target_properties(PluginCameraCtrl PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS PluginCameraCtrl ZRLog HostContracts
        EXPORT PluginCameraCtrlTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT plugin
        INCLUDES DESTINATION ${CAMCTRL_INSTALL_INCLUDEDIR})
# The web remote: a plug-in of its own; its configuration file is the device's to write
# (/etc/camera-web.conf, see docs/web.md), the package carries a commented sample.
if(TARGET PluginCameraWeb)
    set_target_properties(PluginCameraWeb PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS PluginCameraWeb LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT plugin)
    install(FILES packaging/camera-web.conf
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lib${CAMCTRL_PACKAGE_NAME}/examples COMPONENT plugin)
endif()
install(FILES
            include/BlockQueue.h
            include/CameraParams.h
            include/PluginInterface.h
            include/SetRequests.h
            include/SharedDataStore.h
            include/VirtualEventBus.h
            platform/zrlog/zrlog.h
            platform/zrlog/zrlog_text.h
            Model/PluginManager/PluginManager.h
            Util/Module/BasicFun/BasicFunExport.h
            Util/Module/BasicFun/FileUtils.h
            Util/Module/BasicFun/Function.h
            Util/Module/BasicFun/zr_misc.h
        DESTINATION ${CAMCTRL_INSTALL_INCLUDEDIR} COMPONENT plugin)

install(EXPORT PluginCameraCtrlTargets
        NAMESPACE PluginCameraCtrl::
        DESTINATION ${CAMCTRL_INSTALL_CMAKEDIR} COMPONENT plugin)
configure_package_config_file(cmake/PluginCameraCtrlConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/packaging/PluginCameraCtrlConfig.cmake
                              INSTALL_DESTINATION ${CAMCTRL_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/PluginCameraCtrlConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/PluginCameraCtrlConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/PluginCameraCtrlConfigVersion.cmake
        DESTINATION ${CAMCTRL_INSTALL_CMAKEDIR} COMPONENT plugin)

# pkg-config: the prefix follows the .pc file, so a staged tree works as well as /usr.
set(CAMCTRL_PC_PREFIX "\${pcfiledir}/${_pc_to_prefix}")
foreach(_pc plugincameractrl plugincameractrl-util)
    configure_file(cmake/${_pc}.pc.in ${CMAKE_BINARY_DIR}/packaging/${_pc}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${_pc}.pc
            DESTINATION ${CAMCTRL_INSTALL_PKGCONFIGDIR} COMPONENT plugin)
endforeach()

# --- tools component ----------------------------------------------------------------------

if(TARGET camera-host AND TARGET camsim)
    set_target_properties(camera-host camera-monitor camsim PROPERTIES INSTALL_RPATH "$ORIGIN/${_bin_to_lib}")
    install(TARGETS camera-host camera-monitor camsim
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    install(TARGETS camsim_camlib LIBRARY DESTINATION ${CAMCTRL_INSTALL_CAMLIBSDIR} COMPONENT tools)
    install(TARGETS camsim_iolib LIBRARY DESTINATION ${CAMCTRL_INSTALL_IOLIBSDIR} COMPONENT tools)
    install(TARGETS camsim_ptp_iolib LIBRARY DESTINATION ${CAMCTRL_INSTALL_PTP_IOLIBSDIR} COMPONENT tools)
    install(DIRECTORY sim/profiles/ DESTINATION ${CAMCTRL_INSTALL_PROFILEDIR} COMPONENT tools
            FILES_MATCHING PATTERN "*.json")
    # The bodies at the USB wire sit beside the profiles, as in the source tree.
    install(DIRECTORY sim/ptp/bodies/ DESTINATION ${CAMCTRL_INSTALL_PTPBODYDIR} COMPONENT tools
            FILES_MATCHING PATTERN "*.json")
endif()

# --- Debian packages ----------------------------------------------------------------------

set(CAMCTRL_DEB_MAINTAINER "Seed b65bf879 maintainers <maintainers@users.noreply.c-seed-b65bf879.example>"
    CACHE STRING "Maintainer field of the Debian packages")

# The Debian architecture of the target, not of the build machine (a cross build packages armhf).
if(NOT CAMCTRL_DEB_ARCHITECTURE)
    set(_arch "")
    find_program(CAMCTRL_DPKG_ARCHITECTURE dpkg-architecture)
    if(CAMCTRL_DPKG_ARCHITECTURE AND CMAKE_LIBRARY_ARCHITECTURE)
        execute_process(COMMAND ${CAMCTRL_DPKG_ARCHITECTURE} -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                        OUTPUT_VARIABLE _arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    set(CAMCTRL_DEB_ARCHITECTURE "${_arch}" CACHE STRING "Debian architecture of the packages")
endif()

set(CPACK_PACKAGE_NAME ${CAMCTRL_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${CAMCTRL_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL plugin tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
if(CAMCTRL_DEB_ARCHITECTURE)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CAMCTRL_DEB_ARCHITECTURE})
endif()

# A cross build: dpkg-shlibdeps reads the target's libraries in the sysroot and learns their
# packages and symbols from the dpkg database there (scripts/armhf-sysroot.sh writes one).
set(_sysroot "${CMAKE_SYSROOT}")
if(NOT _sysroot AND CMAKE_FIND_ROOT_PATH)
    list(GET CMAKE_FIND_ROOT_PATH 0 _sysroot)
endif()
if(CMAKE_CROSSCOMPILING AND _sysroot)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
        ${_sysroot}/lib/${CMAKE_LIBRARY_ARCHITECTURE} ${_sysroot}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/CPackTarget.cmake CONTENT
         "set(ENV{DEB_HOST_ARCH} \"${CAMCTRL_DEB_ARCHITECTURE}\")\nset(ENV{DPKG_ADMINDIR} \"${_sysroot}/var/lib/dpkg\")\n")
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/CPackTarget.cmake)
endif()

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME lib${CAMCTRL_PACKAGE_NAME})
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SECTION libs)
# The libraries are in the linker's directory: refresh its cache through dpkg's trigger.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/plugin/triggers CONTENT "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PLUGIN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/plugin/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# First line: the summary; the rest: the long description.
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION
    "camera-control plug-in for video devices (libgphoto2)
libPluginCameraCtrl.so is a plug-in for the host process of an embedded video
device. It finds a USB camera through libgphoto2 (Sony Alpha/FX, Canon EOS R,
Nikon Z), reads and sets ISO, iris, shutter speed, white balance, focus mode,
exposure program, movie recording and a touch-focus point, and talks to its
host over a publish/subscribe event bus. libPluginCameraWeb.so, a second
plug-in on the same bus, shows the camera in a browser and sets it from there
(HTTP API and Server-Sent Events, compiled-in page, token for LAN use).
.
The package also holds what hosts and other plug-ins build against: the host
contract headers, the device utility library that the plug-in exports, a
stand-in for the host's libZRLog.so, a CMake package and pkg-config files.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${CAMCTRL_PACKAGE_NAME}-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS plugin)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "host tools and camera simulator for the camera-control plug-in
camera-host loads libPluginCameraCtrl.so as a device's host does, prints the
parameter records it publishes and sends it set requests; camera-monitor
prints the records a host forwards as datagrams. camsim steers simulated
cameras: a camera and a USB port driver for libgphoto2 with model profiles,
which camera-host --simulate uses.")

# Each package carries the copyright and the Debian changelog in its documentation directory
# (the changelog compressed as Debian wants it: gzip -9, no name or time stamp).
set(_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
execute_process(COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog
                OUTPUT_FILE ${_changelog_gz} RESULT_VARIABLE _gzip)
if(NOT _gzip EQUAL 0)
    message(FATAL_ERROR "gzip of packaging/changelog failed")
endif()
foreach(_component plugin tools)
    string(TOUPPER ${_component} _upper)
    set(_doc ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${_upper}_PACKAGE_NAME})
    install(FILES packaging/copyright ${_changelog_gz} DESTINATION ${_doc} COMPONENT ${_component})
endforeach()

include(CPack)
