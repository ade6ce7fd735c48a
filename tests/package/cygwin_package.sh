#!/usr/bin/env bash
# The Cygwin package that cygport built, unpacked into a scratch root as
# Cygwin's setup would lay it down: its quelk runs, makes a hard link, and
# a symbolic link that Windows itself reads back. Cygwin only.
# Usage: cygwin_package.sh CYGPORT_DIRECTORY
set -u
directory=${1:?usage: $0 CYGPORT_DIRECTORY}
tests=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# shellcheck source=tests/e2e_windows/read_link.sh
. "$tests/e2e_windows/read_link.sh"

# By its exact name: cygport also makes quelk-debuginfo-*.tar.xz and the
# source package, which a pattern would take as well.
package_version=$(sed -n 's/^VERSION=//p' "$tests/../quelk.cygport")
release=$(sed -n 's/^RELEASE=//p' "$tests/../quelk.cygport")
package=$(find "$directory" -path '*/dist/*' -name "quelk-$package_version-$release-x86_64.tar.xz")
[ -n "$package" ] && [ "$(printf '%s\n' "$package" | wc -l)" = 1 ] ||
    { echo "FAIL: not one quelk-$package_version-$release-x86_64.tar.xz under $directory: ${package:-none}"; exit 1; }
root=$(mktemp -d) && work=$(mktemp -d) || exit 99
trap 'rm -rf "$root" "$work"' EXIT
tar -C "$root" -xJf "$package" || { echo "FAIL: $package does not unpack"; exit 1; }
quelk=$root/usr/bin/quelk.exe
[ -x "$quelk" ] || { echo "FAIL: the package has no usr/bin/quelk.exe: $(tar -tJf "$package")"; exit 1; }
ls "$root"/usr/share/man/man1/quelk.1* >/dev/null 2>&1 || fail "the package has no manual page"

version=$("$quelk" --version | head -1)
[ "$version" = "quelk $package_version" ] || fail "--version: '$version', wanted 'quelk $package_version'"
cd "$work" || exit 99
echo a >a || exit 99
"$quelk" -v a b >out 2>err || fail "quelk -v a b: status $?, $(cat err)"
[ "$(cat out)" = "\`b' => \`a'" ] || fail "quelk -v a b said '$(cat out)'"
[ a -ef b ] || fail "b is not a hard link of a"
"$quelk" -s a s 2>err || fail "quelk -s a s: status $?, $(cat err)"
link_is s file a
[ "$(cat s)" = a ] || fail "s does not lead to a"

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
