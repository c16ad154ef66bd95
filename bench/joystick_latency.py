#!/usr/bin/env python3
"""Joystick delay: from a frame's last run reaching `MorvantisCapture joystick -` to the
device's report for that frame, as a libevdev client reads it (joystick_reader --times, which
gives each report's kernel time on CLOCK_MONOTONIC, the clock this script writes by).

A capture is written into the joystick's standard input at its own pace, each frame's runs at
the moment the frame ends; the report whose axes equal the frame's held positions (from the
offline decode, `export`) is that frame's. Prints the median, the 99th percentile and the
largest delay, and how many frames took over 1 ms. Needs /dev/uinput: where it is missing,
`tests/vm/run_in_guest.sh BUILD/vm python3 bench/joystick_latency.py BUILD` runs it in an
emulated kernel, whose figures then measure the emulation as much as the program.

Usage: joystick_latency.py BUILD [SECONDS]
"""
import csv
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

CELLS_PER_UNIT = 1 / 6.623
NAME = "Morvantis latency"
AXES = ["ABS_X", "ABS_Y", "ABS_Z", "ABS_RX", "ABS_RY", "ABS_RZ", "ABS_THROTTLE", "ABS_RUDDER"]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    tool = os.path.join(build, "MorvantisCapture")
    work = tempfile.mkdtemp(prefix="morvantis_joystick_")
    cap, exported = os.path.join(work, "s.cap"), os.path.join(work, "s.csv")
    subprocess.run([tool, "synth", "--pattern", "sweep", "--frames", str(int(seconds * 35.7)),
                    "-o", cap], check=True, stderr=subprocess.DEVNULL)
    subprocess.run([tool, "export", cap, "-o", exported], check=True, stderr=subprocess.DEVNULL)
    runs = open(cap, "rb").read()
    durations = struct.unpack(f"<{len(runs) // 4}i", runs[: len(runs) // 4 * 4])
    frames = []  # (end in ms, held positions)
    held = [None] * 8
    for row in csv.DictReader(open(exported)):
        held = [int(row[f"ch{c}"]) if row[f"ch{c}"] else None for c in range(1, 9)]
        frames.append((float(row["end_ms"]), tuple(held)))

    # Each frame's runs: up to the run whose cells reach the frame's end (cells as the decoder
    # counts them, each run rounded on its own).
    chunks, start, cells = [], 0, 0
    for end_ms, _ in frames:
        end_cells = round(end_ms / 0.15)
        at = start
        while at < len(durations) and cells < end_cells:
            cells += int(durations[at] * CELLS_PER_UNIT + 0.5)
            at += 1
        chunks.append(runs[start * 4: at * 4])
        start = at

    reader = subprocess.Popen([os.path.join(build, "joystick_reader"), NAME, "1500", "--times"],
                              stdout=subprocess.PIPE, text=True)
    joystick = subprocess.Popen([tool, "joystick", "-", "--name", NAME, "--failsafe", "hold"],
                                stdin=subprocess.PIPE, stderr=subprocess.PIPE, text=False)
    joystick.stderr.readline()  # the device is there
    time.sleep(1)  # and the reader has it open
    written = []
    begin = time.monotonic()
    for (end_ms, _), chunk in zip(frames, chunks):
        delay = begin + end_ms / 1000 - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        # Timed before the write: on one processor the joystick may run as soon as it is woken.
        written.append(time.monotonic())
        joystick.stdin.write(chunk)
        joystick.stdin.flush()
    joystick.stdin.write(runs[start * 4:])
    joystick.stdin.close()
    joystick.wait()
    lines = reader.communicate()[0].splitlines()

    delays, next_frame, at = [], 0, None
    for line in lines:
        if line.startswith("at "):
            at = float(line[3:])
        elif line.startswith("state ") and at is not None:
            values = dict(word.split("=") for word in line.split()[1:])
            state = tuple(int(values[a]) for a in AXES)
            for i in range(next_frame, len(frames)):
                if tuple(512 if v is None else v for v in frames[i][1]) == state:
                    delays.append((at - written[i]) * 1000)
                    next_frame = i + 1
                    break
    if not delays:
        sys.exit("joystick_latency: no report matched a frame")
    delays.sort()
    over = sum(1 for d in delays if d > 1)
    print(f"joystick delay over {len(delays)} of {len(frames)} frames: median {statistics.median(delays):.3f} ms, "
          f"99th percentile {delays[int(0.99 * (len(delays) - 1))]:.3f} ms, largest {delays[-1]:.3f} ms, "
          f"{over} over 1 ms")


if __name__ == "__main__":
    main()
