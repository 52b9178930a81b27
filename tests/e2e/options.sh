#!/usr/bin/env bash
# The options against real endpoints of both flows: a private PulseAudio
# server with null sinks (render endpoints) and null sources (capture
# endpoints). --json must describe each endpoint as Wine really has it, its
# mix format as the sink or source made it rather than as the probe rewrote
# it, after the version and the time it was read; --capture and --render
# --capture must list the same endpoints as text, playback first, and --brief
# as one line each with the defaults marked; --no-pause must be the listing
# of old without its pause; --help, --version and an unknown option must
# print their exact text, the last with its reason on standard error;
# --formats --json must add to every endpoint what Wine's audio client takes;
# the changes must make what Wine allows and say why not otherwise, on
# standard error; a setup saved and restored at once must have nothing to
# change; --watch must show the endpoints present and then the default
# endpoint that another process sets; with --details --sessions, each
# endpoint's level and the session calls Wine does not have, as error events.
# trelmow.exe, given, must end a failing change with the same status, write
# nothing to a terminal and what trelmo.exe writes to a file.
# Usage: options.sh TRELMO_EXE [TRELMOW_EXE]
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
exe=$1
windowed_exe=${2:-}

# Wine remembers endpoints by name in the shared prefix, so the names are this
# test's own. Each entry is FLOW:DESCRIPTION:CHANNELS:CHANNEL_MASK for the
# checker below; the mask is what the PulseAudio channel map becomes.
start_pulse 'opt_stereo:2:Opt Speakers' \
  'opt_side51:6:Opt Surround:front-left,front-right,front-center,lfe,side-left,side-right' \
  'opt_mono:1:Opt Headset' \
  'source:opt_mic:1:Opt Microphone' 'source:opt_smic:2:Opt Stereo Mic:front-left,front-right'
# The version has one home, the top-level CMakeLists.txt.
version=$(sed -n 's/^project(trelmo VERSION \([0-9.]*\).*/\1/p' "$repo_dir/CMakeLists.txt")
render_endpoints=('render:Opt Speakers:2:3' 'render:Opt Surround:6:1551' 'render:Opt Headset:1:4')
capture_endpoints=('capture:Opt Microphone:1:4' 'capture:Opt Stereo Mic:2:3')

# check_json NAME FLOW... ENDPOINT...: the document in $scratch/NAME.out, of the
# listed FLOWs (render, capture) in that order, must hold every ENDPOINT once,
# and nothing else but Wine's own "PulseAudio" endpoint per flow (which
# follows the default sink or source and is the default for every role) and
# the monitor source ("Monitor of DESCRIPTION") of each render ENDPOINT given,
# listed or not. Leaves "FLOW ID" per entry, sorted, in $scratch/NAME.ids.
check_json() {
  local name=$1 problem
  shift
  while IFS= read -r problem; do
    fail "$name: $problem"
  done < <(python3 - "$scratch/$name.out" "$scratch/$name.ids" "$version" "$@" <<'EOF'
import json, re, sys

out, ids_file, version, args = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
flows = [a for a in args if ":" not in a]
expected = {}
for a in args:
    if ":" in a:
        flow, text, channels, mask = a.split(":")
        expected[(flow, text)] = (int(channels), int(mask))
monitors = {("capture", "Monitor of " + text) for flow, text in expected if flow == "render"}
raw = open(out, "rb").read()
if raw.startswith(b"\xef\xbb\xbf"):
    print("starts with a byte order mark")
if not raw.endswith(b"\r\n"):
    print("does not end with a line break")
try:
    document = json.loads(raw.decode("utf-8"))
except ValueError as error:
    sys.exit(print(f"not a JSON document in UTF-8: {error}"))
if list(document) != ["trelmo", "read_at", "endpoints"]:
    sys.exit(print(f"top-level members are {list(document)}"))
if document["trelmo"] != version or not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", document["read_at"]):
    print(f"trelmo {document['trelmo']!r}, read_at {document['read_at']!r}")

members = ["id", "flow", "state", "state_code", "friendly_name", "adapter_name", "description",
           "default_for", "current_layout", "mix_format", "form_factor", "physical_speakers",
           "device_format", "container_id", "volume", "peak", "errors"]
entries = document["endpoints"]
seen_flows = [e.get("flow") for e in entries]
order = [flows.index(f) if f in flows else -1 for f in seen_flows]
if order != sorted(order) or set(seen_flows) != set(flows):
    print(f"flows in the order {seen_flows}, want {flows} one after the other")
# Wine 8's volume control has no channel count (E_NOTIMPL), and it has no
# peak meter to activate (E_NOINTERFACE); nothing else may fail.
wine_errors = [{"call": "GetChannelCount", "code": "0x80004001"},
               {"call": "Activate", "code": "0x80004002", "interface": "IAudioMeterInformation"}]
defaults = {flow: [] for flow in flows}
found = {key: 0 for key in expected}
for e in entries:
    key = (e.get("flow"), e.get("description"))
    where = f"{key[0]} endpoint '{key[1]}'"
    if list(e) != members:
        print(f"{where}: members {list(e)}")
        continue
    if e["state"] != "active" or e["state_code"] != 1:
        print(f"{where}: state {e['state']} ({e['state_code']})")
    if not isinstance(e["id"], str) or not isinstance(e["current_layout"], str) or e["errors"] != wine_errors:
        print(f"{where}: id {e['id']!r}, layout {e['current_layout']!r}, errors {e['errors']}")
    if e["default_for"]:
        defaults.setdefault(e["flow"], []).append((e["description"], e["default_for"]))
    if key in expected:
        found[key] += 1
        channels, mask = expected[key]
        mix = e["mix_format"] or {}
        # Wine's mix keeps the sink's or source's channels; the probe's
        # rewrite (Mono is accepted everywhere under Wine) must not show here.
        if (mix.get("channels"), mix.get("channel_mask")) != (channels, mask):
            print(f"{where}: mix format {mix}, want {channels} channels, mask {mask}")
        if (e["friendly_name"], e["adapter_name"]) != (key[1], key[1]):
            print(f"{where}: names '{e['friendly_name']}', '{e['adapter_name']}'")
        # What Wine fills in: a sink is speakers with the sink's own channel
        # mask as its speakers, a source a microphone with none; the device
        # format is the mix's; no container; a volume control at full,
        # unmuted, with a fixed range, and no peak meter.
        sink = key[0] == "render"
        details = [e["form_factor"], e["physical_speakers"], e["container_id"], e["peak"]]
        if details != ["speakers" if sink else "microphone", mask if sink else None, None, None]:
            print(f"{where}: form factor, speakers, container, peak {details}")
        if e["device_format"] != e["mix_format"]:
            print(f"{where}: device format {e['device_format']}")
        if e["volume"] != {"level": 1.0, "level_db": 0.0, "muted": False,
                           "range_db": {"min": -100.0, "max": 0.0, "step": 1.0}, "channel_levels": None}:
            print(f"{where}: volume {e['volume']}")
    elif key[1] != "PulseAudio" and key not in monitors:
        print(f"unexpected {where}")
for key, count in found.items():
    if key[0] in flows and count != 1:
        print(f"{key[0]} endpoint '{key[1]}' listed {count} times")
for flow, marked in defaults.items():
    if marked != [("PulseAudio", ["console", "multimedia", "communications"])]:
        print(f"{flow} defaults: {marked}")
with open(ids_file, "w") as ids:
    ids.writelines(sorted(f"{e.get('flow')} {e.get('id')}\n" for e in entries))
EOF
  )
  if LC_ALL=C grep -aq "Couldn't" "$scratch/$name.out"; then
    fail "$name: a probe message in the document"
  fi
}

run_windows json "$exe" --json
expect_equal "json: exit status" 0 "$status"
to_lf json
check_json json render "${render_endpoints[@]}"

run_windows json_capture "$exe" --JSON --capture
expect_equal "json_capture: exit status" 0 "$status"
to_lf json_capture
check_json json_capture capture "${capture_endpoints[@]}" "${render_endpoints[@]}"

run_windows json_both "$exe" --capture --json --render
expect_equal "json_both: exit status" 0 "$status"
to_lf json_both
check_json json_both render capture "${render_endpoints[@]}" "${capture_endpoints[@]}"

# check_text NAME HEADER...: the text listing NAME has these headers ("COUNT
# audio", "COUNT capture") with as many blocks under each, and lists the same
# endpoints as the document of both flows did.
check_text() {
  local name=$1 b
  shift
  expect_equal "$name: exit status" 0 "$status"
  to_lf "$name"
  parse_listing "$name"
  expect_equal "$name: headers" "$*" "${listed_headers[*]}"
  for b in "${!listed_headers[@]}"; do
    expect_equal "$name: blocks under header $((b + 1))" "${listed_headers[b]% *}" \
      "$(printf '%s\n' "${block_header[@]}" | grep -cx "$b")"
  done
  # Playback's header keeps its old word, "audio".
  for ((b = 0; b < blocks; b++)); do
    echo "${listed_headers[block_header[b]]#* } ${block_id[b]}"
  done | sed 's/^audio /render /' | sort >"$scratch/$name.ids"
  if [ "$#" -eq 2 ]; then
    cp "$scratch/json_both.ids" "$scratch/$name.expected_ids"
  else
    grep '^capture ' "$scratch/json_both.ids" >"$scratch/$name.expected_ids"
  fi
  expect_bytes "$name: endpoints against --json" "$scratch/$name.expected_ids" "$scratch/$name.ids"
}

# --formats against the same endpoints. Wine 8 takes every offer of the grid
# in shared mode; in exclusive mode it says "not allowed" to a playback
# endpoint's first offer and refuses every offer to a recording endpoint.
# None of it is an error.
run_windows formats "$exe" --formats --json --render --capture
expect_equal "formats: exit status" 0 "$status"
to_lf formats
while IFS= read -r problem; do
  fail "formats: $problem"
done < <(python3 - "$scratch/formats.txt" "$scratch/json_both.ids" <<'EOF'
import json, sys

try:
    endpoints = json.load(open(sys.argv[1], encoding="utf-8"))["endpoints"]
except ValueError as error:  # a probe message would end up here
    sys.exit(print(f"not a JSON document: {error}"))
layouts = [("Mono", 1, 4), ("Stereo", 2, 3), ("Quadraphonic", 4, 0x33), ("Surround 5.1 (Side)", 6, 0x60F),
           ("Surround 5.1 (Back)", 6, 0x3F), ("Surround 7.1", 8, 0x63F)]
rates = [8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000]
grid = [{"layout": name, "channels": channels, "channel_mask": mask, "sample_type": sample_type,
         "sample_rates": rates}
        for name, channels, mask in layouts for sample_type in ["pcm16", "pcm24", "pcm24in32", "pcm32", "float32"]]
for e in endpoints:
    want = {"shared": grid, "exclusive_allowed": e["flow"] == "capture", "exclusive": []}
    # Only Wine's own two failures of check_json: no IsFormatSupported or Activate of the grid's client.
    if list(e)[-2:] != ["formats", "errors"] or e["formats"] != want or len(e["errors"]) != 2:
        print(f"{e['flow']} endpoint '{e['description']}': {json.dumps(e)[-400:]}")
if len(endpoints) != len(open(sys.argv[2]).readlines()):
    print(f"{len(endpoints)} endpoints, not those of --json --render --capture")
EOF
)

render_count=$(grep -c '^render ' "$scratch/json_both.ids")
capture_count=$(grep -c '^capture ' "$scratch/json_both.ids")

run_windows capture "$exe" --capture
check_text capture "$capture_count capture"

run_windows both "$exe" --render --capture
check_text both "$render_count audio" "$capture_count capture"

# --details and --name: one sink, chosen by part of its name in another
# letter case, with the lines the details add as Wine fills them.
run_windows details "$exe" --details --no-pause --name "opt SURR"
expect_equal "details: exit status" 0 "$status"
to_lf details
surround_id=$(python3 -c 'import json, sys
print(next(e["id"] for e in json.load(open(sys.argv[1]))["endpoints"] if e["description"] == "Opt Surround"))' \
  "$scratch/json.txt")
printf '%s\n' "====== Found 1 audio devices ======" "===== Device =====" \
  "Device ID          : $surround_id" "Device name        : Opt Surround" "Adapter name       : Opt Surround" \
  "Device description : Opt Surround" "Device state       : Active" "Current format     : Mono" \
  "Form factor        : Speakers" "Device format      : 44100 Hz, 32 bits, 6 channels, float" \
  "Speakers           : Front Left, Front Right, Front Center, Low Frequency, Side Left, Side Right" \
  "Container ID       : Unknown" "Volume             : 100 % (0.0 dB)" "Peak               : Unknown" \
  "Default for        : none" "" \
  >"$scratch/details.expected"
expect_bytes "details: output" "$scratch/details.expected" "$scratch/details.txt"

# --sessions under Wine: its session enumerator is a stub (E_NOTIMPL), so
# every endpoint's sessions are unknown, and the document says which call
# failed; everything else is as without the option.
run_windows sessions "$exe" --sessions --no-pause --name "opt SURR"
expect_equal "sessions: exit status" 0 "$status"
to_lf sessions
sed '/^Form factor/,$d' "$scratch/details.expected" >"$scratch/sessions.expected"
printf '%s\n' "Session            : unknown (GetSessionEnumerator [0x80004001])" "" >>"$scratch/sessions.expected"
expect_bytes "sessions: output" "$scratch/sessions.expected" "$scratch/sessions.txt"
run_windows sessions_json "$exe" --sessions --json --capture --render
expect_equal "sessions_json: exit status" 0 "$status"
to_lf sessions_json
while IFS= read -r problem; do
  fail "sessions_json: $problem"
done < <(python3 - "$scratch/sessions_json.txt" "$scratch/json_both.txt" <<'EOF'
import json, sys

endpoints = json.load(open(sys.argv[1], encoding="utf-8"))["endpoints"]
without = json.load(open(sys.argv[2], encoding="utf-8"))["endpoints"]
unread = {"call": "GetSessionEnumerator", "code": "0x80004001"}
for e, plain in zip(endpoints, without):
    if list(e)[-2:] != ["sessions", "errors"] or e["sessions"] is not None or e["errors"][-1] != unread:
        print(f"{e['flow']} endpoint '{e['description']}': {json.dumps(e)[-300:]}")
    e.pop("sessions")
    e["errors"].pop()
    # Only what --sessions adds is compared: on a loaded machine Wine can
    # report a monitor source's form factor differently from one run to the next.
    if (e["flow"], e["id"], list(e)) != (plain["flow"], plain["id"], list(plain)):
        print(f"{e['flow']} endpoint '{e['description']}' is not the one --json --render --capture lists there")
if len(endpoints) != len(without):
    print(f"{len(endpoints)} endpoints, not the {len(without)} of --json --render --capture")
EOF
)

# --brief of both flows: a header per flow, then one line per endpoint of
# the document, in its order: the default marks, state, flow and name in
# columns, the identifier last.
run_windows brief "$exe" --brief --render --capture --no-pause
expect_equal "brief: exit status" 0 "$status"
to_lf brief
while IFS= read -r problem; do
  fail "brief: $problem"
done < <(python3 - "$scratch/brief.txt" "$scratch/json_both.txt" <<'EOF'
import json, sys

lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
endpoints = json.load(open(sys.argv[2], encoding="utf-8"))["endpoints"]
width = max(len(e["friendly_name"]) for e in endpoints)
want = []
for flow, word in (("render", "audio"), ("capture", "capture")):
    listed = [e for e in endpoints if e["flow"] == flow]
    want.append(f"====== Found {len(listed)} {word} devices ======")
    for e in listed:
        marks = "".join(m if r in e["default_for"] else "-"
                        for m, r in zip("CMK", ("console", "multimedia", "communications")))
        want.append(f"{marks}  active  {flow:7}  {e['friendly_name']:{width}}  {e['id']}")
if lines != want:
    print(f"lines {lines}, want {want}")
EOF
)

# The listing of old, twice: with and without the pause. Both run after the
# endpoints are in Wine's registry, so Wine lists them in the same order.
run_windows default "$exe"
expect_equal "default: exit status" 0 "$status"
run_windows no_pause "$exe" --no-pause
expect_equal "no_pause: exit status" 0 "$status"
expect_equal "default: ends with the pause prompt" "$pause_prompt" "$(tail -c "${#pause_prompt}" "$scratch/default.out")"
head -c "-${#pause_prompt}" "$scratch/default.out" >"$scratch/no_pause.expected"
expect_bytes "no_pause: output" "$scratch/no_pause.expected" "$scratch/no_pause.out"

usage=$'==== Help ====\r\nUsage:\r\n    trelmo [Active|Disabled|Unplugged|Not-Present]\r\n'

# check_words NAME STATUS ARGS...: the output is $scratch/NAME.expected to the
# byte, and the status STATUS.
check_words() {
  local name=$1 want_status=$2
  shift 2
  run_windows "$name" "$exe" "$@"
  expect_equal "$name: exit status" "$want_status" "$status"
  expect_bytes "$name: output" "$scratch/$name.expected" "$scratch/$name.out"
}

{
  printf '%s\r\n' "$usage"
  printf '%s\r\n' \
    "    --json          one JSON document instead of the listing, without the pause" \
    "    --no-pause      the listing without the pause at its end" \
    "    --capture       list recording endpoints instead of playback ones" \
    "    --render        list playback endpoints (the default); with --capture, both" \
    "    --details       add form factor, device format, speakers, container," \
    "                    volume, peak and the roles it is the default for" \
    "    --brief         one line per endpoint: default marks, state, flow (when" \
    "                    both are listed), name and identifier" \
    "    --id ID         only the endpoint with this identifier; may be given again" \
    "    --name TEXT     only endpoints whose name contains TEXT; may be given again" \
    "    --default ROLE  only the default for console, multimedia or communications" \
    "    --app TEXT      only sessions of programs whose name contains TEXT;" \
    "                    status 1 when a listing finds none" \
    "    --formats       add the formats each endpoint takes, shared and exclusive" \
    "    --sessions      add the programs playing or recording on each endpoint" \
    "    --watch         print endpoint changes as they happen, until stopped" \
    "    --events N      with --watch: stop after N changes" \
    "    --timeout SECS  with --watch: stop after SECS seconds; status 1 when" \
    "                    --events N were not reached by then" \
    "    --set-default ROLE" \
    "                    make the chosen endpoint the default for ROLE, or all" \
    "    --cycle-default ROLE" \
    "                    make the next chosen endpoint the default for ROLE" \
    "    --set-volume LEVEL" \
    "                    set the volume of what is chosen: N%, +N%, -N% or NdB" \
    "    --enable        enable the chosen endpoints" \
    "    --disable       disable the chosen endpoints" \
    "    --set-format RATE[/BITS]" \
    "                    set the default format of the chosen endpoints" \
    "    --mute          mute the chosen endpoints or sessions" \
    "    --unmute        unmute the chosen endpoints or sessions" \
    "    --toggle-mute   mute the chosen endpoints or sessions, or unmute them" \
    "    --save FILE     write every endpoint's settings to FILE, as --json does" \
    "    --restore FILE  change what differs from the settings saved in FILE" \
    "    --dry-run       with a change: say what it would change, change nothing" \
    "    --quiet         trelmow.exe shows no message box when something fails" \
    "    --help, -h, /?  this help" \
    "    --version       the version of trelmo" \
    "" \
    "Status: 0 done; 1 nothing chosen (or, with --app, no program found), or a" \
    "change refused; 2 a word not understood; -1 a platform call failed."
} >"$scratch/help.expected"
check_words help 0 --help
printf 'trelmo %s\r\n' "$version" >"$scratch/version.expected"
check_words version 0 --Version
# An unknown option is refused before any other option is acted on.
printf '%s' "$usage" >"$scratch/bogus.expected"
check_words bogus 2 --json --bogus
# Why, on standard error, among Wine's own lines.
grep -qx $'trelmo: "--bogus" is not a state word or an option (see trelmo --help)\r' "$scratch/bogus.err" ||
  fail "bogus: no reason line"

# Changing under Wine 8: --default alone lists Wine's own endpoint, the
# default for every role; the volume control keeps a level set in dB and a
# mute in the object that set them, which is where trelmo reads them back;
# its scalar setter and the policy-configuration class are not there.
run_windows default_console "$exe" --default console --no-pause
expect_equal "default_console: exit status" 0 "$status"
to_lf default_console
expect_equal "default_console: listing" $'====== Found 1 audio devices ======\n===== Device =====' \
  "$(head -n 2 "$scratch/default_console.txt")"
expect_equal "default_console: name" "Device name        : PulseAudio" "$(sed -n 4p "$scratch/default_console.txt")"
run_windows change_json "$exe" --name "opt head" --set-volume -20dB --mute --json
expect_equal "change_json: exit status" 0 "$status"
to_lf change_json
python3 - "$scratch/change_json.txt" <<'EOF' || fail "change_json: $(cat "$scratch/change_json.txt")"
import json, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
changes = [(c["friendly_name"], c["what"], c["unit"], c["before"], c["after"]) for c in document["changes"]]
sys.exit(changes != [("Opt Headset", "volume", "db", 0.0, -20.0), ("Opt Headset", "mute", None, False, True)]
         or document["errors"] != [])
EOF
# check_refused NAME STATUS MESSAGE ARGS...: nothing on standard output, the
# status, and the message on standard error among Wine's own lines.
check_refused() {
  local name=$1 want_status=$2 message=$3
  shift 3
  : >"$scratch/$name.expected"
  check_words "$name" "$want_status" "$@"
  grep -qxF "$message"$'\r' "$scratch/$name.err" || fail "$name: no line '$message' on standard error"
}
check_refused set_default 255 "Couldn't set the default endpoint: [0x80040154]" --name "opt head" --set-default all
check_refused set_scalar 255 "Couldn't set volume: [0x80004001]" --name "opt head" --set-volume 50%
# Wine 8 has no policy-configuration class and no disabled endpoint: disabling
# and setting the format say so; enabling an endpoint that is enabled calls
# nothing, and neither does a dry run.
check_refused disable 255 "Couldn't disable the endpoint: [0x80040154]" --name "opt head" --disable
check_refused set_format 255 "Couldn't set the format: [0x80040154]" --name "opt head" --set-format 48000/16
printf 'Opt Headset: already enabled\r\n' >"$scratch/enable.expected"
check_words enable 0 --name "opt head" --enable
printf 'Opt Headset: already enabled\r\nWould set Opt Headset: volume 0.0 dB -> -3.0 dB\r\n' >"$scratch/dry_run.expected"
check_words dry_run 0 --name "opt head" --enable --set-volume -3dB --dry-run
# A setup saved and restored at once has nothing to change; one whose level
# in dB was edited has it put back, read back through the control that set it.
setup="Z:$scratch/setup.json"
: >"$scratch/save.expected"
check_words save 0 --save "$setup"
printf 'Nothing to change.\r\n' >"$scratch/restore_same.expected"
check_words restore_same 0 --restore "$setup"
python3 - "$scratch/setup.json" "$scratch/edited.json" <<'EOF' || fail "save: no Opt Headset in $(cat "$scratch/setup.json")"
import json, sys
document = json.load(open(sys.argv[1], encoding="ascii"))
headset = next(e for e in document["endpoints"] if e["friendly_name"] == "Opt Headset")
headset["volume"]["level_db"] = -12.5
json.dump(document, open(sys.argv[2], "w"))
EOF
printf 'Opt Headset: volume 0.0 dB -> -12.5 dB\r\n' >"$scratch/restore_edited.expected"
check_words restore_edited 0 --restore "Z:$scratch/edited.json" --name "opt head"
printf '%s' "$usage" >"$scratch/unchosen.expected"
check_words unchosen 2 --set-volume 50

# trelmow.exe, the same failing change from a hotkey: Wine gives a program of
# the Windows subsystem the terminal it was started from, where it writes
# nothing, on either stream; redirected, it writes what trelmo.exe does. Its
# message box (a unit test replaces it) returns at once under Wine without a
# display, so the run without --quiet ends too.
if [ -n "$windowed_exe" ]; then
  /usr/bin/python3 "$e2e_dir/pty_run.py" --timeout 60 "$scratch/windowed_tty.raw" "$scratch/windowed_tty.txt" -- \
    "$wine_run" "$windowed_exe" --name "opt head" --set-volume 50% --quiet
  expect_equal "windowed on a terminal: exit status" 255 "$?"
  [ ! -s "$scratch/windowed_tty.raw" ] || fail "windowed on a terminal: wrote $(od -c "$scratch/windowed_tty.raw")"
  run_windows windowed "$windowed_exe" --name "opt head" --set-volume 50%
  expect_equal "windowed: exit status" 255 "$status"
  cat "$scratch/windowed.out" "$scratch/windowed.err" >"$scratch/windowed.both"
  grep -q "Couldn't set volume: \[0x80004001\]" "$scratch/windowed.both" || fail "windowed: no reason written"
fi

# --watch as text, with nothing changing: a present line per active render
# endpoint, then the deadline ends it with status 0.
run_windows watch_text "$exe" --watch --timeout 2
expect_equal "watch_text: exit status" 0 "$status"
to_lf watch_text
sed -n 's/^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9]\{3\}  present   render   Active  .* \({0\.0\.0\.[0-9]*}\.{[0-9A-F-]*}\)$/render \1/p' \
  "$scratch/watch_text.txt" | sort >"$scratch/watch_text.ids"
grep '^render ' "$scratch/json_both.ids" >"$scratch/watch_text.expected_ids"
expect_bytes "watch_text: present lines" "$scratch/watch_text.expected_ids" "$scratch/watch_text.ids"
expect_equal "watch_text: lines" "$render_count" "$(wc -l <"$scratch/watch_text.txt")"

# --watch --details --sessions under Wine 8: its volume control takes the
# callback (S_OK) and its session manager has neither an enumerator nor
# notifications (E_NOTIMPL). Each render endpoint's present line carries its
# level and mute, then come the two failures as error events, and the
# deadline still ends the watch with status 0, its registrations undone.
run_windows watch_sessions "$exe" --watch --json --details --sessions --timeout 2
expect_equal "watch_sessions: exit status" 0 "$status"
to_lf watch_sessions
while IFS= read -r problem; do
  fail "watch_sessions: $problem"
done < <(python3 - "$scratch/watch_sessions.txt" "$scratch/watch_text.expected_ids" <<'EOF'
import json, sys

events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
render = sorted(line.split()[1] for line in open(sys.argv[2]))
seen = []
for start in range(0, len(events), 3):
    present, *errors = events[start:start + 3]
    if present["event"] != "present" or not 0 <= present["level"] <= 1 or present["muted"] not in (True, False):
        print(f"present line {present}")
    seen.append(present["id"])
    want = [(present["id"], "error", call, "0x80004001") for call in ("GetSessionEnumerator", "RegisterSessionNotification")]
    if [(e["id"], e["event"], e["call"], e["code"]) for e in errors] != want:
        print(f"errors after {present['id']}: {errors}")
if sorted(seen) != render:
    print(f"endpoints {seen}, want {render}")
EOF
)

# --watch --json while another process sets the default playback endpoint as
# winecfg does: Wine 8 reads DefaultOutput, the endpoint's identifier, from
# its driver's key and tells the console and multimedia roles. Its thread
# reads the starting values once it runs: the change comes a second after
# the present lines.
speakers_id=$(python3 -c 'import json, sys
print(next(e["id"] for e in json.load(open(sys.argv[1]))["endpoints"] if e["description"] == "Opt Speakers"))' \
  "$scratch/json.out")
timeout 60 "$wine_run" "$exe" --watch --json --events 2 --timeout 20 </dev/null >"$scratch/watch.out" \
  2>"$scratch/watch.err" &
watch_pid=$!
for _ in $(seq 300); do
  [ "$(grep -c present "$scratch/watch.out")" -lt "$render_count" ] || break
  sleep 0.1
done
sleep 1
drivers='HKCU\Software\Wine\Drivers\winepulse.drv'
# The prefix outlives the test: the value goes again even if the test is cut short.
trap '"$wine_run" reg delete "$drivers" /v DefaultOutput /f >/dev/null 2>&1; cleanup' EXIT
"$wine_run" reg add "$drivers" /v DefaultOutput /d "$speakers_id" /f >/dev/null 2>&1 || fail "watch: reg add"
wait "$watch_pid"
status=$?
"$wine_run" reg delete "$drivers" /v DefaultOutput /f >/dev/null 2>&1 || fail "watch: reg delete"
trap cleanup EXIT
expect_equal "watch: exit status" 0 "$status"
to_lf watch
while IFS= read -r problem; do
  fail "watch: $problem"
done < <(python3 - "$scratch/watch.txt" "$scratch/watch_text.expected_ids" "$speakers_id" <<'EOF'
import json, re, sys

events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
render = sorted(line.split()[1] for line in open(sys.argv[2]))
if [e for e in events if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", e.pop("time", ""))]:
    print("a time that is not UTC with milliseconds")
present = events[:len(render)]
if sorted(e["id"] for e in present) != render or {(e["event"], e["flow"], e["state"]) for e in present} != {
        ("present", "render", "active")}:
    print(f"present lines {present}")
want = [{"event": "default", "flow": "render", "id": sys.argv[3], "friendly_name": "Opt Speakers", "role": role}
        for role in ("console", "multimedia")]
if sorted(events[len(render):], key=lambda e: e.get("role", "")) != want:
    print(f"changes {events[len(render):]}, want {want}")
EOF
)

finish
