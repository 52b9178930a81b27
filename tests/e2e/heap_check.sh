#!/usr/bin/env bash
# trelmo under Wine's heap checking (WINEDEBUG=warn+heap), on each of its
# paths: a listing of live endpoints, a listing whose probes fail for an
# endpoint that has gone, and the help text. Wine must report no heap error.
# Usage: heap_check.sh TRELMO_EXE HEAP_FAULT_EXE
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
exe=$1
heap_fault=$2
export WINEDEBUG=warn+heap

# Anything Wine's heap reports, errors and warnings alike; its fixme notes
# about unimplemented heap options are not about our blocks.
heap_reports() {
  LC_ALL=C grep -a ':heap:' "$scratch/$1.err" | grep -v ':fixme:heap:'
}

expect_clean_heap() {
  local name=$1 reports
  reports=$(heap_reports "$name")
  if [ -n "$reports" ]; then
    fail "$name: Wine reported heap trouble:"
    head -n 20 <<<"$reports" >&2
  fi
}

# The checker must see a deliberate double free, or silence proves nothing.
run_windows heap_fault "$heap_fault"
[ -n "$(heap_reports heap_fault)" ] || fail "Wine's heap checking did not report a double free"

start_pulse 'heap_stereo:2:Speakers' \
  'heap_side51:6:Surround Set:front-left,front-right,front-center,lfe,side-left,side-right' \
  'heap_mono:1:Headset' 'heap_latin:2:Mäße'

run_windows listing "$exe"
expect_equal "listing: exit status" 0 "$status"
to_lf listing
parse_listing listing
expect_equal "listing: header count" 5 "$listed_count"
expect_clean_heap listing

# A sink that has gone leaves a not-present endpoint whose every probe fails:
# the failure paths release what they got.
"$pulse_server" remove "$scratch/pulse" heap_mono || fail "could not remove a sink"
run_windows failing_probes "$exe" not-present active
expect_equal "failing_probes: exit status" 0 "$status"
if ! LC_ALL=C grep -aq "^Couldn't " "$scratch/failing_probes.out"; then
  fail "failing_probes: no probe failed, so the failure paths were not run"
fi
expect_clean_heap failing_probes

run_windows help "$exe" bogus
expect_equal "help: exit status" 2 "$status"
expect_clean_heap help

finish
