#!/usr/bin/env bash
# make bench: whole-process table, the live delay through a FIFO-fed ALSA device, the joystick's
# delay from a frame to its report, the receiver's recovery under impairments (beside an older
# build's when BEFORE names its build folder), then the micro-benchmarks.
set -euo pipefail
build="${1:-build/release}"
cd "$(dirname "$0")/.."
python3 bench/run_bench.py "$build"
python3 bench/live_latency.py "$build" 30
# The joystick's delay needs /dev/uinput: here if it has one, else in an emulated kernel.
bash tests/vm/run_in_guest.sh "$build/vm" python3 bench/joystick_latency.py "$build" 30
python3 bench/receiver_table.py "$build" ${BEFORE:-}
"$build/decoder_bench" --benchmark_min_time=0.2
