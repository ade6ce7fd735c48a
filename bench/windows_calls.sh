#!/usr/bin/env bash
# The native quelk.exe's cost on Windows, counted in Win32 calls rather than
# timed: Wine's relay trace (WINEDEBUG=+relay) logs every call into a system
# DLL, and the calls of the program's main thread are a stable figure. quelk.exe -t
# over 200 files, beside a bare loop of CreateHardLinkW; then -f replacing
# 200 existing names, beside a bare loop of DeleteFileW and CreateHardLinkW.
# Prints the calls per link, the start-up calls (a run of one link less one
# link's calls) and the ratios to the bare loop: all the Win32 calls (the
# relay lines), and the system calls among them (ntdll's Nt* entries).
#
#   bench/windows_calls.sh [QUELK.EXE] [FILES]
#
# QUELK.EXE defaults to build/windows/quelk.exe (cmake --workflow --preset
# windows); FILES to 200. Needs Wine and MinGW-w64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quelk=$(realpath "${1:-$root/build/windows/quelk.exe}")
files=${2:-200}
[ -f "$quelk" ] || { echo "no quelk.exe at $quelk: cmake --workflow --preset windows" >&2; exit 1; }
# shellcheck source=bench/wine_setup.sh
. "$root/bench/wine_setup.sh"

# calls REPLACE PROGRAM ARGS...: the Win32 calls of the program's main
# thread for one run into a fresh ../dest, which holds a file of every name
# when REPLACE is 1, and of those the system calls (ntdll's Nt* entries).
calls() {
    local replace=$1
    shift
    rm -rf ../dest && mkdir ../dest
    [ "$replace" = 1 ] && (cd ../dest && printf '%s\n' "${names[@]}" | xargs touch)
    WINEDEBUG=+relay "$wine" "$@" 2>"$work/trace" >/dev/null || true
    # The main thread: the first to call from the program's own image
    # (loaded at 0x140000000), not one of Wine's helper processes. (No
    # interval expressions: Debian's awk is mawk.)
    awk '/:Call / { split($0, f, ":"); t[NR] = f[1]; s[NR] = / ntdll\.Nt/
                   if (main == "" && / ret=14[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]$/) main = f[1] }
         END { for (i = 1; i <= NR; i++) if (t[i] == main) { n++; k += s[i] } print n, k }' "$work/trace"
}

report() { # report LABEL REPLACE QUELK-ARGS / BARE-ARGS
    local label=$1 replace=$2 q_many q_one b_many b_one
    q_many=$(calls "$replace" "$quelk" $3 -t ../dest "${names[@]}")
    q_one=$(calls "$replace" "$quelk" $3 -t ../dest "${names[0]}")
    b_many=$(calls "$replace" "$work/bare.exe" $4 ../dest "${names[@]}")
    b_one=$(calls "$replace" "$work/bare.exe" $4 ../dest "${names[0]}")
    local n=$((files - 1))
    echo "$q_many $q_one $b_many $b_one" | awk -v l="$label" -v n="$n" '{
        for (k = 0; k < 2; k++) {
            qm = $(1 + k); qo = $(3 + k); bm = $(5 + k); bo = $(7 + k)
            qp = (qm - qo) / n; bp = (bm - bo) / n; qs = qo - qp; bs = bo - bp
            printf "%-8s %-12s per link: quelk.exe %.1f, bare loop %.1f (%.2fx); start-up: quelk.exe %.0f, bare %.0f (%.2fx)\n",
                   l, k ? "system calls" : "Win32 calls", qp, bp, qp / bp, qs, bs, qs / bs
        } }'
}

report "-t" 0 "" ""
report "-f -t" 1 "-f" "-f"
