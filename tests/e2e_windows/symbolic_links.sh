# Sourced by quelk_exe.sh on Windows itself: real symbolic links, read back
# through PowerShell as Windows sees them, and -s without the privilege.
# shellcheck disable=SC2154  # quelk_exe.sh sets quelk, scratch, tests, long, advice, without_privilege
# shellcheck source=tests/e2e_windows/read_link.sh
. "$tests/read_link.sh"

mkdir -p tree/sub && echo f >tree/f || exit 99
# The kind from TARGET: a directory, a file, a missing one; -d and -F.
expect 0 "\`fl' -> \`a' [file]
" "" -sv a fl
link_is fl file a
expect 0 "\`dl' -> \`dir' [dir]
" "" -sv dir dl
link_is dl dir dir
expect 0 "\`ml' -> \`missing' [file]
" "" -sv missing ml
link_is ml file missing
expect 0 "" "" -s -d missing mdl
link_is mdl dir missing
expect 0 "" "" -s -F dir fdl
link_is fdl file dir

# A relative target is stored as typed and judged from the link's directory.
expect 0 "\`tree/sub/up' -> \`..' [dir]
" "" -sv .. tree/sub/up
link_is tree/sub/up dir ..
expect 0 "\`tree/sub/f' -> \`../f' [file]
" "" -sv ../f tree/sub/f
link_is tree/sub/f file '..\f'
[ "$(cat tree/sub/f)" = f ] || fail "tree/sub/f does not lead to tree/f"

# --force over a file link and over a directory link, each kind to the other.
expect 0 "" "" -sf dir fl
link_is fl dir dir
expect 0 "" "" -sf a dl
link_is dl file a
no_temporary

# Names and targets as typed: Unicode, a final dot, an absolute target, a
# link whose full name is beyond MAX_PATH.
expect 0 "" "" -s ł.txt łlink
link_is łlink file ł.txt
[ "$(cat łlink)" = ł ] || fail "łlink does not lead to ł.txt"
expect 0 "" "" -s a sdot.
link_is sdot. file a
absolute=$(cygpath -w "$PWD/a")
deep=${long%/*}/$(printf 'd%.0s' $(seq 150))
mkdir "$deep" && [ "$(cygpath -w "$PWD/$deep/slink" | wc -c)" -gt 260 ] || { echo "setup broke: $deep"; exit 99; }
expect 0 "" "" -s "$absolute" "$deep/slink"
link_is "$deep/slink" file "$absolute"
[ "$(cat "$deep/slink")" = a ] || fail "the long link does not lead to a"

# Without the privilege: quelk.exe under a restricted copy of the runner's
# token. With Developer Mode off, the advice and status 3, byte for byte,
# and nothing made; with it on, the link, by the unprivileged flag.
"$without_privilege" off "$quelk" -s a unprivileged >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
[ "$status" = 3 ] || fail "without the privilege: status $status, $(cat "$scratch/err")"
printf '%s' "$advice" | cmp -s - "$scratch/err" || fail "without the privilege: stderr $(od -c "$scratch/err" | head -5)"
[ ! -s "$scratch/out" ] || fail "without the privilege: stdout $(cat "$scratch/out")"
[ ! -e unprivileged ] && [ ! -L unprivileged ] || fail "without the privilege: a link was made"
"$without_privilege" on "$quelk" -s a unprivileged >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
[ "$status" = 0 ] || fail "in Developer Mode without the privilege: status $status, $(cat "$scratch/err")"
link_is unprivileged file a
