#!/bin/sh
# Writes a manual page, gzipped as Debian installs them, from its source in
# docs/man/ and the help that the built program prints. The source is roff
# with @VERSION@ and @DATE@, and lines "@HELP@" or "@HELP ARGUMENT...@" that
# stand for the output of "PROGRAM [ARGUMENT...] --help", turned into roff:
# the help text stays the one place a command's syntax is written.
# Usage: man_page.sh SOURCE PROGRAM VERSION DATE OUTPUT
set -eu

source=$1
program=$2
version=$3
date=$4
output=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Help text to roff. A paragraph that starts with "Usage:" stays as it is
# (no fill); a line of its own ending in ":" is a bold heading; a line
# indented by two spaces is an entry (a term and its description), deeper
# lines continue it. Other text is filled, a line after a full stop
# starting a new paragraph.
help_to_roff='
function escaped(text) {
    gsub(/\\/, "\\e", text)
    gsub(/-/, "\\-", text)
    gsub(/\047/, "\\(aq", text)
    gsub(/`/, "\\(ga", text)
    return text
}
function line_out(text) {
    text = escaped(text)
    if (text ~ /^[.\047]/) text = "\\&" text
    # "..." ends no sentence.
    if (text ~ /\.\.\.$/) text = text "\\&"
    print text
}
function trimmed(text) {
    sub(/^ +/, "", text)
    sub(/ +$/, "", text)
    return text
}
# An entry is its term, then after two spaces its description; where the
# help has only one space there, the description starts at the first word
# that is no option, no argument name (upper case) and no separator.
function entry_out(text,    term, description, words, count, k) {
    text = substr(text, 3)
    if (match(text, /  +/)) {
        term = substr(text, 1, RSTART - 1)
        description = substr(text, RSTART + RLENGTH)
    } else {
        count = split(text, words, " ")
        term = words[1]
        for (k = 2; k <= count && (words[k] ~ /^[-[|]/ || words[k] ~ /^[A-Z][A-Z0-9_.|]*[],]*$/); k++)
            term = term " " words[k]
        description = ""
        for (; k <= count; k++) description = description (description == "" ? "" : " ") words[k]
    }
    print ".TP"
    print "\\fB" escaped(term) "\\fP"
    if (description != "") line_out(description)
}
{ line[++n] = $0 }
END {
    for (i = 1; i <= n; i++) {
        text = line[i]
        if (text == "") { mode = ""; continue }
        if (text ~ /^Usage:/ && mode == "") {
            print ".PP"
            print ".nf"
            for (; i <= n && line[i] != ""; i++) line_out(line[i])
            print ".fi"
            continue
        }
        if (text ~ /^  [^ ]/) {
            mode = "list"
            entry_out(text)
            continue
        }
        if (text ~ /^   / && mode == "list") {
            line_out(trimmed(text))
            continue
        }
        if (text ~ /:$/ && i < n && line[i + 1] ~ /^  /) {
            print ".PP"
            print "\\fB" escaped(text) "\\fP"
            mode = "heading"
            continue
        }
        if (mode != "text" || previous ~ /\.$/) print ".PP"
        mode = "text"
        previous = text
        line_out(trimmed(text))
    }
}
'

sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/g" "$source" >"$work/source"
: >"$work/page"
while IFS= read -r line || [ -n "$line" ]; do
  case $line in
    @HELP*@)
      arguments=${line#@HELP}
      arguments=${arguments%@}
      # The arguments are words without quotes; a data directory of its own
      # keeps the build from ever touching the user's.
      # shellcheck disable=SC2086
      if ! QUILLMERE_HOME="$work/home" "$program" $arguments --help >"$work/help"; then
        echo "man_page.sh: \"$program$arguments --help\" failed" >&2
        exit 1
      fi
      [ -s "$work/help" ] || { echo "man_page.sh: \"$program$arguments --help\" printed nothing" >&2; exit 1; }
      awk "$help_to_roff" "$work/help" >>"$work/page"
      ;;
    *) printf '%s\n' "$line" >>"$work/page" ;;
  esac
done <"$work/source"

gzip -9 -n -c "$work/page" >"$output.part"
mv "$output.part" "$output"
