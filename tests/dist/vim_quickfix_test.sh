#!/usr/bin/env bash
# Loads kup's Vim compiler file in a headless Vim and runs :make on the
# errors examples of the README and of the cookbook: each warning and error
# must give one quickfix entry on the innermost file and line of its
# location lines (an included file's, where the problem is in one), with
# the message as text; a warning about the command line gives an entry
# without a file. The same again with KUP_DIAGNOSTICS=gnu, kup's messages
# in the form of GCC (the column, 1, is then known). Also checks that the example is detected as a kup file.
# Exits 77 (skipped) where Vim is missing, except under CI.
# Usage: vim_quickfix_test.sh DIST_VIM_DIR KUP EXAMPLES_PARENT_DIR
set -euo pipefail
vimfiles=$(cd "$1" && pwd)
kup_dir=$(cd "$(dirname "$2")" && pwd)
root=$(cd "$3" && pwd)

if ! command -v vim >/dev/null 2>&1 || ! vim -es -u NONE -c 'if has("quickfix") | qa! | else | cq | endif'; then
  echo "vim with +quickfix is not installed${CI:+ (it must be, under CI)}"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$root/examples" "$work/examples"
mkdir "$work/bin"
ln -s "$kup_dir/$(basename "$2")" "$work/bin/kup"

cat >"$work/probe.vim" <<'PROBE'
set nocompatible
execute 'set runtimepath^=' . fnameescape($KUP_VIMFILES)
filetype on
edit examples/errors/report.kup
compiler kup
let s:out = ['filetype=' . &filetype]
function! s:Entries(arguments) abort
  execute 'silent make! ' . a:arguments
  call add(s:out, ':make ' . a:arguments)
  for l:e in getqflist()
    call add(s:out, printf('%s|%d%s|%s|%s', l:e.bufnr ? bufname(l:e.bufnr) : '-',
          \ l:e.lnum, l:e.col ? ':' . l:e.col : '', l:e.type, l:e.text))
  endfor
endfunction
call s:Entries('')
cd examples/cookbook/errors
edit site.kup
compiler kup
call s:Entries('-d PORT 80 -d PORT 8080')
cd -
call writefile(s:out, 'result.txt')
qa!
PROBE

# Runs the probe with kup's messages in FORM; prints the entries, with the
# column where the form gives one.
probe() {
  rm -f "$work/result.txt"
  (cd "$work" && PATH="$work/bin:$PATH" KUP_VIMFILES=$vimfiles KUP_DIAGNOSTICS=$1 \
    vim -N -u NONE -i NONE -n -es -S probe.vim </dev/null >/dev/null 2>&1) || true
  cat "$work/result.txt" 2>/dev/null
}
expected='filetype=kup
:make 
examples/errors/report.kup|2|w|macro <TEAM> was already defined
examples/errors/average.kup|3|e|attempt to divide by 0
:make -d PORT 80 -d PORT 8080
-|0|w|macro <PORT> was already defined
parts/server.kup|2|w|'"'"'#iff'"'"' is not a legal ZIDiv directive
parts/server.kup|3|e|unknown monadic operator: CORES'
check() {
  local form=$1 expected=$2 actual
  if ! actual=$(probe "$form") || [ "$actual" != "$expected" ]; then
    echo "quickfix entries differ (KUP_DIAGNOSTICS=$form); expected:"
    echo "$expected"
    echo "actual:"
    echo "${actual:-(no result: Vim failed)}"
    exit 1
  fi
}
check "" "$expected"
check gnu "$(sed 's/^\([^-:][^|]*|[0-9]*\)|/\1:1|/' <<<"$expected")"
echo "vim quickfix: errors and warnings on their innermost file and line, the command line's without a file, in both forms"
