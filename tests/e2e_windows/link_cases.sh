# Sourced on Windows itself, by the native build's test and by the Cygwin
# build's: symbolic links of every kind, as Windows sees them, whichever
# build made them. Needs expect, fail, no_temporary, link_is and, set by
# its caller, absolute (an absolute TARGET as the build takes it) and
# absolute_stored (what Windows then stores).
# shellcheck disable=SC2154  # set by the caller

mkdir -p dir tree/sub && echo a >a && echo ł >ł.txt && echo f >tree/f || exit 99
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
deep=$(printf 'n%.0s' $(seq 120))/$(printf 'd%.0s' $(seq 150))
mkdir -p "$deep" && [ "$(cygpath -w "$PWD/$deep/slink" | wc -c)" -gt 260 ] || { echo "setup broke: $deep"; exit 99; }
expect 0 "" "" -s "$absolute" "$deep/slink"
link_is "$deep/slink" file "$absolute_stored"
[ "$(cat "$deep/slink")" = a ] || fail "the long link does not lead to a"
