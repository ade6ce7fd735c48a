# Several processes replacing one name at once, as a deployment swaps a
# link while others may do the same: every run succeeds, the name ends as a
# link of one of the targets, and no temporary remains.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup sh -c 'for i in 1 2 3 4; do echo $i > t$i; done'
rounds=40
[ -n "${QUELK_VALGRIND:-}" ] && rounds=5
for mode in -f -sfT; do
    setup sh -c 'rm -f current; echo old > current'
    for i in 1 2 3 4; do
        (
            start=$SECONDS
            for n in $(seq "$rounds"); do
                [ $((SECONDS - start)) -lt 60 ] || break
                run_quelk "$mode" "t$i" current || echo "quelk $mode t$i current, round $n: status $?"
            done
        ) >"$scratch/log$i" 2>&1 &
    done
    wait
    for i in 1 2 3 4; do
        [ -s "$scratch/log$i" ] && fail "$(head -3 "$scratch/log$i")"
    done
    if [ "$mode" = -f ]; then
        found=
        for i in 1 2 3 4; do [ current -ef "t$i" ] && [ ! -L current ] && found=t$i; done
        [ -n "$found" ] || fail "current is not a hard link of a target"
    else
        [[ $(readlink current) =~ ^t[1-4]$ ]] || fail "current is not a symbolic link to a target"
    fi
    no_temporary
done

# Against another program that keeps renaming links of t1 and t3 over
# current, each round a fresh name and a real rename (current changes
# file each time): quelk never takes current, caught as it is replaced,
# for t2 itself. The renames are counted: too few, and nothing contended.
runs=100
[ -n "${QUELK_VALGRIND:-}" ] && runs=20
setup sh -c 'rm -f current; echo old > current'
if command -v perl >/dev/null; then
    perl -e 'my $n = 0;
        until (-e $ARGV[0]) {
            my $name = ".renamer$n";
            next unless link($n % 2 ? "t3" : "t1", $name);
            if (rename($name, "current") && !-e $name) { $n++ } else { unlink $name }
        }
        open(my $out, ">", $ARGV[1]) or die "$ARGV[1]: $!";
        print {$out} "$n\n";
        close($out) or die "$ARGV[1]: $!"' "$scratch/stop" "$scratch/renames" &
else
    (
        n=0
        while [ ! -e "$scratch/stop" ]; do
            ln "t$((n % 2 * 2 + 1))" ".renamer$n" && mv -f ".renamer$n" current && [ ! -e ".renamer$n" ] && n=$((n + 1))
            rm -f ".renamer$n"
        done
        echo "$n" >"$scratch/renames"
    ) 2>/dev/null &
fi
renamer=$!
start=$SECONDS
for n in $(seq "$runs"); do
    [ $((SECONDS - start)) -lt 30 ] || break
    run_quelk -f t2 current 2>>"$scratch/log" || echo "quelk -f t2 current, run $n: status $?" >>"$scratch/log"
done
touch "$scratch/stop"
wait "$renamer"
[ -s "$scratch/log" ] && fail "$(sort "$scratch/log" | uniq -c | head -5)"
renames=$(cat "$scratch/renames" 2>/dev/null)
[ "${renames:-0}" -ge $((runs / 2)) ] || fail "the renamer renamed ${renames:-0} times in $runs runs: too few to contend"
no_temporary
finish
