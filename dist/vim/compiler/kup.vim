" Vim compiler file for kup: `:compiler kup`, then `:make` expands the
" current file (`:make -d NAME VALUE` passes options first) and the
" quickfix list holds one entry per error and warning.
"
" kup reports a problem on standard error as an empty line, one location
" line per open input file, outermost first ("line[N] <Tab>[FILE]"), or
" "[Command Line]", and then the message ("KUP error - ...", "KUP warning
" - ..." or "KUP user error - ..."). The entry belongs on the innermost
" file, the last location line. The error format makes an entry of the
" empty line and of every location line, and the message line completes
" the last of them; the entries that got no message are then dropped.
"
" With KUP_DIAGNOSTICS=gnu in the environment (a build that sets it, a log
" read with :cfile), kup writes each problem as one line in the form of
" GCC, "FILE:LINE:1: error: ..." or "kup: warning: ..." for the command
" line, after "In file included from" lines for the outer files; the error
" format reads that form too.

if exists("current_compiler")
  finish
endif
let current_compiler = "kup"

if exists(":CompilerSet") != 2
  command -nargs=* CompilerSet setlocal <args>
endif

let s:cpo_save = &cpo
set cpo&vim

CompilerSet makeprg=kup\ $*\ %:S
CompilerSet errorformat=%f:%l:%c:\ %trror:\ %m,
      \%f:%l:%c:\ %tarning:\ %m,
      \kup:\ %trror:\ %m,
      \kup:\ %tarning:\ %m,
      \%A,
      \%Aline[%l]%\\s%#[%f],
      \%C[Command\ Line],
      \%ZKUP\ %trror\ -\ %m,
      \%ZKUP\ %tarning\ -\ %m,
      \%ZKUP\ user\ %trror\ -\ %m,
      \%-G%.%#

let s:errorformat = &l:errorformat !=# '' ? &l:errorformat : &g:errorformat

" Drops from the list just made the entries that no message completed (the
" empty line, the outer location lines, empty output lines) and the line
" break that starts each message's text. Runs only for a list read with
" kup's error format.
function! s:DropLocationOnlyEntries(command) abort
  if &errorformat !=# s:errorformat
    return
  endif
  let l:local = a:command =~# '^l'
  let l:items = l:local ? getloclist(0) : getqflist()
  let l:kept = []
  for l:item in l:items
    if l:item.type ==# '' && l:item.text ==# ''
      continue
    endif
    let l:item.text = substitute(l:item.text, '^\n', '', '')
    call add(l:kept, l:item)
  endfor
  if l:local
    call setloclist(0, [], 'r', {'items': l:kept})
  else
    call setqflist([], 'r', {'items': l:kept})
  endif
endfunction

augroup kup_compiler
  autocmd!
  autocmd QuickFixCmdPost make,lmake,cfile,lfile,cgetfile,lgetfile,caddfile,laddfile,cbuffer,lbuffer,cgetbuffer,lgetbuffer,caddbuffer,laddbuffer,cexpr,lexpr,cgetexpr,lgetexpr,caddexpr,laddexpr
        \ call s:DropLocationOnlyEntries(expand('<amatch>'))
augroup END

let &cpo = s:cpo_save
unlet s:cpo_save
