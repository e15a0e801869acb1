# bash completion for orvasm(1): its options, and file names for the paths
# and the values of options. Installed as
# share/bash-completion/completions/orvasm, where the bash-completion
# package loads it; it uses that package's helpers. The options are read
# from `orvasm --help`, so that they are listed in one place.

_orvasm() {
    local cur prev words cword split
    _init_completion -s || return

    local i
    for ((i = 1; i < cword; i++)); do
        # After "--" every argument is a path.
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    local options
    options=$(_parse_help "$1")
    # The value of an option that takes one (a line "--listing=" of
    # _parse_help), given after "=" or as the next argument.
    if [[ $prev == --* && $'\n'$options$'\n' == *$'\n'"$prev="$'\n'* ]]; then
        _filedir
        return
    fi
    $split && return

    if [[ $cur == --* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
} &&
    complete -F _orvasm orvasm
