# Sourced by the tests that run on Windows itself (from MSYS2 or Cygwin,
# which both have cygpath): what Windows sees of a link, read through
# PowerShell, whichever program made it. Needs fail() from its caller.

# PowerShell 7, which reads \\?\ names throughout and writes UTF-8 without
# a byte-order mark; Windows PowerShell 5.1 does neither, so it is never
# taken instead: without PowerShell 7 the checks fail.
powershell=
for candidate in pwsh pwsh.exe "$(cygpath -u 'C:\Program Files\PowerShell\7\pwsh.exe')"; do
    if command -v "$candidate" >/dev/null 2>&1; then powershell=$candidate; break; fi
done
[ -n "$powershell" ] || fail "no PowerShell 7 (pwsh) to read links back with; Windows PowerShell 5.1 is not enough"

# link_is NAME KIND TARGET: Windows sees NAME as a symbolic link of KIND
# (file or dir) that stores TARGET. NAME goes by the \\?\ form of its
# absolute path, so that a final dot or space stays, in the environment,
# so that no quoting or code page changes it; the answer comes in UTF-8,
# so that every character comes back as it is.
link_is() {
    local path seen want_container=False
    [ -n "$powershell" ] || return
    case $1 in /*) path=$1 ;; *) path=$PWD/$1 ;; esac
    # cygpath gives the \\?\ form itself from MAX_PATH on.
    path=$(cygpath -w "$path")
    case $path in '\\?\'*) ;; *) path='\\?\'$path ;; esac
    [ "$2" = dir ] && want_container=True
    seen=$(QUELK_LINK=$path "$powershell" -NoProfile -NonInteractive -Command \
        '[Console]::OutputEncoding = [Text.Encoding]::UTF8
         $i = Get-Item -LiteralPath $env:QUELK_LINK -Force
         "{0}|{1}|{2}" -f $i.LinkType, $i.PSIsContainer, ($i.Target -join "")' | tr -d '\r')
    [ "$seen" = "SymbolicLink|$want_container|$3" ] || fail "$1: Windows sees '$seen', wanted a $2 link to '$3'"
}
