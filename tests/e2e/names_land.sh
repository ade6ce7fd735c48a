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

# A charset that the host has (Cygwin has them all built in), or that
# localedef builds here; its name may differ (Cygwin's SJIS).
locale_for() { # locale_for LANGUAGE CHARSET...: prints the locale's name
    local language=$1 charset
    shift
    for charset; do
        if [ "$(LC_ALL=$language.$charset locale charmap 2>/dev/null)" = "$charset" ]; then
            echo "$language.$charset"
            return
        fi
    done
    command -v localedef >/dev/null || return 1
    mkdir -p "$scratch/locales"
    localedef -i "$language" -f "$1" "$scratch/locales/$language.$1" >/dev/null 2>&1
    [ "$(LOCPATH=$scratch/locales LC_ALL=$language.$1 locale charmap 2>/dev/null)" = "$1" ] && echo "$language.$1"
}
# Big5, GBK and GB18030 always; Shift_JIS where the host has it or
# localedef builds it (glibc's is not ASCII-compatible, and some refuse it).
for charset_case in "zh_TW BIG5 \\244\\134" "zh_CN GBK \\201\\134" "zh_CN GB18030 \\202\\134" "ja_JP SHIFT_JIS \\227\\134"; do
    set -- $charset_case
    charsets=("$2")
    [ "$2" = SHIFT_JIS ] && charsets+=(SJIS)
    if ! locale=$(locale_for "$1" "${charsets[@]}"); then
        if [ "$2" = SHIFT_JIS ]; then echo "note: no Shift_JIS locale here"; else fail "no $1.$2 locale: the host has none and localedef built none"; fi
        continue
    fi
    # A character whose second byte is a backslash, ending a name; the
    # files are made in the locale too, where the host reads names in it.
    c=$(printf "t$3")
    export LOCPATH=$scratch/locales LC_ALL=$locale 2>/dev/null
    setup mkdir "$2" "$2/d" "$2/d$c"
    cd "$2" || exit 99
    setup sh -c "echo x > '$c'; echo old > 'd$c/old'"
    expect 0 "\`s1' -> \`$c' [file]
" "" -sv "$c" s1
    is_symlink_to s1 "$c"
    expect 0 "\`d/$c' => \`$c'
" "" -v -t d "$c"
    same_file "d/$c" "$c"
    expect 0 "" "" "$c" "d$c"
    same_file "d$c/$c" "$c"
    expect 0 "" "" -f "d$c/$c" "d$c/old"
    same_file "d$c/old" "$c"
    expect 0 "" "" -s "../$c" "d$c/s"
    is_symlink_to "d$c/s" "../$c"
    holds "d$c/s" x
    [ "$(find . | wc -l)" = 9 ] || fail "$2: other names made: $(find . | od -c)"
    no_temporary "d$c"
    export LC_ALL=C.UTF-8
    unset LOCPATH
    cd .. || exit 99
done
finish
