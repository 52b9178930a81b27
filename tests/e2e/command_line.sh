#!/usr/bin/env bash
# The command line, run where no sound server can be reached (so Wine has no
# render endpoint): unknown words end in the help text with status 2 and never
# reach the listing or the pause; the spellings allowed for a state word, and
# no word at all, give a complete listing of 0 endpoints, the pause and 0.
# Usage: command_line.sh TRELMO_EXE
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
exe=$1

printf '==== Help ====\r\nUsage:\r\n    trelmo [Active|Disabled|Unplugged|Not-Present]\r\n' >"$scratch/help.expected"

check_help() {
  local name=$1
  shift
  run_windows "$name" "$exe" "$@"
  expect_equal "$name: exit status" 2 "$status"
  expect_bytes "$name: output" "$scratch/help.expected" "$scratch/$name.out"
}

check_help unknown bogus
# A good word before a bad one does not rescue the command line.
check_help good_then_bad active bogus
check_help empty ""
check_help underscore not_present
check_help extra_character activex
check_help leading_space " active"

printf '====== Found 0 audio devices ======\r\n%s' "$pause_prompt" >"$scratch/empty_listing.expected"

check_listing() {
  local name=$1
  shift
  run_windows "$name" "$exe" "$@"
  expect_equal "$name: exit status" 0 "$status"
  expect_bytes "$name: output" "$scratch/empty_listing.expected" "$scratch/$name.out"
}

check_listing no_arguments
check_listing mixed_case_pair Active UNPLUGGED
check_listing repeated disabled disabled Disabled

# Wine keeps every endpoint it has ever seen in the prefix and reports those
# whose sink is gone as not present, so how many there are depends on what ran
# before (or runs alongside): only their state is certain.
check_not_present() {
  local name=$1 b
  shift
  run_windows "$name" "$exe" "$@"
  expect_equal "$name: exit status" 0 "$status"
  to_lf "$name"
  parse_listing "$name"
  expect_equal "$name: blocks against the header count" "$listed_count" "$blocks"
  for ((b = 0; b < blocks; b++)); do
    expect_equal "$name: state of ${block_id[b]}" "Not present" "${block_state[b]}"
  done
}

check_not_present not_present not-present
check_not_present space_for_hyphen "Not Present"
check_not_present capitals NOT-PRESENT

finish
