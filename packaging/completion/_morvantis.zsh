#compdef Morvantis MorvantisCapture
# Zsh completion for Morvantis and MorvantisCapture. In: the words typed so far. Out: the
# commands, options and option values that fit. As in the bash completion, commands, options
# and fixed choices are read from the program's own --help when Tab is pressed (TEXT:{a,b,c},
# or a description that opens with "a, b or c"), capture devices from `import --list-devices`.

# _arguments entries for the Options: block of a help text; a description too long for the
# names' column starts on the next line.
_morvantis_arguments() {
  local line entry value description choices action name
  local -a fields
  local -a names
  local -a entries argument_lines
  for line in ${(f)"$(awk '/^Options:/ { inside = 1; next } /^[^ ]/ { inside = 0 } inside' <<<"$1")"}; do
    if [[ $line == '  -'* ]]; then
      entries+=("${line##[[:space:]]#}")
    elif (( $#entries )); then
      entries[-1]+=" ${line##[[:space:]]#}"
    fi
  done
  for entry in $entries; do
    # names [TYPE[:{choices}] [low to high]] [REQUIRED] description
    fields=(${=entry}) value=""
    names=${fields[1]}
    shift fields
    if [[ ${fields[1]} == [A-Z]##(:*|) ]]; then
      value=${fields[1]}
      shift fields
      [[ $value == *:(NUMBER|INTEGER) && ${fields[2]} == to ]] && shift 3 fields
    fi
    [[ ${fields[1]} == REQUIRED ]] && shift fields
    [[ $names == *--help* ]] && continue
    description=${${fields[*]}//[\[\]:]/ }
    names=(${(s:,:)names})
    if [[ -z $value ]]; then
      for name in $names; do argument_lines+=("(${names})${name}[$description]"); done
      continue
    fi
    choices=""
    if [[ $value == *:\{*\} ]]; then
      choices=${${${value#*\{}%\}}//,/ }
    elif [[ $value == TEXT && $description =~ '^([a-z0-9]+(, [a-z0-9]+)* or [a-z0-9]+)' ]]; then
      choices=${${match[1]//,/}// or / }
    fi
    action=" "
    if [[ -n $choices ]]; then
      action="($choices)"
    elif [[ ${names[-1]} == --device ]]; then
      action="_morvantis_devices"
    elif [[ $value == TEXT* ]]; then
      action="_files"
    fi
    for name in $names; do argument_lines+=("(${names})${name}[$description]:${value%%:*}:$action"); done
  done
  print -rl -- $argument_lines
}

# The capture devices, from the program being completed (the caller's $program).
_morvantis_devices() {
  local -a devices
  devices=(${(f)"$(_call_program devices $program import --list-devices 2>/dev/null | awk '/^[^ ]/ { print $1 }')"})
  compadd -a devices
}

_MorvantisCapture() {
  local program=$words[1] help command
  if (( CURRENT == 2 )); then
    help=$(_call_program help $program --help 2>/dev/null)
    local -a commands
    commands=(${(f)"$(awk '/^Subcommands:/ { inside = 1; next } /^[^ ]/ { inside = 0 }
                           inside && NF { name = $1; $1 = ""; sub(/^ +/, ""); print name ":" $0 }' <<<"$help")"})
    _describe command commands
    _arguments ${(f)"$(_morvantis_arguments "$help")"}
    return
  fi
  command=$words[2]
  help=$(_call_program help $program $command --help 2>/dev/null)
  shift words
  (( CURRENT-- ))
  _arguments -S ${(f)"$(_morvantis_arguments "$help")"} '*:file:_files'
}

# Morvantis FileName VerboseLevel: a capture, then a level.
_Morvantis() {
  _arguments '1:capture:_files -g "*.cap"' '2:level:(0 1 2 3 4 5)'
}

case $service in
  Morvantis) _Morvantis "$@" ;;
  *) _MorvantisCapture "$@" ;;
esac
