# Sourced by quelk_exe.sh on Windows itself: real symbolic links, read back
# through PowerShell as Windows sees them, and -s without the privilege.
# shellcheck disable=SC2154  # quelk_exe.sh sets quelk, scratch, tests, advice, without_privilege
# shellcheck source=tests/e2e_windows/read_link.sh
. "$tests/read_link.sh"

# An absolute TARGET as Windows writes it, stored as typed.
absolute=$(cygpath -w "$PWD/a")
absolute_stored=$absolute
# shellcheck source=tests/e2e_windows/link_cases.sh
. "$tests/link_cases.sh"

# Without the privilege: quelk.exe under a restricted copy of the runner's
# token. With Developer Mode off, the advice and status 3, byte for byte,
# and nothing made; with it on, the link, by the unprivileged flag.
"$without_privilege" off "$quelk" -s a unprivileged >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
[ "$status" = 3 ] || fail "without the privilege: status $status, $(cat "$scratch/err")"
printf '%s' "$advice" | cmp -s - "$scratch/err" || fail "without the privilege: stderr $(od -c "$scratch/err" | head -5)"
[ ! -s "$scratch/out" ] || fail "without the privilege: stdout $(cat "$scratch/out")"
[ ! -e unprivileged ] && [ ! -L unprivileged ] || fail "without the privilege: a link was made"
"$without_privilege" on "$quelk" -s a unprivileged >"$scratch/out" 2>"$scratch/err" </dev/null
status=$?
[ "$status" = 0 ] || fail "in Developer Mode without the privilege: status $status, $(cat "$scratch/err")"
link_is unprivileged file a
