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

# A charset that the host has, or that localedef builds here.
locale_for() { # locale_for LANGUAGE CHARSET: prints the locale's name
    local name=$1.$2
    if [ "$(LC_ALL=$name locale charmap 2>/dev/null)" = "$2" ]; then echo "$name"; return; fi
    command -v localedef >/dev/null || return 1
    mkdir -p "$scratch/locales"
    localedef -i "$1" -f "$2" "$scratch/locales/$name" >/dev/null 2>&1
    [ "$(LOCPATH=$scratch/locales LC_ALL=$name locale charmap 2>/dev/null)" = "$2" ] && echo "$name"
}
for spec in "zh_TW BIG5 \\244\\134" "zh_CN GB18030 \\201\\134" "ja_JP SHIFT_JIS \\227\\134"; do
    set -- $spec
    locale=$(locale_for "$1" "$2") || { fail "no $1.$2 locale: the host has none and localedef built none"; continue; }
    # A character whose second byte is a backslash, ending a name.
    c=$(printf "t$3")
    setup mkdir "$2" "$2/d" "$2/d$c"
    cd "$2" || exit 99
    setup sh -c "echo x > '$c'; echo old > 'd$c/old'"
    export LOCPATH=$scratch/locales LC_ALL=$locale 2>/dev/null
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
    export LC_ALL=C.UTF-8
    unset LOCPATH
    [ "$(find . | wc -l)" = 9 ] || fail "$2: other names made: $(find . | od -c)"
    no_temporary "d$c"
    cd .. || exit 99
done
finish
