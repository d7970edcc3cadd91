# bash completion for twinfold                              -*- shell-script -*-

_twinfold()
{
    local cur prev words cword
    _init_completion || return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "-h --help -v --version" -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _twinfold twinfold

# ex: filetype=sh
