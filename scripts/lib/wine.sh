# Sourced by every script that runs Windows programs: the Wine environment of
# a prefix, and its server started before and stopped after the work.

vantle_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Every Windows program starts without address-space randomisation. Debian's
# Wine has no preloader to hold the addresses Windows fixes before Linux
# places anything, and Linux puts the loader's heap anywhere in the gigabyte
# above it: about one start in a thousand the heap lies over the shared user
# data page (0x7FFE0000), and the program dies before any of its code runs
# ("failed to map the shared user data", its parent's CreateProcess fails with
# 1359). Without randomisation the heap starts right after the loader, far
# below; a program started from a Windows program inherits that.
if setarch "$(uname -m)" -R true 2>/dev/null; then
  wine() { setarch "$(uname -m)" -R wine "$@"; }
fi

# wine_env [PREFIX] [--display]: the build's prefix by default ($VANTLE_WINEPREFIX
# overrides it). No display unless asked: the test prefix uses Wine's null
# graphics driver. Mono and Gecko are never offered, WinHelp and the debugger
# never start (a crash ends the process instead of hanging in the debugger).
wine_env() {
  local prefix=${VANTLE_WINEPREFIX:-$vantle_root/build/wineprefix} display=no
  while [ $# -gt 0 ]; do
    case $1 in
      --display) display=yes ;;
      *) prefix=$1 ;;
    esac
    shift
  done
  # Wine takes only an absolute prefix; a relative one is made absolute here.
  case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
  export WINEPREFIX=$prefix
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winhlp32.exe=d;winedbg.exe=d"
  unset WAYLAND_DISPLAY
  [ "$display" = yes ] || unset DISPLAY
}

# vantle_hold FOLDER: this script alone uses the build in FOLDER and the
# prefixes inside it until it exits. A second script on the same build (a
# benchmark or one program started while the suite runs) would otherwise
# relink modules under running tests, or kill their Wine server, and a test
# killed with its server ends at once, silently, with code 1 or even 0. The
# second one waits instead. Held once per script: nested calls pass.
vantle_hold() {
  local lock
  lock=$(realpath -m "$1")/.vantle-busy
  case ":${VANTLE_HELD:-}:" in *":$lock:"*) return 0 ;; esac
  mkdir -p "$(dirname "$lock")"
  exec {vantle_hold_fd}>>"$lock"
  if ! flock -n "$vantle_hold_fd"; then
    echo "waiting for another script to finish with $(dirname "$lock")" >&2
    flock "$vantle_hold_fd"
  fi
  export VANTLE_HELD=${VANTLE_HELD:+$VANTLE_HELD:}$lock
}

# wine_start: a fresh server for the prefix, once the build beside it is held.
# The server and Wine's services start first and detached, so that nothing run
# later waits on pipes they inherited (ctest would); they do not inherit the
# hold either, which ends with the script.
wine_start() {
  vantle_hold "$(dirname "$WINEPREFIX")"
  wineserver -k 2>/dev/null || true
  (
    [ -z "${vantle_hold_fd:-}" ] || exec {vantle_hold_fd}>&-
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
  )
}

# wine_stop: ends the prefix's server and every program still running in it.
wine_stop() {
  wineserver -k 2>/dev/null || true
}
