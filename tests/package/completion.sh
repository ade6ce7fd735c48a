# The bash completion offers options, directories after -t, files otherwise.
# Usage: completion.sh COMPLETION-SCRIPT
set -u
# shellcheck source=completions/quelk.bash
. "$1" || { echo "setup broke: cannot source $1"; exit 99; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir dir_one && touch file_two -- -x_three dir_one/file_inside || exit 99
status=0

# complete_to "WANTED" WORDS...: completes the last word of the command line.
complete_to() {
    local wanted=$1
    shift
    COMP_WORDS=(quelk "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _quelk
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ')
    got=${got% }
    [ "$got" = "$wanted" ] || { echo "FAIL: quelk $*<TAB> gave '$got', wanted '$wanted'"; status=1; }
}

complete_to "--verbose --version" --ver
complete_to "--target-directory" --target-d
complete_to "--auto --directory --file --force --help --no-target-directory --symbolic --target-directory --verbose --version -A -F -T -V -d -f -s -t -v" -
complete_to "dir_one" -t ""
complete_to "dir_one" --target-directory d
complete_to "--target-directory=dir_one" --target-directory=
complete_to "file_two" -s "fi"
complete_to "-x_three dir_one file_two" -v ""
complete_to "-x_three" -- -x
# A symbolic link's relative target is read from DIR, so it is offered from there.
complete_to "file_inside" -s -t dir_one "fi"
complete_to "file_inside" -vst dir_one "fi"
complete_to "file_two" -t dir_one "fi"
exit $status
