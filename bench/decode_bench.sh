#!/usr/bin/env bash
# Decoding speed of the decoder library beside mpg123 on the same 10-minute file. (Playback
# to a sound server, beside mpg123: bench/playback_bench.sh.)
#   bench/decode_bench.sh BIN_DIR
set -euo pipefail
bin=${1:?usage: decode_bench.sh BIN_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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

