# bash completion for belvane-send
_belvane_send()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --host)
            _known_hosts_real -- "$cur"
            return
            ;;
        --port)
            COMPREPLY=($(compgen -W '9912' -- "$cur"))
            return
            ;;
        --sender | --message | --level | --timeout)
            return
            ;;
        --help | -h | --help-all | --version | -v)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--host --port --sender --message --level --marker --timeout --help
            --help-all --version' -- "$cur"))
    fi
} &&
    complete -F _belvane_send belvane-send
