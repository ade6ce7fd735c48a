# The four invocation forms, the option texts and the usage-level failures.
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

setup mkdir dir sub
setup sh -c 'echo a > a; echo c > sub/c'

expect 0 "\`b' => \`a'
" "" -v a b
same_file a b

expect 0 "\`dir/a' => \`a'
\`dir/c' => \`sub/c'
" "" -v a sub/c dir
same_file a dir/a
same_file sub/c dir/c

setup mkdir dir2
setup ln -s dir2 to_dir
expect 0 "" "" a to_dir
same_file a dir2/a

expect 0 "" "" sub/c
same_file sub/c c

expect 0 "\`sub/a' => \`a'
" "" -v -t sub a
expect 0 "" "" -t dir -T a t
same_file a t

expect 1 "" "quelk: no arguments. Use --help for usage
"
expect 1 "" "quelk: no arguments. Use --help for usage
" -t dir
expect 1 "" "quelk: must have exactly two args with -T
" -T a
expect 1 "" "quelk: \`x': not a directory
" a b x
absent x
# -t with a file: said once, nothing tried.
expect 1 "" "quelk: \`a': not a directory
" -t a b x
expect 1 "" "quelk: could not create link \`./a': file exists
" a
expect 1 "" "quelk: could not create link \`dir': file exists
" -T a dir

expect 0 "quelk [OPTION] TARGET LINKNAME: like ln(1) for native Windows links

  -s --symbolic: make symbolic links
  -v --verbose: print name of each linked file
  -f --force: replace existing links
  -d --directory: always treat TARGET as a directory
  -F --file: always treat TARGET as a file
  -T --no-target-directory: treat LINKNAME as a normal file always
  -t --target-directory=DIR: link each TARGET into DIR
  -A --auto: guess type of TARGET [default]
     If TARGET does not exist, treat as file.

quelk --help

  Display this help message.

quelk -V
quelk --version

  Display version information.
" "" --help
size=$("$quelk" --help | wc -c)
[ "$size" = 600 ] || fail "usage text is $size bytes"
expect 0 "quelk ${QUELK_VERSION:?}
Copyright (C) the quelk authors.
MIT License: free to use, change and share; there is NO WARRANTY.
" "" -V -x
expect 4 "" "quelk: invalid option -- 'x'
quelk: use --help for usage
" -x -V
expect 4 "" "quelk: invalid option -- 'h'
quelk: use --help for usage
" -h
expect 4 "" "quelk: option '--ver' is ambiguous; possibilities: '--verbose' '--version'
quelk: use --help for usage
" --ver
expect 4 "" "quelk: option requires an argument -- 't'
quelk: use --help for usage
" a -t
finish
