#!/usr/bin/env bash
# Installs what is missing, builds, and starts cantorel on the bundled demo collection.
# Without a display it starts under Xvfb, saves a screenshot after start-up and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DCANTOREL_TESTS=OFF >/dev/null
cmake --build build-run
bin=$PWD/build-run/bin
# A fresh copy of the demo collection: the demo allows editing, and leaving an entry may
# write a composed description, so the repository's files are never the ones played with.
rm -rf build-run/demo-music
cp -r demo/music build-run/demo-music
# The program reads the cantorel.ini beside it; point that one at the copy.
sed "s|^MP3RootDir = .*|MP3RootDir = $PWD/build-run/demo-music|" demo/cantorel.ini > "$bin/cantorel.ini"

if [ -n "${DISPLAY:-}" ]; then
  exec "$bin/cantorel"
fi

screenshot=$PWD/build-run/cantorel-demo.png
display=:$(( 90 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=
stop() {
  # The program first, so that it does not outlive its display.
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  kill "$xvfb" 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 50); do xwininfo -display "$display" -root >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display "$bin/cantorel" &
app=$!
title=$(sed -n 's/^WindowTitle = //p' demo/cantorel.ini)
for _ in $(seq 100); do
  xwininfo -display "$display" -root -tree 2>/dev/null | grep -q "\"$title\"" && break
  sleep 0.1
done
sleep 1
import -display "$display" -window root "$screenshot"
echo "Screenshot of the window after start-up: $screenshot"
