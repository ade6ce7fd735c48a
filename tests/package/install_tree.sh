# cmake --install puts every file where a user looks for it, and the
# uninstall target takes them away with the folders the install made,
# leaving the folders that were there before.
# Usage: install_tree.sh BUILD-DIRECTORY [EXECUTABLE-SUFFIX]
set -u
build=$1
program=bin/quelk${2:-}  # bin/quelk.exe on Cygwin and Windows
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
mkdir -p "$prefix/share/man" || exit 99
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
status=0
for file in "$program" share/man/man1/quelk.1 share/bash-completion/completions/quelk \
            share/doc/quelk/LICENSE share/doc/quelk/README.md; do
    [ -f "$prefix/$file" ] || { echo "FAIL: $file not installed"; status=1; }
done
[ -x "$prefix/$program" ] && "$prefix/$program" --version >/dev/null || { echo "FAIL: installed quelk does not run"; status=1; }
extra=$(cd "$prefix" && find . -type f | sort | grep -v -x -e "./$program" -e ./share/man/man1/quelk.1 \
    -e ./share/bash-completion/completions/quelk -e ./share/doc/quelk/LICENSE -e ./share/doc/quelk/README.md)
[ -z "$extra" ] || { echo "FAIL: unexpected files: $extra"; status=1; }

cmake --build "$build" --target uninstall >/dev/null || { echo "FAIL: uninstall"; status=1; }
left=$(cd "$prefix" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./share ./share/man " ] || { echo "FAIL: left after uninstall: $left"; status=1; }
exit $status
