# Starts a virtual X server of the game's size (1920 x 1080) for the benchmark scripts; sourced by scripts/bench.sh
# and cmake/CheckBenchChecks.sh.
#   start_xvfb <log file> [command words to start it behind, e.g. taskset -c 2,3]
# The server takes the first display number free on the machine itself (-displayfd), so it never takes one another
# server holds, and whoever starts servers at numbers of their own choosing keeps them. On a busy machine a server
# can take long to come up or lose a race for a number and stop: each try waits up to 60 s for the server to say
# its number, and a server that stopped or stayed silent is followed by a new one, three tries in all.
# On success sets xvfb_pid and xvfb_display (":N") and returns 0; else returns 1 with xvfb_error saying why (the
# servers' own words are in the log). stop_xvfb ends the server started.

xvfb_pid=""
xvfb_display=""
xvfb_error=""

start_xvfb() {
  local log=$1 fifo try number
  shift
  xvfb_pid=""
  xvfb_display=""
  xvfb_error=""
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/grindlow-xvfb.XXXXXX")
  mkfifo "$fifo" || { xvfb_error="could not make a pipe for the display number"; return 1; }
  for try in 1 2 3; do
    echo "--- Xvfb, try $try" >>"$log"
    "$@" Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1920x1080x24 3>"$fifo" >>"$log" 2>&1 &
    xvfb_pid=$!
    # The server holds the pipe open from its start: the read ends with its number, at its end, or at the wait.
    number=""
    read -r -t 60 number <"$fifo" || true
    if [[ $number =~ ^[0-9]+$ ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
      xvfb_display=":$number"
      rm -f "$fifo"
      return 0
    fi
    stop_xvfb
  done
  rm -f "$fifo"
  xvfb_error="the virtual X server (Xvfb) did not start in 3 tries: $(grep -v '^---' "$log" | grep . | tail -n 1)"
  return 1
}

stop_xvfb() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=""
  xvfb_display=""
}
