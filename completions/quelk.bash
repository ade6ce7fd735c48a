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
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -o filenames -F _quelk quelk
