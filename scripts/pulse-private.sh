#!/usr/bin/env bash
# A private PulseAudio server for the device tests, one per directory:
#
#   scripts/pulse-private.sh start [DIR]   start a server in DIR (default: a new temporary
#                                          directory); prints the client settings as
#                                          `export NAME='value'` lines for eval
#   scripts/pulse-private.sh env DIR       print those lines again
#   scripts/pulse-private.sh stop DIR      stop the server and remove DIR
#   scripts/pulse-private.sh kill DIR      kill the server at once (SIGKILL); DIR stays
#   scripts/pulse-private.sh pause DIR     stop the server (SIGSTOP): it answers nothing
#   scripts/pulse-private.sh resume DIR    let a stopped server go on (SIGCONT)
#
# TONAMIRA_PULSE_VERBOSE=1 makes the server log in detail to DIR/log.
# TONAMIRA_PULSE_EXIT_IDLE=N makes the server end itself once it has had no client for N
# seconds (default: never), so that a test killed before its clean-up leaves no server.
#
# The server keeps everything (socket, runtime and state directories, configuration, log)
# inside DIR and reads no user configuration, so it never meets a user's running server or
# another test run's. It needs no sound hardware and runs as root. It offers:
#   - a null sink "tonamira_out" (44100 Hz, stereo) as the default sink;
#   - "tonamira_in", a recordable source remapped from that sink's monitor, as the default
#     source (a client that lists no monitor sources can record it too);
#   - the command interface, so that pacmd (with PULSE_RUNTIME_PATH) can drop a stream;
#   - a silent low-latency stream looped into the sink. A null sink with no stream of its
#     own sleeps for up to two seconds between renders and lets a newly connected stream
#     stall that long; the silent stream keeps it rendering every few milliseconds, as a
#     sound card would. Silence adds nothing to what is played, so the monitor stays
#     bit-exact.
set -euo pipefail

usage() {
  echo "usage: $0 start [DIR] | env DIR | stop DIR | kill DIR | pause DIR | resume DIR" >&2
  exit 2
}

print_env() {
  local dir=$1
  printf "export PULSE_SERVER='unix:%s/native'\n" "$dir"
  printf "export PULSE_CLIENTCONFIG='%s/client.conf'\n" "$dir"
  printf "export PULSE_RUNTIME_PATH='%s/run'\n" "$dir"
  printf "export TONAMIRA_PULSE_DIR='%s'\n" "$dir"
}

server_pid() {
  local dir=$1
  [ -f "$dir/pid" ] && cat "$dir/pid"
}

answers() {
  local dir=$1
  PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf" \
    timeout 5 pactl info >/dev/null 2>&1
}

start() {
  local dir=${1:-}
  if [ -z "$dir" ]; then dir=$(mktemp -d /tmp/tonamira-pulse.XXXXXX); fi
  mkdir -p "$dir/run" "$dir/state" "$dir/config"
  dir=$(cd "$dir" && pwd)
  # A unix socket path must fit in 108 bytes.
  if [ "${#dir}" -gt 90 ]; then
    echo "pulse-private: directory path too long for a socket: $dir" >&2
    exit 1
  fi
  if [ -n "$(server_pid "$dir")" ] && kill -0 "$(server_pid "$dir")" 2>/dev/null; then
    echo "pulse-private: a server is already running in $dir" >&2
    exit 1
  fi

  cat >"$dir/default.pa" <<PA
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
load-module module-cli-protocol-unix
load-module module-null-sink sink_name=tonamira_out rate=44100 channels=2 norewinds=1
load-module module-remap-source source_name=tonamira_in master=tonamira_out.monitor
load-module module-null-source source_name=tonamira_silence rate=44100 channels=1
load-module module-loopback source=tonamira_silence sink=tonamira_out latency_msec=10 source_dont_move=true sink_dont_move=true
set-default-sink tonamira_out
set-default-source tonamira_in
PA
  # Clients of this server never start a server of their own.
  echo "autospawn = no" >"$dir/client.conf"

  (
    export HOME="$dir" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" \
      PULSE_RUNTIME_PATH="$dir/run" PULSE_STATE_PATH="$dir/state" \
      PULSE_CLIENTCONFIG="$dir/client.conf"
    unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
    exec setsid pulseaudio -n -F "$dir/default.pa" --daemonize=no --exit-idle-time="${TONAMIRA_PULSE_EXIT_IDLE:--1}" \
      --use-pid-file=yes --disallow-exit=no --log-target=stderr ${TONAMIRA_PULSE_VERBOSE:+-vvvv} \
      </dev/null >"$dir/log" 2>&1
  ) &
  echo $! >"$dir/pid"

  # Wait (at most 10 s) until the server answers.
  local tries=0
  until answers "$dir"; do
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ] || ! kill -0 "$(server_pid "$dir")" 2>/dev/null; then
      echo "pulse-private: the server did not start; its log:" >&2
      cat "$dir/log" >&2 || true
      stop "$dir" >/dev/null 2>&1 || true
      exit 1
    fi
    sleep 0.1
  done
  print_env "$dir"
}

stop() {
  local dir=$1
  [ -d "$dir" ] || return 0
  local pid
  pid=$(server_pid "$dir" || true)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    kill -CONT "$pid" 2>/dev/null || true   # a paused server takes the signal too
    local tries=0
    while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
      sleep 0.1
      tries=$((tries + 1))
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  # Only remove what this script made.
  if [ -f "$dir/default.pa" ]; then rm -rf "$dir"; fi
}

signal_server() {
  local dir=$1 signal=$2
  local pid
  pid=$(server_pid "$dir" || true)
  if [ -n "$pid" ]; then kill "-$signal" "$pid" 2>/dev/null || true; fi
}

case "${1:-}" in
  start) start "${2:-}" ;;
  env) [ -n "${2:-}" ] || usage; print_env "$2" ;;
  stop) [ -n "${2:-}" ] || usage; stop "$2" ;;
  kill) [ -n "${2:-}" ] || usage; signal_server "$2" KILL ;;
  pause) [ -n "${2:-}" ] || usage; signal_server "$2" STOP ;;
  resume) [ -n "${2:-}" ] || usage; signal_server "$2" CONT ;;
  *) usage ;;
esac
