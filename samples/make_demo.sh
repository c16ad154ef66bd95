#!/usr/bin/env bash
# Regenerates samples/demo.cap and its picture samples/demo.png: 400 frames of the sweep
# pattern, alternating parity, light jitter and a few frames with a glitch. The seed makes it
# the same file every time.
set -euo pipefail
build="${1:-build/release}"
cd "$(dirname "$0")/.."
"$build/MorvantisCapture" synth --pattern sweep --frames 400 --jitter 0.6 --glitch-rate 0.01 \
  --seed 2026 -o samples/demo.cap
"$build/MorvantisCapture" plot samples/demo.cap -o samples/demo.png
