# quelk.exe's directory forms take the final name as typed whatever
# Windows' ANSI code page: Chinese, Japanese and Korean ones. Under Wine
# only, which takes the code page from the host's locale: Windows keeps the
# one its system was set up with (changing it takes a reboot), so this
# test is registered only where an emulator runs quelk.exe.
# Usage: code_pages.sh WINE QUELK.EXE
set -u
usage="usage: $0 WINE QUELK.EXE"
wine=${1:?$usage}
quelk=$(realpath "${2:?$usage}")
[ "$wine" != none ] || { echo "FAIL: the ANSI code page checks need Wine; on Windows they are not registered"; exit 1; }
tests=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e_windows/exe_lib.sh
. "$tests/exe_lib.sh"

if ! command -v localedef >/dev/null || [ ! -d /usr/share/i18n/locales ]; then
    fail "the ANSI code page checks need localedef and the locale sources (Debian's locales)"
else
    mkdir "$scratch/locales" cjk || exit 99
    for locale in zh_CN ja_JP ko_KR; do
        localedef -i "$locale" -f UTF-8 "$scratch/locales/$locale.UTF-8" 2>/dev/null ||
            { fail "localedef could not build $locale.UTF-8"; continue; }
        rm -rf cjk/* && mkdir cjk/dir cjk/d || exit 99
        echo right >cjk/dir/ł.txt && echo other >cjk/dir/ł.tx && echo PRECIOUS >cjk/d/ł.tx && echo memo >cjk/メモ.txt ||
            exit 99
        # The shell itself cannot take the locale it hands on (LOCPATH is
        # read from its own start-up environment), and says so.
        export LOCPATH=$scratch/locales LC_ALL=$locale.UTF-8 2>/dev/null
        expect 0 "\`cjk/d/ł.txt' => \`cjk/dir/ł.txt'
" "" -v -f -t cjk/d cjk/dir/ł.txt
        expect 0 "\`cjk/d/メモ.txt' => \`cjk/メモ.txt'
" "" -v -t cjk/d cjk/メモ.txt
        export LC_ALL=C.UTF-8
        unset LOCPATH
        [ "$(cat cjk/d/ł.tx)" = PRECIOUS ] || fail "$locale: cjk/d/ł.tx was replaced"
        [ "$(inode cjk/d/ł.txt)" = "$(inode cjk/dir/ł.txt)" ] || fail "$locale: cjk/d/ł.txt is not a link of cjk/dir/ł.txt"
        [ "$(inode cjk/d/メモ.txt)" = "$(inode cjk/メモ.txt)" ] || fail "$locale: cjk/d/メモ.txt is not a link"
    done
fi

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
