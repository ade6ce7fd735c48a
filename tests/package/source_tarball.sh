# The source tarball builds on its own with the README's command.
# Usage: source_tarball.sh SOURCE-DIRECTORY VERSION
set -u
source=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 99
cmake -S "$source" -B config -DBUILD_TESTING=OFF >/dev/null || { echo "setup broke: configure"; exit 99; }
(cd config && cpack --config CPackSourceConfig.cmake >/dev/null) || { echo "FAIL: cpack"; exit 1; }
tarball=config/quelk-$version.tar.gz
[ -f "$tarball" ] || { echo "FAIL: no $tarball"; exit 1; }
tar -xzf "$tarball" || { echo "FAIL: tar"; exit 1; }
if tar -tzf "$tarball" | grep -q -e '/build/' -e '/\.git/'; then echo "FAIL: build or git files in the tarball"; exit 1; fi
cd "quelk-$version" && cmake --workflow --preset release >build.log 2>&1 || { cat build.log; echo "FAIL: build from the tarball"; exit 1; }
build/release/quelk --version | head -1 | grep -qx "quelk $version" || { echo "FAIL: built quelk is not $version"; exit 1; }
