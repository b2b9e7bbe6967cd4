# bash completion for lystora-list

_lystora_list()
{
    local cur prev words cword
    # FORMAT:PATH is one word here, whatever COMP_WORDBREAKS says.
    _init_completion -n : || return

    case $prev in
        -t | --type)
            COMPREPLY=($(compgen -W '0 1 2' -- "$cur"))
            return
            ;;
        --list-lang)
            COMPREPLY=($(compgen -W 'en fr' -- "$cur"))
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'classic page m3u8 json' -- "$cur"))
            return
            ;;
        --sort)
            COMPREPLY=($(compgen -W 'name natural' -- "$cur"))
            return
            ;;
        --also)
            if [[ $cur == *:* ]]; then
                # FORMAT:PATH: paths after the colon, the word's start left as typed.
                local word=$cur format=${cur%%:*}
                cur=${cur#*:}
                _filedir
                COMPREPLY=("${COMPREPLY[@]/#/$format:}")
                __ltrim_colon_completions "$word"
            else
                compopt -o nospace
                COMPREPLY=($(compgen -W 'page: m3u8: json:' -- "$cur"))
            fi
            return
            ;;
        -p | --pattern | --title | --base-url | --every | --tag-limits)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--type --pattern --ext --no-ext --html --text --title
            --base-url --no-links --time --no-time --list-lang --format --also --no-also --tags
            --no-tags --tag-limits --forget-unreadable --covers --no-covers --sort --force --dry-run --every --watch
            --quiet --help --version' -- "$cur"))
        return
    fi

    # SOURCE_DIR, then TARGET_FILE.
    local arg i
    arg=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -t | --type | -p | --pattern | --title | --base-url | --list-lang | --format | --also | --sort | --every | --tag-limits) ((i++)) ;;
            -*) ;;
            *) ((arg++)) ;;
        esac
    done
    if ((arg == 0)); then
        _filedir -d
    else
        _filedir
    fi
} &&
    complete -F _lystora_list lystora-list
