# bash completion for twinfold-cli                          -*- shell-script -*-

_twinfold_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="scan convert show restore demo help"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            scan | convert | show | restore | demo | help)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $prev in
        --originals)
            COMPREPLY=($(compgen -W "backup delete keep" -- "$cur"))
            return
            ;;
        --phase)
            COMPREPLY=($(compgen -W "left right split" -- "$cur"))
            return
            ;;
        --multichannel)
            COMPREPLY=($(compgen -W "split remove" -- "$cur"))
            return
            ;;
        --suffix | --normalize | --threshold | --exclude)
            return
            ;;
        --log | --difference)
            _filedir
            return
            ;;
    esac

    local common="--defaults --threshold --exclude --json --files-from --jobs --no-cache -h --help"
    local options
    case $command in
        "")
            COMPREPLY=($(compgen -W "$commands -h --help -v --version" -- "$cur"))
            return
            ;;
        help)
            COMPREPLY=($(compgen -W "scan convert show restore demo" -- "$cur"))
            return
            ;;
        scan) options="$common --jsonl" ;;
        convert)
            options="$common --yes --dry-run --log --suffix --originals --phase --multichannel
                --skip-existing --no-skip-existing --include-differing --no-include-differing
                --pan-in-name --no-pan-in-name --track-names --no-track-names
                --normalize --no-normalize"
            ;;
        show) options="--json --difference --threshold --defaults -h --help" ;;
        restore) options="--remove-outputs -h --help" ;;
        demo) options="-h --help" ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
        restore | demo) _filedir -d ;;
        *) _filedir ;;
    esac
} &&
    complete -F _twinfold_cli twinfold-cli

# ex: filetype=sh
