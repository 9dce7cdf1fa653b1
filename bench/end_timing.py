#!/usr/bin/env python3
"""When the end of play is heard, and when the command-line player says "end".

Records the sink's monitor with a short latency while `cantorel-cli play TRACK` runs;
prints the time from the last audible sample to the "end" line (negative: "end" came
before the sound ended), and the last position report against the length.
    end_timing.py CLI TRACK MONITOR
"""
import array
import subprocess
import sys
import threading
import time

RATE = 44100
cli, track, monitor = sys.argv[1:4]
recorder = subprocess.Popen(
    ["parec", "--device=" + monitor, "--format=s16le", "--rate=44100", "--channels=2", "--raw",
     "--latency-msec=5"], stdout=subprocess.PIPE)
last_sound = [None]


def listen():
    # The time each chunk arrives, less what of it follows its last loud sample.
    while True:
        chunk = recorder.stdout.read(4 * 220)
        if not chunk:
            return
        now = time.monotonic()
        left = array.array("h", chunk)[0::2]
        loud = [i for i, v in enumerate(left) if abs(v) > 100]
        if loud:
            last_sound[0] = now - (len(left) - 1 - loud[-1]) / RATE


listener = threading.Thread(target=listen)
listener.start()
time.sleep(0.5)
player = subprocess.Popen([cli, "play", track], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
reports = []
end_line = None
for line in player.stdout:
    if line.strip() == "end":
        end_line = time.monotonic()
    else:
        reports.append(tuple(int(v) for v in line.split()))
player.wait()
time.sleep(0.5)
recorder.terminate()
listener.join()
if end_line is None or last_sound[0] is None:
    print("no end or no sound recorded")
    sys.exit(1)
print("End of play: \"end\" %+.0f ms after the last audible sample; last report %d of %d ms"
      % ((end_line - last_sound[0]) * 1000, reports[-1][0], reports[-1][1]))
