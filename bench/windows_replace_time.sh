#!/usr/bin/env bash
# The native quelk.exe's wall time under Wine, beside the floor: quelk.exe
# -t over many files against a bare loop of CreateHardLinkW, and quelk.exe
# -f replacing as many existing names against a bare loop of DeleteFileW
# and CreateHardLinkW (a replacement that is not atomic). Runs alternate;
# medians are printed with their ratios. Wine's time is not Windows' time,
# but both programs pay the same for each call, so the ratio tells.
#
#   bench/windows_replace_time.sh [QUELK.EXE] [FILES] [RUNS]
#
# QUELK.EXE defaults to build/windows/quelk.exe (cmake --workflow --preset
# windows); FILES to 3000; RUNS to 7. Needs Wine and MinGW-w64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quelk=$(realpath "${1:-$root/build/windows/quelk.exe}")
files=${2:-3000}
runs=${3:-7}
[ -f "$quelk" ] || { echo "no quelk.exe at $quelk: cmake --workflow --preset windows" >&2; exit 1; }
export WINEDEBUG=-all
# shellcheck source=bench/wine_setup.sh
. "$root/bench/wine_setup.sh"

# One run in milliseconds into a fresh ../dest, which holds a file of every
# name when REPLACE is set.
timed() {
    rm -rf ../dest && mkdir ../dest
    [ -n "${REPLACE:-}" ] && (cd ../dest && printf '%s\n' "${names[@]}" | xargs touch)
    local start end
    start=$(date +%s%N)
    "$wine" "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for kind in link replace; do
    flag=()
    REPLACE=
    [ "$kind" = replace ] && flag=(-f) && REPLACE=1
    : >"$work/quelk" && : >"$work/bare"
    for _ in $(seq "$runs"); do
        timed "$quelk" "${flag[@]}" -t ../dest "${names[@]}" >>"$work/quelk"
        timed "$work/bare.exe" "${flag[@]}" ../dest "${names[@]}" >>"$work/bare"
    done
    q=$(median <"$work/quelk")
    b=$(median <"$work/bare")
    printf '%-8s %d names, median of %d runs: quelk.exe %s ms, bare loop %s ms; %.2fx\n' \
        "$kind" "$files" "$runs" "$q" "$b" "$(echo "$q / $b" | bc -l)"
done
