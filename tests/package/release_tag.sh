#!/usr/bin/env bash
# The release job's own checks and texts, for a pushed tag TAG and the
# sources in SOURCE_DIRECTORY:
#   release_tag.sh TAG SOURCE_DIRECTORY          the tag is v<version>, or status 1
#   ... --files ARTIFACT_DIRECTORY               also lists the files to release
#   ... --notes                                  also prints the release notes
# The version is project()'s in CMakeLists.txt; the Cygwin package's
# release number is quelk.cygport's.
set -u
usage="usage: $0 TAG SOURCE_DIRECTORY [--files ARTIFACT_DIRECTORY | --notes]"
tag=${1:?$usage}
sources=${2:?$usage}
version=$(sed -n 's/^project(quelk VERSION \([0-9.]*\).*/\1/p' "$sources/CMakeLists.txt")
release=$(sed -n 's/^RELEASE=\([0-9]*\)$/\1/p' "$sources/quelk.cygport")
[ -n "$version" ] && [ -n "$release" ] || { echo "no version in $sources/CMakeLists.txt or quelk.cygport" >&2; exit 1; }
if [ "$tag" != "v$version" ]; then
    echo "::error::the tag $tag does not name the version the project builds, $version (tag v$version)" >&2
    exit 1
fi

case ${3:-} in
    --files)
        artifacts=${4:?$usage}
        status=0
        for name in "quelk-$version-win64.zip" "quelk-$version-$release-x86_64.tar.xz" "quelk-$version-$release-src.tar.xz"; do
            found=$(find "$artifacts" -type f -name "$name")
            if [ "$(printf '%s' "$found" | grep -c '^')" != 1 ]; then
                echo "::error::not exactly one $name under $artifacts: ${found:-none}" >&2
                status=1
            else
                echo "$found"
            fi
        done
        exit "$status"
        ;;
    --notes)
        cat <<EOF
quelk $version: native Windows links from a POSIX command line.

**Native \`quelk.exe\`** (Git Bash, MSYS2, PowerShell, cmd): unzip
\`quelk-$version-win64.zip\` anywhere and put its \`bin\` folder on your
\`PATH\`. It needs no DLL but Windows' own.

**Cygwin**: unpack the binary package at Cygwin's root, in a Cygwin shell:

    tar -C / -xf quelk-$version-$release-x86_64.tar.xz

\`quelk-$version-$release-src.tar.xz\` is its source package, for \`cygport\`.

Check what you downloaded against \`SHA256SUMS\`: \`sha256sum -c --ignore-missing SHA256SUMS\`.
EOF
        ;;
    '') ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
