#!/usr/bin/env bash
# On a console, names come out in full whatever the code page: trelmo.exe runs
# in a pseudo-terminal, which Wine makes the program's console, and the screen
# must show the header, each name and the pause prompt, in that order. The
# same listing sent to a file keeps its bytes: code page 1252, "?" for what
# 1252 lacks, CRLF line ends. The help text is checked on the console too,
# and --brief cut to a narrow console's width.
# Usage: console.sh TRELMO_EXE
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
exe=$1

# Debian's own python3, which has the terminal emulator (python3-pyte), even
# where another python3 comes first on the PATH.
python=/usr/bin/python3
"$python" -c "import pyte" 2>/dev/null || { echo "FAIL: python3-pyte is needed to read a terminal" >&2; exit 1; }

start_pulse 'con_latin:2:Kopfhörer' 'con_cyrillic:2:Динамики' 'con_kana:2:スピーカー' 'con_emoji:2:🔊 Box'

# run_console NAME PROGRAM ARGS...: runs PROGRAM under Wine in a terminal of its
# own and types Enter at the pause prompt; leaves the lines the terminal shows
# in $scratch/NAME.txt, everything it was sent in $scratch/NAME.raw, stderr in
# $scratch/NAME.err and the exit status in $status.
run_console() {
  local name=$1
  shift
  "$python" "$e2e_dir/pty_run.py" --timeout 60 --stderr "$scratch/$name.err" \
    "$scratch/$name.raw" "$scratch/$name.txt" -- "$wine_run" "$@"
  status=$?
  if [ "$status" -eq 124 ]; then
    fail "$name: $* did not finish within 60 s"
  fi
}

# expect_name RUN WHAT TEXT...: exactly one block of the listing parse_listing
# last read is an active endpoint whose name, adapter name and description are
# all the same one of the TEXTs.
expect_name() {
  local run=$1 what=$2 b text matches=0
  shift 2
  for ((b = 0; b < blocks; b++)); do
    for text in "$@"; do
      if [ "${block_name[b]}" = "$text" ] && [ "${block_adapter[b]}" = "$text" ] &&
         [ "${block_description[b]}" = "$text" ] && [ "${block_state[b]}" = Active ]; then
        matches=$((matches + 1))
      fi
    done
  done
  if [ "$matches" -ne 1 ]; then
    fail "$run: $matches blocks name $what in full, want 1; the names were:"
    printf '%s\n' "${block_name[@]}" | od -An -c >&2
  fi
}

# A failed run shows what the terminal displayed (finish only shows *.out).
show_screen() {
  echo "--- the terminal of $1 showed:" >&2
  cat "$scratch/$1.txt" >&2
}

checks_before=$failures
run_console console "$exe"
expect_equal "console: exit status" 0 "$status"
# parse_listing checks the order: the header first, then the blocks, the pause
# prompt last.
parse_listing console
expect_equal "console: header count" 5 "$listed_count"
expect_equal "console: blocks against the header count" "$listed_count" "$blocks"
expect_name console "Kopfhörer" 'Kopfhörer'
expect_name console "Динамики" 'Динамики'
expect_name console "スピーカー" 'スピーカー'
# Wine 8.0's console keeps one UTF-16 unit per cell and shows each half of a
# surrogate pair as U+FFFD; a console that keeps the pair shows the character.
# Either way it is not the single "?" of a code page.
expect_name console "🔊 Box" '🔊 Box' $'\uFFFD\uFFFD Box'
[ "$failures" -eq "$checks_before" ] || show_screen console

# Sent to a file, the text is what it always was, byte for byte.
run_windows listing "$exe"
expect_equal "listing: exit status" 0 "$status"
to_lf listing
parse_listing listing
expect_equal "listing: header count" 5 "$listed_count"
# ö is F6 in code page 1252; Cyrillic and katakana are not in it at all, and
# the emoji, a surrogate pair, is one character and so one "?".
expect_name listing "Kopfhörer in code page 1252" $'Kopfh\xf6rer'
expect_name listing "Динамики as question marks" '????????'
expect_name listing "スピーカー as question marks" '?????'
expect_name listing "🔊 Box with a question mark" '? Box'

# --brief on a console 60 columns wide: each line cut to one column short of
# the window (a full line would wrap its end onto an empty one), the
# identifier first, with "..."; the kana name aligned by its width on screen.
checks_before=$failures
"$python" "$e2e_dir/pty_run.py" --columns 60 --timeout 60 --stderr "$scratch/brief.err" \
  "$scratch/brief.raw" "$scratch/brief.txt" -- "$wine_run" "$exe" --brief --no-pause
expect_equal "brief: exit status" 0 "$?"
expect_equal "brief: lines cut to 59 columns with ..." 5 \
  "$(grep -c '^[-C][-M][-K]  active  .*  {0\.0\.0\.00000000}\.{.*\.\.\.$' "$scratch/brief.txt")"
expect_equal "brief: the widest line" 59 "$(python3 -c 'import sys, unicodedata
print(max(sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line.rstrip("\n"))
          for line in open(sys.argv[1], encoding="utf-8")))' "$scratch/brief.txt")"
grep -q '^---  active  スピーカー  {0\.0\.0\.00000000}\.{' "$scratch/brief.txt" || fail "brief: kana name not aligned"
[ "$failures" -eq "$checks_before" ] || show_screen brief

checks_before=$failures
run_console help "$exe" bogus
expect_equal "help: exit status" 2 "$status"
printf '==== Help ====\nUsage:\n    trelmo [Active|Disabled|Unplugged|Not-Present]\n' >"$scratch/help.expected"
expect_bytes "help on the console" "$scratch/help.expected" "$scratch/help.txt"
[ "$failures" -eq "$checks_before" ] || show_screen help

finish
