# A directory link on LINKNAME's way repointed while --force replaces many
# names through it, the moment the first temporary appears (a watcher of
# the test's own, on inotify, so Linux only): every call of the run goes to
# the directory the link led to when the run first resolved it, so every
# name there is replaced and no temporary is left anywhere, nor a failure
# unreported.
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
. "$here/../e2e/lib.sh"

cc -O2 -o "$scratch/repoint" "$here/repoint_on_temporary.c" || { echo "setup broke: no host compiler"; exit 99; }
setup mkdir -p w A/a/b B/a/b
setup ln -s ../A/a/b w/sl
cd w || exit 99
mapfile -t names < <(seq -f 'f%g' 500)
for name in "${names[@]}"; do
    echo "$name" >"$name" && echo old >"../A/$name" || exit 99
done
cd .. || exit 99
"$scratch/repoint" A w/sl ../B/a/b >"$scratch/watcher" 2>&1 &
watcher=$!
for _ in $(seq 100); do grep -q watching "$scratch/watcher" && break; sleep 0.05; done
grep -q watching "$scratch/watcher" || { echo "setup broke: the watcher: $(cat "$scratch/watcher")"; exit 99; }
run_quelk -f -t w/sl/../.. "${names[@]/#/w/}" >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
kill "$watcher" 2>/dev/null
wait "$watcher"
grep -q repointed "$scratch/watcher" || fail "the link was never repointed: $(cat "$scratch/watcher")"
[ "$status" = 0 ] || fail "status $status: $(head -3 "$scratch/err")"
for name in "${names[@]}"; do
    [ "$(stat -c %i "A/$name")" = "$(stat -c %i "w/$name")" ] || { fail "A/$name is not a link of $name"; break; }
done
left=$(find A B -name '.qk*')
[ -z "$left" ] || fail "temporaries left: $(echo "$left" | head -3), $(echo "$left" | wc -l) in all"
finish
