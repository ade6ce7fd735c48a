# The native quelk.exe needs no DLL but Windows' own: every DLL it imports
# is one that every Windows 10 and later has, so the zip runs anywhere,
# without MinGW's runtime beside it.
# Usage: windows_imports.sh QUELK.EXE
set -u
exe=${1:?usage: $0 QUELK.EXE}
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump) || { echo "setup broke: no objdump"; exit 99; }
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: $exe imports nothing, or is not a Windows program"; exit 1; }
status=0
for dll in $imports; do
    case $dll in
        kernel32.dll | ntdll.dll | advapi32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
        *) echo "FAIL: $exe imports $dll, which Windows does not have"; status=1 ;;
    esac
done
[ "$status" = 0 ] && echo "imports: $(echo $imports)"
exit $status
