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
finish
