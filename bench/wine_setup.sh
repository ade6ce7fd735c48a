# Sourced by the benchmarks that run the native quelk.exe under Wine, with
# root and files set: a scratch folder ($work, removed at the end) holding
# FILES files in $work/src, where it changes to, their names in names[],
# the bare loop bench/bare_link_win.c built as $work/bare.exe, and Wine in
# a prefix made once, with a server that stays: Wine's helper processes
# then start before the measured runs, not within them.
# shellcheck disable=SC2034,SC2154  # the benchmark sets root and files, and reads names
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
work=$(mktemp -d)
export WINEPREFIX=${WINEPREFIX:-$work/prefix}
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
x86_64-w64-mingw32-gcc -O2 -municode -o "$work/bare.exe" "$root/bench/bare_link_win.c"
mkdir "$work/src"
cd "$work/src" || exit 1
seq -f 'file%05g' "$files" | xargs touch
mapfile -t names < <(seq -f 'file%05g' "$files")
WINEDEBUG=-all "$wine" "$work/bare.exe" ../dest 2>/dev/null || true
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p
WINEDEBUG=-all "$wine" "$work/bare.exe" ../dest 2>/dev/null || true
