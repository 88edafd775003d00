#!/bin/sh
# Builds Qt for Windows (qtbase: Core, Gui, Widgets, Network, the windows
# platform plugin and, for the x86_64 Qt that runs the test suite, Test) from
# Debian's own qtbase-opensource-src with Debian's mingw-w64 cross compilers,
# static and release, into a cache folder outside the tree. A cache built with
# the same options is reused.
#
#   tools/winqt.sh i686|x86_64 [packages]     prints the install folder on its last line
set -eu

. "$(dirname "$0")/crossbuild.sh"
# What the build needs; "packages" as second argument installs just that.
needs="g++-mingw-w64-$debarch-posix binutils-mingw-w64-$debarch dpkg-dev make perl python3 xz-utils qtbase5-dev-tools qt5-qmake"
cross_packages_only "$needs" "${2:-}"
# The one place the version is written (cmake/mingw-w64.cmake reads it too).
qtver=$(cat "$(dirname "$0")/qt-version")
cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvalin
prefix=$cache/qt-$qtver-$arch

# QtTest's watchdog needs std::mutex, which only the posix thread model has.
# Debian's source leaves out src/3rdparty/wintab, which tablet input needs.
# Everything the programs do not use is left out, which roughly halves the
# build: the SQL, XML, Concurrent and Print Support modules, JPEG, Markdown,
# ODF and PDF writing, the state machine, graphics view, the standard dialogs
# and the widgets no form has; FTP, the network disk cache, DNS lookups,
# SOCKS5, UDP and local sockets; the MIME database, XML streams, gestures,
# pictures, movies and the file system model; the GIF and ICO image plugins
# (the icon is the executable's resource, which Windows reads itself), the
# minimal platform plugin and the Linux framebuffer helpers. The shipped i686
# Qt has no QtTest either: its build runs no test program. Accessibility
# stays: screen readers reach the program through it (UI Automation).
#
# Qt's host tools (moc, rcc, uic and their bootstrap library) are Debian's
# own of the same version (qtbase5-dev-tools) instead of a second build of
# them for each architecture.
#
# The shipped i686 Qt is optimised for size (-Os): a launcher gains nothing
# from -O3's speed on its few small windows but starts from a smaller file,
# and -Os compiles about a quarter faster than Qt's own -O3 for QtCore and
# QtGui. The x86_64 Qt only runs the test suite under wine64 and is not
# optimised at all (-O0), which compiles faster still.
options="-opensource -confirm-license -xplatform win32-g++ -device-option CROSS_COMPILE=$triplet-
 -external-hostbindir /usr/lib/qt5/bin -static -static-runtime -release -prefix $prefix -nomake examples -nomake tests -no-opengl -no-dbus -no-icu
 -qt-zlib -qt-libpng -no-libjpeg -qt-pcre -qt-harfbuzz -no-freetype -no-sql-sqlite -no-sql-odbc -no-sql-psql
 -no-sql-mysql -schannel -no-openssl -no-feature-tabletevent -no-feature-direct2d -no-feature-sql
 -no-feature-xml -no-feature-concurrent -no-feature-printer -no-feature-tuiotouch
 -no-feature-bearermanagement -no-vulkan -no-feature-textodfwriter -no-feature-textmarkdownreader
 -no-feature-textmarkdownwriter -no-feature-pdf -no-feature-statemachine -no-feature-graphicsview
 -no-feature-mdiarea -no-feature-calendarwidget -no-feature-filedialog -no-feature-fontdialog
 -no-feature-colordialog -no-feature-wizard -no-feature-errormessage
 -no-feature-undocommand -no-feature-columnview -no-feature-datawidgetmapper -no-feature-keysequenceedit
 -no-feature-dial -no-feature-lcdnumber -no-feature-toolbox -no-feature-fontcombobox
 -no-feature-syntaxhighlighter -no-feature-splashscreen
 -no-feature-treewidget -no-feature-tablewidget -no-feature-listwidget
 -no-feature-ftp -no-feature-networkdiskcache -no-feature-dnslookup -no-feature-socks5
 -no-feature-udpsocket -no-feature-localserver -no-feature-mimetype -no-feature-xmlstream
 -no-feature-transposeproxymodel -no-feature-concatenatetablesproxymodel -no-feature-gestures
 -no-feature-picture -no-feature-movie -no-feature-filesystemmodel
 -no-feature-dockwidget -no-feature-textbrowser -no-feature-scroller -no-gif -no-ico"
if [ "$arch" = i686 ]; then
    options="$options -optimize-size -no-feature-testlib"
else
    options="$options QMAKE_CFLAGS_OPTIMIZE=-O0 QMAKE_CFLAGS_OPTIMIZE_FULL=-O0 QMAKE_CFLAGS_RELEASE=-O0 QMAKE_CXXFLAGS_RELEASE=-O0"
fi
options=$(echo $options)
# What a cached Qt must match: the options and what is done to the sources.
recipe="$options; QtGui without rhi; no minimal platform, no framebuffer helpers"

# Qt names some system libraries in mixed case (-lSecur32 -lCrypt32 for the
# schannel backend). Windows does not care, but Debian's mingw-w64 import
# libraries are lower-case files (libsecur32.a) on a case-sensitive file
# system, so the link dependencies Qt records for its static libraries (which
# CMake and qmake read from the .prl files) are lower-cased. Safe to repeat.
lowercase_link_libraries() {
    find "$prefix" \( -name '*.prl' -o -name '*.pc' \) -exec \
        sed -i '/^QMAKE_PRL_LIBS\|^Libs/ s/-l\([A-Za-z0-9_]*\)/-l\L\1/g' {} +
}

if [ -f "$prefix/.orvalin-options" ] && [ "$(cat "$prefix/.orvalin-options")" = "$recipe" ]; then
    echo "== Qt $qtver for $triplet is cached"
    lowercase_link_libraries
    echo "$prefix"
    exit 0
fi

install_with_sources "$needs"

work=$cache/work-$arch
log=$cache/qt-$qtver-$arch.log
rm -rf "$work" "$prefix"
mkdir -p "$work"
echo "== fetching Debian's qtbase-opensource-src into $work"
# The very release of the host tools: moc's output must suit the headers
# it is compiled against.
release=$(dpkg-query -W -f='${source:Version}' qtbase5-dev-tools)
(cd "$work" && apt-get source -qq "qtbase-opensource-src=$release" >/dev/null)
src=$(ls -d "$work"/qtbase-opensource-src-$qtver* | head -n1)
# Deletes the lines of a Qt project file that match a pattern (a sed basic
# regular expression without '#'), and fails when none did: Qt's build would
# then quietly compile what was meant to be left out.
drop_lines() {
    lines=$(wc -l <"$src/$1")
    sed -i "\\#$2#d" "$src/$1"
    [ "$(wc -l <"$src/$1")" -lt "$lines" ] || { echo "could not leave $2 out of $1" >&2; exit 1; }
}
# What Qt's build has no switch for is taken out of its project files: QtGui's
# rendering hardware interface (Direct3D 11 and its shaders), which serves Qt
# Quick only; the minimal platform plugin, which nothing here loads; the
# framebuffer, device discovery and EDID helpers of the Linux plugins.
drop_lines src/gui/gui.pro '^include(rhi/rhi.pri)$'
drop_lines src/plugins/platforms/platforms.pro 'SUBDIRS += minimal$'
for helper in edid devicediscovery fbconvenience; do
    drop_lines src/platformsupport/platformsupport.pro "^    $helper \\\\$"
done

# The compilers of the posix thread model under the names Qt's mkspec calls.
tools=$work/bin
mkdir -p "$tools"
for t in gcc g++; do
    ln -sf "/usr/bin/$triplet-$t-posix" "$tools/$triplet-$t"
done
PATH=$tools:$PATH
export PATH

# Configure would first compile a qmake of its own (a minute or more on one
# core), which nothing uses: configure itself, the Makefiles and the install
# all run Debian's (-external-hostbindir). The make configure calls lets
# Debian's stand in for it there and passes everything else on.
cat >"$tools/make" <<EOF
#!/bin/sh
if [ "\$(pwd)" = "$work/build/qmake" ]; then
    mkdir -p ../bin && ln -sf /usr/lib/qt5/bin/qmake ../bin/qmake && ln -sf /usr/lib/qt5/bin/qmake qmake
    exit
fi
exec /usr/bin/make "\$@"
EOF
chmod +x "$tools/make"

echo "== configuring Qt $qtver for $triplet (full log: $log)"
mkdir -p "$work/build"
cd "$work/build"
started=$(date +%s)
# shellcheck disable=SC2086
MAKE=$tools/make "$src/configure" $options >"$log" 2>&1 || { tail -n 30 "$log" >&2; exit 1; }

# Qt's build would still compile its own host tools, and a bootstrap copy of
# QtCore for them, although Debian's are used (-external-hostbindir): their
# Makefiles are replaced by empty ones, and the records through which the
# modules find a tool (what qmake writes for each) name Debian's.
for t in bootstrap moc rcc uic qlalr tracegen qvkgen; do
    mkdir -p "src/tools/$t"
    printf 'first all install uninstall clean distclean:\n\t@:\n' >"src/tools/$t/Makefile"
    [ $t = bootstrap ] ||
        printf 'QT_TOOL.%s.binary = /usr/lib/qt5/bin/%s\nQT_TOOL.%s.depends =\n' $t $t $t >"mkspecs/modules/qt_tool_$t.pri"
done
# The same for qmake, which the build would otherwise compile after all
# (its "binary" target); the install copies whatever qmake/qmake is.
printf 'first all binary install uninstall clean distclean:\n\t@:\n' >qmake/Makefile

echo "== building (a line per module and per 100 files compiled; a quarter of an hour or more on two cores)"
# shellcheck disable=SC2046
{ make $(make_jobs) >>"$log" 2>&1; echo $? >"$work/status"; } &
builder=$!
# A line for each folder make enters for the first time (the module being
# built; qmake visits some early, while writing the Makefiles) and a running
# count of compiled files.
seen=""
files=0
tail -n0 -F --pid=$builder "$log" 2>/dev/null |
    sed -un -e "s|.*Entering directory '$work/build/\(src/[^/']*\(/[^/']*\)\?\)'.*|dir \1|p" \
        -e 's|.* -o [^ ]*\.o .*|obj|p' |
    while read -r kind dir; do
        if [ "$kind" = obj ]; then
            files=$((files + 1))
            [ $((files % 100)) -ne 0 ] || echo "   $(($(date +%s) - started)) s  $files files compiled"
            continue
        fi
        case " $seen " in *" $dir "*) continue ;; esac
        seen="$seen $dir"
        echo "   $(($(date +%s) - started)) s  $dir"
    done
wait $builder || true
if [ "$(cat "$work/status")" != 0 ]; then
    grep -m5 -B2 -A5 'error:' "$log" >&2 || tail -n 30 "$log" >&2
    echo "Qt build failed; full log: $log" >&2
    exit 1
fi
echo "== installing into $prefix"
make install >>"$log" 2>&1
# CMake's Qt packages look for the host tools in the prefix.
for t in moc rcc uic; do
    ln -sf /usr/lib/qt5/bin/$t "$prefix/bin/$t"
done
lowercase_link_libraries
echo "$recipe" >"$prefix/.orvalin-options"
cd /
rm -rf "$work"
echo "== Qt $qtver for $triplet built in $(($(date +%s) - started)) s"
echo "$prefix"
