# --force: an existing name is replaced only by a link already made, and
# never by a link to itself.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup sh -c 'echo a > a; echo b > b; echo c > c'
setup mkdir d
inode() { stat -c %i -- "$1"; }

b_inode=$(inode b)
expect 2 "" "quelk: failed to create hard link \`b': The system cannot find the file specified.$(printf '\r')
" -f missing b
expect 2 "" "quelk: could not convert \`' to win32 path
" -f -T "" b
[ "$(inode b)" = "$b_inode" ] || fail "b was replaced"
holds b b
no_temporary

for args in "-f a" "-sf a" "-f -T a a" "-f -T a ./a"; do
    set -- $args
    last=${!#}
    [ $# = 2 ] && last=./a
    expect 1 "" "quelk: \`a' and \`$last' are the same file
" "$@"
    [ -f a ] && [ ! -L a ] || fail "a is no longer a file after $args"
    holds a a
done

# A symbolic link leads from its own directory, where x is d/x itself.
setup sh -c 'echo precious > d/x; echo y > d/y'
expect 1 "" "quelk: \`x' and \`d/x' are the same file
" -sf x d/x
expect 1 "" "quelk: \`y' and \`d/y' are the same file
" -sf -t d y
holds d/x precious
holds d/y y
# Nor is the file TARGET names from here replaced by a link that would
# lead elsewhere from LINKNAME's directory; "e/" and "z" make "e/z". A
# target is read from where the link lies, through the directory link d2,
# its ".." as text there, whatever separators it has.
setup mkdir -p e/s
setup sh -c 'echo z > e/z; echo f > e/s/f'
setup ln -s e/s d2
for case_ in "d/x d/x -sfv -t d d/x" "d/x d/x -sf d/x d/x" "e/z e/z -sfv e/z e/" \
    "..\\s\\f d2/f -sf ..\\s\\f d2/f" "../s/f d2/f -sf ../s/f d2/f"; do
    set -- $case_
    expect 1 "" "quelk: \`$1' and \`$2' are the same file
" "${@:3}"
done
holds d/x precious
holds e/z z
holds e/s/f f
setup rm -r d/x d/y e d2

expect 0 "\`b' => \`a'
" "" -fv a b
same_file a b
# Made while their targets exist, then left dangling: a shell that makes
# native Windows links makes none to a missing target.
setup touch nowhere
setup ln -s nowhere dangling
setup rm nowhere
expect 0 "\`dangling' -> \`c' [file]
" "" -sfv c dangling
is_symlink_to dangling c
no_temporary

# b is already a name of a: running the same command again changes nothing.
expect 0 "" "" -f a b
same_file a b
no_temporary

setup sh -c 'echo l > l'
setup ln -s l t
expect 1 "" "quelk: \`t' and \`l' are the same file
" -sf -T t l
holds l l

# A link made a moment before in the same run is kept.
setup mkdir x y z
setup sh -c 'echo x > x/f; echo y > y/f'
expect 1 "" "quelk: will not overwrite just-created \`z/f' with \`y/f'
" -f x/f y/f a z
same_file x/f z/f
same_file a z/a

# A name a little under the host's limit is replaced: the temporary is no
# longer than it. From a directory deeper than Linux's limit, LINKNAME
# cannot be examined there, so it is kept and the message says why; Cygwin
# takes paths of up to 32K units, so it is replaced.
component=$(printf 'x%.0s' $(seq 199))
near=$(printf "$component/%.0s" $(seq 20))$(printf 'y%.0s' $(seq 77))/
setup mkdir -p "$near"
near=${near}twelve_bytes
[ "${#near}" = 4090 ] || { echo "setup broke: path of ${#near} bytes"; exit 99; }
setup sh -c "echo old > '$near'"
expect 0 "" "" -f a "$near"
same_file a "$near"
no_temporary "${near%/*}"
here=$PWD
for _ in $(seq 21); do setup mkdir -p "$component"; cd "$component" || exit 99; done
setup sh -c 'echo a > a; echo b > b'
case $(uname -s) in
    CYGWIN*)
        expect 0 "" "" -f "$PWD/a" "$PWD/b"
        same_file a b ;;
    *)
        expect 5 "" "quelk: cannot remove \`$PWD/b': File name too long
" -f "$PWD/a" "$PWD/b"
        holds b b ;;
esac
no_temporary
cd "$here" || exit 99

expect 5 "" "quelk: cannot remove \`d': Is a directory
" -f -T a d
expect 5 "" "quelk: cannot remove \`d': Is a directory
" -f -T missing d
expect 5 "" "quelk: cannot remove \`d': Is a directory
" -f -T "" d
[ -d d ] || fail "d is gone"
finish
