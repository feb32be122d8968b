" Vim syntax file for kup templates: directive lines by their word, the
" comments ## and #*, backquoted text, quoted values in directives and the
" predefined macros.

if exists("b:current_syntax")
  finish
endif

" A directive line: blanks, "#", blanks and a directive word. A line whose
" first field is "#" but whose word is unknown is left as data.
syn match kupDirectiveLine "^\s*#\s*\%(define\|default\|undef\|cat\|freeze\|melt\|ask\|list\|int\|real\d*\|fix\d*\|if\|ifdef\|ifndef\|else\|endif\|skip\|include\|insert\|exit\|msg\|quit\|stop\|abort\|verbose\|macro\|tag\|status\)\>.*$"
      \ contains=kupDirective,kupQuoted,kupBackquoted,kupPredefined
syn match kupDirective "^\s*#\s*\a\+\d*" contained

" Comments: "##" and "#*" after the blanks, blanks allowed between.
syn match kupComment "^\s*#\s*[#*].*$" contains=@Spell

" Text in backquotes is never expanded; in data lines and directives.
syn region kupBackquoted start="`" end="`" oneline
" Single quotes delimit values and paths in directives only: in a data line
" they are ordinary characters.
syn region kupQuoted start="'" end="'" oneline contained contains=kupBackquoted,kupPredefined

" $V $D $F $T $N as whole fields: no name character on either side.
syn match kupPredefined "\%(^\|[^A-Za-z0-9_$@!%&<=>|\[\]]\)\@<=\$[VDFTN]\%([A-Za-z0-9_$@!%&<=>|\[\]]\)\@!"

hi def link kupDirective  PreProc
hi def link kupComment    Comment
hi def link kupBackquoted Special
hi def link kupQuoted     String
hi def link kupPredefined Identifier

let b:current_syntax = "kup"
