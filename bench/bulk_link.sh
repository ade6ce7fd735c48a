#!/usr/bin/env bash
# Bulk linking: quelk -t DIR over many files, hard and symbolic, timed side
# by side with the system's ln -t and with a bare loop of link(2) and
# symlink(2) calls, and quelk -f replacing as many existing names beside
# ln -f; alternating runs and printing medians; then the system calls per
# link, counted with strace.
#
#   bench/bulk_link.sh [QUELK] [FILES] [RUNS]
#
# QUELK defaults to build/release/quelk, FILES to 20000, RUNS to 15.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quelk=$(realpath "${1:-$root/build/release/quelk}")
files=${2:-20000}
runs=${3:-15}
[ -x "$quelk" ] || { echo "no quelk at $quelk: cmake --workflow --preset release" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/bare_link" "$root/bench/bare_link.c"
mkdir "$work/src"
cd "$work/src"
seq -f 'file%05g' "$files" | xargs touch
mapfile -t names < <(seq -f 'file%05g' "$files")

# One timed run, in milliseconds, into a fresh directory; with REPLACE
# set, one that already holds a file of every name, for -f to replace.
timed() {
    rm -rf ../dest && mkdir ../dest
    [ -n "${REPLACE:-}" ] && (cd ../dest && printf '%s\n' "${names[@]}" | xargs touch)
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'; }

for kind in hard symbolic replace; do
    flag=()
    REPLACE=
    [ "$kind" = symbolic ] && flag=(-s)
    [ "$kind" = replace ] && flag=(-f) && REPLACE=1
    : >"$work/quelk.$kind"
    : >"$work/ln.$kind"
    : >"$work/bare.$kind"
    for _ in $(seq "$runs"); do
        timed "$quelk" "${flag[@]}" -t ../dest "${names[@]}" >>"$work/quelk.$kind"
        timed ln "${flag[@]}" -t ../dest "${names[@]}" >>"$work/ln.$kind"
        if [ "$kind" = replace ]; then echo 1 >>"$work/bare.$kind"; continue; fi
        timed "$work/bare_link" "${flag[@]}" ../dest "${names[@]}" >>"$work/bare.$kind"
    done
    q=$(median <"$work/quelk.$kind")
    l=$(median <"$work/ln.$kind")
    b=$(median <"$work/bare.$kind")
    if [ "$kind" = replace ]; then
        printf '%-8s %d names replaced, median of %d runs: quelk -f %s ms, ln -f -t %s ms; quelk/ln %.2fx\n' \
            "$kind" "$files" "$runs" "$q" "$l" "$(echo "$q / $l" | bc -l)"
        continue
    fi
    printf '%-8s %d links, median of %d runs: quelk %s ms, ln -t %s ms, bare loop %s ms; quelk/bare %.2fx, quelk/ln %.2fx\n' \
        "$kind" "$files" "$runs" "$q" "$l" "$b" "$(echo "$q / $b" | bc -l)" "$(echo "$q / $l" | bc -l)"
done

# System calls per link: the calls of a 2,000-link run less those of a
# 1-link run, over the 1,999 links between them.
if command -v strace >/dev/null; then
    count() {
        rm -rf ../dest && mkdir ../dest
        [ -n "${REPLACE:-}" ] && (cd ../dest && printf '%s\n' "${names[@]:0:2000}" | xargs touch)
        strace -f -c -o "$work/strace.out" "$@" >/dev/null
        awk '$NF == "total" { print $(NF - 2) }' "$work/strace.out"
    }
    for mode in "hard:" "symbolic:-s" "symbolic -F:-s -F" "replace:-f" "replace -s:-sf" "ln -f:-f"; do
        label=${mode%%:*}
        read -ra flag <<<"${mode#*:}"
        REPLACE=
        [[ $label = replace* || $label = "ln -f" ]] && REPLACE=1
        program=$quelk
        [ "$label" = "ln -f" ] && program="ln"
        many=$(count "$program" "${flag[@]}" -t ../dest "${names[@]:0:2000}")
        one=$(count "$program" "${flag[@]}" -t ../dest "${names[0]}")
        printf 'system calls per link, %-11s %.3f (2000 links: %d calls, 1 link: %d)\n' \
            "$label:" "$(echo "($many - $one) / 1999" | bc -l)" "$many" "$one"
    done
else
    echo "strace not found: no system-call counts"
fi
