#!/usr/bin/env bash
# The bash completion against the programs. In: MorvantisCapture, Morvantis and the completion
# script. Out: one line per completion that differs from what the programs' --help and
# `import --list-devices` promise, and exit 1; nothing and exit 0 when all agree.
# Each case types a command line and presses Tab at its end.
set -uo pipefail
capture=$(realpath "$1") morvantis=$(realpath "$2") script=$(realpath "$3")
for loader in /usr/share/bash-completion/bash_completion /etc/bash_completion; do
  [ -f "$loader" ] && { source "$loader"; break; }
done
declare -F _init_completion >/dev/null || { echo "bash-completion is not installed"; exit 1; }
source "$script"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir folder
touch take.cap values.csv take.wav picture.svg picture.png notes.txt
# A stand-in for the program that knows two capture devices, one of them named with colons,
# and a command whose options list their choices only in words, one of them below a long name.
cat >fake <<FAKE
#!/bin/sh
if [ "\$1 \$2" = "sample --help" ]; then
  printf 'Options:\n  --units TEXT                in, mm or deg (default mm)\n'
  printf '  --what-to-do-when-the-signal-is-lost TEXT\n                              hold or drop\n'
  exit 0
fi
if [ "\$1 \$2" = "import --list-devices" ]; then
  printf 'hw:CARD=PCH,DEV=0\n    HDA Intel PCH\nplughw:1,0\n    USB Audio\n'
  exit 0
fi
exec "$capture" "\$@"
FAKE
chmod +x fake

failures=0
# expect "WANTED WORDS" WORD... : completes the line WORD... and compares the sorted answers.
expect() {
  local wanted=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  local function
  function=$(complete -p "${COMP_WORDS[0]##*/}" 2>/dev/null | sed -n 's/.*-F \([^ ]*\).*/\1/p')
  [ -n "$function" ] || function=_morvantis_capture
  "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
  wanted=$(printf '%s\n' $wanted | sort | xargs)
  if [ "$got" != "$wanted" ]; then
    echo "${*:2} <Tab>: wanted \"$wanted\", got \"$got\""
    failures=$((failures + 1))
  fi
}

C=$capture
expect "export" $C ex
expect "--help --version" $C --
expect "--list-devices" $C import --li
expect "--output" $C plot take.cap --out
expect "csv jsonl" $C export take.cap --format ""
expect "s8 s16le s16be s24le s24be s32le s32be" $C import --raw s
expect "sweep steps static" $C synth --pattern ""
expect "pcm16 pcm24 float" $C synth -o x.cap --wav x.wav --sample-format ""
expect "" $C synth --frames ""
expect "take.cap folder" $C analyze ""
expect "take.cap folder" $C monitor --speed 2 ""
expect "values.csv folder" $C synth ""
expect "take.wav folder" $C synth -o x.cap --wav ""
expect "picture.svg picture.png folder" $C plot take.cap -o ""
expect "hw:CARD=PCH,DEV=0 plughw:1,0" ./fake import --device ""
expect "CARD=PCH,DEV=0" ./fake monitor --device hw:
expect "in mm deg" ./fake sample --units ""
expect "hold drop" ./fake sample --what-to-do-when-the-signal-is-lost ""
expect "take.cap folder" "$morvantis" ""
expect "0 1 2 3 4 5" "$morvantis" take.cap ""
[ "$failures" -eq 0 ]
