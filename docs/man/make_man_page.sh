#!/bin/sh
# Writes the manual page of one program from its --help answer, so that the
# page and the help can never disagree.
#
#   make_man_page.sh PROGRAM OUTPUT [RELATED...]
#
# PROGRAM is the built program (its name is the page's name; its --version
# answer gives the version), OUTPUT the roff file to write, RELATED the names
# of the other programs for SEE ALSO.  The help text is read as: a usage line first;
# then paragraphs of running text; a line that is only a capitalised word or
# words and a colon ("Exit status:") starts a section of that name; lines
# indented by two blanks or more are tables, kept as they stand.  The first
# sentence of the text after the usage line is the page's one-line summary.
# Exits with status 1, writing nothing, when the program gives no usage line
# or fails to answer.
set -eu
if [ $# -lt 2 ]; then
  echo "usage: $0 PROGRAM OUTPUT [RELATED...]" >&2
  exit 1
fi
program=$1 output=$2
shift 2
name=$(basename "$program")
help=$("$program" --help)
version=$("$program" --version | awk '{ print $2 }')
tmp="$output.tmp.$$"
trap 'rm -f "$tmp"' EXIT

printf '%s\n' "$help" | awk -v name="$name" -v version="$version" -v related="$*" '
function esc(s) {
  gsub(/\\/, "\\e", s)
  gsub(/-/, "\\-", s)
  if (s ~ /^[.\047]/) s = "\\&" s
  return s
}
NR == 1 {
  if (tolower($1) != "usage:") { bad = 1; exit 1 }
  synopsis = $0
  sub(/^[^:]*:[ ]*[^ ]+[ ]*/, "", synopsis)
  next
}
{ line[++n] = $0 }
END {
  if (bad || NR == 0) exit 1
  # The summary: the first sentence after the usage line.
  text = ""
  for (i = 1; i <= n && line[i] == ""; i++) continue
  for (; i <= n && line[i] != "" && line[i] !~ /^  /; i++) text = text (text == "" ? "" : " ") line[i]
  summary = tolower(substr(text, 1, 1)) substr(text, 2)
  if (match(summary, /\.( |$)/)) summary = substr(summary, 1, RSTART - 1)

  print ".TH " toupper(name) " 1 \"\" \"rivernest " version "\" \"rivernest manual\""
  print ".SH NAME"
  print name " \\- " esc(summary)
  print ".SH SYNOPSIS"
  print ".B " name
  if (synopsis != "") print esc(synopsis)
  print ".SH DESCRIPTION"
  table = 0
  for (i = 1; i <= n; i++) {
    l = line[i]
    if (l ~ /^  / && !table) { print ".PP"; print ".RS 2"; print ".nf"; table = 1 }
    if (l !~ /^  / && table) { print ".fi"; print ".RE"; table = 0 }
    if (l == "") continue
    if (l ~ /^[A-Z][A-Za-z ]*:$/) { print ".SH " toupper(substr(l, 1, length(l) - 1)); continue }
    if (!table && i > 1 && line[i - 1] == "") print ".PP"
    print esc(table ? substr(l, 3) : l)
  }
  if (table) { print ".fi"; print ".RE" }
  print ".SH SEE ALSO"
  k = split(related, others, " ")
  out = ""
  for (j = 1; j <= k; j++) if (others[j] != name) out = out (out == "" ? "" : ",\n") ".BR " others[j] " (1)"
  if (out != "") print out
  print ".PP"
  print "The user guide, guide.md, in the toolkit'"'"'s documentation folder (share/doc/rivernest)."
}' >"$tmp" || { echo "$0: $program gave no usage line for --help" >&2; exit 1; }
mv "$tmp" "$output"
trap - EXIT
