#!/usr/bin/env python3
"""What the joystick should show, worked out from the rules, and the check against what a
libevdev client saw. In: the offline decode of a capture (export's CSV), the reader's lines,
the joystick's options. Out: differences on standard error and status 1, or status 0.

  channels FRAMES           a channel CSV for synth: 20 still frames, then sticks, a switch, a throttle
  compare EXPORT READER ... the reader's states equal the frames' held positions, in order,
                            with the failsafe's states where the signal stopped
  calibration CSV FILE      the calibration file holds each channel's minimum, last and maximum
                            position carried by a frame
"""
import argparse
import csv
import math
import sys

LOST_AFTER_MS = 100  # no frame for this long: the signal is lost
AXES = ["ABS_X", "ABS_Y", "ABS_Z", "ABS_RX", "ABS_RY", "ABS_RZ", "ABS_THROTTLE", "ABS_RUDDER"]
BUTTONS = ["BTN_TRIGGER", "BTN_THUMB", "BTN_THUMB2", "BTN_TOP"]


def channels(frames):
    print(",".join(f"ch{c}" for c in range(1, 9)))
    for f in range(frames):
        t = max(0, f - 20)
        row = [512 + round(400 * math.sin(2 * math.pi * (t / 40 + c / 8))) for c in range(4)]
        row.append(900 if (t // 25) % 2 else 100)  # a switch
        row.append(512 + round(300 * math.cos(t / 7)))
        row.append(50 + (t * 9) % 900)  # a throttle, never springing back
        row.append(1023 if t % 3 == 0 else 0)  # the extremes
        print(",".join(map(str, row)))


def read_calibration(path):
    table = {}
    if path:
        for line in open(path):
            line = line.split("#")[0].split()
            if line:
                table[int(line[0])] = tuple(int(x) for x in line[1:])
    return table


def axis_value(position, reversed_, cal):
    if cal is None:
        return 1023 - position if reversed_ else position
    lo, centre, hi = cal
    p = min(max(position, lo), hi)
    tenth = (hi - lo) // 10
    if not (centre - lo > tenth and hi - centre > tenth):
        reach = 2 * (p - lo) / (hi - lo) - 1
    elif p < centre:
        reach = (p - centre) / (centre - lo)
    else:
        reach = (p - centre) / (hi - centre)
    value = math.floor(abs(reach) * 1000 + 0.5) * (1 if reach >= 0 else -1)
    return -value if reversed_ else value


def compare(args):
    mapping = [int(c) if c not in "-0" else 0 for c in args.map.split(",")]
    mapping += [0] * (8 - len(mapping))
    reverse = {int(c) for c in args.reverse.split(",") if c}
    buttons = [(int(b.split(":")[0]), int(b.split(":")[1]) if ":" in b else 512) for b in args.button]
    low = {int(c) for c in args.low.split(",") if c}
    cal = read_calibration(args.calibration)

    def centre_of(channel):
        c = cal.get(channel)
        at = (c[0] if channel in low else c[1]) if c else (0 if channel in low else 512)
        return axis_value(at, channel in reverse, c)

    centre = {AXES[a]: centre_of(ch) for a, ch in enumerate(mapping) if ch}
    held = {c: None for c in range(1, 9)}

    def state(signal, failsafe=False):
        s = {}
        for a, ch in enumerate(mapping):
            if ch:
                s[AXES[a]] = centre[AXES[a]] if failsafe or held[ch] is None else \
                    axis_value(held[ch], ch in reverse, cal.get(ch))
        for b, (ch, threshold) in enumerate(buttons):
            p = held[ch]
            s[BUTTONS[b]] = int(p is not None and (1023 - p if ch in reverse else p) > threshold)
        s["BTN_DEAD"] = int(signal)
        return s

    def lose(expected, last_ms, until_ms):
        if until_ms - last_ms > LOST_AFTER_MS:
            expected.append(state(False))
            if until_ms - last_ms > LOST_AFTER_MS + args.delay and args.failsafe == "centre":
                expected.append({**state(False), **state(False, True)})

    expected = [state(False, True)]
    last_ms = None
    for row in csv.DictReader(line for line in open(args.export) if not line.startswith("#")):
        ms = float(row["end_ms"])
        if last_ms is not None:
            lose(expected, last_ms, ms)
        for c in range(1, 9):
            if row[f"p{c}"]:
                held[c] = int(row[f"p{c}"])
        expected.append(state(True))
        last_ms = ms
    lose(expected, last_ms, math.inf)
    expected = [s for i, s in enumerate(expected) if i == 0 or s != expected[i - 1]]

    # A reader that falls behind loses events: the kernel says so (the reader prints "dropped")
    # and the reader then sees the device's state at that moment, so the states in between may
    # be missing there and only there.
    seen, dropped_before = [], []
    dropped = False
    for line in open(args.reader):
        if line.startswith("dropped"):
            dropped = True
        elif line.startswith("state "):
            s = dict(word.split("=") for word in line.split()[1:])
            s = {k: int(v) for k, v in s.items()}
            if not seen or seen[-1] != s:
                seen.append(s)
                dropped_before.append(dropped)
            dropped = False
    # The kernel releases the buttons held when the device goes (the signal button is released
    # already by then); a reader may see that last.
    if len(seen) > 1 and seen[-2]["BTN_DEAD"] == 0 and \
            seen[-1] == {k: 0 if k.startswith("BTN_") else v for k, v in seen[-2].items()}:
        seen.pop()
    if not seen:
        sys.exit("compare: the reader saw no state")
    # The reader may open the device a few still frames late; from there on, every state. An
    # input decoded all at once (--outrun) may outrun the reader altogether: then the states
    # seen come in order, and the last is the last expected. The state a reader reads when it
    # opens the device or after a drop is a snapshot taken axis by axis, which may mix two
    # frames while the device is busy: one that is no frame's is passed over.
    snapshot = [d or (args.outrun and i == 0) for i, d in enumerate(dropped_before)]
    if args.outrun:
        at = 0
    else:
        at = expected.index(seen[0]) if seen[0] in expected else -1
        if at < 0 or at > 2:
            sys.exit(f"compare: the first state seen {seen[0]} is not among the first expected {expected[:3]}")
    ahead = args.outrun  # the next state may lie ahead of the one expected
    for got, snap in zip(seen, snapshot):
        want = expected[at] if at < len(expected) else None
        if want == got or ((ahead or snap) and got in expected[at:]):
            at = expected.index(got, at) + 1
            ahead = args.outrun
        elif snap:
            ahead = True
        else:
            sys.exit(f"compare: state {at}: expected {want}\n                      saw {got}")
    if (at != len(expected)) if not args.outrun else (seen[-1] != expected[-1]):
        sys.exit(f"compare: expected {len(expected)} states, saw {len(seen)}; the last expected:\n"
                 + "\n".join(map(str, expected[-3:])) + "\nthe last seen:\n" + "\n".join(map(str, seen[-3:])))
    if any(dropped_before):
        print(f"compare: the reader fell behind {sum(dropped_before)} times")
    print(f"compare: {len(seen)} states as expected")


def calibration(args):
    rows = list(csv.DictReader(open(args.csv)))
    want = {}
    for c in range(1, 9):
        # Frames alternate ODD (channels 1, 3, 5, 7) and EVEN, from an ODD one.
        values = [int(r[f"ch{c}"]) for i, r in enumerate(rows) if (i % 2 == 0) == (c % 2 == 1)]
        if min(values) < max(values):
            want[c] = (min(values), values[-1], max(values))
    got = read_calibration(args.file)
    if got != want:
        sys.exit(f"calibration: expected {want}\n             found {got}")
    print("calibration: as expected")


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="what", required=True)
    p = sub.add_parser("channels")
    p.add_argument("frames", type=int)
    p = sub.add_parser("compare")
    p.add_argument("export")
    p.add_argument("reader")
    p.add_argument("--map", default="1,2,3,4,5,6,7,8")
    p.add_argument("--outrun", action="store_true", help="the input may outrun the reader")
    p.add_argument("--reverse", default="")
    p.add_argument("--button", action="append", default=[])
    p.add_argument("--low", default="")
    p.add_argument("--failsafe", default="centre")
    p.add_argument("--delay", type=float, default=250)
    p.add_argument("--calibration")
    p = sub.add_parser("calibration")
    p.add_argument("csv")
    p.add_argument("file")
    args = parser.parse_args()
    {"channels": lambda: channels(args.frames), "compare": lambda: compare(args),
     "calibration": lambda: calibration(args)}[args.what]()


if __name__ == "__main__":
    main()
