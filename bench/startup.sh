#!/usr/bin/env bash
# Start-up: one link per process, quelk -f a b beside ln -f a c (and a
# second quelk, such as the build with a dynamic C++ runtime, when given),
# run in turn and printed as medians with their ratio to ln.
#
#   bench/startup.sh [QUELK] [PAIRS] [OTHER-QUELK]
#
# QUELK defaults to build/release/quelk, PAIRS to 60 (at least 40).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quelk=$(realpath "${1:-$root/build/release/quelk}")
pairs=${2:-60}
other=${3:+$(realpath "$3")}
[ -x "$quelk" ] || { echo "no quelk at $quelk: cmake --workflow --preset release" >&2; exit 1; }
[ "$pairs" -ge 40 ] || { echo "at least 40 pairs" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/run_times" "$root/bench/run_times.c"
cd "$work"
echo a >a && echo b >b && echo c >c

commands=("$quelk" -f a b :: ln -f a c)
[ -n "$other" ] && commands+=(:: "$other" -f a d)
mapfile -t medians < <("$work/run_times" "$pairs" "${commands[@]}")

ratio() { echo "$1 / $2" | bc -l; }
printf 'one link per process, median of %d alternating runs:\n' "$pairs"
printf '  ln -f        %8.1f us\n' "${medians[1]}"
printf '  quelk -f     %8.1f us  %.2fx of ln\n' "${medians[0]}" "$(ratio "${medians[0]}" "${medians[1]}")"
if [ -n "$other" ]; then
    printf '  other quelk  %8.1f us  %.2fx of ln; quelk is %.2fx of it\n' "${medians[2]}" \
        "$(ratio "${medians[2]}" "${medians[1]}")" "$(ratio "${medians[0]}" "${medians[2]}")"
fi
