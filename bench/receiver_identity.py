#!/usr/bin/env python3
"""Whether two builds import audio identically, bit for bit.

Every condition of the recovery table (receiver_table.py) is rendered once, with the same
impairments, plus a few extra renderings (other sample rates, fixed timing and threshold, the
glitch filter, a very short file, silence, a recording read from standard input). Each is
imported by both builds; the captures and the import's summary on standard error are compared
by md5. Meant for changes to the receiver that must not change what it decides.

Usage: receiver_identity.py BEFORE_BUILD AFTER_BUILD [FOLDER]
  FOLDER keeps the renderings (made by BEFORE_BUILD's synth); those already there are reused.
Prints one line per rendering that differs and a count; exits 1 when any differs.
"""
import hashlib
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from receiver_table import CONDITIONS, EXTENSIONS, FRAMES  # noqa: E402

# Extra renderings: name, synth options, import options, frames.
EXTRAS = [
    ("8 kHz clean", "--rate 8000", "", FRAMES),
    ("48 kHz clean", "--rate 48000", "", FRAMES),
    ("96 kHz clean", "--rate 96000", "", FRAMES),
    ("fixed timing", "--time-scale 1.02", "--scale 1.02", FRAMES),
    ("fixed timing, 8 kHz", "--rate 8000 --noise 0.05", "--scale 1", FRAMES),
    ("fixed threshold", "--dc-offset 0.1 --noise 0.2", "--threshold 0.1", FRAMES),
    ("glitch filter", "--noise 0.45", "--min-run 0.5", FRAMES),
    ("glitch filter, glitches", "--glitch-rate 0.2", "--min-run 0.5", FRAMES),
    ("a very short file", "", "", 1),
    ("silence only", "--amplitude 0", "", 20),
    ("quiet noise only", "--amplitude 0 --noise 0.05", "", 20),
]


def run(command, **kwargs):
    return subprocess.run(command, shell=True, capture_output=True, **kwargs)


def render(tool, folder):
    """Renders every condition once (unless already there); returns (name, path, options)."""
    renderings = []
    conditions = [(name, options, "", FRAMES, post) for name, options, *post in CONDITIONS]
    conditions += [(name, options, importing, frames, []) for name, options, importing, frames
                   in EXTRAS]
    for index, (name, options, importing, frames, post) in enumerate(conditions):
        stem = os.path.join(folder, f"r{index:02d}")
        wav = stem + ".wav"
        final = stem + "_" + post[0] + EXTENSIONS.get(post[0], ".wav") if post else wav
        if not os.path.exists(final):
            made = run(f"{tool} synth --pattern sweep --frames {frames} --seed 7 "
                       f"-o {stem}.cap --wav {wav} {options}")
            if made.returncode != 0:
                sys.exit(made.stderr.decode())
            if post:
                impair = os.path.join(os.path.dirname(os.path.abspath(__file__)), "impair.py")
                made = run(f"{sys.executable} {impair} {wav} {final} {post[0]}")
                if made.returncode != 0:
                    sys.exit(made.stderr.decode())
        renderings.append((name, os.path.abspath(final), importing))
    # The clean one again, read from standard input (other block sizes).
    renderings.append(("clean, from standard input", "- < " + renderings[0][1], ""))
    return renderings


def imported(tool, source, options, folder, tag):
    # Each build writes the same name in a folder of its own, so that the summaries can match.
    work = os.path.join(folder, tag)
    os.makedirs(work, exist_ok=True)
    out = os.path.join(work, "out.cap")
    if os.path.exists(out):
        os.remove(out)
    done = run(f"{os.path.abspath(tool)} import {source} -o out.cap {options}", cwd=work)
    capture = open(out, "rb").read() if os.path.exists(out) else b""
    return (done.returncode, hashlib.md5(capture).hexdigest(),
            hashlib.md5(done.stderr).hexdigest(), done.stderr.decode(errors="replace").strip())


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    before, after = (os.path.join(b, "MorvantisCapture") for b in sys.argv[1:3])
    folder = sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="morvantis_identity_")
    os.makedirs(folder, exist_ok=True)
    differ = 0
    renderings = render(before, folder)
    for name, source, options in renderings:
        a = imported(before, source, options, folder, "before")
        b = imported(after, source, options, folder, "after")
        if a[:3] != b[:3]:
            differ += 1
            print(f"DIFFERS: {name}: before {a}, after {b}")
        elif a[0] != 0:
            print(f"(both fail alike: {name}: {a[3]})")
    print(f"{len(renderings)} renderings compared, {differ} differ ({folder})")
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
