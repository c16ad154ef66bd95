#!/usr/bin/env bash
# The joystick's checks. In: the build folder. Out: PASS or FAIL and the evidence for each
# check; status 1 when any failed.
#
# The captures, their offline decode (MorvantisCapture export) and the calibration are made
# here; the flights, which need /dev/uinput, run in one go through tests/vm/run_in_guest.sh (a
# kernel booted under QEMU, or this machine when it has a /dev/uinput) and leave what the device
# showed in a shared folder; then the results are judged here. The device is read as its users
# read it: a libevdev client (joystick_reader), evtest and SDL2 (sdl_reader). What it should show is worked out by
# joystick_expect.py from the offline decode and the rules.
set -u
build="$(cd "${1:?usage: joystick_checks.sh BUILD_FOLDER}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
tool="$build/MorvantisCapture"
name="Morvantis transmitter"

# The flights: each leaves FLIGHT.seen (the reader's lines), FLIGHT.out, FLIGHT.err and
# FLIGHT.status. The command is joystick, or what FLY_WITH says (monitor --joystick).
fly() {
  local flight="$1"
  echo "$flight $SECONDS" >>times
  shift
  # The reader runs first whenever it can: an emulated machine that stalls makes the joystick
  # catch up in bursts, which would overflow the device's queue for a reader that waits.
  $first "$build/joystick_reader" "${JOYSTICK_NAME:-$name}" 1500 >"$flight.seen" &
  local reading=$!
  "$tool" ${FLY_WITH:-joystick} "$@" >"$flight.out" 2>"$flight.err"
  echo $? >"$flight.status"
  wait "$reading"
}

flights() {
  cd "$1"
  first=""
  chrt --fifo 50 true 2>/dev/null && first="chrt --fifo 50"
  # No calibration but the checks' own.
  export XDG_CONFIG_HOME="$PWD/config"
  fly frames gaps.cap --speed 2
  JOYSTICK_NAME="Mapped" fly mapped gaps.cap --speed 2 --name Mapped --calibration calibration \
    --map 2,1,-,4,5,6,7 --reverse 2,4 --button 5:600 --button 8 --failsafe-low 7
  # Standard input, all at once: an input that pauses for longer than a quarter of a second is
  # a stalled one (the signal counts as lost), and the emulated machine pauses at will.
  fly stdin - --failsafe hold <still.cap
  fly release gaps.cap --speed 2 --failsafe release
  # The monitor flying the joystick from its own decode: plain lines, then its screen.
  FLY_WITH="monitor --joystick" fly watched gaps.cap --speed 2
  TERM=xterm tmux -L flight new-session -d -x 110 -y 30 \
    "\"$tool\" monitor --joystick still.cap --failsafe hold --map 1,2,3 2>screen.err; sleep 60"
  for _ in $(seq 400); do
    tmux -L flight capture-pane -p >screen.txt 2>/dev/null
    grep -q '^joystick /dev/input/event[0-9]*  live' screen.txt && break
    sleep 0.05
  done
  tmux -L flight kill-server 2>/dev/null
  # evtest on the node the joystick names.
  "$tool" joystick still.cap 2>evtest.err &
  local flying=$!
  local node=""
  for _ in $(seq 600); do
    node="$(sed -n 's/^MorvantisCapture joystick: \(\/dev\/input\/event[0-9]*\) .*/\1/p' evtest.err)"
    [ -n "$node" ] && break
    sleep 0.05
  done
  timeout 4 evtest "$node" >evtest.txt 2>&1
  wait "$flying"
  # SDL2, as simulators and games read joysticks.
  echo "sdl $SECONDS" >>times
  $first "$build/sdl_reader" "$name" >sdl.txt 2>&1 &
  local sdl=$!
  "$tool" joystick still.cap --speed 2 2>sdl.err
  wait "$sdl"
  echo "errors $SECONDS" >>times
  # Without /dev/uinput, and without the right to write it.
  unshare --mount bash -c "mount -t tmpfs none /dev && \"$tool\" joystick still.cap" 2>missing.err
  echo $? >missing.status
  setpriv --reuid=65534 --regid=65534 --clear-groups "$tool" joystick "$PWD/still.cap" \
    2>forbidden.err
  echo $? >forbidden.status
  echo "end $SECONDS" >>times
}

if [ "${2:-}" = "--fly" ]; then
  flights "$3"
  exit 0
fi

expect="python3 $here/joystick_expect.py"
work="$build/joystick-checks"
rm -rf "$work"
mkdir -p "$work"
chmod 755 "$work"
cd "$work"
# 200 frames: still ones first, then sticks, a switch, a throttle and a channel at the extremes;
# once without gaps, once with a second of silence after every 70 frames.
$expect channels 200 >channels.csv
"$tool" synth channels.csv -o still.cap 2>/dev/null &&
  "$tool" synth channels.csv --gap-ms 1000 --gap-every 70 -o gaps.cap 2>/dev/null &&
  "$tool" export gaps.cap -o gaps.csv 2>/dev/null && "$tool" export still.cap -o still.csv 2>/dev/null &&
  XDG_CONFIG_HOME="$work/config" "$tool" calibrate still.cap -o calibration 2>calibrate.err ||
  { echo "FAIL making the captures"; exit 1; }

started=$SECONDS
MORVANTIS_GUEST_SHARE="$work" bash "$here/run_in_guest.sh" "$build/vm" bash "$here/joystick_checks.sh" \
  "$build" --fly "$work" || { echo "FAIL the flights did not run"; exit 1; }
echo "flights: $((SECONDS - started)) s"

failures=0
check() {
  local title="$1"
  shift
  if "$@" >"$work/evidence" 2>&1; then
    echo "PASS $title"
  else
    echo "FAIL $title"
    sed 's/^/    /' "$work/evidence"
    failures=$((failures + 1))
  fi
}
flew() {
  [ "$(cat "$1.status" 2>/dev/null)" = 0 ] || { echo "joystick status $(cat "$1.status" 2>/dev/null):"; cat "$1.err"; return 1; }
}

frames_and_failsafe() {
  flew frames || return 1
  grep -qx "device \"$name\" bus 0x6 vendor 0x4d56 product 0x8" frames.seen || { cat frames.seen; return 1; }
  [ "$(grep -c '^axis ABS_[A-Z]* 0 1023 512$' frames.seen)" -eq 8 ] || { grep axis frames.seen; return 1; }
  $expect compare gaps.csv frames.seen
}
check "eight axes, each frame's held positions, the failsafe centring in the gaps and at the end" \
  frames_and_failsafe

calibrated_mapping() {
  $expect calibration channels.csv calibration || return 1
  flew mapped || return 1
  grep -q '^axis ABS_X -1000 1000 ' mapped.seen || { grep axis mapped.seen; return 1; }
  $expect compare gaps.csv mapped.seen --calibration calibration --map 2,1,-,4,5,6,7 \
    --reverse 2,4 --button 5:600 --button 8 --low 7
}
check "calibrate, then --calibration, --map, --reverse, --button and --failsafe-low" \
  calibrated_mapping

standard_input() {
  flew stdin && $expect compare still.csv stdin.seen --failsafe hold --outrun
}
check "a capture on standard input, failsafe hold" standard_input

release() {
  flew release || return 1
  # Made, gone in each of the two gaps and back, gone at the end; each time with frames and the
  # signal present (the button may be pressed just after the reader opens the device).
  [ "$(grep -c '^ready$' release.seen)" -eq 3 ] && [ "$(grep -c '^gone$' release.seen)" -eq 3 ] &&
    [ "$(awk '/^ready$/ { live = 0 } / BTN_DEAD=1$/ { live = 1 } /^gone$/ { lives += live } END { print lives }' \
      release.seen)" -eq 3 ] || { grep -v '^state' release.seen; return 1; }
}
check "failsafe release: the device goes in each gap and comes back" release

watched() {
  flew watched && $expect compare gaps.csv watched.seen || return 1
  grep -q '^MorvantisCapture monitor: joystick /dev/input/event[0-9]* "Morvantis transmitter": X=ch1' \
    watched.err && grep -q 'NO SIGNAL: no valid frame' watched.out &&
    grep -q 'ch8 *[0-9]*  [0-9]* fps' watched.out || { cat watched.err watched.out; return 1; }
  # The screen: the node, the failsafe's state and the mapping, under the channels.
  grep -q '^ch8 ' screen.txt &&
    grep -q '^joystick /dev/input/event[0-9]*  live  "Morvantis transmitter": X=ch1 Y=ch2 Z=ch3; failsafe hold after 250 ms' \
      screen.txt || { cat screen.txt screen.err; return 1; }
}
check "monitor --joystick: the same frames on the device, its node, state and mapping on screen" \
  watched

evtest_reads() {
  grep -q 'Input device name: "Morvantis transmitter"' evtest.txt &&
    grep -q 'bus 0x6 vendor 0x4d56 product 0x8' evtest.txt &&
    [ "$(grep -c 'Event code [0-9]* (ABS_[A-Z]*)' evtest.txt)" -eq 8 ] &&
    grep -q 'Event code 303 (BTN_DEAD)' evtest.txt &&
    grep -q 'type 3 (EV_ABS), code 7 (ABS_RUDDER), value 1023' evtest.txt ||
    { head -c 3000 evtest.txt; return 1; }
}
check "evtest shows the device and its events" evtest_reads

sdl_reads() {
  # Channel 8 goes from end to end: SDL's axis 7 (RUDDER) spans its whole range.
  grep -qx 'sdl "Morvantis transmitter" axes 8 buttons 1' sdl.txt &&
    grep -qx 'axis 7 -32768 32767' sdl.txt || { cat sdl.txt; return 1; }
}
check "SDL2 finds the joystick, its eight axes and its button" sdl_reads

missing_uinput() {
  cat missing.err
  [ "$(cat missing.status)" -eq 1 ] &&
    grep -q '^MorvantisCapture joystick: /dev/uinput is missing' missing.err &&
    grep -q "sudo modprobe uinput" missing.err && grep -q "70-morvantis-uinput.rules" missing.err &&
    grep -q "group input" missing.err && grep -q "joystick --help" missing.err
}
check "a missing /dev/uinput says what to do" missing_uinput

forbidden_uinput() {
  cat forbidden.err
  [ "$(cat forbidden.status)" -eq 1 ] &&
    grep -q '^MorvantisCapture joystick: no permission to write /dev/uinput' forbidden.err &&
    grep -q "70-morvantis-uinput.rules" forbidden.err && grep -q "usermod -aG input" forbidden.err
}
check "a forbidden /dev/uinput says what to do" forbidden_uinput

[ "$failures" -eq 0 ] || { echo "$failures joystick checks failed"; exit 1; }
