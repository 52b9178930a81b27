#!/usr/bin/env bash
# trelmo against real endpoints: a private PulseAudio server with virtual sinks
# of different channel layouts, each of which Wine turns into a render
# endpoint (plus one endpoint of its own that follows the default sink).
# Every block must carry the sink's text, its state and the layout that the
# audio service really accepts first, as the layout oracle finds it; a sink
# taken away must show up as a not-present endpoint whose probe fails.
# Usage: endpoints.sh TRELMO_EXE LAYOUT_ORACLE_EXE
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
exe=$1
oracle=$2

# description -> sink as scripts/pulse-server takes it; the descriptions are what the endpoints must show.
# Wine remembers endpoints by sink name in the shared prefix, so the names are
# this test's own.
declare -A sinks=(
  ["Speakers"]="ep_stereo:2:Speakers"
  ["Surround Set"]="ep_side51:6:Surround Set:front-left,front-right,front-center,lfe,side-left,side-right"
  ["Rear Surround"]="ep_back51:6:Rear Surround:front-left,front-right,rear-left,rear-right,front-center,lfe"
  ["Headset"]="ep_headset:1:Headset"
)
start_pulse "${sinks[@]}"
# Wine's own endpoint for "whatever the default sink is".
wine_default_name=PulseAudio
endpoint_count=$((${#sinks[@]} + 1))

# check_blocks NAME: every block of listing NAME against what the oracle found
# for the same endpoint id: state, current format and probe messages. Tests
# running alongside may make Wine remember new endpoints between the oracle's
# run and trelmo's; those can only appear as not present here.
check_blocks() {
  local name=$1 b id
  for ((b = 0; b < blocks; b++)); do
    id=${block_id[b]}
    if [ -z "${expected_format[$id]+set}" ]; then
      [ "${block_state[b]}" = "Not present" ] ||
        fail "$name: the oracle does not know endpoint $id ('${block_name[b]}')"
      continue
    fi
    expect_equal "$name: state of $id" "${oracle_state[$id]}" "${block_state[b]}"
    expect_equal "$name: current format of $id (mix ${oracle_mix[$id]})" \
      "${expected_format[$id]}" "${block_format[b]}"
    expect_equal "$name: probe messages before $id" "${expected_messages[$id]}" "${block_messages[b]}"
  done
}

ask_oracle "$oracle"
expect_equal "active endpoints the oracle sees" "$endpoint_count" "$oracle_active"

# Default: the active endpoints, each once, with the sink's text.
run_windows listing "$exe"
expect_equal "listing: exit status" 0 "$status"
to_lf listing
parse_listing listing
expect_equal "listing: header count" "$endpoint_count" "$listed_count"
expect_equal "listing: blocks" "$endpoint_count" "$blocks"
check_blocks listing

declare -A seen_id=() seen_name=()
headset_id=""
for ((b = 0; b < blocks; b++)); do
  id=${block_id[b]}
  name=${block_name[b]}
  [ -z "${seen_id[$id]+set}" ] || fail "listing: endpoint $id listed twice"
  seen_id[$id]=1
  seen_name[$name]=$((${seen_name[$name]:-0} + 1))
  [ "$name" != Headset ] || headset_id=$id
  if [ -z "${sinks[$name]+set}" ] && [ "$name" != "$wine_default_name" ]; then
    fail "listing: '$name' ($id) is neither a sink's description nor '$wine_default_name'"
  fi
  # Wine gives the endpoint of a null sink its description for all three texts.
  expect_equal "listing: adapter name of '$name'" "$name" "${block_adapter[b]}"
  expect_equal "listing: description of '$name'" "$name" "${block_description[b]}"
done
for name in "${!sinks[@]}" "$wine_default_name"; do
  expect_equal "listing: blocks named '$name'" 1 "${seen_name[$name]:-0}"
done

# Only disabled endpoints: whatever Wine counts as disabled must be all that
# is shown, and none of the active ones.
run_windows disabled "$exe" disabled
expect_equal "disabled: exit status" 0 "$status"
to_lf disabled
parse_listing disabled
expect_equal "disabled: blocks against the header count" "$listed_count" "$blocks"
for ((b = 0; b < blocks; b++)); do
  expect_equal "disabled: state of ${block_id[b]}" Disabled "${block_state[b]}"
done

# Two states at once: every active endpoint, plus any unplugged one.
run_windows active_unplugged "$exe" Active unplugged
expect_equal "active_unplugged: exit status" 0 "$status"
to_lf active_unplugged
parse_listing active_unplugged
expect_equal "active_unplugged: blocks against the header count" "$listed_count" "$blocks"
active=0
for ((b = 0; b < blocks; b++)); do
  case "${block_state[b]}" in
    Active) active=$((active + 1)) ;;
    Unplugged) ;;
    *) fail "active_unplugged: ${block_id[b]} is ${block_state[b]}" ;;
  esac
done
expect_equal "active_unplugged: active blocks" "$endpoint_count" "$active"

# Take the headset away: Wine keeps its endpoint as not present, and every
# probe of it fails, so its block comes after six failure messages.
if [ -n "$headset_id" ]; then
  "$pulse_server" remove "$scratch/pulse" ep_headset || fail "could not remove the headset sink"
  ask_oracle "$oracle"
  expect_equal "oracle: state of the removed headset" "Not present" "${oracle_state[$headset_id]:-absent}"

  run_windows not_present "$exe" not-present
  expect_equal "not_present: exit status" 0 "$status"
  to_lf not_present
  parse_listing not_present
  expect_equal "not_present: blocks against the header count" "$listed_count" "$blocks"
  check_blocks not_present
  found=0
  for ((b = 0; b < blocks; b++)); do
    [ "${block_id[b]}" = "$headset_id" ] || continue
    found=1
    expect_equal "not_present: name of the removed headset" Headset "${block_name[b]}"
    expect_equal "not_present: format of the removed headset" Unknown "${block_format[b]}"
    messages=$(tr '|' '\n' <<<"${block_messages[b]}" | grep -c .)
    expect_equal "not_present: probe messages before the removed headset" 6 "$messages"
  done
  expect_equal "not_present: removed headset listed" 1 "$found"

  run_windows after_removal "$exe"
  to_lf after_removal
  parse_listing after_removal
  expect_equal "after_removal: header count" "$((endpoint_count - 1))" "$listed_count"
  check_blocks after_removal
else
  fail "no Headset block to remove"
fi

finish
