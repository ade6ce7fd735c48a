# The source tarball holds every file of the sources but the build, git and
# CI ones, wherever the checkout lies (here in a folder named build, which
# the ignore patterns must not match), and configures on its own with the
# README's command. With "build", it is also built with it: CI does that,
# the test suite leaves it out, as the build of the checkout compiles the
# very same files.
# Usage: source_tarball.sh SOURCE-DIRECTORY VERSION [build]
set -u
source=$1 version=$2 build=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 99
mkdir -p build/checkout && tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C build/checkout -xf - ||
    { echo "setup broke: copy"; exit 99; }
cmake -S build/checkout -B config -DBUILD_TESTING=OFF >/dev/null || { echo "setup broke: configure"; exit 99; }
(cd config && cpack --config CPackSourceConfig.cmake >/dev/null) || { echo "FAIL: cpack"; exit 1; }
tarball=config/quelk-$version.tar.gz
[ -f "$tarball" ] || { echo "FAIL: no $tarball"; exit 1; }
tar -tzf "$tarball" | grep -v '/$' | LC_ALL=C sort >listing || { echo "FAIL: tar"; exit 1; }
(cd build/checkout && find . -type f ! -path './.git/*' ! -path './.ci/*' ! -path './.github/*' ! -path ./.gitignore) |
    sed "s|^\./|quelk-$version/|" | LC_ALL=C sort >expected
if ! cmp -s expected listing; then
    echo "FAIL: the tarball differs from the sources (< missing, > not wanted):"
    diff expected listing | grep '^[<>]' | head -20
    exit 1
fi
tar -xzf "$tarball" || { echo "FAIL: tar"; exit 1; }
cd "quelk-$version" || exit 1
if [ "$build" = build ]; then
    cmake --workflow --preset release >build.log 2>&1 || { cat build.log; echo "FAIL: build from the tarball"; exit 1; }
    build/release/quelk --version | head -1 | grep -qx "quelk $version" || { echo "FAIL: built quelk is not $version"; exit 1; }
else
    cmake --preset release >configure.log 2>&1 || { cat configure.log; echo "FAIL: configure from the tarball"; exit 1; }
fi
