# Symbolic links: the kind chosen, the target stored as given.
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

# TARGET is looked at from here; the link stores it as written.
setup mkdir ../x
expect 0 "\`sub/l' -> \`../x' [dir]
" "" -sv ../x sub/l
is_symlink_to sub/l ../x

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
