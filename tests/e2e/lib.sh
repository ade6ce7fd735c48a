# Shared by the end-to-end scripts: run the built quelk in a scratch
# directory and compare its status, standard output and standard error
# byte for byte. A broken setup is told apart from quelk misbehaving.
set -u
quelk=${1:?usage: $0 PATH-TO-QUELK}
case $quelk in /*) ;; *) quelk=$PWD/$quelk ;; esac
export LC_ALL=C.UTF-8
scratch=$(mktemp -d) || { echo "setup broke: mktemp"; exit 99; }
removed=()  # more to remove at the end, beside the scratch directory
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch" "${removed[@]}"' EXIT
mkdir "$scratch/work" && cd "$scratch/work" || { echo "setup broke: scratch directory"; exit 99; }
failures=0

setup() { "$@" || { echo "setup broke: $*"; exit 99; }; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run_quelk ARGS...: quelk as argv[0] "quelk"; with QUELK_VALGRIND set,
# under memcheck, where any error or leak shows on stderr and in the status.
if [ -n "${QUELK_VALGRIND:-}" ]; then
    mkdir "$scratch/bin" && ln -s "$quelk" "$scratch/bin/quelk" || { echo "setup broke: bin"; exit 99; }
    run_quelk() {
        PATH="$scratch/bin:$PATH" valgrind -q --error-exitcode=97 --leak-check=full --show-leak-kinds=all \
            --errors-for-leak-kinds=all quelk "$@"
    }
else
    run_quelk() { (exec -a quelk "$quelk" "$@"); }
fi

# expect STATUS STDOUT STDERR ARGS...: runs quelk and compares.
expect() {
    local want_status=$1 want_out=$2 want_err=$3 status
    shift 3
    run_quelk "$@" >"$scratch/out" 2>"$scratch/err" </dev/null
    status=$?
    [ "$status" = "$want_status" ] || fail "quelk $*: status $status, wanted $want_status"
    printf '%s' "$want_out" | cmp -s - "$scratch/out" ||
        fail "quelk $*: stdout $(od -c "$scratch/out" | head -5), wanted $(printf '%s' "$want_out" | od -c | head -5)"
    printf '%s' "$want_err" | cmp -s - "$scratch/err" ||
        fail "quelk $*: stderr $(od -c "$scratch/err" | head -5), wanted $(printf '%s' "$want_err" | od -c | head -5)"
}

# windows_link_is NAME KIND TARGET: on Cygwin, Windows itself sees NAME as
# a symbolic link of KIND (file or dir) storing the relative TARGET as
# Cygwin writes it (backslashes; what Windows refuses in a name, and
# control characters, at U+F000 and up), read back through PowerShell;
# elsewhere there is no Windows to ask.
case $(uname -s) in
    CYGWIN*)
        # shellcheck source=tests/e2e_windows/read_link.sh
        . "$(dirname "${BASH_SOURCE[0]}")/../e2e_windows/read_link.sh"
        windows_link_is() {
            link_is "$1" "$2" "$(printf '%s' "$3" | perl -CS -pe 's{/}{\\}g; s/([\x01-\x1f"*:<>?|])/chr(0xF000 + ord($1))/ge')"
        }
        ;;
    *) windows_link_is() { :; } ;;
esac

# win32_of PATH: the absolute Win32 form of an absolute POSIX path, as
# Cygwin's converter gives it (the stand-in's Cygwin lies at C:\cygwin64).
case $(uname -s) in
    CYGWIN*) win32_of() { cygpath -w -- "$1"; } ;;
    *) win32_of() { printf 'C:\\cygwin64%s' "${1//\//\\}"; } ;;
esac

same_file() { [ "$(stat -c %d:%i -- "$1")" = "$(stat -c %d:%i -- "$2")" ] || fail "$1 and $2 are not one file"; }
is_symlink_to() { [ -L "$1" ] && [ "$(readlink -- "$1")" = "$2" ] || fail "$1 is not a symbolic link to $2"; }
absent() { [ ! -e "$1" ] && [ ! -L "$1" ] || fail "$1 exists"; }
holds() { [ "$(cat -- "$1")" = "$2" ] || fail "$1 does not hold $2"; }
# no_temporary [DIRECTORY]: no temporary name (.qk...) is left there.
no_temporary() {
    local left
    left=$(find "${1:-.}" -mindepth 1 -maxdepth 1 -name '.qk*')
    [ -z "$left" ] || fail "temporary name left: $left"
}

finish() {
    [ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
    echo "all passed"
}
