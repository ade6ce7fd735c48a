# Sourced by quelk_exe.sh where quelk.exe -s works (Windows itself): real
# symbolic links, read back through PowerShell as Windows sees them.

# link_is NAME KIND TARGET: NAME is a symbolic link of KIND (file or dir)
# that stores TARGET; TARGET "-" skips the text (non-ASCII, which the
# console's code page would change on the way back).
link_is() {
    local seen
    seen=$(powershell.exe -NoProfile -NonInteractive -Command \
        "\$i = Get-Item -LiteralPath '$1' -Force; '{0} {1} {2}' -f \$i.LinkType, \$i.PSIsContainer, (\$i.Target -join '')" |
        tr -d '\r')
    local kind=False
    [ "$2" = dir ] && kind=True
    local type container target
    read -r type container target <<<"$seen"
    [ "$type $container" = "SymbolicLink $kind" ] && { [ "$3" = - ] || [ "$target" = "$3" ]; } ||
        fail "$1: '$seen', wanted a $2 link to $3"
}
rm -f s  # the probe's file link
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
[ -z "$(ls -A | grep '^\.qk')" ] || fail "temporary name left: $(ls -A)"

# Names as typed: Unicode, a final dot, beyond MAX_PATH.
expect 0 "" "" -s ł.txt łlink
link_is łlink file -
[ "$(cat łlink)" = ł ] || fail "łlink does not lead to ł.txt"
expect 0 "" "" -s a sdot.
link_is sdot. file a
expect 0 "" "" -s "$PWD/a" "${long%/*}/slink"
link_is "${long%/*}/slink" file -
[ "$(cat "${long%/*}/slink")" = a ] || fail "the long link does not lead to a"

# Without the privilege (a restricted token, where the runner allows one):
# the advice and status 3, or, in Developer Mode, the link.
if command -v runas.exe >/dev/null && command -v cygpath >/dev/null; then
    here=$(cygpath -w "$PWD")
    exe=$(cygpath -w "$quelk")
    MSYS2_ARG_CONV_EXCL="*" runas.exe /trustlevel:0x20000 "cmd /c cd /d \"$here\" && \"$exe\" -s a unprivileged >unprivileged.out 2>unprivileged.err & call echo %^errorlevel% >unprivileged.status" \
        >/dev/null 2>&1
    for _ in $(seq 60); do [ -s unprivileged.status ] && break; sleep 0.5; done
    if [ -s unprivileged.status ]; then
        got=$(tr -d '\r ' <unprivileged.status)
        case $got in
            3) [ "$(cat unprivileged.err)" = "${advice%$'\n'}" ] || fail "unprivileged: $(cat unprivileged.err)"
               [ ! -L unprivileged ] || fail "unprivileged: a link was made" ;;
            0) link_is unprivileged file a; echo "note: Developer Mode lets an unprivileged user make links here" ;;
            *) fail "unprivileged: status $got: $(cat unprivileged.err)" ;;
        esac
    else
        echo "note: no restricted token on this runner; the run without the privilege was skipped"
    fi
fi
