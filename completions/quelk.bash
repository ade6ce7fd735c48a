# bash completion for quelk
_quelk() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}

    case $prev in
        -t | --target-directory)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
    esac
    case $cur in
        --target-directory=*)
            mapfile -t COMPREPLY < <(compgen -P --target-directory= -d -- "${cur#*=}")
            return
            ;;
        -*)
            local i
            for i in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
                [ "$i" = -- ] && { mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return; }
            done
            mapfile -t COMPREPLY < <(compgen -W '-s -v -f -d -F -A -T -t -V --symbolic --verbose
                --force --directory --file --auto --no-target-directory --target-directory
                --help --version' -- "$cur")
            return
            ;;
    esac
    # A relative target of a symbolic link is read from the link's
    # directory: with -s and -t DIR, offer names as seen from DIR.
    local i word directory='' symbolic=''
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        [ "$word" = -- ] && break
        case $word in
            --symbolic | --sym*) symbolic=1 ;;
            -t | --target-directory) directory=${COMP_WORDS[i + 1]} ;;
            --target-directory=*) directory=${word#*=} ;;
        esac
        if [[ $word =~ ^-[vdfFsAT]*s[vdfFsAT]*(t.*)?$ ]]; then symbolic=1; fi
        if [[ $word =~ ^-[vdfFsAT]*t$ ]]; then directory=${COMP_WORDS[i + 1]}; fi
    done
    if [ -n "$symbolic" ] && [ -n "$directory" ] && [[ $cur != /* ]]; then
        mapfile -t COMPREPLY < <(cd -- "$directory" 2>/dev/null && compgen -f -- "$cur")
        return
    fi
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -o filenames -F _quelk quelk
