#!/usr/bin/env python3
"""Whole-process timing of Morvantis against the bare baseline (read + convert only).

Generates a realistic capture of at least 256 MB once (cached in the build folder), then times
the baseline, Morvantis at levels 0, 2, 3 and 4, and MorvantisCapture analyze and export, with
output to /dev/null, in interleaved rounds, and prints medians, throughput, output rate, peak
resident memory and the ratio to the baseline (for the companion, to level 3), which is the
figure to steer by on a shared machine.
"""
import os
import statistics
import subprocess
import sys
import time

RUNS = 9
FRAMES = 1_700_000  # about 275 MB of capture


def timed(command, stdout):
    """Runs `command` once; returns (seconds, peak resident KB).

    The peak comes from GNU time, a small program, because a child forked from this Python
    process would report Python's own resident size as its peak."""
    report = "/tmp/morvantis_bench_time.txt"
    start = time.perf_counter()
    status = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", report] + command, stdout=stdout,
                             stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed: {' '.join(command)}")
    with open(report) as lines:
        return elapsed, int(lines.read().split()[-1])


def measure(command):
    return measure_rounds({"only": command})["only"]


def measure_rounds(commands):
    """Times every command once per round, round after round, so that the machine's drift
    (shared hosts speed up and slow down by tens of percent) reaches all of them alike; returns
    each command's median time and peak resident KB."""
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    with open(os.devnull, "wb") as sink:
        for _ in range(RUNS):
            for name, command in commands.items():
                seconds, peak = timed(command, sink)
                times[name].append(seconds)
                peaks[name] = max(peaks[name], peak)
    return {name: (statistics.median(times[name]), peaks[name]) for name in commands}


def output_bytes(command):
    with subprocess.Popen(command, stdout=subprocess.PIPE) as process:
        total = 0
        while chunk := process.stdout.read(1 << 20):
            total += len(chunk)
    return total


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    capture = os.path.join(build, "bench.cap")
    if not os.path.exists(capture):
        subprocess.run([os.path.join(build, "MorvantisCapture"), "synth", "--pattern", "sweep",
                        "--frames", str(FRAMES), "--jitter", "0.5", "--glitch-rate", "0.001",
                        "--seed", "8", "-o", capture], check=True)
    size = os.path.getsize(capture)
    runs = size // 4
    mb = size / 1e6

    decoder = os.path.join(build, "Morvantis")
    levels = ("0", "2", "3", "4")
    commands = {"baseline": [os.path.join(build, "capture_baseline"), capture]}
    commands.update({level: [decoder, capture, level] for level in levels})
    tool = os.path.join(build, "MorvantisCapture")
    studies = {"analyze": [tool, "analyze", capture],
               "export jsonl": [tool, "export", "--format", "jsonl", capture]}
    commands.update(studies)
    results = measure_rounds(commands)
    base_time, base_peak = results["baseline"]
    print(f"capture: {capture}, {mb:.0f} MB, {runs / 1e6:.1f} M runs; medians of {RUNS} rounds")
    print(f"{'':10} {'time s':>8} {'ratio':>6} {'MB/s in':>8} {'Mruns/s':>8} {'MB/s out':>9} {'peak KB':>8}")
    print(f"{'baseline':10} {base_time:8.3f} {1:6.2f} {mb / base_time:8.0f} {runs / base_time / 1e6:8.1f} "
          f"{0:9.0f} {base_peak:8d}")
    for level in levels:
        seconds, peak = results[level]
        out = output_bytes([decoder, capture, level])
        print(f"{'level ' + level:10} {seconds:8.3f} {seconds / base_time:6.2f} {mb / seconds:8.0f} "
              f"{runs / seconds / 1e6:8.1f} {out / 1e6 / seconds:9.0f} {peak:8d}")

    # The companion decodes through the same block path; its target is twice level 3's time.
    level3 = results["3"][0]
    for name in studies:
        seconds, peak = results[name]
        print(f"{name:13} {seconds:8.3f} s, {seconds / level3:5.2f} x level 3 (target 2.00 or less), "
              f"peak {peak} KB")

    # Memory stays fixed whatever the capture: stream four copies (over 1 GB) through a pipe.
    copies = 4
    report = "/tmp/morvantis_bench_pipe.txt"
    command = (f"cat {' '.join([capture] * copies)} | /usr/bin/time -f %M -o {report} "
               f"{decoder} /dev/stdin 0 >/dev/null")
    subprocess.run(["bash", "-o", "pipefail", "-c", command], check=True)
    with open(report) as lines:
        peak = int(lines.read().split()[-1])
    print(f"{copies * mb / 1000:.1f} GB streamed from a pipe at level 0: peak {peak} KB")

    # Importing one hour of 44.1 kHz 16-bit stereo audio.
    hour = os.path.join(build, "hour.wav")
    if not os.path.exists(hour):
        subprocess.run([tool, "synth", "--pattern", "sweep", "--frames", "130000", "--jitter", "0.3",
                        "-o", os.path.join(build, "hour.cap"), "--wav", hour, "--channels", "2"],
                       check=True, stderr=subprocess.DEVNULL)
    seconds, peak = measure([tool, "import", hour, "-o", os.path.join(build, "hour_imported.cap")])
    print(f"import of {os.path.getsize(hour) / 1e6:.0f} MB (one hour, 44.1 kHz, 16-bit stereo): "
          f"{seconds:.2f} s, peak {peak} KB")


if __name__ == "__main__":
    main()
