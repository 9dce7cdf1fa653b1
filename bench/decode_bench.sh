#!/usr/bin/env bash
# Decoding speed of the decoder library beside mpg123 on the same 10-minute file, and the
# CPU share of real-time playback to a PulseAudio null sink.
#   bench/decode_bench.sh BIN_DIR
set -euo pipefail
bin=${1:?usage: decode_bench.sh BIN_DIR}
work=$(mktemp -d)
pulse_pid=
trap '[ -n "$pulse_pid" ] && kill $pulse_pid 2>/dev/null; rm -rf "$work"' EXIT

sox -n -r 44100 -c 2 "$work/tone.wav" synth 600 sine 220:880 >/dev/null 2>&1
lame --quiet -V 2 "$work/tone.wav" "$work/tone.mp3"
rm "$work/tone.wav"

TIMEFORMAT='%R %U %S'
best() { # best wall time of three runs of a command
  local b=999999 t
  for _ in 1 2 3; do
    t=$( { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1}')
    b=$(awk -v a="$b" -v c="$t" 'BEGIN{print (c<a)?c:a}')
  done
  echo "$b"
}
ours=$(best "$bin/cantorel-cli" play "$work/tone.mp3" --out "$work/ours.raw")
theirs=$(best mpg123 -q -s -w "$work/theirs.wav" "$work/tone.mp3")
echo "10-minute VBR file to PCM:"
awk -v o="$ours" -v t="$theirs" 'BEGIN{
  printf "  cantorel-cli play  %6.3f s  (%5.0fx real time)\n", o, 600/o
  printf "  mpg123 -w          %6.3f s  (%5.0fx real time)\n", t, 600/t
  printf "  ratio              %6.2f\n", o/t }'

# Real-time playback to a null sink: CPU time over wall time for 20 seconds.
export XDG_RUNTIME_DIR=$work
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --load="module-null-sink sink_name=bench_null" \
  --load="module-native-protocol-unix socket=$work/native auth-anonymous=1" >/dev/null 2>&1 &
pulse_pid=$!
export PULSE_SERVER=unix:$work/native
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
read -r wall user sys < <( { time "$bin/cantorel-cli" play "$work/tone.mp3" --end 20000 >/dev/null; } 2>&1 )
awk -v w="$wall" -v u="$user" -v s="$sys" 'BEGIN{
  printf "Real-time playback to a null sink: %.1f s wall, %.3f s CPU = %.2f%% of one core\n", w, u+s, 100*(u+s)/w }'
