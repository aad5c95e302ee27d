#!/usr/bin/env bash
# Several windows on a private Xvfb: titles, all spinning, one closed leaves the others running,
# SIGTERM and closing the last window end the run normally; the GL requests of --fsaa and --accel.
set -uo pipefail
BUILD=${1:?usage: windows.sh BUILD_DIR}
. "$(dirname "$0")/xserver.bash"
start_xvfb
build_xhelper

title_of() { xprop -id "$1" WM_NAME | sed -n 's/^WM_NAME(STRING) = "\(.*\)"$/\1/p'; }

out="$WORK/out" err="$WORK/err"
convert -size 16x16 xc:red -type truecolor BMP3:"$WORK/rgb.bmp"
convert -size 16x16 xc:red -fill blue -draw 'point 3,3' -type palette BMP3:"$WORK/indexed.bmp"
"$PROG" --windows 3 --title cube --icon "$WORK/rgb.bmp" --geometry 320x240 --fsaa --fsaa --FSAA --vsync --info event \
  >"$out" 2>"$err" &
pid=$!
wins=$(wait_windows '^cube [0-9]$' 3) || { fail "three windows"; cat "$err"; finish; }
titles=$(for w in $wins; do title_of "$w"; done | sort | tr '\n' ' ')
check "titles cube 1, cube 2, cube 3" [ "$titles" = "cube 1 cube 2 cube 3 " ]
wait_text "$err" "JEX EVENT: Window 3 exposed"
# Side by side, so that no window hides another.
x=0
for w in $wins; do
  xdotool windowmove "$w" "$x" 0
  x=$((x + 340))
done
sleep 1
for w in $wins; do
  check "$(title_of "$w") spins" spins "$w"
done

first=$(xdotool search --name '^cube 1$')
second=$(xdotool search --name '^cube 2$')
third=$(xdotool search --name '^cube 3$')
"$XHELPER" close "$second"
check "close line" wait_text "$err" "JEX EVENT: Window 2 closed"
sleep 0.5
check "the closed window is gone" [ -z "$(xdotool search --name '^cube 2$')" ]
check "the program runs on" kill -0 "$pid"
check "cube 1 still spins" spins "$first"
check "cube 3 still spins" spins "$third"

kill -TERM "$pid"
wait_exit "$pid"
check "SIGTERM ends the program with status 0" [ "$STATUS" = 0 ]
check "quit line" has_line "$err" "JEX EVENT: Quit requested"
check "an icon without palette is refused for each window" \
  [ "$(grep -cx 'Icon must have a palette!' "$err")" = 3 ]
check "frame rate line" grep -qx '[0-9]*\.[0-9][0-9] frames per second' "$out"
check "multisample buffers requested" grep -qx 'JEX_GL_MULTISAMPLEBUFFERS: requested 1, got [0-9]*' "$out"
check "three samples requested" grep -qx 'JEX_GL_MULTISAMPLESAMPLES: requested 3, got [0-9]*' "$out"

# Closing every window, the first (which holds the context) first.
"$PROG" --windows 2 --title pair --geometry 320x240 --position 0,0 --accel 0 \
  --icon "$WORK/indexed.bmp" >"$out" 2>"$err" &
pid=$!
wins=$(wait_windows '^pair [0-9]$' 2) || { fail "two windows"; cat "$err"; finish; }
xdotool windowmove "$(xdotool search --name '^pair 2$')" 400 0
check "an indexed icon is set" \
  grep -q "Icon (16 x 16)" <(xprop -id "$(xdotool search --name '^pair 1$')" _NET_WM_ICON)
sleep 1
"$XHELPER" close "$(xdotool search --name '^pair 1$')"
sleep 1
last=$(xdotool search --name '^pair 2$')
check "the second window spins with the first one gone" spins "$last"
"$XHELPER" close "$last"
wait_exit "$pid"
check "closing the last window ends the program with status 0" [ "$STATUS" = 0 ]
check "... and prints the frame rate" grep -qx '[0-9]*\.[0-9][0-9] frames per second' "$out"
check "... and nothing on standard error" [ ! -s "$err" ]
check "acceleration 0 requested" grep -qx 'JEX_GL_ACCELERATED_VISUAL: requested 0, got [0-9]*' "$out"
finish
