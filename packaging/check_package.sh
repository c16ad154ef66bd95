#!/usr/bin/env bash
# The install, end to end. In: this checkout. Out: "package check: ok" and exit 0, or the first
# thing that is wrong and exit 1. It runs `make install` and `make uninstall` into a staging
# folder, builds the Debian package with `make deb`, checks it with lintian (errors fail),
# installs it with apt-get, runs both programs from the PATH, finds both manual pages with
# `man -w`, loads the completion in a non-interactive bash, then purges the package and checks
# that none of its files is left. Needs root (apt-get); CI runs it on a fresh Debian 12. The
# machine is left without the package, even if it had it before.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "package check: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "run as root: it installs and removes the package"

tools=(lintian man-db bash-completion)
missing=()
for package in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# make install under a prefix and DESTDIR, then make uninstall: nothing may be left. Its list
# of installed files is kept apart, so an install made by hand stays removable.
make --no-print-directory install PREFIX=/opt/morvantis DESTDIR="$work/stage" MANIFEST="$work/manifest" >/dev/null
for path in bin/Morvantis bin/MorvantisCapture share/man/man1/Morvantis.1.gz \
            share/man/man1/MorvantisCapture.1.gz share/bash-completion/completions/Morvantis \
            share/bash-completion/completions/MorvantisCapture share/zsh/site-functions/_morvantis \
            lib/udev/rules.d/70-morvantis-uinput.rules \
            share/doc/morvantis/README.md share/doc/morvantis/demo.cap; do
  [ -f "$work/stage/opt/morvantis/$path" ] || fail "make install did not install $path"
done
make --no-print-directory uninstall MANIFEST="$work/manifest" >/dev/null
left=$(find "$work/stage" ! -type d)
[ -z "$left" ] || fail "make uninstall left: $left"
[ ! -e "$work/stage/opt/morvantis/share/doc/morvantis" ] || fail "make uninstall left the documentation folder"

# The package.
rm -f build/release/morvantis_*.deb
make --no-print-directory deb >/dev/null
deb=$(ls build/release/morvantis_*.deb)
lintian --fail-on error "$deb" || fail "lintian reports errors in $deb"
mapfile -t shipped < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
# A check that fails from here on still takes the package away again.
purge() {
  if dpkg -s morvantis >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq morvantis >/dev/null || return 1
  fi
}
trap 'purge; rm -rf "$work"' EXIT

# A machine may keep some paths out (dpkg's path-exclude, as minimal images do for documentation
# and manual pages): such a file is checked in the package instead, and said so.
excluded() {
  local pattern
  while read -r pattern; do
    # shellcheck disable=SC2053
    [[ $1 == $pattern ]] && return 0
  done < <(cat /etc/dpkg/dpkg.cfg.d/* 2>/dev/null | awk '$1 == "path-exclude" { print $2 }')
  return 1
}
mkdir "$work/deb" && dpkg-deb -x "$deb" "$work/deb"
for path in "${shipped[@]}"; do
  if [ ! -e "$path" ]; then
    excluded "$path" || fail "$path is in the package but was not installed"
    echo "package check: $path is kept out by dpkg's path-exclude here; checked in the package"
  fi
done
installed() { if [ -e "$1" ]; then echo "$1"; else echo "$work/deb$1"; fi; }

for program in Morvantis MorvantisCapture; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program on the PATH"
done
demo=$(installed /usr/share/doc/morvantis/demo.cap)
Morvantis "$demo" 2 >"$work/installed.txt" || fail "Morvantis $demo 2 failed"
build/release/Morvantis samples/demo.cap 2 >"$work/built.txt"
cmp -s "$work/installed.txt" "$work/built.txt" || fail "the installed Morvantis prints differently"
MorvantisCapture --help >/dev/null || fail "MorvantisCapture --help failed"

for page in Morvantis MorvantisCapture; do
  if [ -e "/usr/share/man/man1/$page.1.gz" ]; then
    man -w "$page" >/dev/null || fail "man -w $page finds no page"
  else
    man -w -M "$work/deb/usr/share/man" "$page" >/dev/null || fail "the package's page $page is not found"
  fi
done

# bash-completion finds each program's completion by its name, as it does when Tab is pressed.
# shellcheck disable=SC2016
loader='source /usr/share/bash-completion/bash_completion
        for program in Morvantis MorvantisCapture; do __load_completion "$program" || exit 1; done'
if [ ! -e /usr/share/bash-completion/completions/MorvantisCapture ]; then
  loader='source /usr/share/bash-completion/bash_completion; source "$1"'
fi
# shellcheck disable=SC2016
bash -c "$loader"'
         complete -p Morvantis MorvantisCapture >/dev/null || exit 1
         COMP_WORDS=(MorvantisCapture export x.cap --format "") COMP_CWORD=4
         _morvantis_capture MorvantisCapture "" --format
         [ "${COMPREPLY[*]}" = "csv jsonl" ]' _ "$work/deb/usr/share/bash-completion/completions/MorvantisCapture" ||
  fail "the completion does not load or does not complete in a non-interactive bash"

zsh_completion=$(installed /usr/share/zsh/vendor-completions/_morvantis)
if command -v zsh >/dev/null; then
  zsh -n "$zsh_completion" || fail "the zsh completion does not parse"
fi

purge
for path in "${shipped[@]}"; do
  [ ! -e "$path" ] || fail "$path is left after the package was purged"
done
[ ! -e /usr/share/doc/morvantis ] || fail "/usr/share/doc/morvantis is left after the package was purged"
echo "package check: ok ($deb, ${#shipped[@]} files installed and removed)"
