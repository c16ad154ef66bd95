#!/usr/bin/env python3
"""Live delay: from a frame's last audio sample reaching a sound card to its line on standard
output, through `MorvantisCapture import --device ... -o - | Morvantis /dev/stdin 2`.

The sound card is ALSA's file plugin reading a FIFO (a real capture device through libasound),
fed here at the recording's own pace in 10 ms blocks. Each frame's end time, which Morvantis
prints, tells which sample closed it; the delay is the time from writing that sample's block to
reading the frame's line. Prints the median, the 99th percentile and the frames lost against an
offline decode of the same audio.

Usage: live_latency.py BUILD [SECONDS]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import wave

RATE = 44100
BLOCK = RATE // 100  # 10 ms


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    tool = os.path.join(build, "MorvantisCapture")
    decoder = os.path.join(build, "Morvantis")
    work = tempfile.mkdtemp(prefix="morvantis_live_")
    frames = int(seconds * 35.7)
    cap, wav = os.path.join(work, "s.cap"), os.path.join(work, "s.wav")
    subprocess.run([tool, "synth", "--pattern", "sweep", "--frames", str(frames), "--jitter", "0.3",
                    "-o", cap, "--wav", wav, "--noise", "0.02"], check=True,
                   stderr=subprocess.DEVNULL)
    with wave.open(wav) as w:
        samples = w.readframes(w.getnframes())
    offline = subprocess.run(f"{tool} import {wav} -o - 2>/dev/null | {decoder} /dev/stdin 2",
                             shell=True, capture_output=True, text=True).stdout
    offline_frames = offline.count("Time=")

    fifo = os.path.join(work, "in.fifo")
    os.mkfifo(fifo)
    conf = os.path.join(work, "alsa.conf")
    with open(conf, "w") as f:
        # The plugin also writes what passes through to `file`: one of the benchmark's own.
        passed = os.path.join(work, "passed.raw")
        f.write(f'pcm.benchin {{ type file slave.pcm "null" file "{passed}" '
                f'infile "{fifo}" format "raw" }}\n')
    env = dict(os.environ, ALSA_CONFIG_PATH=f"/usr/share/alsa/alsa.conf:{conf}")
    duration = len(samples) / 2 / RATE
    pipeline = subprocess.Popen(
        f"{tool} import --device benchin --seconds {duration + 0.2:.4f} -o - 2>/dev/null | "
        f"{decoder} /dev/stdin 2", shell=True, env=env, stdout=subprocess.PIPE)

    written = []  # (last sample index + 1, time) of each block
    def feed():
        with open(fifo, "wb", buffering=0) as out:
            start = time.perf_counter()
            for at in range(0, len(samples) // 2, BLOCK):
                due = start + at / RATE
                while (now := time.perf_counter()) < due:
                    time.sleep(min(due - now, 0.002))
                out.write(samples[2 * at:2 * (at + BLOCK)])
                written.append((at + BLOCK, time.perf_counter()))
            # The device would go on reading after the end; the import stops at --seconds, a
            # moment after the recording, whose last level holds meanwhile.
            try:
                out.write(samples[-2:] * RATE)
            except BrokenPipeError:
                pass
    feeder = threading.Thread(target=feed)
    feeder.start()

    delays = []
    for line in pipeline.stdout:
        arrived = time.perf_counter()
        if not line.startswith(b"------ Time="):
            continue
        sample = float(line[12:]) / 1000 * RATE
        for end, stamp in written:
            if end >= sample:
                delays.append(arrived - stamp)
                break
    pipeline.wait()
    feeder.join()
    delays.sort()
    median = statistics.median(delays) * 1000
    p99 = delays[min(len(delays) - 1, int(0.99 * len(delays)))] * 1000
    print(f"live delay over {len(delays)} frames ({duration:.1f} s): median {median:.1f} ms, "
          f"99th percentile {p99:.1f} ms, max {delays[-1] * 1000:.1f} ms "
          f"(targets 50 and 100 ms); frames live {len(delays)}, offline {offline_frames}")


if __name__ == "__main__":
    main()
