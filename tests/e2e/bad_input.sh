# Whatever the bytes of a name: a real link or the documented message.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup sh -c 'echo a > a'

expect 2 "" "quelk: failed to create hard link \`l': The system cannot find the file specified.$(printf '\r')
" missing l
absent l
expect 2 "" "quelk: failed to create hard link \`nodir/l': The system cannot find the path specified.$(printf '\r')
" a nodir/l
expect 2 "" "quelk: failed to create hard link \`l': The system cannot find the path specified.$(printf '\r')
" nodir/missing l
absent l
setup mkdir d
expect 2 "" "quelk: failed to create hard link \`h': Access is denied.$(printf '\r')
" d h
absent h
# A final separator names a directory: a file link refused, a directory
# link made.
expect 2 "" "quelk: failed to create symbolic link \`l/': The filename, directory name, or volume label syntax is incorrect.$(printf '\r')
" -s a l/
absent l
expect 0 "\`l/' -> \`d' [dir]
" "" -sv -d d l/
is_symlink_to l d
setup rm l

# A TARGET with a final separator is read alike in every form, and a hard
# link refuses it where it names a file, a directory or nothing; a
# LINKNAME so written where a file is, alike for both kinds of link.
setup mkdir t
setup ln -s d sl
syntax="The filename, directory name, or volume label syntax is incorrect.$(printf '\r')"
for case_ in "l|$syntax|a/ l" "t/a|$syntax|-t t a/" "l|Access is denied.$(printf '\r')|sl/ l" \
    "t/sl|Access is denied.$(printf '\r')|-t t sl/" "a/|$syntax|-f a a/"; do
    IFS='|' read -r linkname reason args <<<"$case_"
    # shellcheck disable=SC2086  # the arguments are words
    expect 2 "" "quelk: failed to create hard link \`$linkname': $reason
" $args
done
expect 2 "" "quelk: failed to create symbolic link \`a/': $syntax
" -s missing a/
[ -z "$(ls -A t)" ] || fail "made in t: $(ls -A t)"
holds a a
setup rm -r t sl

expect 2 "" "quelk: could not convert \`' to win32 path
" -T a ""
expect 2 "" "quelk: could not convert \`' to win32 path
" -T "" l
absent l

# An empty directory or TARGET names nothing: never the root, nor the
# directory itself; told once for a directory, once for each TARGET.
at_root="quelk-no-such-name-$$"
[ ! -e "/$at_root" ] || { echo "setup broke: /$at_root exists"; exit 99; }
setup touch "$at_root"
unconvertible="quelk: could not convert \`' to win32 path
"
expect 2 "" "$unconvertible" -t "" "$at_root"
expect 2 "" "$unconvertible" -f -t "" "$at_root" a
expect 2 "" "$unconvertible" a "$at_root" ""
[ ! -e "/$at_root" ] || { rm -f "/$at_root"; fail "a link was made at the root"; }
setup mkdir e
expect 2 "\`e/a' => \`a'
" "$unconvertible$unconvertible" -v "" a "" e
expect 2 "" "$unconvertible" ""
same_file a e/a

# Names Windows reads differently, trailing dots and spaces, control
# characters, and bytes that are not UTF-8: each makes its own name.
for name in 'q?<>:*|' 'dots..' 'space ' "$(printf 'tab\tnl\nx')" "$(printf 'bad\377\376')" "-dash"; do
    expect 0 "" "" -- a "$name"
    same_file a "$name"
    expect 0 "" "" -s -- a "sym$name"
    is_symlink_to "sym$name" a
    setup sh -c 'echo t > "$1"' sh "t$name"
    expect 0 "" "" -s -- "t$name" "to-t$name"
    is_symlink_to "to-t$name" "t$name"
    case $name in *$'\377'*) ;; *) windows_link_is "to-t$name" file "t$name" ;; esac
done

# A backslash separates, as everywhere on Windows.
setup mkdir back
expect 0 "" "" -- a 'back\slash'
same_file a back/slash

# A name longer than NTFS takes: Windows' own words for it.
long=$(printf 'n%.0s' $(seq 300))
expect 2 "" "quelk: failed to create hard link \`$long': The filename, directory name, or volume label syntax is incorrect.$(printf '\r')
" a "$long"
finish
