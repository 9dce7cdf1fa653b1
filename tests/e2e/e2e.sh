#!/usr/bin/env bash
# The real program under Xvfb, driven as a person would with the keyboard and the mouse:
# select entries, edit a title and a description, play a track, press next, minimize,
# end with SIGTERM. Checks the files on disk, the sound at a PulseAudio null sink and a
# screenshot of each page.
#   e2e.sh BIN_DIR SOURCE_DIR      (exit 77: skipped for want of Xvfb, xdotool or a sink)
set -euo pipefail
bin=$1
src=$2
for tool in Xvfb xdotool import convert parecord sox; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
[ -n "${CANTOREL_TEST_SINK:-}" ] || { echo "SKIP: no PulseAudio null sink (scripts/test.sh starts one)"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The program reads the cantorel.ini beside it and loads mpeg.so from there.
mkdir -p "$work/bin"
cp "$bin/cantorel" "$bin/mpeg.so" "$work/bin/"
cp -r "$src/demo/music" "$work/music"
sed -e "s|^MP3RootDir = .*|MP3RootDir = $work/music|" \
    -e "s|^String20 = .*|String20 = Pictu\&re|" -e "s|^String21 = .*|String21 = Te\&xt|" \
    -e "s|^String22 = .*|String22 = \&Description|" -e "s|^String23 = .*|String23 = \&Editor|" \
    -e "s|^String4 = .*|String4 = '\&Name: '|" -e "s|^String26 = .*|String26 = 'Descr\&iption in '|" \
    "$src/demo/cantorel.ini" > "$work/bin/cantorel.ini"

display=:$(( 200 + RANDOM % 300 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

parecord --device="$CANTOREL_TEST_SINK.monitor" --file-format=wav "$work/sink.wav" &
pids+=($!)

# libxkbcommon hands strndup strings without their terminating byte, which the
# sanitizer's strndup check takes for an overflow inside the X keyboard set-up.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:intercept_strndup=0" "$work/bin/cantorel" >"$work/cantorel.log" 2>&1 &
app=$!
pids+=($app)
# The main window: visible, of the program's title and of its start-up size (the splash
# window, shown during the build, carries the same title).
window=
for _ in $(seq 150); do
  for w in $(xdotool search --onlyvisible --name '^Cantorel demo$' 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 641x337' && window=$w
  done
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window; log: $(cat "$work/cantorel.log")"
sleep 1
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window" >/dev/null 2>&1 || true
keys() { xdotool key --window "$window" --delay 80 "$@"; sleep 0.4; }

# Which page is in front: each page's area must differ from the others and not be blank.
shot() {
  import -window root -crop 320x300+507+140 "$work/page-$1.png"
  convert "$work/page-$1.png" -format '%k' info:
}
# The tree: root, then "Chords for three voices", then its second track "A minor".
keys Right Down Right Down Down
colours_picture=$(shot picture)
keys alt+x
colours_text=$(shot text)
keys alt+d
colours_info=$(shot description)
keys alt+e
colours_editor=$(shot editor)
echo "distinct colours: picture $colours_picture, text $colours_text, description $colours_info, editor $colours_editor"
[ "$colours_picture" -gt 3 ] || fail "the picture page shows no picture"
[ "$colours_text" -gt 2 ] || fail "the text page is empty"
[ "$colours_info" -gt 2 ] || fail "the description page is empty"
cmp -s "$work/page-picture.png" "$work/page-text.png" && fail "picture and text pages look the same"
cmp -s "$work/page-text.png" "$work/page-description.png" && fail "text and description pages look the same"

# Edit the title and the description of "A minor", then Enter moves on and saves.
keys alt+n ctrl+a
xdotool type --window "$window" --delay 40 "Edited title"
keys alt+i ctrl+a
xdotool type --window "$window" --delay 40 "Edited description"
keys Return
sleep 0.5
tag=$(tail -c 128 "$work/music/Chamber Works/Minor Chord.mp3" | head -c 33 | tail -c 30)
[ "${tag%% *}" = "Edited" ] || fail "the tag holds '$tag'"
grep -q '"Minor Chord.mp3" Edited description' "$work/music/Chamber Works/files.bbs" || fail "files.bbs: $(cat "$work/music/Chamber Works/files.bbs")"
cmp -s "$src/demo/music/Tone Studies/01 A440.mp3" "$work/music/Tone Studies/01 A440.mp3" || fail "an untouched track changed"

# Play: Enter in the tree plays the selected track; then the next button.
xdotool mousemove --window "$window" 150 230 click 1
sleep 0.3
keys Return
sleep 2
xdotool mousemove --window "$window" 83 303 click 1
sleep 2
xdotool windowminimize "$window"
sleep 0.5
kill -TERM "$app"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "SIGTERM did not end the program"
wait "$app" || fail "the program ended with status $?"
sleep 0.5
kill -INT "${pids[1]}" 2>/dev/null || true
sleep 0.5
rms=$(sox "$work/sink.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
echo "sound at the sink: RMS $rms"
awk -v r="${rms:-0}" 'BEGIN { exit !(r > 0.02) }' || fail "no sound reached the sink"
echo "end-to-end run passed"
