#!/usr/bin/env bash
# The real program on a private session bus, driven as a desktop's media keys and player
# widgets drive it (MPRIS2), and a second start for the same folder.
#   mpris.sh BIN_DIR SOURCE_DIR      (exit 77: skipped for want of dbus-daemon, gdbus or a sink)
set -euo pipefail
bin=$1
src=$2
for tool in dbus-daemon gdbus parec sox lame python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
[ -n "${CANTOREL_TEST_SINK:-}" ] || { echo "SKIP: no PulseAudio null sink (scripts/test.sh starts one)"; exit 77; }
work=$(mktemp -d)
bus_pid=
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  rm -rf "$work" || true
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/app.log" ] && cat "$work/app.log"; exit 1; }

dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/address" 4>"$work/pid"
bus_pid=$(cat "$work/pid")
export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/address")
mkdir -p "$work/bin"
cp "$bin/cantorel" "$bin/mpeg.so" "$work/bin/"
cp -r "$src/demo/music" "$work/music"
sed "s|^MP3RootDir = .*|MP3RootDir = $work/music|" "$src/demo/cantorel.ini" > "$work/bin/cantorel.ini"
export QT_QPA_PLATFORM=offscreen XDG_STATE_HOME=$work/state
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:intercept_strndup=0"

name=org.mpris.MediaPlayer2.cantorel
path=/org/mpris/MediaPlayer2
"$work/bin/cantorel" >"$work/app.log" 2>&1 &
app=$!
for _ in $(seq 100); do
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$name" 2>/dev/null | grep -q true && break
  sleep 0.1
done
property() {
  gdbus call --session --dest "$name" --object-path "$path" --method org.freedesktop.DBus.Properties.Get \
    "org.mpris.MediaPlayer2${2:+.$2}" "$1"
}
player() { gdbus call --session --dest "$name" --object-path "$path" --method "org.mpris.MediaPlayer2.Player.$1" "${@:2}" >/dev/null; }

property Identity | grep -q "'Cantorel'" || fail "no Cantorel on the bus"
property PlaybackStatus Player | grep -q "'Paused'" || fail "not paused at start: $(property PlaybackStatus Player)"
first=$(property Metadata Player)
grep -q "xesam:title" <<<"$first" || fail "no title in $first"
player Play
sleep 0.5
property PlaybackStatus Player | grep -q "'Playing'" || fail "Play did not play"
player Next
sleep 0.5
second=$(property Metadata Player)
[ "$first" != "$second" ] || fail "Next kept the track"
property PlaybackStatus Player | grep -q "'Playing'" || fail "Next stopped the playing"
# Two seconds on from about half a second in: after a second and a half, past 2 s and not
# at the end (the demo's tracks last 4 to 6 s).
player Seek 2000000
sleep 1.5
position=$(property Position Player | sed 's/.*int64 \([0-9]*\).*/\1/')
[ "${position:-0}" -ge 2000000 ] || fail "Seek did not move: $position"
player Pause
property PlaybackStatus Player | grep -q "'Paused'" || fail "Pause did not pause"
pos() { property Position Player | sed 's/.*int64 \([0-9-]*\).*/\1/'; }
trackid=$(property Metadata Player | sed "s/.*'mpris:trackid': <objectpath '\([^']*\)'>.*/\1/")
# Positions before the start or past the end are passed over; a seek past the end is a
# Next, one before the start goes to the start; 64-bit offsets do not wrap.
before=$(pos)
player SetPosition "$trackid" -- -5000000
player SetPosition "$trackid" 9000000000
[ "$(pos)" = "$before" ] || fail "SetPosition outside the track moved to $(pos) from $before"
player Seek -- -9223372036854775807
sleep 0.3
[ "$(pos)" -lt 1000000 ] || fail "a seek before the start went to $(pos)"
third=$(property Metadata Player)
player Seek 9223372036854775807
sleep 0.3
[ "$(property Metadata Player)" != "$third" ] || fail "a seek past the end kept the track"

# The volume is read and written, and kept for the next run; Stop stops and rewinds.
gdbus call --session --dest "$name" --object-path "$path" --method org.freedesktop.DBus.Properties.Set \
  org.mpris.MediaPlayer2.Player Volume "<0.5>" >/dev/null
property Volume Player | grep -q "<0.5>" || fail "Volume: $(property Volume Player)"
grep -qx 50 "$work/state/cantorel/volume" || fail "the volume was not kept"
player Play
sleep 0.5
player Stop
property PlaybackStatus Player | grep -q "'Stopped'" || fail "Stop left $(property PlaybackStatus Player)"
[ "$(pos)" -eq 0 ] || fail "Stop did not rewind: $(pos)"
property Metadata Player | grep -q "mpris:artUrl" || fail "no picture for a track of a folder that has one"

# A second start for the same folder hands over to the first and ends.
timeout 20 "$work/bin/cantorel" >"$work/second.log" 2>&1 || fail "the second start ended with $?: $(cat "$work/second.log")"
kill -0 "$app" 2>/dev/null || fail "the first instance ended"
# One for a first instance that does not answer (stopped) waits a second and starts.
kill -STOP "$app"
started=$(date +%s%N)
"$work/bin/cantorel" >"$work/third.log" 2>&1 &
third_app=$!
for _ in $(seq 100); do grep -q "did not answer" "$work/third.log" && break; sleep 0.1; done
waited=$(( ($(date +%s%N) - started) / 1000000 ))
kill -CONT "$app"
grep -q "did not answer" "$work/third.log" || { kill "$third_app"; fail "no word of the instance that did not answer"; }
sleep 0.5
kill -0 "$third_app" 2>/dev/null || fail "the start beside a stopped instance ended: $(cat "$work/third.log")"
kill "$third_app"; wait "$third_app" 2>/dev/null || true
echo "a stopped first instance was waited for $waited ms"
[ "$waited" -lt 5000 ] || fail "waited $waited ms for a stopped instance"

gdbus call --session --dest "$name" --object-path "$path" --method org.mpris.MediaPlayer2.Quit >/dev/null
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Quit did not end the program"
wait "$app" || fail "the program ended with status $?"
app=

# Three tracks of tones that run at full amplitude to their last sample, played by the
# window to the null sink: no silence between the first and the second, nor at a Next
# from the second to the third.
mkdir "$work/tones"
for tone in 1:440 2:660 3:550; do
  sox -n -r 44100 -c 2 "$work/tone.wav" synth 2.5 sine "${tone#*:}" vol 0.8 >/dev/null 2>&1
  lame --quiet -b 192 "$work/tone.wav" "$work/tones/track${tone%%:*}.mp3"
done
"$work/bin/cantorel" "$work/tones" >"$work/app.log" 2>&1 &
app=$!
for _ in $(seq 100); do
  property PlaybackStatus Player >/dev/null 2>&1 && break
  sleep 0.1
done
parec --device="$CANTOREL_TEST_SINK.monitor" --format=s16le --rate=44100 --channels=2 --raw >"$work/played.raw" &
recorder=$!
sleep 0.3
player Play
sleep 3.5
player Next
sleep 4
kill "$recorder"; wait "$recorder" 2>/dev/null || true
gdbus call --session --dest "$name" --object-path "$path" --method org.mpris.MediaPlayer2.Quit >/dev/null
wait "$app" || fail "the program ended with status $?"
app=
silence=$(python3 "$src/bench/silence.py" "$work/played.raw")
echo "longest silence between the tracks: $silence ms"
awk -v s="$silence" 'BEGIN{exit !(s <= 20)}' || fail "a gap of $silence ms between tracks"
echo "MPRIS run passed"
