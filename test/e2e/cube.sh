#!/usr/bin/env bash
# The GL cube program in one window on a private Xvfb: the reports, the
# cube on screen and spinning, the event lines, the hot keys and the
# clipboard, and Escape ending the run with the frame rate.
set -uo pipefail
BUILD=${1:?usage: cube.sh BUILD_DIR}
. "$(dirname "$0")/xserver.bash"
start_xvfb
build_xhelper

eventually() { for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done; return 1; }
size_is() { [ "$(xwininfo -id "$1" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')" = "$2" ]; }
clip_is() { [ "$(xclip -o -selection primary 2>/dev/null)" = "$1" ]; }  # the PRIMARY selection

out="$WORK/out" err="$WORK/err"
"$PROG" --info all >"$out" 2>"$err" &
pid=$!
win=$(wait_windows "^$PROG\$" 1) || { fail "no window titled $PROG"; finish; }
check "one window titled with the program name" [ "$(printf '%s\n' "$win" | wc -l)" = 1 ]
check "640x480" eventually size_is "$win" 640x480
check "placed in the middle of the 1024x768 screen" \
  [ "$(xwininfo -id "$win" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x "," y}')" = 192,144 ]
wait_text "$err" "JEX EVENT: Window 1 exposed"
sleep 1

# Black background, the cube's colours in the middle, moving between frames. The unit cube
# seen face-on (every 24th frame: 120 degrees about the diagonal) covers exactly 160x120
# pixels of the 640x480 window, its smallest outline.
check "background is black" [ "$("$XHELPER" pixel "$win" 4 4)" = "0 0 0" ]
check "the centre is not black" [ "$("$XHELPER" pixel "$win" 320 240)" != "0 0 0" ]
read -r lit distinct < <("$XHELPER" colours "$win")
check "the cube covers part of the window, shaded ($lit lit, $distinct colours)" \
  [ "$lit" -ge 15000 -a "$lit" -lt 200000 -a "$distinct" -gt 100 ]
check "the cube spins" spins "$win"

keys "$win" a
check "key press line" wait_text "$err" \
  "JEX EVENT: Keyboard: key pressed  in window 1: scancode 0x00000004 = A, keycode 0x00000061 = A"
xdotool windowmove "$win" 100 50
check "window moved line" wait_text "$err" "JEX EVENT: Window 1 moved to 100,50"
xdotool mousemove --window "$win" 10 20 click 1
check "mouse button line" wait_text "$err" "JEX EVENT: Mouse: button 1 pressed at 10,20 in window 1"

keys "$win" ctrl+c
check "Control+c puts the text on the clipboard" eventually clip_is "$(printf 'JEX rocks!\nYou know it!')"
printf 'from xclip ✓' | xclip -i -selection primary 2>/dev/null
eventually clip_is "from xclip ✓"
keys "$win" ctrl+v

keys "$win" ctrl+Return
check "Control+Return goes full screen" wait_text "$err" "JEX EVENT: Window 1 resized to 1024x768"
keys "$win" ctrl+Return
check "... and back to 640x480" eventually size_is "$win" 640x480
# Maximise, restore and minimise need a window manager to show; without one
# the program must simply carry on.
keys "$win" ctrl+m
keys "$win" ctrl+m
keys "$win" ctrl+z
xdotool windowmap "$win" 2>/dev/null
sleep 0.3
check "still spinning after the window hot keys" spins "$win"

keys "$win" Escape
wait_exit "$pid"
check "Escape ends the program with status 0" [ "$STATUS" = 0 ]
check "escape line" has_line "$err" \
  "JEX EVENT: Keyboard: key pressed  in window 1: scancode 0x00000029 = Escape, keycode 0x0000001B = Escape"

check "Screen BPP line" has_line "$out" "Screen BPP: 24"
for s in "Vendor     : " "Renderer   : " "Version    : " "Extensions : "; do
  check "'$s' line" grep -q "^$s" "$out"
done
for a in RED:5 GREEN:5 BLUE:5 DEPTH:16; do
  check "JEX_GL_${a%:*}_SIZE requested ${a#*:}" \
    grep -qx "JEX_GL_${a%:*}_SIZE: requested ${a#*:}, got [0-9]*" "$out"
done
check "no multisample or acceleration lines" \
  [ "$(grep -c -e MULTISAMPLE -e ACCELERATED "$out")" = 0 ]
check "copy line" has_line "$out" "Copied text to clipboard"
check "paste line shows the UTF-8 text set by xclip" has_line "$out" "Clipboard: from xclip ✓"
check "frame rate lines at the end" [ "$(tail -n2 "$out" | head -n1)" = "SPINNING CUBE FRAME RATE (WINDOWED):" ]
check "... with the rate" grep -qx '[0-9]*\.[0-9][0-9] frames per second' <(tail -n1 "$out")
check "render report: the drivers" has_line "$err" "Built-in render drivers:"
for r in opengl software; do
  check "render report: $r" has_line "$err" "  Renderer $r:"
done
check "an OpenGL window gets no renderer" [ "$(grep -c '^Current renderer:' "$err")" = 0 ]

# A render driver that does not exist: start-up ends after the window.
STATUS=0
"$PROG" --renderer nosuch >"$out" 2>"$err" || STATUS=$?
check "--renderer nosuch: status 2" [ "$STATUS" = 2 ]
check "--renderer nosuch: reported, without a line break" \
  [ "$(tail -n1 "$err")" = "Couldn't find render driver named nosuch" -a -n "$(tail -c1 "$err")" ]
finish
