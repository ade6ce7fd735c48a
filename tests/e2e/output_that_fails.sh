# Standard output that cannot be written is a failure, told on standard
# error; the links are made all the same. A reader that closes the pipe
# early still sees what it read.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup sh -c 'echo a > a'
full_disk="quelk: write error: No space left on device
"
for args in "--help" "--version" "-v a b"; do
    run_quelk $args >/dev/full 2>"$scratch/err" </dev/null
    status=$?
    [ "$status" = 1 ] || fail "quelk $args > /dev/full: status $status, wanted 1"
    printf '%s' "$full_disk" | cmp -s - "$scratch/err" || fail "quelk $args > /dev/full: stderr $(cat "$scratch/err")"
done
same_file a b

# An earlier failure keeps its own status.
setup mkdir d
run_quelk -v -t d a missing >/dev/full 2>"$scratch/err" </dev/null
[ $? = 2 ] || fail "a failed link with a full stdout: status not 2"
[ "$(tail -1 "$scratch/err")" = "quelk: write error: No space left on device" ] || fail "no write error: $(cat "$scratch/err")"
same_file a d/a

# A closed standard output fails only what was to be written to it.
run_quelk a c >&- 2>"$scratch/err" </dev/null
[ $? = 0 ] && [ ! -s "$scratch/err" ] || fail "quelk a c >&-: $(cat "$scratch/err")"
same_file a c
for args in "-f a c" "-v a e"; do
    run_quelk $args >&- 2>"$scratch/err" </dev/null
    status=$?
    case $args in -v*) want="quelk: write error: Bad file descriptor" ;; *) want="" ;; esac
    [ "$status" = "$([ -n "$want" ] && echo 1 || echo 0)" ] && [ "$(cat "$scratch/err")" = "$want" ] ||
        fail "quelk $args >&-: status $status, stderr $(cat "$scratch/err")"
done
same_file a e

head=$(run_quelk --help | head -c 10; echo ".${PIPESTATUS[0]}")
case $head in
    "quelk [OPT.0" | "quelk [OPT.141") ;;
    *) fail "quelk --help | head -c 10: $head" ;;
esac
finish
