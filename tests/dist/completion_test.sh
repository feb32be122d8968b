#!/usr/bin/env bash
# Drives the bash completion of kup as bash-completion loads it from an
# installed tree (share/bash-completion/completions/kup), and checks the
# candidates for option names, file names and option arguments.
# Exits 77 (skipped) where bash-completion is missing, except under CI.
# Usage: completion_test.sh COMPLETION_FILE
set -euo pipefail
script=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "bash-completion is not installed${CI:+ (it must be, under CI)}"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/share/bash-completion/completions" "$work/files/dir"
cp "$script" "$work/share/bash-completion/completions/kup"
touch "$work/files/a.txt" "$work/files/b.kup"

# Each probe: the words of a command line, the last being the word at the
# cursor, then the candidates offered, sorted, in brackets.
actual=$(cd "$work/files" && BASH_COMPLETION_USER_DIR=$work/share/bash-completion \
  bash --norc --noprofile -c '
    source "$1"
    __load_completion kup || { echo "no completion loaded for kup"; exit 1; }
    function=$(complete -p kup | sed -n "s/.*-F \([^ ]*\).*/\1/p")
    probe() {
      COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
      "$function" kup "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
      local offered
      offered=$(printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd " " -)
      echo "$* -> [$offered]"
    }
    probe kup -de
    probe kup -e ""
    probe kup -d NAME ""
    probe kup -d NAME value ""
    probe kup -p ""
    probe kup -v -l
    probe kup b
  ' bash "$framework")
expected='kup -de -> [-define]
kup -e  -> [a.txt b.kup dir]
kup -d NAME  -> []
kup -d NAME value  -> [a.txt b.kup dir]
kup -p  -> []
kup -v -l -> [-l -line]
kup b -> [b.kup]'
if [ "$actual" != "$expected" ]; then
  echo "completion candidates differ; expected:"
  echo "$expected"
  echo "actual:"
  echo "$actual"
  exit 1
fi
echo "bash completion: options, files and option arguments as expected"
