#!/usr/bin/env bash
# The library as its users get it: built and installed into a private
# prefix, then used the three ways the README gives (find_package,
# pkg-config, add_subdirectory), shared and static; the examples run on a
# private Xvfb and must exit 0.
set -uo pipefail
BUILD=${1:?usage: package.sh BUILD_DIR}
SRC=$(cd "$(dirname "$0")/../.." && pwd)
. "$SRC/test/e2e/xserver.bash"

PREFIX="$WORK/prefix"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The library is rebuilt without the test build's sanitizers: users link a
# plain library.
unset ASAN_OPTIONS UBSAN_OPTIONS

step() { # step DESCRIPTION command...: output kept for a failure
  local what=$1; shift
  if "$@" >"$WORK/step.log" 2>&1; then pass "$what"; else fail "$what"; tail -30 "$WORK/step.log"; fi
}

step "configure, build and install into a private prefix" bash -c "
  cmake -S '$SRC' -B '$WORK/lib' -G Ninja -DCMAKE_BUILD_TYPE=Release ${launcher[*]} \
    -DCMAKE_INSTALL_PREFIX='$PREFIX' &&
  cmake --build '$WORK/lib' -j 2 &&
  cmake --install '$WORK/lib'"
[ "$FAILURES" -eq 0 ] || finish

LIBDIR=$(cd "$PREFIX" && ls -d lib*/ | head -n1); LIBDIR="$PREFIX/${LIBDIR%/}"
check "the layout: headers under include/JEX, both libraries, the CMake and pkg-config files" \
  test -f "$PREFIX/include/JEX/JEX.h" -a -f "$PREFIX/include/JEX/JEX_version.h" \
    -a -f "$LIBDIR/libjex.a" -a -L "$LIBDIR/libjex.so" -a -f "$LIBDIR/libjex.so.1" \
    -a -f "$LIBDIR/cmake/JEX/JEXConfig.cmake" -a -f "$LIBDIR/cmake/JEX/JEXConfigVersion.cmake" \
    -a -f "$LIBDIR/pkgconfig/jex.pc" -a -f "$LIBDIR/pkgconfig/jex-static.pc"

# Only JEX_ names are global; the C++ runtime's unique or weak template
# symbols (std::, __gnu_cxx::) are allowed.
foreign() { grep -vE ' (JEX_[A-Za-z0-9_]*|_ZN(St|9__gnu_cxx|KSt)[A-Za-z0-9_]*)$' | grep -vE ':$|^$' || true; }
check "libjex.so exports only JEX_ names" \
  test -z "$(nm -D --defined-only "$LIBDIR/libjex.so" | foreign)"
check "libjex.a defines only JEX_ names globally" \
  test -z "$(nm -g --defined-only "$LIBDIR/libjex.a" | foreign)"

export PKG_CONFIG_PATH="$LIBDIR/pkgconfig"
check "pkg-config reports the version of the headers" \
  test "$(pkg-config --modversion jex)" = "$(sed -n 's/^#define JEX_\(MAJOR_VERSION\|MINOR_VERSION\|PATCHLEVEL\) //p' "$SRC/include/JEX_version.h" | paste -sd.)"

for ex in events glclear sprites; do
  step "$ex: built with find_package(JEX)" bash -c "
    cmake -S '$SRC/examples/$ex' -B '$WORK/cm-$ex' -G Ninja -DCMAKE_PREFIX_PATH='$PREFIX' &&
    cmake --build '$WORK/cm-$ex'"
done
step "events: built with pkg-config" bash -c \
  "cc -Wall -Werror '$SRC/examples/events/events.c' -o '$WORK/pc-events' \$(pkg-config --cflags --libs jex)"
step "glclear: built with pkg-config" bash -c \
  "c++ -Wall -Werror '$SRC/examples/glclear/glclear.cpp' -o '$WORK/pc-glclear' \$(pkg-config --cflags --libs jex)"
step "a C program linked with the static library (jex-static)" bash -c \
  "cc -Wall -Werror '$SRC/examples/events/events.c' -o '$WORK/static-events' \$(pkg-config --cflags --libs jex-static)"
check "the static program does not load libjex.so" \
  bash -c "! ldd '$WORK/static-events' | grep -q libjex"

# A parent project adding the repository as a subdirectory: the library
# builds, JEX::jex links, and none of the library's tests or programs come along.
mkdir -p "$WORK/parent"
cat >"$WORK/parent/CMakeLists.txt" <<EOT
cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES C CXX)
add_subdirectory("$SRC" jex)
add_executable(app "$SRC/examples/events/events.c")
target_link_libraries(app PRIVATE JEX::jex)
EOT
step "as a subproject with add_subdirectory" bash -c "
  cmake -S '$WORK/parent' -B '$WORK/parent/build' -G Ninja -DCMAKE_BUILD_TYPE=Release ${launcher[*]} &&
  cmake --build '$WORK/parent/build' -j 2"
check "the subproject builds no tests or programs" \
  bash -c "! ninja -C '$WORK/parent/build' -t targets all | grep -qE '^(error_test|testgl2|c11_headers)[:.]'"

# The examples on a private X server: each shows its window, takes Escape
# and exits 0; glclear's window shows its colour.
start_xvfb
build_xhelper
run_example() { # run_example PROGRAM TITLE
  "$1" >"$WORK/ex.out" 2>"$WORK/ex.err" &
  local pid=$! win
  win=$(wait_windows "$2" 1 | head -n1)
  if [ -z "$win" ]; then
    fail "$1: no window"; cat "$WORK/ex.err"; kill "$pid" 2>/dev/null; return
  fi
  [ "$2" = "JEX GL clear" ] && sleep 0.5 &&
    check "$(basename "$1"): the window is cleared to its colour" \
      test "$("$XHELPER" pixel "$win" 160 120)" = "51 102 204"
  keys "$win" Escape
  wait_exit "$pid" 20
  check "$(basename "$1"): exits 0 after Escape" test "$STATUS" = 0
}
export LD_LIBRARY_PATH="$LIBDIR"
run_example "$WORK/cm-events/events" "JEX events"
check "events: the key events were printed" has_line "$WORK/ex.out" "key down: Escape"
run_example "$WORK/cm-glclear/glclear" "JEX GL clear"
run_example "$WORK/pc-events" "JEX events"
run_example "$WORK/pc-glclear" "JEX GL clear"
unset LD_LIBRARY_PATH
run_example "$WORK/static-events" "JEX events"

finish
