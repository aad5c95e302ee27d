#!/usr/bin/env bash
# Print Screen end to end: a harness program's software renderer draws a still
# scene into its window, through the texture-backed framebuffer on OpenGL and
# through the driver's own; the screenshot.bmp the harness saves, decoded by
# ImageMagick, holds the window's pixels as ImageMagick reads them from the server.
set -uo pipefail
BUILD=${1:?usage: screenshot.sh BUILD_DIR}
. "$(dirname "$0")/xserver.bash"
start_xvfb
cd "$WORK" || exit 1

for acceleration in "" 0; do
  rm -f screenshot.bmp
  JEX_FRAMEBUFFER_ACCELERATION=$acceleration "$BUILD/test/harness_scene" --renderer software \
    --title "JEX scene" --geometry 200x150 >"$WORK/out" 2>"$WORK/err" &
  pid=$!
  win=$(wait_windows "^JEX scene\$" 1) || { fail "no window titled JEX scene"; cat "$WORK/err"; break; }
  sleep 0.5
  keys "$win" Print
  for _ in $(seq 50); do [ -s screenshot.bmp ] && break; sleep 0.1; done
  check "[$acceleration] Print Screen saves a 200x150 screenshot.bmp" \
    [ "$(identify -format '%w %h' screenshot.bmp 2>/dev/null)" = "200 150" ]
  rm -f shot.rgb screen.rgb
  convert screenshot.bmp -depth 8 rgb:shot.rgb
  import -window "$win" -depth 8 rgb:screen.rgb
  check "[$acceleration] the screenshot holds the window's pixels" \
    eval '[ -s shot.rgb ] && cmp -s shot.rgb screen.rgb'
  keys "$win" Escape
  wait_exit "$pid"
  check "[$acceleration] Escape ends the program with status 0" [ "$STATUS" = 0 ]
  check "[$acceleration] nothing on standard error" [ ! -s "$WORK/err" ]
done
finish
