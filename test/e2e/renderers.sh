#!/usr/bin/env bash
# The renderers on a private Xvfb. The sprite example with the software and the OpenGL
# renderer: the sprites move, Escape ends the run with status 0 and the frame rate. Print
# Screen in a harness program whose software renderer draws a still scene, through the
# texture-backed framebuffer on OpenGL and through the driver's own: the screenshot.bmp it
# saves, decoded by ImageMagick, holds the window's pixels as ImageMagick reads them.
set -uo pipefail
BUILD=${1:?usage: renderers.sh BUILD_DIR}
. "$(dirname "$0")/xserver.bash"
start_xvfb
build_xhelper
cd "$WORK" || exit 1

out="$WORK/out" err="$WORK/err"
start() { # start TITLE PROGRAM ARGS...: the program in the background, its window in $win
  local title=$1; shift
  "$@" >"$out" 2>"$err" &
  pid=$!
  win=$(wait_windows "^$title\$" 1) || { fail "no window titled $title"; cat "$err"; finish; }
}
ends_cleanly() { # ends_cleanly WHAT: Escape ends the run with status 0, nothing on stderr
  keys "$win" Escape
  wait_exit "$pid"
  check "$1: Escape ends the program with status 0" [ "$STATUS" = 0 ]
  check "$1: nothing on standard error" [ ! -s "$err" ]
}
background() { # a corner shows the clear colour (a sprite may cover the other)
  [ "$("$XHELPER" pixel "$win" 0 0)" = "32 32 48" ] || [ "$("$XHELPER" pixel "$win" 639 479)" = "32 32 48" ]
}
for r in software opengl; do
  start "JEX sprites" "$BUILD/test/sprites" --renderer $r
  sleep 1
  check "$r: the background is the clear colour" background
  check "$r: the sprites move" spins "$win"
  ends_cleanly "$r"
  check "$r: frame rate line" grep -qx '[0-9]*\.[0-9][0-9] frames per second' "$out"
done
STATUS=0
"$BUILD/test/sprites" --renderer nosuch >"$out" 2>"$err" || STATUS=$?
check "an unknown renderer: status 1" [ "$STATUS" = 1 ]

for acceleration in "" 0; do
  rm -f screenshot.bmp shot.rgb screen.rgb
  JEX_FRAMEBUFFER_ACCELERATION=$acceleration start "JEX scene" "$BUILD/test/harness_scene"
  sleep 0.5
  keys "$win" Print
  for _ in $(seq 50); do [ -s screenshot.bmp ] && break; sleep 0.1; done
  check "[$acceleration] Print Screen saves a 200x150 screenshot.bmp" \
    [ "$(identify -format '%w %h' screenshot.bmp 2>/dev/null)" = "200 150" ]
  convert screenshot.bmp -depth 8 rgb:shot.rgb
  import -window "$win" -depth 8 rgb:screen.rgb
  check "[$acceleration] the screenshot holds the window's pixels" \
    eval '[ -s shot.rgb ] && cmp -s shot.rgb screen.rgb'
  ends_cleanly "scene [$acceleration]"
done
finish
