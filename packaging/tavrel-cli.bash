# bash completion for tavrel-cli: its commands and their options (read from
# the program's own help, so they follow the installed version), ports, rates,
# environment names and the files each command takes.

# The program's help text, without a settings file or a log being touched.
_tavrel_cli_help()
{
    "$_tavrel_cli_program" "$@" --help 2>/dev/null </dev/null
}

# Command names, one a line ("query", "env list", ...).
_tavrel_cli_commands()
{
    _tavrel_cli_help | sed -n '/^Commands:/,${s/^  \([a-z][^ ]*\( [a-z][^ ]*\)*\)  .*/\1/p}'
}

# Every --option a help text names.
_tavrel_cli_options()
{
    _tavrel_cli_help "$@" | grep -o -- '--[a-z][a-z-]*' | sort -u
}

# The environment names of the environment directory, as `env list` prints
# them (a name begins a line; its boards follow indented). The global options
# already typed choose the settings and the directory; the log goes nowhere
# and every question is answered No.
_tavrel_cli_environments()
{
    "$_tavrel_cli_program" "${_tavrel_cli_globals[@]}" --log /dev/null --no env list \
        2>/dev/null </dev/null | sed -n 's/^\([^ ].*\)  (.*/\1/p'
}

# COM1..COM8 and the serial devices of this machine.
_tavrel_cli_ports()
{
    local device
    printf '%s\n' COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8
    for device in /dev/serial/by-id/* /dev/ttyUSB* /dev/ttyACM* /dev/ttyS*; do
        [ -e "$device" ] && printf '%s\n' "$device"
    done
}

# Adds the lines of its input that begin with the current word, quoted for
# the command line (environment names may hold blanks). It reads a process
# substitution, not a pipe: a pipe would run it in a subshell.
_tavrel_cli_add_lines()
{
    local line
    while IFS= read -r line; do
        [[ "$line" == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$line")")
    done
}

_tavrel_cli_add_files()
{
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [ -n "$1" ]; then
        COMPREPLY+=($(compgen -d -- "$cur") $(compgen -f -X "!*.$1" -- "$cur"))
    else
        COMPREPLY+=($(compgen -f -- "$cur"))
    fi
}

_tavrel_cli_add_dirs()
{
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$cur"))
}

_tavrel_cli()
{
    local cur="${COMP_WORDS[COMP_CWORD]}"
    local prev=""
    [ "$COMP_CWORD" -gt 0 ] && prev="${COMP_WORDS[COMP_CWORD-1]}"
    local _tavrel_cli_program="${COMP_WORDS[0]}"
    COMPREPLY=()

    # The words typed so far: global options with their values, then the
    # command's words.
    local -a _tavrel_cli_globals=() words=()
    local i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word="${COMP_WORDS[i]}"
        case "$word" in
            --config-dir|--env-dir)
                _tavrel_cli_globals+=("$word" "${COMP_WORDS[i+1]}"); ((i++)) ;;
            --config-dir=*|--env-dir=*) _tavrel_cli_globals+=("$word") ;;
            --log|--history|-p|--port|-b|--baud|--json|--csv|--out|--dir|--dest|--rate|--board|--set|--max-time|--progress-json|--env|--since|--until|--software|--result|--limit)
                ((i++)) ;;
            -*) ;;
            *) words+=("$word") ;;
        esac
    done

    # The value of an option.
    case "$prev" in
        -p|--port) _tavrel_cli_add_lines < <(_tavrel_cli_ports); return 0 ;;
        -b|--baud|--rate)
            _tavrel_cli_add_lines < <(printf '%s\n' 300 1200 4800 9600 19200 38400 57600 115200 128000 256000)
            return 0 ;;
        --config-dir|--env-dir|--dir|--image-dir) _tavrel_cli_add_dirs; return 0 ;;
        --log|--history|--json|--csv|--out|--progress-json|--stats) _tavrel_cli_add_files; return 0 ;;
        --result) _tavrel_cli_add_lines < <(printf '%s\n' ok failed interrupted running); return 0 ;;
        --since|--until|--software|--limit) return 0 ;;
        --dest) _tavrel_cli_add_lines < <(printf '%s\n' A B C D E F G H I J K L); return 0 ;;
        --env) _tavrel_cli_add_lines < <(_tavrel_cli_environments); return 0 ;;
        --board|--set|--max-time) return 0 ;;
    esac

    local commands command=""
    commands="$(_tavrel_cli_commands)"
    # The longest command name the typed words begin with.
    local name
    while IFS= read -r name; do
        [ -z "$name" ] && continue
        local -a parts=($name)
        [ "${#parts[@]}" -gt "${#words[@]}" ] && continue
        [ "${words[*]:0:${#parts[@]}}" = "$name" ] || continue
        [ "${#name}" -gt "${#command}" ] && command="$name"
    done <<<"$commands"

    if [[ "$cur" == -* ]]; then
        if [ -n "$command" ]; then
            _tavrel_cli_add_lines < <({ _tavrel_cli_options $command; _tavrel_cli_options; } | sort -u)
        else
            _tavrel_cli_add_lines < <(_tavrel_cli_options)
        fi
        return 0
    fi

    if [ -z "$command" ]; then
        # A command's first word, or its second after a group word ("env").
        local -a cur_group=()
        if [ "${#words[@]}" -eq 0 ]; then
            _tavrel_cli_add_lines < <(sed 's/ .*//' <<<"$commands" | sort -u)
        else
            while IFS= read -r name; do
                [[ "$name" == "${words[0]} "* ]] && cur_group+=("${name#* }")
            done <<<"$commands"
            _tavrel_cli_add_lines < <(printf '%s\n' "${cur_group[@]}")
        fi
        return 0
    fi

    # The command's arguments.
    case "$command" in
        "env show"|"env export")
            _tavrel_cli_add_lines < <(_tavrel_cli_environments)
            _tavrel_cli_add_files def ;;
        "env import"|"request import"|batch) _tavrel_cli_add_files json ;;
        transfer|query|repair|"request show"|"request export") _tavrel_cli_add_files sfl ;;
        "vle dump") _tavrel_cli_add_files vle ;;
        import) _tavrel_cli_add_files ;;
    esac
    return 0
}

complete -F _tavrel_cli tavrel-cli
