# Shared by the end-to-end scripts (sourced, not a test itself): a private
# Xvfb, the helper client, the program under test and small assertions.
# Expects BUILD (the build folder) to be set.

PROG="$BUILD/test/testgl2/testgl2"
WORK=$(mktemp -d)
XVFB_PID=
FAILURES=0

cleanup() {
  # Programs still running belong to this script only.
  local p
  for p in $(jobs -p); do
    [ "$p" = "$XVFB_PID" ] || kill "$p" 2>/dev/null || true
  done
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# Starts Xvfb on a display number the server picks itself (no collision with
# other servers on the machine) and exports DISPLAY.
start_xvfb() {
  local numfile="$WORK/display"
  # Mesa keeps a few allocations past unloading; our own leaks are checked
  # by the unit tests and by the runs that never load GL.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
  # -noreset: the helper tools connect between program runs, and a server
  # that resets when its last client leaves turns them away for a moment.
  # (The library waits for such a server; x11_video_test covers that.)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$numfile" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$numfile" ] && break
    sleep 0.1
  done
  [ -s "$numfile" ] || { echo "Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
  export DISPLAY=":$(head -n1 "$numfile")"
}

# The helper client, rebuilt when its source is newer.
XHELPER="$BUILD/e2e_xhelper"
build_xhelper() {
  local src
  src="$(dirname "${BASH_SOURCE[0]}")/xhelper.c"
  if [ ! -x "$XHELPER" ] || [ "$src" -nt "$XHELPER" ]; then
    cc -O2 -Wall -o "$XHELPER" "$src" -lX11
  fi
}

pass() { echo "ok   - $*"; }
fail() { echo "FAIL - $*"; FAILURES=$((FAILURES + 1)); }
check() { # check DESCRIPTION command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
has_line() { grep -qxF -- "$2" "$1"; }
has_text() { grep -qF -- "$2" "$1"; }

# Waits until N windows with a title matching the pattern exist; prints their ids.
wait_windows() { # wait_windows PATTERN N
  local ids
  for _ in $(seq 300); do
    ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null || true)
    if [ "$(printf '%s\n' "$ids" | grep -c .)" -ge "$2" ]; then
      printf '%s\n' "$ids"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Waits for the program (pid) to end; its status goes into STATUS.
wait_exit() { # wait_exit PID [SECONDS]
  local secs=${2:-20}
  for _ in $(seq $((secs * 10))); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$1" 2>/dev/null; then
    kill -9 "$1" 2>/dev/null
    STATUS=timeout
  else
    STATUS=0
    wait "$1" || STATUS=$?
  fi
}

# Sends keys to the window that has the keyboard focus.
keys() { # keys WINDOW key...
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  shift
  xdotool key --delay 50 "$@"
  sleep 0.3
}

# Waits until the file holds the text.
wait_text() { # wait_text FILE TEXT
  for _ in $(seq 150); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

spins() { # spins WINDOW: its pixels change within a few seconds
  local a b
  a=$("$XHELPER" hash "$1") || return 1
  for _ in $(seq 20); do
    sleep 0.25
    b=$("$XHELPER" hash "$1") || return 1
    [ "$a" != "$b" ] && return 0
  done
  return 1
}
finish() {
  if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
