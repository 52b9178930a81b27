# Shared by the end-to-end tests: a private scratch directory per test, a
# private PulseAudio server on demand, running Windows programs under Wine and
# comparing what they print. Sourced, not run.
#
# Every test gets its own XDG_RUNTIME_DIR and HOME, so tests can run in
# parallel and none of them can reach a sound server of the machine. They all
# share the one Wine prefix that scripts/wine-run picks.
#
# The results of the helpers are variables that only the tests read:
# shellcheck disable=SC2034

set -uo pipefail

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$e2e_dir/../.." && pwd)
wine_run="$repo_dir/scripts/wine-run"
pulse_server="$repo_dir/scripts/pulse-server"

# Wine takes the Windows code page from the Unix locale, and Wine's sound
# driver decodes sink descriptions with the Unix locale's character set: only a
# UTF-8 locale passes them through intact. C.UTF-8 is built into glibc, so it
# exists on every machine, and Wine maps it to English (code page 1252).
export LC_ALL=C.UTF-8
unset LANG LANGUAGE PULSE_SERVER PULSE_SINK PULSE_COOKIE PULSE_CLIENTCONFIG \
      PULSE_RUNTIME_PATH PULSE_STATE_PATH PULSE_CONFIG_PATH XDG_CONFIG_HOME \
      DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY

failures=0
scratch=$(mktemp -d "${TMPDIR:-/tmp}/trelmo-e2e.XXXXXX")
pulse_started=0

cleanup() {
  if [ "$pulse_started" = 1 ]; then
    "$pulse_server" stop "$scratch/pulse" || true
  fi
  # TRELMO_E2E_KEEP=1 keeps a failed test's files (Wine's stderr included).
  if [ "$failures" -ne 0 ] && [ -n "${TRELMO_E2E_KEEP:-}" ]; then
    echo "kept $scratch" >&2
  else
    rm -rf "$scratch"
  fi
}
trap cleanup EXIT

mkdir -p "$scratch/runtime" "$scratch/home/.config/pulse"
chmod 700 "$scratch/runtime" "$scratch/home"
# No sound server may be started on our behalf when none is running.
printf 'autospawn = no\n' >"$scratch/home/.config/pulse/client.conf"
export XDG_RUNTIME_DIR="$scratch/runtime" HOME="$scratch/home"

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the test; its status is what ctest reads. A failed test shows what the
# programs printed, since the scratch directory goes with it.
finish() {
  local out
  if [ "$failures" -ne 0 ]; then
    for out in "$scratch"/*.out; do
      [ -f "$out" ] || continue
      echo "--- stdout of $(basename "$out" .out), first and last lines:" >&2
      LC_ALL=C tr -d '\r' <"$out" | cat -v | sed -n '1,30p' >&2
      echo "[...]" >&2
      LC_ALL=C tr -d '\r' <"$out" | cat -v | tail -n 12 >&2
      echo >&2
    done
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# start_pulse SINK...: a private server with the given null sinks (see
# scripts/pulse-server for the SINK syntax); Wine run after it will use it.
start_pulse() {
  "$pulse_server" start "$scratch/pulse" "$@" >/dev/null || {
    echo "FAIL: could not start a private PulseAudio server" >&2
    exit 1
  }
  pulse_started=1
  export XDG_RUNTIME_DIR="$scratch/pulse/runtime" HOME="$scratch/pulse/home"
}

# run_windows NAME PROGRAM ARGS...: runs PROGRAM under Wine with stdin from
# /dev/null; leaves its stdout in $scratch/NAME.out, its stderr (Wine's and the
# sound libraries' noise) in $scratch/NAME.err and its exit status in $status.
# A program that hangs (for example in Wine's crash debugger) is cut off.
run_windows() {
  local name=$1
  shift
  timeout 60 "$wine_run" "$@" </dev/null >"$scratch/$name.out" 2>"$scratch/$name.err"
  status=$?
  if [ "$status" -eq 124 ]; then
    fail "$name: $* did not finish within 60 s"
  fi
}

# to_lf NAME: checks that every line of $scratch/NAME.out ends in CRLF, as the
# C runtime's text mode writes them, and leaves the text with plain LF line ends
# in $scratch/NAME.txt.
to_lf() {
  local name=$1 lines crlf
  lines=$(wc -l <"$scratch/$name.out")
  crlf=$(LC_ALL=C grep -ac $'\r$' "$scratch/$name.out")
  if [ "$lines" -ne "$crlf" ]; then
    fail "$name: $lines lines, but $crlf of them end in CRLF"
  fi
  LC_ALL=C tr -d '\r' <"$scratch/$name.out" >"$scratch/$name.txt"
}

# expect_bytes WHAT EXPECTED_FILE ACTUAL_FILE: byte-for-byte comparison that
# shows both sides in hex when they differ.
expect_bytes() {
  local what=$1 expected=$2 actual=$3
  if ! cmp -s "$expected" "$actual"; then
    fail "$what differs"
    echo "  expected:" >&2
    od -An -c "$expected" | head -n 40 >&2
    echo "  actual:" >&2
    od -An -c "$actual" | head -n 40 >&2
  fi
}

expect_equal() {
  local what=$1 expected=$2 actual=$3
  if [ "$expected" != "$actual" ]; then
    fail "$what: expected '$expected', got '$actual'"
  fi
}

# The pause prompt of Wine's command interpreter when stdin is at its end.
pause_prompt='Press any key to continue... '

# parse_listing NAME: reads the listing in $scratch/NAME.txt (see to_lf) and
# checks its frame: the header line, then per endpoint any probe messages and a
# seven-line block with an empty line after it, then the pause prompt. A
# listing of both flows has a second header (of capture devices) after the
# first one's blocks. Sets
#   listed_count   the count in the first header line
#   listed_headers the headers, each as "COUNT audio" or "COUNT capture"
#   block_header[i]  the index in listed_headers of the header block i is under
#   blocks         how many blocks there are
#   block_id[i] block_name[i] block_adapter[i] block_description[i]
#   block_state[i] block_format[i]   the values of block i
#   block_messages[i]                the probe messages before block i, each
#                                    followed by '|'
#   block_line[i]                    the line number where block i starts
parse_listing() {
  local name=$1 i=1 last line
  local -a lines
  local header='^====== Found (0|[1-9][0-9]*) (audio|capture) devices ======$'
  listed_count=-1
  listed_headers=()
  blocks=0
  block_id=() block_name=() block_adapter=() block_description=()
  block_state=() block_format=() block_messages=() block_line=() block_header=()
  mapfile -t lines <"$scratch/$name.txt"
  if [[ ! "${lines[0]:-}" =~ $header ]]; then
    fail "$name: bad header line '${lines[0]:-}'"
    return
  fi
  listed_count=${BASH_REMATCH[1]}
  listed_headers=("${BASH_REMATCH[1]} ${BASH_REMATCH[2]}")
  last=$((${#lines[@]} - 1))
  expect_equal "$name: last line" "$pause_prompt" "${lines[last]}"

  local messages="" labels=("Device ID          : " "Device name        : "
    "Adapter name       : " "Device description : " "Device state       : "
    "Current format     : ") values k
  while [ "$i" -lt "$last" ]; do
    line=${lines[i]}
    case "$line" in
      "Couldn't activate Device: [0x"????????"]" | "Couldn't acquire Wave Format [0x"????????"]")
        messages+="$line|"
        i=$((i + 1))
        ;;
      "====== Found "*)
        if [[ ! "$line" =~ $header ]] || [ -n "$messages" ]; then
          fail "$name: bad header line $((i + 1)): '$line'"
          return
        fi
        listed_headers+=("${BASH_REMATCH[1]} ${BASH_REMATCH[2]}")
        i=$((i + 1))
        ;;
      "===== Device =====")
        if [ $((i + 7)) -gt "$last" ] || [ -n "${lines[i + 7]}" ]; then
          fail "$name: block at line $((i + 1)) is not seven lines and an empty one"
          return
        fi
        values=()
        for k in 0 1 2 3 4 5; do
          line=${lines[i + 1 + k]}
          if [ "${line#"${labels[k]}"}" = "$line" ]; then
            fail "$name: line $((i + 2 + k)) is '$line', expected it to start with '${labels[k]}'"
            return
          fi
          values+=("${line#"${labels[k]}"}")
        done
        block_id+=("${values[0]}")
        block_name+=("${values[1]}")
        block_adapter+=("${values[2]}")
        block_description+=("${values[3]}")
        block_state+=("${values[4]}")
        block_format+=("${values[5]}")
        block_messages+=("$messages")
        block_line+=($((i + 1)))
        block_header+=($((${#listed_headers[@]} - 1)))
        messages=""
        blocks=$((blocks + 1))
        i=$((i + 8))
        ;;
      *)
        fail "$name: unexpected line $((i + 1)): '$line'"
        return
        ;;
    esac
  done
  [ -z "$messages" ] || fail "$name: probe messages with no block after them: $messages"
}

layout_names=("Mono" "Stereo" "Quadraphonic" "Surround 5.1 (Side)" "Surround 5.1 (Back)" "Surround 7.1")

# ask_oracle ORACLE_EXE: asks the audio service, through the layout oracle,
# which layouts each render endpoint accepts. Sets
#   oracle_active           how many endpoints are active
#   oracle_state[id]        the endpoint's state as trelmo names it
#   expected_format[id]     the first accepted layout's name, or Unknown
#   expected_messages[id]   the probe messages due before that endpoint's block
#   oracle_mix[id]          the endpoint's mix format, for failure reports
ask_oracle() {
  local id state codes mix r code
  local -a code_list
  oracle_active=0
  declare -gA expected_format=() expected_messages=() oracle_mix=() oracle_state=()
  run_windows oracle "$1"
  if [ "$status" -ne 0 ]; then
    fail "layout oracle exited with $status: $(grep -v -e fixme -e winediag -e systray "$scratch/oracle.err" | tail -n 3)"
    return
  fi
  while IFS=$'\t' read -r id state codes; do
    id=${id%$'\r'}
    codes=${codes%$'\r'}
    IFS=$'\t' read -r -a code_list <<<"$codes"
    mix=${code_list[6]:-}
    expected_format[$id]=Unknown
    expected_messages[$id]=""
    oracle_mix[$id]=$mix
    case "$state" in
      1) oracle_state[$id]=Active; oracle_active=$((oracle_active + 1)) ;;
      2) oracle_state[$id]=Disabled ;;
      4) oracle_state[$id]="Not present" ;;
      8) oracle_state[$id]=Unplugged ;;
      *) oracle_state[$id]=Unknown ;;
    esac
    for r in 0 1 2 3 4 5; do
      code=${code_list[r]:-missing}
      case "$code" in
        00000000) expected_format[$id]=${layout_names[r]}; break ;;
        act:*) expected_messages[$id]+="Couldn't activate Device: [0x${code#act:}]|" ;;
        mix:*) expected_messages[$id]+="Couldn't acquire Wave Format [0x${code#mix:}]|" ;;
      esac
    done
  done <"$scratch/oracle.out"
}
