# bash completion for orvane(1).
# Commands and options are read from the program's own --help, formats and
# preset numbers from 'orvane presets', so they never fall behind the program.

_orvane_commands() {  # PROGRAM
    "$1" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}

_orvane_formats() {  # PROGRAM
    "$1" presets 2>/dev/null | cut -f1 | uniq
}

_orvane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]} command= format= i word words
    COMPREPLY=()
    # "--format=MP" arrives as "--format" "=" "MP".
    if [[ $prev == = && COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == = ]]; then
        cur=
    fi

    # The command is the first word that is no option; the format is needed
    # for its preset numbers.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -z $command && $word != -* ]]; then
            command=$word
        elif [[ $word == --format || $word == -f ]]; then
            [[ ${COMP_WORDS[i + 1]} == = ]] && ((i++))
            ((i + 1 < COMP_CWORD)) && format=${COMP_WORDS[i + 1]}
        fi
    done

    if [[ -z $command ]]; then
        words="$(_orvane_commands "$program") help --help --version"
    else
        case $prev in
            -f | --format)
                words=$(_orvane_formats "$program")
                ;;
            -p | --preset)
                [[ -n $format ]] && words=$("$program" presets "$format" 2>/dev/null | cut -f2)
                ;;
            -o | --output | --thumbnail)
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -d -- "$cur")
                return
                ;;
            --host | --log | --from | -n | --name | --trim)
                [[ $prev == --log ]] && mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                return
                ;;
            *)
                if [[ $cur == -* ]]; then
                    # Option lines of the help: "  -f, --format FORMAT ..." or "      --log FILE ...".
                    words=$("$program" "$command" --help 2>/dev/null |
                        sed -n '/^Options:/,/^$/s/^  \(-[a-zA-Z], \|    \)\(--[a-z-]*\).*/\2/p')
                else
                    case $command in
                        help) words=$(_orvane_commands "$program") ;;
                        presets) words=$(_orvane_formats "$program") ;;
                        download | update-ytdlp) return ;;
                        *)
                            compopt -o filenames 2>/dev/null
                            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                            return
                            ;;
                    esac
                fi
                ;;
        esac
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

complete -F _orvane orvane
