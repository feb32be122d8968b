#!/usr/bin/env bash
# Loads the Vim syntax file of kup in a headless Vim, through its file-type
# detection, and checks the highlight group at chosen places of a sample.
# Exits 77 (skipped) where Vim with +syntax is missing, except under CI.
# Usage: vim_syntax_test.sh DIST_VIM_DIR
set -euo pipefail
vimfiles=$(cd "$1" && pwd)

if ! command -v vim >/dev/null 2>&1 || ! vim -es -u NONE -c 'if has("syntax") | qa! | else | cq | endif'; then
  echo "vim with +syntax is not installed${CI:+ (it must be, under CI)}"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/sample.kup" <<'SAMPLE'
  #  define HOST 'example.org' `raw`
## a comment with define in it
#* another comment
# if you want TLS
data with `#define` and $D and it's ours
#frobnicate x
SAMPLE

# Each probe: line, column, the group expected there (its own name, then
# the group it is shown as).
cat >"$work/probe.vim" <<'PROBE'
set nocompatible
execute 'set runtimepath^=' . fnameescape($KUP_VIMFILES)
filetype on
syntax on
edit sample.kup
let s:out = ['filetype=' . &filetype]
for [s:line, s:col] in [[1, 6], [1, 19], [1, 33], [2, 10], [3, 3], [4, 3], [5, 12], [5, 25], [5, 34], [6, 2]]
  let s:id = synID(s:line, s:col, 1)
  call add(s:out, s:line . ':' . s:col . ' ' . synIDattr(s:id, 'name') . ' ' . synIDattr(synIDtrans(s:id), 'name'))
endfor
call writefile(s:out, 'result.txt')
qa!
PROBE

(cd "$work" && KUP_VIMFILES=$vimfiles vim -N -u NONE -i NONE -es -S probe.vim </dev/null) || true
expected='filetype=kup
1:6 kupDirective PreProc
1:19 kupQuoted Constant
1:33 kupBackquoted Special
2:10 kupComment Comment
3:3 kupComment Comment
4:3 kupDirective PreProc
5:12 kupBackquoted Special
5:25 kupPredefined Identifier
5:34  
6:2  '
if ! actual=$(cat "$work/result.txt" 2>/dev/null) || [ "$actual" != "$expected" ]; then
  echo "highlight groups differ; expected:"
  echo "$expected"
  echo "actual:"
  echo "${actual:-(no result: Vim failed)}"
  exit 1
fi
echo "vim syntax: directive, comment, backquoted text, quoted value and predefined macro as expected"
