# Symbolic links: the kind chosen, the target stored as given.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup mkdir dir sub
setup sh -c 'echo a > a'

expect 0 "\`l1' -> \`dir' [dir]
" "" -s -v dir l1
expect 0 "\`l2' -> \`a' [file]
" "" -s -v a l2
expect 0 "\`l3' -> \`missing' [file]
" "" -s -v missing l3
is_symlink_to l1 dir
is_symlink_to l2 a
is_symlink_to l3 missing

# A relative TARGET is stored as typed, and its kind judged where the link
# will look: from the link's directory.
setup mkdir ../x sub/deeper
expect 0 "\`sub/l' -> \`../x' [file]
" "" -sv ../x sub/l
is_symlink_to sub/l ../x
setup mkdir x
expect 0 "\`sub/lx' -> \`../x' [dir]
" "" -sv ../x sub/lx
for t in .. ../.. ./.. sub/../.. x. "x " "../a?b"; do
    expect 0 "" "" -s "$t" sub/deeper/l
    is_symlink_to sub/deeper/l "$t"
    case $t in *..) kind="dir" ;; *) kind="file" ;; esac
    windows_link_is sub/deeper/l "$kind" "$t"
    setup rm sub/deeper/l
done
expect 0 "\`sub/up' -> \`..' [dir]
" "" -sv .. sub/up
[ "$(cd sub/up && pwd -P)" = "$(pwd -P)" ] || fail "sub/up does not lead here"

expect 0 "\`f' -> \`dir' [file]
" "" -s -F -v dir f
expect 0 "\`d' -> \`missing' [dir]
" "" -s --directory -v missing d
expect 0 "\`dir/a' -> \`a' [file]
" "" -sv a dir
is_symlink_to dir/a a

# Absolute targets come back to the same host path.
expect 0 "" "" -s "$PWD/a" abs
is_symlink_to abs "$PWD/a"
holds abs a

expect 1 "" "quelk: could not create link \`l2': file exists
" -s a l2
expect 1 "" "quelk: could not create link \`l1/a': file exists
" -s a l1
finish
