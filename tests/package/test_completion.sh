#!/usr/bin/env bash
# The bash completion of quillmere-cli, as the shell calls it: commands and
# account actions from the program's help, account titles with spaces and
# Japanese, folders, options with their off forms, option values, message
# and part numbers, all in a throwaway data directory.
# Usage: test_completion.sh COMPLETION_FILE QUILLMERE_CLI
set -euo pipefail

completion=$1
cli=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

QUILLMERE_HOME=$(mktemp -d)
export QUILLMERE_HOME LC_ALL=C.UTF-8
trap 'rm -rf "$QUILLMERE_HOME"' EXIT
for title in "My Box" "仕事 用"; do
  "$cli" account add "$title" --address a@example.jp --pop-server pop.example.jp --pop-user a \
    --smtp-server smtp.example.jp --no-keyring --password-fd 3 3<<<"" >/dev/null || fail "account add $title"
done
printf 'From: b@example.jp\r\nSubject: x\r\n\r\ntext\r\n' >"$QUILLMERE_HOME/message.eml"
"$cli" import "My Box" "$QUILLMERE_HOME/message.eml" >/dev/null || fail "import"

# shellcheck source=/dev/null
source "$completion"
compopt() { :; }  # only the shell's own completion may set options

# Completes the last word as typed (quotes and backslashes kept, as the shell
# hands them over) and compares the candidates, joined by "|".
expect() {
  local wanted=$1
  shift
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  local current=${COMP_WORDS[COMP_CWORD]}
  [[ $current == [\'\"]* ]] && current=${current:1}  # readline leaves an opening quote out
  _quillmere_cli "$cli" "$current" "${COMP_WORDS[COMP_CWORD - 1]}" || true
  local got
  got=$(IFS='|'; echo "${COMPREPLY[*]}")
  [ "$got" = "$wanted" ] || fail "completing \"$*\": got \"$got\", wanted \"$wanted\""
}

commands=$("$cli" --help | awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 } on { print $1 }' | paste -sd'|')
expect "$commands|--help|--version" ""
expect "set" account se
expect "My Box" account set "'My"
expect "仕事 用" account remove "仕"
expect "My Box|仕事 用|標準アカウント" sync ""
expect "My Box/" list "My\\ B"
expect "My Box/ 受信箱/" list "My\\ Box/\\ 受"
expect "0" show "'My Box/ 受信箱'" ""
expect "1" save "My\\ Box/\\ 受信箱" 0 ""
expect "--no-apop" account set "My\\ Box" --no-ap
expect "--title" account set "My\\ Box" --tit
expect "" account add "New" --tit
expect "0|1|2|3|4|5" list "My\\ Box" --sort ""
expect "google|microsoft" account add X --oauth2-preset ""
expect "" account add ""
echo "completion ok"
