#!/usr/bin/env bash
# Runs a test command where it can create input devices. In: the guest's folder (made by
# prepare_guest.sh) and a command. Out: the command's output on standard output and its exit
# status. Where this machine has a /dev/uinput it may write to, the command runs here directly;
# otherwise it runs inside Debian's kernel booted under QEMU, in this machine's own root (shared
# read-only over 9p, with a writable tmpfs on top), in the current folder, with the current
# environment. The folder MORVANTIS_GUEST_SHARE names, if any, is shared writable at the same
# place, so the command's results can be read here. A guest that does not start, or does not tell the command's status, is a failure.
set -euo pipefail
dir="${1:?usage: run_in_guest.sh GUEST_FOLDER COMMAND...}"
shift
[ $# -gt 0 ] || { echo "run_in_guest: no command" >&2; exit 2; }
if [ -w /dev/uinput ] && [ -z "${MORVANTIS_FORCE_GUEST:-}" ]; then exec "$@"; fi

here="$(cd "$(dirname "$0")" && pwd)"
bash "$here/prepare_guest.sh" "$dir"
share="$(mktemp -d)"
trap 'rm -rf "$share"' EXIT
if [ -n "${MORVANTIS_GUEST_SHARE:-}" ]; then
  MORVANTIS_GUEST_SHARE="$(cd "$MORVANTIS_GUEST_SHARE" && pwd)"
  export MORVANTIS_GUEST_SHARE
fi
# The command file: this environment (minus what belongs to this shell), the folder, the command.
{
  export -p | grep -Ev '^declare -x (BASH_[A-Z_]*|OLDPWD|PWD|SHLVL|_|TMPDIR)='
  printf 'cd %q\n' "$PWD"
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} >"$share/command"
[ -n "${MORVANTIS_GUEST_SHARE:-}" ] && echo "MORVANTIS_GUEST_SHARE=$MORVANTIS_GUEST_SHARE" >"$share/shared"

timeout "${MORVANTIS_GUEST_TIMEOUT:-600}" qemu-system-x86_64 \
  -machine pc,accel=tcg -cpu max -smp 1 -m "${MORVANTIS_GUEST_MEMORY:-512M}" \
  -display none -no-reboot -nodefaults -serial stdio \
  -kernel "$dir/vmlinux" -initrd "$dir/initramfs.cpio" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init no_timer_check mitigations=off" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,multidevs=remap,readonly=on \
  -virtfs "local,path=$share,mount_tag=results,security_model=none" \
  ${MORVANTIS_GUEST_SHARE:+-virtfs "local,path=$MORVANTIS_GUEST_SHARE,mount_tag=shared,security_model=none"} \
  >"$share/console" 2>&1 </dev/null || true
[ -f "$share/output" ] && cat "$share/output"
if [ ! -f "$share/status" ]; then
  echo "run_in_guest: the guest did not finish the command; its console said:" >&2
  tail -n 30 "$share/console" >&2
  exit 1
fi
exit "$(cat "$share/status")"
