# bash completion for korvanectl
_korvanectl()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "printers hardware check search repair add --help --version" -- "$cur"))
        return
    fi
    case ${COMP_WORDS[1]} in
        printers)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--json --watch" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "$(lpstat -e 2>/dev/null)" -- "$cur"))
            fi ;;
        search)
            if [ "${COMP_WORDS[COMP_CWORD-1]}" = --timeout ]; then
                COMPREPLY=()
            else
                COMPREPLY=($(compgen -W "--usb-only --network-only --timeout --json" -- "$cur"))
            fi ;;
        repair)
            if [ "$COMP_CWORD" -eq 2 ]; then
                COMPREPLY=($(compgen -W "spooler firewall queues font all" -- "$cur"))
            elif [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--yes" -- "$cur"))
            elif [ "${COMP_WORDS[2]}" = queues ]; then
                COMPREPLY=($(compgen -W "$(lpstat -e 2>/dev/null)" -- "$cur"))
            fi ;;
        add)
            if [ "${COMP_WORDS[COMP_CWORD-1]}" = --name ]; then
                COMPREPLY=()
            elif [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--name --json" -- "$cur"))
            elif [[ $cur == *:* ]]; then
                COMPREPLY=()
            else
                COMPREPLY=($(compgen -W "ipp:// ipps:// socket://" -- "$cur"))
                compopt -o nospace 2>/dev/null
            fi ;;
        hardware|check)
            COMPREPLY=($(compgen -W "--json" -- "$cur")) ;;
    esac
}
complete -F _korvanectl korvanectl
