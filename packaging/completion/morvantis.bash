# Bash completion for Morvantis and MorvantisCapture (installed under both names). In: the
# words typed so far. Out: the commands, options and option values that fit. Commands, options
# and fixed choices are read from the program's own --help when Tab is pressed, capture devices
# from `MorvantisCapture import --list-devices`, so completion follows the program it runs.

# The Options: block of a help text, one option per line: its names (comma-separated), its
# value type (none for a flag), then its description, which CLI11 puts on the next line when
# the names are long.
_morvantis_option_lines() {
  awk '/^Options:/ { inside = 1; next }
       /^[^ ]/ || !NF { if (held != "") print held; held = ""; if (/^[^ ]/) inside = 0; next }
       inside && /^  -/ { if (held != "") print held; held = $0; next }
       inside && held != "" { sub(/^ +/, " "); held = held $0 }
       END { if (held != "") print held }'
}

# The line of one option, found by any of its names.
_morvantis_option_line() {
  _morvantis_option_lines <<<"$1" |
    awk -v option="$2" '{ n = split($1, names, ","); for (i = 1; i <= n; i++) if (names[i] == option) { print; exit } }'
}

# Every option name of a help text.
_morvantis_option_names() {
  _morvantis_option_lines <<<"$1" | awk '{ print $1 }' | tr ',' ' '
}

# The fixed choices of an option line: CLI11 writes them as TEXT:{a,b,c}; otherwise a
# description that opens with "a, b or c" lists them.
_morvantis_choices() {
  local braces=':\{([^}]*)\}' listed='^ +[^ ]+ +[A-Z]+ +([a-z0-9]+(, [a-z0-9]+)* or [a-z0-9]+)'
  if [[ $1 =~ $braces ]]; then
    printf '%s\n' "${BASH_REMATCH[1]//,/ }"
  elif [[ $1 =~ $listed ]]; then
    local words=${BASH_REMATCH[1]//,/}
    printf '%s\n' "${words// or / }"
  fi
}

# File name extensions worth offering for a command's option (or its input, "input").
_morvantis_extensions() {
  case "$1:$2" in
    synth:input) echo 'csv' ;;
    synth:-o | synth:--output | import:-o | import:--output) echo 'cap' ;;
    synth:--wav) echo '@(wav|flac|aiff|w64)' ;;
    export:-o | export:--output) echo '@(csv|jsonl)' ;;
    plot:-o | plot:--output) echo '@(svg|png)' ;;
    analyze:input | export:input | plot:input | monitor:input) echo 'cap' ;;
  esac
}

_morvantis_capture() {
  local cur prev words cword split
  _init_completion -s -n : || return
  local program=${words[0]} command="" i
  for ((i = 1; i < cword; i++)); do
    if [[ ${words[i]} != -* ]]; then
      command=${words[i]}
      break
    fi
  done

  if [[ -z $command ]]; then
    local help
    help=$("$program" --help 2>/dev/null)
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$(_morvantis_option_names "$help")" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$(awk '/^Subcommands:/ { inside = 1; next } /^[^ ]/ { inside = 0 }
                                     inside && NF { print $1 }' <<<"$help")" -- "$cur"))
    fi
    return
  fi

  local help line
  help=$("$program" "$command" --help 2>/dev/null)
  local takes_value='^ +[^ ]+ +[A-Z]' text_value='^ +[^ ]+ +TEXT'
  if [[ $prev == -* ]]; then
    line=$(_morvantis_option_line "$help" "$prev")
    # An option followed by a value type takes a value: complete that value.
    if [[ $line =~ $takes_value ]]; then
      local choices extensions
      choices=$(_morvantis_choices "$line")
      if [[ -n $choices ]]; then
        COMPREPLY=($(compgen -W "$choices" -- "$cur"))
      elif [[ $prev == --device ]]; then
        COMPREPLY=($(compgen -W "$("$program" import --list-devices 2>/dev/null | awk '/^[^ ]/ { print $1 }')" -- "$cur"))
        __ltrim_colon_completions "$cur"
      elif [[ $line =~ $text_value ]]; then
        extensions=$(_morvantis_extensions "$command" "$prev")
        _filedir ${extensions:+"$extensions"}
      fi
      return
    fi
  fi
  [[ $split == true ]] && return
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(_morvantis_option_names "$help")" -- "$cur"))
  else
    local extensions
    extensions=$(_morvantis_extensions "$command" input)
    _filedir ${extensions:+"$extensions"}
  fi
} &&
  complete -F _morvantis_capture MorvantisCapture

# Morvantis FileName VerboseLevel: a capture, then a level.
_morvantis() {
  local cur prev words cword
  _init_completion || return
  case $cword in
    1) _filedir cap ;;
    2) COMPREPLY=($(compgen -W '0 1 2 3 4 5' -- "$cur")) ;;
  esac
} &&
  complete -F _morvantis Morvantis
