# Long paths, many operands, and names outside the locale.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup sh -c 'echo a > a'

# 20 directories of 199 bytes and a 95-byte name: 4,095 bytes in all.
component=$(printf 'x%.0s' $(seq 199))
long=$(printf "$component/%.0s" $(seq 20))
setup mkdir -p "$long"
long=$long$(printf 'n%.0s' $(seq 95))
[ "${#long}" = 4095 ] || { echo "setup broke: path of ${#long} bytes"; exit 99; }
expect 0 "" "" a "$long"
same_file a "$long"

# A symbolic link stores its target twice in a reparse point of at most
# 16 KiB, after 20 bytes of header: 4,080 units fit, whether or not Windows
# adds a terminator to each; 4,095 do not (the stand-in says as Windows does).
fits=${long:0:4080}
expect 0 "" "" -s -T "$fits" long_link
is_symlink_to long_link "$fits"
expect 2 "" "quelk: failed to create symbolic link \`longer_link': The data present in the reparse point buffer is invalid.$(printf '\r')
" -s -T "$long" longer_link
absent longer_link

# NTFS takes no name of more than 255 units, wherever the host's limit is.
too_long=$long$(printf 'm%.0s' $(seq 161))
expect 2 "" "quelk: failed to create hard link \`$too_long': The filename, directory name, or volume label syntax is incorrect.$(printf '\r')
" a "$too_long"

# Names that are not text in the C locale are still names.
LC_ALL=C expect 0 "\`caf$(printf '\303\251')' => \`a'
" "" -v a "caf$(printf '\303\251')"
same_file a "caf$(printf '\303\251')"

# 100,000 operands into one directory; short names, to stay within the
# system's limit on the size of an argument list. In memory where the host
# has a file system there, where making and removing 200,000 names takes a
# fraction of the time it takes on a disk.
bulk=$(mktemp -d -p /dev/shm quelk.XXXXXX 2>/dev/null) || bulk=$scratch/bulk
removed+=("$bulk")
setup mkdir -p "$bulk/many" "$bulk/dest"
cd "$bulk/many" || exit 99
mapfile -t names < <(awk 'BEGIN { for (i = 0; i < 100000; i++) printf "%05x\n", i }')
printf '%s\n' "${names[@]}" | xargs touch || { echo "setup broke: files"; exit 99; }
# The peak memory is measured wherever the test runs: without GNU time
# (Debian's and Cygwin's package "time") it fails.
[ -x /usr/bin/time ] || fail "no /usr/bin/time to measure the peak memory with"
/usr/bin/time -f '%M' -o "$scratch/peak" "$quelk" -t ../dest "${names[@]}" >"$scratch/out" 2>"$scratch/err"
status=$?
[ "$status" = 0 ] || fail "100,000 operands: status $status: $(head -3 "$scratch/err")"
cd "$bulk" || exit 99
made=$(find dest -type f -links 2 | wc -l)
[ "$made" = 100000 ] || fail "100,000 operands: $made links made"
# GNU time's %M is the peak resident size where the system keeps one
# (Linux); Cygwin fills it at exit from the working set that is left, so
# there it is said to be that, and bounded all the same.
case $(uname -s) in CYGWIN*) measured="working set at exit" ;; *) measured="peak memory" ;; esac
peak=$(tail -1 "$scratch/peak" 2>/dev/null)
echo "100,000 links: $measured ${peak:-unknown} KiB"
[ "${peak:-102400}" -lt 102400 ] || fail "100,000 links: $measured ${peak:-unknown} KiB"
finish
