#!/usr/bin/env bash
# Playback to a PulseAudio null sink, beside mpg123, in one run on the same files:
#  - CPU time of playing a 30 s file with cantorel-cli and with mpg123 -o pulse;
#  - the silence between two consecutive tracks, measured at the sink, and after a Next;
#  - the end of play heard against the end signalled, and the last position report;
#  - the positions' monotonicity, and how long calls take while the server is stopped.
#   bench/playback_bench.sh BIN_DIR
set -euo pipefail
bin=${1:?usage: playback_bench.sh BIN_DIR}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pulse_pid=
trap '[ -n "$pulse_pid" ] && kill $pulse_pid 2>/dev/null; rm -rf "$work"' EXIT

# A private sound server. Without rewinds the sink's monitor records exactly what was played.
export XDG_RUNTIME_DIR=$work
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --load="module-null-sink sink_name=bench_null norewinds=1" \
  --load="module-native-protocol-unix socket=$work/native auth-anonymous=1" >/dev/null 2>&1 &
pulse_pid=$!
export PULSE_SERVER=unix:$work/native
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

tone() { # tone NAME SECONDS HZ: an MP3 whose tone runs at full amplitude to its last sample
  sox -n -r 44100 -c 2 "$work/$1.wav" synth "$2" sine "$3" vol 0.8 >/dev/null 2>&1
  lame --quiet -b 192 "$work/$1.wav" "$work/$1.mp3"
}
tone long 30 440
tone first 3 440
tone second 3 660

TIMEFORMAT='%R %U %S'
cpu() { # CPU seconds (user + system) of a command
  local wall user sys
  read -r wall user sys < <( { time "$@" </dev/null >/dev/null 2>&1; } 2>&1 )
  awk -v u="$user" -v s="$sys" 'BEGIN{printf "%.3f", u+s}'
}
median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
ours=$(median3 "$(cpu "$bin/cantorel-cli" play "$work/long.mp3")" "$(cpu "$bin/cantorel-cli" play "$work/long.mp3")" \
  "$(cpu "$bin/cantorel-cli" play "$work/long.mp3")")
theirs=$(median3 "$(cpu mpg123 -q -o pulse "$work/long.mp3")" "$(cpu mpg123 -q -o pulse "$work/long.mp3")" \
  "$(cpu mpg123 -q -o pulse "$work/long.mp3")")
echo "Playing a 30 s file to a null sink (CPU time, user + system, the median of three runs):"
awk -v o="$ours" -v t="$theirs" 'BEGIN{
  printf "  cantorel-cli play   %6.3f s\n  mpg123 -o pulse     %6.3f s\n  ratio               %6.2f\n", o, t, o/t }'

record() { # record FILE COMMAND...: what the sink played while the command ran
  local out=$1; shift
  parec --device=bench_null.monitor --format=s16le --rate=44100 --channels=2 --raw >"$out" &
  local rec=$!
  sleep 0.3
  "$@"
  sleep 0.3
  kill "$rec"; wait "$rec" 2>/dev/null || true
}
record "$work/gap.raw" "$bin/cantorel-cli" play "$work/first.mp3" "$work/second.mp3" </dev/null >/dev/null
echo "Silence between two consecutive tracks at the sink: $(python3 "$here/silence.py" "$work/gap.raw") ms"
next_after_a_second() { { sleep 1; echo next; sleep 4; } | "$bin/cantorel-cli" play "$work/first.mp3" "$work/second.mp3" >/dev/null; }
record "$work/next.raw" next_after_a_second
echo "Silence at a Next:                                  $(python3 "$here/silence.py" "$work/next.raw") ms"
python3 "$here/end_timing.py" "$bin/cantorel-cli" "$work/first.mp3" bench_null.monitor
tone ten 10 440
"$bin/playback_timing" "$bin" "$work/ten.mp3" "$pulse_pid"
