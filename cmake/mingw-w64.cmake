# Shared part of the Windows toolchain files: Debian's mingw-w64 compilers of
# the posix thread model (QtTest's watchdog needs std::mutex, which the win32
# model lacks), the static Qt that tools/winqt.sh builds for the same
# architecture and the static libsodium of tools/winsodium.sh beside it.
# ORVALIN_WINQT_PREFIX and ORVALIN_WINSODIUM_PREFIX name others.
#
# Expects ORVALIN_MINGW_ARCH (i686 or x86_64) to be set by the including file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVALIN_MINGW_ARCH})
set(triplet ${ORVALIN_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

if(NOT ORVALIN_WINQT_PREFIX)
    # The cache folder tools/winqt.sh installs into, named after the version
    # it builds.
    file(READ "${CMAKE_CURRENT_LIST_DIR}/../tools/qt-version" orvalin_qt_version)
    string(STRIP "${orvalin_qt_version}" orvalin_qt_version)
    if(DEFINED ENV{ORVALIN_WINQT_PREFIX})
        set(ORVALIN_WINQT_PREFIX "$ENV{ORVALIN_WINQT_PREFIX}")
    elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
        set(ORVALIN_WINQT_PREFIX "$ENV{XDG_CACHE_HOME}/orvalin/qt-${orvalin_qt_version}-${ORVALIN_MINGW_ARCH}")
    else()
        set(ORVALIN_WINQT_PREFIX "$ENV{HOME}/.cache/orvalin/qt-${orvalin_qt_version}-${ORVALIN_MINGW_ARCH}")
    endif()
endif()
# libsodium as tools/winsodium.sh builds it, found through its pkg-config file.
if(NOT ORVALIN_WINSODIUM_PREFIX)
    get_filename_component(ORVALIN_WINSODIUM_PREFIX "${ORVALIN_WINQT_PREFIX}/../libsodium-${ORVALIN_MINGW_ARCH}" ABSOLUTE)
endif()
set(ENV{PKG_CONFIG_LIBDIR} "${ORVALIN_WINSODIUM_PREFIX}/lib/pkgconfig")
# try_compile projects read the toolchain file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVALIN_WINQT_PREFIX ORVALIN_WINSODIUM_PREFIX ORVALIN_MINGW_ARCH)

# Headers and libraries come from the mingw sysroot and the Windows Qt only;
# programs (the compilers, Qt's host tools) from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${ORVALIN_WINQT_PREFIX} ${ORVALIN_WINSODIUM_PREFIX})
set(CMAKE_PREFIX_PATH ${ORVALIN_WINQT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
