# Every link lands where its name leads when the system reads it: through a
# directory link followed by "..", and in charsets whose characters may end
# in a backslash byte, which is no separator there.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# sl/.. is other/a, where sl leads, not here. Each of these names is one
# that Windows needs in its absolute form: ".." above the current
# directory, a final dot.
setup mkdir -p here other/a/b
setup ln -s ../other/a/b here/sl
setup sh -c 'echo parent > t; echo other > other/t; echo a > here/a'
cd here || exit 99
expect 0 "\`q' => \`sl/../../t'
" "" -v sl/../../t q
holds q other
expect 0 "" "" a 'sl/../b.'
same_file a ../other/a/b.
expect 0 "" "" -s a 'sl/../s.'
is_symlink_to ../other/a/s. a
expect 0 "" "" -f a sl/../../t
same_file a ../other/t
holds ../t parent
no_temporary ..
no_temporary ../other
cd .. || exit 99

# Every call reads a name as Cygwin reads it: a backslash separates, a
# drive form is the path below the installation's root, and a typed
# private-range character is the name Cygwin writes with it (U+F03A is how
# it keeps ":", so y<U+F03A> is y:), and so is an encoded surrogate, which
# it reads as one; a name not there is found with ".exe".
setup mkdir cygwin cygwin/d cygwin/dir
cd cygwin || exit 99
setup sh -c 'echo a > a; echo X > d/x; echo PRECIOUS > x; echo program > prog.exe'
here=$(win32_of "$PWD")
typed=$(printf 'x\357\202\240') colon=$(printf 'y\357\200\272') surrogate=$(printf 's\355\240\200')
nl=$'\n'
expected=(
    "0||" -f a 'd\x'
    "1||quelk: \`$here\\x' and \`x' are the same file$nl" -sf "$here\\x" x
    "0|\`l' -> \`$here\\dir' [dir]$nl|" -sv "$here\\dir" l
    "0||" -- a "$typed"
    "0|\`l2' => \`$typed'$nl|" -v "$typed" l2
    "0||" -- a "$colon"
    "0||" -- a "$surrogate"
    "1||quelk: could not create link \`prog': file exists$nl" -- a prog
    "0|\`l3' => \`prog'$nl|" -v prog l3
)
for ((i = 0; i < ${#expected[@]}; i += 4)); do
    IFS='|' read -r -d '' status out err <<<"${expected[i]}"
    err=${err%$'\n'}  # the here-string's own line feed
    expect "$status" "$out" "$err" "${expected[@]:i+1:3}"
done
same_file a d/x
no_temporary d
holds x PRECIOUS
is_symlink_to l "$PWD/dir"
same_file a l2
same_file a 'y:'
same_file a "$surrogate"
absent prog
holds prog.exe program
same_file prog.exe l3
cd .. || exit 99

# A charset that the host has (Cygwin has them all built in, under names
# of its own: ja_JP.SJIS is CP932), or that localedef builds here.
locale_for() { # locale_for LANGUAGE CHARSET...: prints the locale's name
    local language=$1 charset seen
    shift
    for charset; do
        seen=$(LC_ALL=$language.$charset locale charmap 2>/dev/null)
        case " $* " in *" $seen "*) echo "$language.$charset"; return ;; esac
    done
    command -v localedef >/dev/null || return 1
    mkdir -p "$scratch/locales"
    localedef -i "$language" -f "$1" "$scratch/locales/$language.$1" >/dev/null 2>&1
    [ "$(LOCPATH=$scratch/locales LC_ALL=$language.$1 locale charmap 2>/dev/null)" = "$1" ] && echo "$language.$1"
}
case $(uname -s) in CYGWIN*) cygwin=1 ;; *) cygwin= ;; esac

# Below a mount marked "dos", Cygwin keeps a final dot or space of a name,
# and a leading space, in the private range: each link lands where
# Cygwin's calls find it, and a TARGET so named is the one linked. (The
# stand-in has no mount table to mark.)
if [ -n "$cygwin" ]; then
    setup mkdir dos_files dos
    setup mount -o binary,dos "$(cygpath -w "$PWD/dos_files")" "$PWD/dos"
    setup sh -c 'echo T > dos/t.; echo old > dos/e.'
    expect 0 "" "" cygwin/a dos/a.
    expect 0 "" "" -s ../cygwin/a 'dos/ b '
    expect 0 "" "" dos/t. 'dos/ c'
    expect 0 "" "" -f cygwin/a dos/e.
    same_file cygwin/a dos/a.
    is_symlink_to 'dos/ b ' ../cygwin/a
    same_file dos/t. 'dos/ c'
    same_file cygwin/a dos/e.
    [ "$(cd dos && find . | LC_ALL=C sort | tr '\n' '|')" = ".|./ b |./ c|./a.|./e.|./t.|" ] ||
        fail "dos: names made: $(cd dos && find . | od -c)"
    setup umount "$PWD/dos"
fi
# In each charset a character whose second byte is a backslash, and one
# whose is not. Cygwin splits a name at every backslash byte before it
# reads characters, so its own calls cannot examine a name holding the
# first as typed: quelk refuses it, with nothing made or replaced. Big5,
# GBK and GB18030 always; Shift_JIS where the host has it or localedef
# builds it (glibc's is not ASCII-compatible, and some refuse it), and
# always on Cygwin.
for charset_case in "zh_TW \\244\\134 \\244\\100 BIG5 CP950" "zh_CN \\201\\134 \\201\\100 GBK CP936" \
    "zh_CN \\202\\134 \\202\\100 GB18030" "ja_JP \\227\\134 \\210\\237 SHIFT_JIS SJIS CP932"; do
    set -- $charset_case
    language=$1 backslashed=$(printf "t$2") plain=$(printf "t$3")
    shift 3
    if ! locale=$(locale_for "$language" "$@"); then
        if [ "$1" = SHIFT_JIS ] && [ -z "$cygwin" ]; then echo "note: no Shift_JIS locale here"; else fail "no $language.$1 locale: the host has none and localedef built none"; fi
        continue
    fi
    export LOCPATH=$scratch/locales LC_ALL=$locale 2>/dev/null
    setup mkdir "$1" "$1/d"
    cd "$1" || exit 99
    setup sh -c "echo x > '$plain'; echo old > old"
    lead=$(printf '%s' "$backslashed" | head -c 2)
    for refused in "-sv|$backslashed|s1|$backslashed" "-v|-t|d|$backslashed|d/$backslashed" \
        "-f|$plain|$backslashed|$backslashed" "-f|$plain|d$backslashed/old|d$backslashed/old" \
        "-s|../$backslashed|d/s|../$backslashed" "$plain|$lead/y|$lead/y"; do
        IFS='|' read -r -a arguments <<<"$refused"
        expect 2 "" "quelk: could not convert \`${arguments[-1]}' to win32 path
" "${arguments[@]:0:${#arguments[@]}-1}"
    done
    [ "$(find . | LC_ALL=C sort | tr '\n' ' ')" = ". ./d ./old ./$plain " ] || fail "$1: names made: $(find . | od -c)"
    holds old old
    # A character without one is read as typed, in every form.
    expect 0 "\`s1' -> \`$plain' [file]
" "" -sv "$plain" s1
    is_symlink_to s1 "$plain"
    expect 0 "\`d/$plain' => \`$plain'
" "" -v -t d "$plain"
    same_file "d/$plain" "$plain"
    expect 0 "" "" -f "$plain" old
    same_file old "$plain"
    expect 0 "" "" -s "../$plain" "d/s"
    holds d/s x
    no_temporary
    no_temporary d
    export LC_ALL=C.UTF-8
    unset LOCPATH
    cd .. || exit 99
done
finish
