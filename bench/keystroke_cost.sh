#!/bin/sh
# The instructions one keystroke's edit costs in a 10 MB note: the notepad
# (its change tracking and journal included) against Qt's own editor, both
# counted by callgrind, which gives the same figures run after run. A typed
# letter and its deletion go through QTextCursor, whose inclusive cost holds
# every handler of the change; the journal's write(2) adds about 1 us of
# kernel time that instructions don't show.
set -eu
bench=${1:-build/bench/bench_notepad}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
per_edit() {
    valgrind --tool=callgrind --callgrind-out-file="$out/$1" --toggle-collect='*Keystrokes*' \
        "$bench" --benchmark_filter="$2" --benchmark_min_time=2 >/dev/null 2>&1
    callgrind_annotate --inclusive=yes "$out/$1" 2>/dev/null |
        awk '/=> .*QTextCursor::(insertText\(QString const&\)|deletePreviousChar\(\))/ {
                 gsub(",", "", $1); n = $NF; gsub(/[()x]/, "", n); ir += $1; calls += n }
             END { printf "%d", ir / calls }'
}
notepad=$(per_edit notepad 'BM_Keystroke$')
bare=$(per_edit bare 'BM_BareEditorKeystroke')
echo "instructions per keystroke: notepad $notepad, bare editor $bare"
awk -v a="$notepad" -v b="$bare" 'BEGIN { printf "ratio %.3f (goal <= 1.1)\n", a / b }'
