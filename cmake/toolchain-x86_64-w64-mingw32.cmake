# Windows builds for x86-64 (the program and its tests, run under wine64):
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
set(ORVALIN_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# This build runs only the tests under wine64, against the unoptimised Qt of
# tools/winqt.sh, whose static libraries are four times the size of the
# optimised ones: GNU ld takes about 15 s for each program, LLVM's lld about
# 1 s. gcc's collect2 runs GNU ld by its full path whatever -fuse-ld says, so
# the link step is handed to lld through the driver's -wrapper. The shipped
# i686 build keeps GNU ld.
find_program(ORVALIN_LLD ld.lld REQUIRED)
foreach(kind EXE SHARED MODULE)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " -wrapper ${CMAKE_CURRENT_LIST_DIR}/lld-collect2.sh,${ORVALIN_LLD}")
endforeach()
