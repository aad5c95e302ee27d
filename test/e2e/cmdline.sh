#!/usr/bin/env bash
# The GL cube program's command line and start-up failures, no X server
# needed: bad options end with status 1 and the usage line, a driver
# without OpenGL ends with status 2.
set -uo pipefail
BUILD=${1:?usage: cmdline.sh BUILD_DIR}
. "$(dirname "$0")/xserver.bash"

usage="Usage: $PROG [--video driver] [--renderer driver] [--info all|video|modes|render|event] [--log all|error|system|audio|video|render|input] [--display N] [--fullscreen | --windows N] [--title title] [--icon icon.bmp] [--center | --position X,Y] [--geometry WxH] [--depth N] [--refresh R] [--vsync] [--noframe] [--resize] [--minimize] [--maximize] [--grab] [--fsaa] [--accel n]"

run() { # run ARGS...: output in $WORK/out and $WORK/err, status in STATUS
  STATUS=0
  JEX_VIDEODRIVER=dummy "$PROG" "$@" >"$WORK/out" 2>"$WORK/err" || STATUS=$?
}

for args in "--accel" "--fsaa --accel" "--info bogus" "--format X16" "--windows x3" \
            "--windows 0" "--windows -3" "--windows 99999999999999999999" "--geometry 800X600" \
            "--video" "--frobnicate" "-h" "--HELP"; do
  # shellcheck disable=SC2086
  run $args
  check "'$args': status 1" [ "$STATUS" = 1 ]
  check "'$args': the usage line and nothing else" \
    [ "$(cat "$WORK/err")" = "$usage" -a ! -s "$WORK/out" ]
done

# Good options, then a driver that cannot make GL windows.
run --fsaa --FSAA --accel 0 --vsync --windows 3 --title cube --format s16be
check "dummy driver: status 2" [ "$STATUS" = 2 ]
check "dummy driver: the window failure is reported" \
  has_line "$WORK/err" "Couldn't create window: No OpenGL support in video driver"
check "dummy driver: nothing on standard output" [ ! -s "$WORK/out" ]

run --video nosuchdriver
check "unknown driver: status 2" [ "$STATUS" = 2 ]
check "unknown driver: reported" has_text "$WORK/err" "Couldn't initialize video driver: "

# The video report lists the drivers before starting one.
run --info video
check "--info video: driver list" grep -qx "Built-in video drivers: .*x11, dummy" "$WORK/err"
check "--info video: driver in use" has_line "$WORK/err" "Video driver: dummy"
run --info modes
check "--info modes: displays and modes" \
  [ "$(grep -c -e '^Number of displays: 1$' -e '^Display 0:$' -e '^  Current mode: ' \
        -e '^  Fullscreen video modes:$' -e '^    Mode 0: ' "$WORK/err")" = 5 ]

finish
