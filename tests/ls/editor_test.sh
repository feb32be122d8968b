#!/usr/bin/env bash
# A real editor's client with dist/'s configuration, headless: a template
# with an error in an included file shows it at the #include line and its
# skipped lines greyed out (tagged unnecessary); go-to-definition jumps to
# the snippet's line. The editor's script (neovim_test.lua,
# eglot_test.el) writes "ok" or its failures to $KUP_LS_RESULT.
# Skipped (77) where the editor is missing, except under CI.
# Usage: editor_test.sh neovim|emacs KUP_LS SOURCE_ROOT
set -euo pipefail
editor=$1 server=$2 source_root=$3
here=$source_root/tests/ls
case $editor in
  neovim) needed=nvim ;;
  emacs) needed=emacs ;;
  *) echo "usage: editor_test.sh neovim|emacs KUP_LS SOURCE_ROOT" >&2; exit 2 ;;
esac
missing() {
  [ "${CI:-}" = true ] && { echo "error: $1 is missing" >&2; exit 1; }
  echo "$1 not found: skipped"
  exit 77
}
command -v "$needed" >/dev/null 2>&1 || missing "$needed"
if [ "$editor" = emacs ] && ! emacs --batch --eval "(require 'eglot)" >/dev/null 2>&1; then
  missing eglot
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch .kup-ls.json
printf '%s\n' '#define NAME world' '#if 0' 'not shown' 'nor this' '#endif' "#include 'snippet.kup'" \
  'Hello NAME on PORT' > template.kup
printf '%s\n' '#define PORT 8080' '#int BAD (1' > snippet.kup
export KUP_LS=$server KUP_LS_DIST=$source_root/dist KUP_LS_RESULT=$work/result
if [ "$editor" = neovim ]; then
  cat > init.lua <<LUA
vim.opt.runtimepath:prepend('$source_root/dist/vim')
vim.opt.runtimepath:prepend('$source_root/dist/neovim')
vim.cmd('filetype on')
require('kup_ls').setup({ cmd = { '$server' } })
LUA
  timeout 60 nvim --headless --clean -u init.lua -c "luafile $here/neovim_test.lua" template.kup \
    >"$work/log" 2>&1 || true
else
  timeout 60 emacs --batch -l "$here/eglot_test.el" >"$work/log" 2>&1 || true
fi
if [ "$(cat "$work/result" 2>/dev/null)" != ok ]; then
  echo "$editor test failed:"
  cat "$work/result" 2>/dev/null || echo "(no result; the editor's output follows)"
  cat "$work/log"
  exit 1
fi
echo "$editor: the fault at the #include line, the skipped lines unnecessary, the definition in the snippet"
