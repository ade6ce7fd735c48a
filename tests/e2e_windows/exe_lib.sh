# Sourced by the scripts that run quelk.exe, under Wine or on Windows
# itself: a scratch directory, and quelk.exe's status, standard output and
# standard error compared byte for byte. Needs wine (WINE or none) and
# quelk from its caller.
# shellcheck disable=SC2154  # set by the caller
runner=("$wine")
[ "$wine" = none ] && runner=()
# Wine gives host names to Windows in the host's locale: UTF-8 here, as a
# Git Bash or MSYS2 terminal types them.
export WINEDEBUG=-all LC_ALL=C.UTF-8
scratch=$(mktemp -d) || { echo "setup broke: mktemp"; exit 99; }
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/work" && cd "$scratch/work" || exit 99
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A fresh Wine prefix is made by the first program that runs in it, and
# what making it prints (a wow64 Wine lacks its 32-bit helpers) would land
# in that program's standard error: a first run, whose output is not
# checked, makes it.
[ "$wine" = none ] || "$wine" "$quelk" --version >/dev/null 2>&1 </dev/null

# run ARGS...: quelk.exe's status, standard output and standard error.
run() {
    "${runner[@]}" "$quelk" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null
    status=$?
    out=$(cat "$scratch/out"; echo .)
    out=${out%.}
    err=$(cat "$scratch/err"; echo .)
    err=${err%.}
}
expect() {
    local want_status=$1 want_out=$2 want_err=$3
    shift 3
    run "$@"
    [ "$status" = "$want_status" ] || fail "quelk.exe $*: status $status, wanted $want_status; $err"
    [ "$out" = "$want_out" ] || fail "quelk.exe $*: stdout '$out', wanted '$want_out'"
    [ "$err" = "$want_err" ] || fail "quelk.exe $*: stderr '$err', wanted '$want_err'"
}
inode() { stat -c %d:%i -- "$1"; }
# no_temporary [DIRECTORY]: no temporary name (.qk...) is left there.
no_temporary() {
    local left
    left=$(find "${1:-.}" -mindepth 1 -maxdepth 1 -name '.qk*')
    [ -z "$left" ] || fail "temporary name left: $left"
}
