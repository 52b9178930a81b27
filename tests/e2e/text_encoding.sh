#!/usr/bin/env bash
# Endpoint text outside ASCII, byte for byte: the block is written in the code
# page of the C locale taken from the environment (1252 under Wine here), a
# character that code page lacks becomes "?" (or a look-alike), and neither
# stops the rest of the line or the lines after it.
# Usage: text_encoding.sh TRELMO_EXE
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
exe=$1

start_pulse 'enc_latin:2:Mäße' 'enc_kana:2:スピ-X' 'enc_emoji:2:🔊 Box' 'enc_greek:2:Ωmega 5'

run_windows listing "$exe"
expect_equal "exit status" 0 "$status"
to_lf listing
parse_listing listing
expect_equal "header count" 5 "$listed_count"

for ((b = 0; b < blocks; b++)); do
  sed -n "${block_line[b]},$((block_line[b] + 7))p" "$scratch/listing.out" >"$scratch/block$b"
done

# expect_block WHAT TEXT...: exactly one block must be the Active block of an
# endpoint whose three texts are one of the TEXTs (the accepted renderings of a
# description), with its own id and format and CRLF line ends throughout.
expect_block() {
  local what=$1 b text matches=0
  shift
  for ((b = 0; b < blocks; b++)); do
    for text in "$@"; do
      printf '===== Device =====\r\nDevice ID          : %s\r\nDevice name        : %s\r\nAdapter name       : %s\r\nDevice description : %s\r\nDevice state       : Active\r\nCurrent format     : %s\r\n\r\n' \
        "${block_id[b]}" "$text" "$text" "$text" "${block_format[b]}" >"$scratch/expected"
      if cmp -s "$scratch/expected" "$scratch/block$b"; then
        matches=$((matches + 1))
      fi
    done
  done
  if [ "$matches" -ne 1 ]; then
    fail "$what: $matches blocks read as expected, want 1; the name lines were:"
    LC_ALL=C grep -a '^Device name' "$scratch/listing.out" | od -An -tx1 -c >&2
  fi
}

# ä and ß exist in code page 1252 as E4 and DF.
expect_block "Mäße" $'M\xe4\xdfe'
# Katakana has no counterpart in 1252: one "?" per character, the rest intact.
expect_block "スピ-X" '??-X'
# Outside the 16-bit range: a surrogate pair is one character, so one "?".
expect_block "🔊 Box" '? Box'
# Omega may be replaced by a look-alike or by "?".
expect_block "Ωmega 5" 'Omega 5' '?mega 5'

finish
