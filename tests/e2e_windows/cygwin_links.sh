# The Cygwin build's symbolic links as Windows itself sees them, read back
# through PowerShell rather than by Cygwin's readlink: the kind, and the
# target as stored, whatever its characters. Cygwin only.
# Usage: cygwin_links.sh QUELK
tests=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
. "$tests/../e2e/lib.sh"
# shellcheck source=tests/e2e_windows/read_link.sh
. "$tests/read_link.sh"

# An absolute TARGET as a Cygwin path, which Cygwin's converter writes in
# Windows' form.
absolute=$PWD/a
absolute_stored=$(cygpath -w "$PWD/a")
# shellcheck source=tests/e2e_windows/link_cases.sh
. "$tests/link_cases.sh"

# A LINKNAME another Windows program holds open (shared for reading and
# writing, not for delete) is waited for, as on the native build: held
# until quelk's temporary is there, and 0.3 s more.
setup sh -c 'echo held > held; echo new > new'
QUELK_HELD=$(cygpath -w "$PWD/held") QUELK_HERE=$(cygpath -w "$PWD") "$powershell" -NoProfile -NonInteractive -Command '
    $held = [IO.File]::Open($env:QUELK_HELD, "Open", "Read", "ReadWrite")
    "held"
    for ($waited = 0; -not (Get-ChildItem -Force -LiteralPath $env:QUELK_HERE -Filter ".qk*") -and $waited -lt 30000; $waited += 5) {
        Start-Sleep -Milliseconds 5
    }
    if ($waited -lt 30000) { "temporary seen" }
    Start-Sleep -Milliseconds 300
    $held.Close()' >"$scratch/holder" 2>&1 &
holder=$!
for _ in $(seq 200); do grep -q held "$scratch/holder" && break; sleep 0.1; done
grep -q held "$scratch/holder" || fail "the holder did not hold: $(cat "$scratch/holder")"
expect 0 "" "" -f new held
wait "$holder"
grep -q "temporary seen" "$scratch/holder" || fail "quelk did not meet held held"
holds held new
no_temporary
finish
