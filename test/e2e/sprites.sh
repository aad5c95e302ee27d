#!/usr/bin/env bash
# The sprite example with the software and the OpenGL renderer on a private
# Xvfb: the sprites move, Escape ends the run with status 0 and the frame rate.
set -uo pipefail
BUILD=${1:?usage: sprites.sh BUILD_DIR}
. "$(dirname "$0")/xserver.bash"
PROG="$BUILD/test/sprites"
start_xvfb
build_xhelper

out="$WORK/out" err="$WORK/err"
background() { # a corner shows the clear colour (a sprite may cover the other)
  [ "$("$XHELPER" pixel "$win" 0 0)" = "32 32 48" ] || [ "$("$XHELPER" pixel "$win" 639 479)" = "32 32 48" ]
}
for r in software opengl; do
  "$PROG" --renderer $r >"$out" 2>"$err" &
  pid=$!
  win=$(wait_windows "^JEX sprites\$" 1) || { fail "$r: no window titled JEX sprites"; cat "$err"; finish; }
  sleep 1
  check "$r: the background is the clear colour" background
  check "$r: the sprites move" spins "$win"
  keys "$win" Escape
  wait_exit "$pid"
  check "$r: Escape ends the program with status 0" [ "$STATUS" = 0 ]
  check "$r: frame rate line" grep -qx '[0-9]*\.[0-9][0-9] frames per second' "$out"
  check "$r: nothing on standard error" [ ! -s "$err" ]
done

STATUS=0
"$PROG" --renderer nosuch >"$out" 2>"$err" || STATUS=$?
check "an unknown renderer: status 1" [ "$STATUS" = 1 ]
finish
