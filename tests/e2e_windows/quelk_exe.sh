# quelk.exe end to end: real hard links, the exact texts, names as typed.
# Under Wine (which has no symbolic-link privilege) -s stops with the
# advice; on Windows itself real symbolic links are made and read back,
# and -s without the privilege is tried. Every other check runs on both,
# each with its platform's means; the ANSI code pages, which only Wine can
# change, are code_pages.sh's.
# Usage: quelk_exe.sh WINE|none QUELK.EXE HOLD_FILE.EXE WITHOUT_PRIVILEGE.EXE SWAP_IN_DIRECTORY.EXE PLACEHOLDER.EXE
set -u
usage="usage: $0 WINE|none QUELK.EXE HOLD_FILE.EXE WITHOUT_PRIVILEGE.EXE SWAP_IN_DIRECTORY.EXE PLACEHOLDER.EXE"
wine=${1:?$usage}
quelk=$(realpath "${2:?$usage}")
holder=$(realpath "${3:?$usage}")
without_privilege=$(realpath "${4:?$usage}")
swapper=$(realpath "${5:?$usage}")
placeholder=$(realpath "${6:?$usage}")
tests=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e_windows/exe_lib.sh
. "$tests/exe_lib.sh"

echo a >a && echo b >b && echo c >c && mkdir dir || exit 99

expect 0 "\`l' => \`a'
" "" -v a l
[ "$(inode a)" = "$(inode l)" ] || fail "l is not a hard link of a"
expect 0 "\`dir/b' => \`b'
\`dir/c' => \`c'
" "" -v -t dir b c
[ "$(inode c)" = "$(inode dir/c)" ] || fail "dir/c is not a hard link of c"

expect 1 "" "quelk: could not create link \`b': file exists
" a b
expect 1 "" "quelk: \`x': not a directory
" a b x
expect 1 "" "quelk: no arguments. Use --help for usage
"

# Windows refuses: the reason is the system's own text, CR kept.
run missing m
[ "$status" = 2 ] || fail "missing target: status $status"
case $err in
    "quelk: failed to create hard link \`m': "*$'\r\n') ;;
    *) fail "missing target: stderr '$err'" ;;
esac
case $err in *"[unknown error]"*) fail "no system text: $err" ;; esac
not_found=${err#*\': }
[ ! -e m ] || fail "m was made"

run --help
[ "$status" = 0 ] && [ "$(wc -c <"$scratch/out")" = 600 ] || fail "--help: status $status, $(wc -c <"$scratch/out") bytes"
[ "$(head -1 "$scratch/out")" = "quelk [OPTION] TARGET LINKNAME: like ln(1) for native Windows links" ] || fail "--help text"

# --force: replaced by a link already made; kept when none can be made.
before=$(inode b)
expect 2 "" "quelk: failed to create hard link \`b': $not_found" -f missing b
[ "$(inode b)" = "$before" ] || fail "b was lost"
expect 0 "\`b' => \`a'
" "" -fv a b
[ "$(inode a)" = "$(inode b)" ] || fail "b was not replaced"
no_temporary
expect 1 "" "quelk: \`a' and \`./a' are the same file
" -f a
expect 5 "" "quelk: cannot remove \`dir': Is a directory
" -f -T a dir

# A device's name is a file of that name, for the look, the link and the
# rename alike.
for device in NUL con.txt; do
    expect 0 "\`$device' => \`a'
" "" -v a "$device"
    expect 1 "" "quelk: could not create link \`$device': file exists
" c "$device"
    expect 0 "\`$device' => \`c'
" "" -fv c "$device"
    [ "$(inode c)" = "$(inode "$device")" ] || fail "$device was not replaced by a link of c"
done
no_temporary

# Names exactly as typed: every character, a final dot, a backslash, and
# more than MAX_PATH units.
for name in ł ж 中文 😀; do
    echo "$name" >"$name.txt" || exit 99
    expect 0 "\`$name-link' => \`$name.txt'
" "" -v "$name.txt" "$name-link"
    [ "$(inode "$name.txt")" = "$(inode "$name-link")" ] || fail "$name-link is not a hard link of $name.txt"
done
expect 0 "\`dot.' => \`a'
" "" -v a dot.
[ "$(inode a)" = "$(inode dot.)" ] && [ ! -e dot ] || fail "dot. was not made as typed: $(ls)"
mkdir sub && echo l >sub/l || exit 99
expect 0 "\`sub\\l' => \`a'
" "" -fv a 'sub\l'
[ "$(inode a)" = "$(inode sub/l)" ] || fail "sub/l was not replaced"
no_temporary
no_temporary sub
long=$(printf 'n%.0s' $(seq 120))/$(printf 'm%.0s' $(seq 200))
mkdir "${long%/*}" || exit 99
expect 0 "" "" a "$long"
[ "$(inode a)" = "$(inode "$long")" ] || fail "the long name was not linked"

# A \\.\ name that needs the long form keeps its form: the current
# directory's own drive (Wine maps the host's root to Z:).
if command -v cygpath >/dev/null; then
    here=$(cygpath -w "$PWD")
else
    here=Z:$(pwd | tr / '\\')
fi
expect 0 "" "" a "\\\\.\\$here\\device dot."
[ "$(inode a)" = "$(inode "device dot.")" ] || fail "the \\.\ name was not linked as typed: $(ls)"

# A bare drive names that drive's current directory: in Q:\sub, -t Q: x
# is x itself, never Q:\x at the root. Q: is a directory of the scratch
# tree, outside the current directory's (where Wine would find a file by
# its id from any directory above it): mapped by Wine, or by subst on
# Windows; the other drive is Wine's Z: or Windows' C:.
q=$scratch/qdrive
mkdir -p "$q"/sub && echo x >"$q"/sub/x || exit 99
if [ "$wine" = none ]; then
    exe=$(cygpath -w "$quelk")
    other=c:
    in_cmd() { MSYS2_ARG_CONV_EXCL='*' cmd /c "$1"; }
    MSYS2_ARG_CONV_EXCL='*' subst Q: "$(cygpath -w "$q")" || fail "subst Q: could not map a drive"
    make_read_only() { MSYS2_ARG_CONV_EXCL='*' attrib +r "$(cygpath -w "$1")" >/dev/null; }
    read_only() { MSYS2_ARG_CONV_EXCL='*' attrib "$(cygpath -w "$1")" | cut -c1-12 | grep -q R; }
else
    prefix=${WINEPREFIX:-$HOME/.wine}
    [ -d "$prefix/dosdevices" ] || fail "no Wine prefix at $prefix: the bare drive check cannot map a drive"
    ln -sfn "$q" "$prefix/dosdevices/q:" || exit 99
    exe=$("$wine" winepath -w "$quelk" 2>/dev/null)
    other=z:
    in_cmd() { "$wine" cmd /c "$1"; }
    make_read_only() { chmod a-w "$1"; }
    read_only() { case $(stat -c %A "$1") in *w*) return 1 ;; esac; }
fi
in_cmd "q: & cd \\sub & $exe -f -t Q: x" >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
[ "$status" = 1 ] && grep -q "^quelk: \`x' and \`Q:x' are the same file" "$scratch/err" ||
    fail "-t Q: x in Q:\\sub: status $status, $(cat "$scratch/err")"
[ ! -e "$q"/x ] || fail "-t Q: x made Q:\\x at the root"
[ "$(cat "$q"/sub/x)" = x ] || fail "-t Q: x lost x"
# A read-only Q:ro replaced from another drive's current directory: its
# file's other name keeps the attribute. (Wine renames over a read-only
# file as over any other, so the attribute is only cleared and put back on
# Windows.)
echo r >"$q"/sub/ro && ln "$q"/sub/ro "$q"/sub/ro_too && make_read_only "$q"/sub/ro || exit 99
in_cmd "q: & cd \\sub & $other & $exe -f Q:x Q:ro" >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
[ "$status" = 0 ] && [ "$(inode "$q"/sub/ro)" = "$(inode "$q"/sub/x)" ] ||
    fail "-f Q:x Q:ro from $other: status $status, $(cat "$scratch/err")"
read_only "$q"/sub/ro_too || fail "Q:ro_too lost its read-only attribute"
if [ "$wine" = none ]; then
    MSYS2_ARG_CONV_EXCL='*' subst Q: /d
else
    rm -f "$prefix/dosdevices/q:"
fi

# A LINKNAME that already is a name of TARGET's file is left as it is.
ln a already || exit 99
expect 0 "\`already' => \`a'
" "" -fv a already
[ "$(inode a)" = "$(inode already)" ] || fail "already is no longer a link of a"
no_temporary

# Names that Windows takes for one, whatever their case, as Windows folds it.
mkdir wide_x wide_y wide_dst && echo x >wide_x/ａ && echo y >wide_y/Ａ || exit 99
expect 1 "\`wide_dst/ａ' => \`wide_x/ａ'
" "quelk: will not overwrite just-created \`wide_dst/Ａ' with \`wide_y/Ａ'
" -fv -t wide_dst wide_x/ａ wide_y/Ａ
[ "$(inode wide_dst/ａ)" = "$(inode wide_x/ａ)" ] || fail "wide_dst/ａ is not a link of wide_x/ａ: $(ls wide_dst)"

# A directory that appears at LINKNAME while it is being replaced is never
# moved. A watcher puts the directory there the moment quelk.exe's
# temporary appears, while LINKNAME is held open, so that quelk.exe waits
# before its rename meets it: a Windows program of the tests' own, which
# holds LINKNAME itself and watches with ReadDirectoryChangesW; under Wine
# also one of the host's, which swaps in one step (renameat2's exchange)
# while a Windows program holds LINKNAME.
# swap_once WATCHER FULL: one try; the watcher's word is in $scratch/watcher.
swap_once() {
    rm -rf swap && mkdir swap && echo old >swap/l || exit 99
    local holder_pid=
    if [ "$1" = host ]; then
        "${runner[@]}" "$holder" swap/l 3 >"$scratch/holder" </dev/null &
        holder_pid=$!
        for _ in $(seq 100); do grep -q held "$scratch/holder" 2>/dev/null && break; sleep 0.1; done
        "$scratch/swap_in_directory" swap l "$2" >"$scratch/watcher" 2>&1 &
    else
        "${runner[@]}" "$swapper" swap l "$2" >"$scratch/watcher" 2>&1 </dev/null &
    fi
    local watcher=$!
    for _ in $(seq 100); do grep -q watching "$scratch/watcher" && break; sleep 0.05; done
    run -f a swap/l
    kill "$watcher" 2>/dev/null
    wait "$watcher" $holder_pid
}
watchers=(windows)
if [ "$wine" != none ]; then
    cc -O2 -o "$scratch/swap_in_directory" "$tests/swap_in_directory.c" ||
        { echo "setup broke: no host compiler for the watcher"; exit 99; }
    watchers+=(host)
fi
for watcher in "${watchers[@]}"; do
    for full in 0 1; do
        swapped=
        for _ in 1 2 3 4 5; do
            swap_once "$watcher" "$full"
            grep -q swapped "$scratch/watcher" && { swapped=1; break; }
            grep -q late "$scratch/watcher" || { swapped=broken; break; }
        done
        what="directory swap ($watcher watcher, $full)"
        case $swapped in
        1) ;;
        broken) fail "$what: the watcher failed: $(cat "$scratch/watcher")"; continue ;;
        *) fail "$what: the watcher was late every time"; continue ;;
        esac
        [ "$status:$err" = "5:quelk: cannot remove \`swap/l': Is a directory
" ] || fail "$what: status $status, $err"
        [ -d swap/l ] || fail "$what: the directory is gone"
        [ "$full" = 0 ] || [ -f swap/l/kept ] || fail "$what: its file is gone"
        [ "$(ls -A swap)" = l ] || fail "$what: left behind: $(ls -A swap)"
    done
done

# A read-only LINKNAME is replaced like any other.
# Its file's other names keep the attribute.
echo r >read_only && ln read_only read_only_too && chmod a-w read_only || exit 99
expect 0 "" "" -f a read_only
[ "$(inode a)" = "$(inode read_only)" ] || fail "read_only was not replaced"
case $(stat -c %A read_only_too) in *w*) fail "read_only_too lost its read-only attribute" ;; esac

# A TARGET that another program holds open for longer than quelk waits:
# b is kept, with the system's text for a sharing violation, and no
# temporary name is left.
if [ "$wine" = none ]; then
    sharing_text="The process cannot access the file because it is being used by another process."
else
    sharing_text="Sharing violation."
fi
echo held >held || exit 99
"${runner[@]}" "$holder" held 6 >"$scratch/holder" </dev/null &
holder_pid=$!
for _ in $(seq 100); do grep -q held "$scratch/holder" 2>/dev/null && break; sleep 0.1; done
grep -q held "$scratch/holder" || exit 99
before=$(inode b)
expect 5 "" "quelk: cannot remove \`b': $sharing_text"$'\r\n' -f held b
[ "$(inode b)" = "$before" ] || fail "held: b was replaced or lost"
no_temporary
wait "$holder_pid"

# A read-only TARGET's temporary carries its attribute, and a held
# LINKNAME keeps the rename from happening: the temporary is removed all
# the same, and TARGET keeps its attribute.
echo r >ro_t && chmod a-w ro_t && echo hl >hl || exit 99
"${runner[@]}" "$holder" hl 4 >"$scratch/holder" </dev/null &
holder_pid=$!
for _ in $(seq 100); do grep -q held "$scratch/holder" 2>/dev/null && break; sleep 0.1; done
grep -q held "$scratch/holder" || exit 99
expect 5 "" "quelk: cannot remove \`hl': $sharing_text"$'\r\n' -f ro_t hl
[ "$(cat hl)" = hl ] || fail "hl was replaced while held"
case $(stat -c %A ro_t) in *w*) fail "ro_t lost its read-only attribute" ;; esac
[ "$(stat -c %h ro_t)" = 1 ] || fail "ro_t has $(stat -c %h ro_t) names"
no_temporary
wait "$holder_pid"

# A LINKNAME held for a moment is waited for, then replaced. The holder
# holds it until quelk.exe's temporary is there, and 0.3 s more, so that
# quelk.exe meets it held however long it takes to start.
echo held_name >held_name || exit 99
"${runner[@]}" "$holder" held_name 0.3 . >"$scratch/holder" </dev/null &
holder_pid=$!
for _ in $(seq 100); do grep -q held "$scratch/holder" 2>/dev/null && break; sleep 0.1; done
grep -q held "$scratch/holder" || fail "held_name: the holder did not hold it"
expect 0 "" "" -f a held_name
[ "$(inode a)" = "$(inode held_name)" ] || fail "held_name was not replaced"
no_temporary
wait "$holder_pid" || fail "held_name: the holder ended with status $?"
grep -q "temporary seen" "$scratch/holder" || fail "held_name: quelk.exe did not meet it held"

# Four runs at a time replace one name, over and over: a rename refused
# while another run's is in flight is tried again, and a run that finds
# the name already a link of its TARGET leaves no temporary behind.
mkdir race && echo t1 >race/t1 && echo t2 >race/t2 && echo c >race/current || exit 99
for loop in 1 2 3 4; do
    (
        cd race || exit 1
        for _ in $(seq 25); do
            timeout 60 "${runner[@]}" "$quelk" -f "t$(((loop % 2) + 1))" current </dev/null >/dev/null 2>>"$scratch/race$loop" ||
                echo "status $?" >>"$scratch/race$loop"
        done
    ) &
done
wait
race_errors=$(cat "$scratch"/race[1-4])
[ -z "$race_errors" ] || fail "concurrent -f: $(echo "$race_errors" | sort | uniq -c | head -5)"
[ "$(inode race/current)" = "$(inode race/t1)" ] || [ "$(inode race/current)" = "$(inode race/t2)" ] ||
    fail "concurrent -f: current is neither t1 nor t2"
no_temporary race

advice="quelk: you don't permission to create symbolic links. Run, as administrator,
quelk:   editrights -a SeCreateSymbolicLinkPrivilege -a \$YOUR_USER
"
if [ "$wine" != none ]; then
    # Wine only: no symbolic links, nor the privilege to make them: the
    # advice, and nothing touched.
    expect 3 "" "$advice" -s a s
    expect 3 "" "$advice" -sf c b
    # An immutable LINKNAME (the host's chattr +i, which Windows sees as a
    # name it may not remove): refused in Windows' words, kept, nothing
    # left. (Its few tries, not a second's, are counted against the fake.)
    echo immutable >immutable && chattr +i immutable || fail "setup: chattr +i, which the test needs root for"
    run -f a immutable
    chattr -i immutable
    case $status:$err in
        "5:quelk: cannot remove \`immutable': Access"*) ;;
        *) fail "-f a immutable: status $status, $err" ;;
    esac
    [ "$(cat immutable)" = immutable ] || fail "immutable was replaced"
    no_temporary
    # A directory link on LINKNAME's way repointed the moment the temporary
    # appears (the host's own link, by a watcher of the tests' own): the
    # rename and the removal go where the temporary was made, so the link
    # is made there and nothing is left. Three tries.
    cc -O2 -o "$scratch/repoint" "$tests/../e2e_host/repoint_on_temporary.c" ||
        { echo "setup broke: no host compiler for the watcher"; exit 99; }
    for _ in 1 2 3; do
        rm -rf repoint && mkdir -p repoint/w repoint/A repoint/B && echo old >repoint/A/t && ln -s ../A repoint/w/sl || exit 99
        (cd repoint/w && exec "$scratch/repoint" ../A sl ../B) >"$scratch/watcher" 2>&1 &
        watcher=$!
        for _ in $(seq 100); do grep -q watching "$scratch/watcher" && break; sleep 0.05; done
        (cd repoint/w && "${runner[@]}" "$quelk" -f ../../a 'sl\t' </dev/null >"$scratch/out" 2>"$scratch/err")
        status=$?
        kill "$watcher" 2>/dev/null
        wait "$watcher"
        grep -q repointed "$scratch/watcher" || fail "the watcher did not repoint: $(cat "$scratch/watcher")"
        [ "$status" = 0 ] || fail "repointed: status $status, $(cat "$scratch/err")"
        [ "$(inode repoint/A/t)" = "$(inode a)" ] || fail "repointed: A/t is not a link of a"
        no_temporary repoint/A
        no_temporary repoint/B
    done
    # A full disk, which the host gives: the system's reason, not EIO.
    "${runner[@]}" "$quelk" -v a on_full >/dev/full 2>"$scratch/err" </dev/null
    status=$?
    [ "$status:$(cat "$scratch/err")" = "1:quelk: write error: No space left on device" ] ||
        fail "-v to a full disk: status $status, $(cat "$scratch/err")"
    [ ! -e s ] && [ ! -L s ] || fail "s was made"
    [ "$(inode a)" = "$(inode b)" ] || fail "b was touched"
else
    # Windows: a directory whose reparse point is no link (a cloud-file
    # placeholder, say) is a directory: never moved, never replaced.
    "$placeholder" placeholder >"$scratch/placeholder" 2>&1 || fail "placeholder: $(cat "$scratch/placeholder")"
    expect 5 "" "quelk: cannot remove \`placeholder': Is a directory
" -f -T a placeholder
    [ -d placeholder ] && [ -z "$(ls -A placeholder)" ] || fail "placeholder is no longer the directory it was"
    no_temporary
    # The runner's user holds the privilege, so every symbolic link
    # is made; a refusal here is a failure, never a reason to skip.
    # shellcheck source=tests/e2e_windows/symbolic_links.sh
    . "$tests/symbolic_links.sh"
fi

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
