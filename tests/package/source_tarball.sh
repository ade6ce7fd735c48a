# The source tarball holds the sources wherever the checkout lies (here in
# a folder named build, which the ignore patterns must not match), and
# builds on its own with the README's command.
# Usage: source_tarball.sh SOURCE-DIRECTORY VERSION
set -u
source=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 99
mkdir -p build/checkout && tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C build/checkout -xf - ||
    { echo "setup broke: copy"; exit 99; }
cmake -S build/checkout -B config -DBUILD_TESTING=OFF >/dev/null || { echo "setup broke: configure"; exit 99; }
(cd config && cpack --config CPackSourceConfig.cmake >/dev/null) || { echo "FAIL: cpack"; exit 1; }
tarball=config/quelk-$version.tar.gz
[ -f "$tarball" ] || { echo "FAIL: no $tarball"; exit 1; }
tar -tzf "$tarball" >listing || { echo "FAIL: tar"; exit 1; }
for file in CMakeLists.txt CMakePresets.json src/link/make_link.cpp src/platform/platform.h tests/CMakeLists.txt; do
    grep -qx "quelk-$version/$file" listing || { echo "FAIL: $file is not in the tarball"; exit 1; }
done
if grep -q -e '/build/' -e '/\.git/' -e '/\.ci/' listing; then echo "FAIL: build, git or CI files in the tarball"; exit 1; fi
tar -xzf "$tarball" || { echo "FAIL: tar"; exit 1; }
cd "quelk-$version" && cmake --workflow --preset release >build.log 2>&1 || { cat build.log; echo "FAIL: build from the tarball"; exit 1; }
build/release/quelk --version | head -1 | grep -qx "quelk $version" || { echo "FAIL: built quelk is not $version"; exit 1; }
