# Windows builds against the static Qt of tools/winqt.sh (included from the
# top-level CMakeLists.txt when building for Windows with mingw-w64).

# One self-contained .exe per program: besides Qt, the mingw runtime
# (libgcc, libstdc++, winpthread of the posix thread model) is linked in, so
# no DLL has to lie beside the program.
add_link_options(-static)
# Release programs go without their symbol tables (a third of the size).
add_link_options($<$<CONFIG:Release>:-s>)

# A static Qt's CMake files link its plugins into every executable that uses
# Qt GUI and import them there (Q_IMPORT_PLUGIN). The `windows` platform
# plugin is the one no program can start without, so a Qt without it is
# refused here rather than at run time.
if(NOT TARGET Qt5::QWindowsIntegrationPlugin)
    message(FATAL_ERROR "The Qt at ${Qt5_DIR} has no windows platform plugin: build it with tools/winqt.sh")
endif()
