# The Cygwin build's symbolic links as Windows itself sees them, read back
# through PowerShell rather than by Cygwin's readlink: the kind, and the
# target as stored, whatever its characters. Cygwin only.
# Usage: cygwin_links.sh QUELK
tests=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
. "$tests/../e2e/lib.sh"
# shellcheck source=tests/e2e_windows/read_link.sh
. "$tests/read_link.sh"

setup sh -c 'echo a > a && echo ł > ł.txt && mkdir -p dir tree/sub && echo f > tree/f'
expect 0 "\`fl' -> \`a' [file]
" "" -sv a fl
link_is fl file a
expect 0 "\`dl' -> \`dir' [dir]
" "" -sv dir dl
link_is dl dir dir
expect 0 "" "" -s ../f tree/sub/f
link_is tree/sub/f file '..\f'
expect 0 "" "" -s .. tree/sub/up
link_is tree/sub/up dir ..

# Replaced, each kind by the other.
expect 0 "" "" -sf dir fl
link_is fl dir dir
expect 0 "" "" -sf a dl
link_is dl file a
no_temporary

# Unicode, a final dot, an absolute target (Cygwin's converter gives its
# Windows form), a link whose full name is beyond MAX_PATH.
expect 0 "" "" -s ł.txt łlink
link_is łlink file ł.txt
expect 0 "" "" -s a sdot.
link_is sdot. file a
deep=$(printf 'n%.0s' $(seq 120))/$(printf 'd%.0s' $(seq 150))
setup mkdir -p "$deep"
[ "$(cygpath -w "$PWD/$deep/slink" | wc -c)" -gt 260 ] || { echo "setup broke: $deep"; exit 99; }
expect 0 "" "" -s "$PWD/a" "$deep/slink"
link_is "$deep/slink" file "$(cygpath -w "$PWD/a")"
finish
