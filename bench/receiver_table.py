#!/usr/bin/env python3
"""Recovery of the importer under sound-card and transmitter impairments.

Each condition is rendered from a synthesized capture (`synth --wav` with its impairment
options, then for some `impair.py`: clipping, 8 bits, crosstalk, AGC, dropouts, codecs),
imported, and its decoded frames compared with the frames sent near the same time:
"recovered" are frames decoded with their type, positions and deltas right, "spurious" are
frames decoded that match none sent (valid-looking, wrong values: the worst outcome).
The groups' ecc is written by a known code, so that two more columns can show what BUILD's
readers keep when they decode the recording themselves: "graded", the trusted frames only
(`export` straight from the audio), and "graded, --ecc", with the code checked too.

Usage: receiver_table.py BUILD [REFERENCE_BUILD]
  BUILD renders every recording; its importer is measured, and REFERENCE_BUILD's importer too
  when given (an older build, for a before-and-after table).
"""
import bisect
import json
import os
import subprocess
import sys
import tempfile

FRAMES = 400
CONDITIONS = [
    ("clean, 44.1 kHz", ""),
    ("AC coupling 1 ms", "--ac-coupling-ms 1"),
    ("AC coupling 0.5 ms", "--ac-coupling-ms 0.5"),
    ("AC coupling 0.3 ms", "--ac-coupling-ms 0.3"),
    ("50 Hz hum as strong as the signal", "--amplitude 0.45 --hum 0.45"),
    ("50 Hz hum twice the signal", "--amplitude 0.3 --hum 0.6"),
    ("60 Hz hum as strong, AC 10 ms", "--amplitude 0.45 --hum 0.45 --hum-hz 60 --ac-coupling-ms 10"),
    ("noise 9 dB", "--noise 0.285"),
    ("noise 7 dB", "--noise 0.36"),
    ("noise 6 dB", "--noise 0.4"),
    ("noise 4 dB", "--noise 0.5"),
    ("noise 4 dB at 96 kHz", "--rate 96000 --noise 0.5"),
    ("noise 3 dB at 96 kHz", "--rate 96000 --noise 0.566"),
    ("8 kHz, 20 dB", "--rate 8000 --noise 0.08"),
    ("8 kHz, 15 dB", "--rate 8000 --noise 0.142"),
    ("8 kHz, 12 dB", "--rate 8000 --noise 0.2"),
    ("transmitter 3 % slow", "--time-scale 1.03"),
    ("transmitter 3 % fast", "--time-scale 0.97"),
    ("transmitter 5 % slow", "--time-scale 1.05"),
    ("transmitter 5 % fast", "--time-scale 0.95"),
    ("8 bursts 0.3 s apart, AC 10 ms", "--gap-ms 300 --gap-every 50 --silent-runs-ms 200 "
                                         "--ac-coupling-ms 10"),
    ("phone line (8 kHz, 300-3400 Hz, 20 dB)",
     "--rate 8000 --low-pass-hz 3400 --ac-coupling-ms 0.53 --noise 0.08"),
    ("low-pass 2 kHz", "--low-pass-hz 2000"),
    ("DC offset, inverted, quiet", "--dc-offset 0.3 --amplitude 0.4 --invert"),
    ("DC offset after a strong coupling, 8 kHz",
     "--rate 8000 --ac-coupling-ms 0.53 --dc-offset 0.3 --noise 0.05"),
    # Impairments applied to the rendered recording by impair.py.
    ("clipped (driven 1.8 times past full scale)", "", "clip"),
    ("8-bit samples", "", "u8"),
    ("crosstalk at a third of the level", "", "crosstalk"),
    ("AGC swinging 0.3 to 1 at 2.5 Hz", "", "agc"),
    ("5 ms dropouts every 400 ms", "", "dropouts"),
    ("Ogg Vorbis, quality 0.4", "", "vorbis"),
    ("Ogg Opus, 48 kHz", "--rate 48000", "opus"),
    # Harsher than the receiver is meant for: what the grade leaves of them.
    ("Ogg Opus, 32 kbit/s", "--rate 48000", "opus32"),
    ("8 kHz, 10 dB", "--rate 8000 --noise 0.253"),
    ("noise 3 dB", "--noise 0.566"),
]
EXTENSIONS = {"vorbis": ".ogg", "opus": ".opus", "opus32": ".opus"}


def run(command):
    return subprocess.run(command, shell=True, capture_output=True, text=True)


def frames_of(tool, capture, options=""):
    frames = []
    for line in run(f"{tool} export {capture} --format jsonl {options}").stdout.splitlines():
        record = json.loads(line)
        if "end_ms" not in record:
            continue  # signal lost or back
        frames.append((record["end_ms"], (record["type"], str(record["positions"]),
                                          str(record["deltas"]))))
    return frames


def recovery(sent, got):
    """Frames of `got` matching a frame sent near the same time, and those matching none."""
    times = [t for t, _ in sent]
    used, recovered, spurious = set(), 0, 0
    for t, fields in got:
        k = bisect.bisect_left(times, t)
        match = next((c for c in range(k - 3, k + 4) if 0 <= c < len(sent) and c not in used
                      and sent[c][1] == fields and abs(sent[c][0] - t) < 15 + 0.06 * t), None)
        if match is None:
            spurious += 1
        else:
            used.add(match)
            recovered += 1
    return 100.0 * recovered / len(sent), spurious


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    importers = [("now", os.path.join(build, "MorvantisCapture"))]
    if len(sys.argv) > 2:
        importers.insert(0, ("before", os.path.join(sys.argv[2], "MorvantisCapture")))
    tool = os.path.join(build, "MorvantisCapture")
    work = tempfile.mkdtemp(prefix="morvantis_receiver_")
    code = os.path.join(work, "code.ecc")
    columns = [name for name, _ in importers] + ["graded", "graded, --ecc"]
    print(f"{'condition':42} " + " ".join(f"{name:>16}" for name in columns))
    for name, options, *post in CONDITIONS:
        cap, wav = os.path.join(work, "s.cap"), os.path.join(work, "s.wav")
        made = run(f"{tool} synth --pattern sweep --frames {FRAMES} --seed 7 --ecc-seed 11 "
                   f"-o {cap} --wav {wav} {options}")
        if made.returncode != 0:
            sys.exit(made.stderr)
        if post:
            impaired = os.path.join(work, "impaired" + EXTENSIONS.get(post[0], ".wav"))
            made = run(f"{sys.executable} {os.path.join(os.path.dirname(__file__), 'impair.py')} "
                       f"{wav} {impaired} {post[0]}")
            if made.returncode != 0:
                sys.exit(made.stderr)
            wav = impaired
        sent = frames_of(tool, cap)
        if not os.path.exists(code):
            run(f"{tool} analyze {cap} --save-ecc {code}")
        cells = []
        for _, importer in importers:
            out = os.path.join(work, "i.cap")
            if run(f"{importer} import {wav} -o {out}").returncode != 0:
                cells.append("fails")
                continue
            percent, spurious = recovery(sent, frames_of(tool, out))
            cells.append(f"{percent:5.1f} % (+{spurious})")
        for graded in ("", f"--ecc {code}"):
            percent, spurious = recovery(sent, frames_of(tool, wav, graded))
            cells.append(f"{percent:5.1f} % (+{spurious})")
        print(f"{name:42} " + " ".join(f"{c:>16}" for c in cells), flush=True)


if __name__ == "__main__":
    main()
