#!/bin/bash
# Soak benchmark: one Velorin service under steady load for a long time, cut
# off from the machine like listeners-isolated.sh (tests/isolate; live input
# 1 is the test sound card playing 440 Hz).
#
#   bench/soak.sh [--minutes 30] [--listeners 2000] [--churn 50]
#
#   - `--listeners` steady listeners (bench/listeners, checking every byte
#     run for whole MP3 frames and stalls) for the whole run;
#   - `--churn` connects and as many hang-ups per second on top (listeners
#     that stay about one second);
#   - the encoders killed (SIGKILL) every 5 minutes;
#   - a settings restart (control code 1 over the control socket) every
#     10 minutes.
# Prints the service's resident memory, descriptors and threads once a
# minute, then the steady listeners' verdict: resident memory and
# descriptors should come back to their first-minute level and no steady
# listener should be cut.  BUILD names the build folder (default build-rel).
set -euo pipefail
root=$(dirname "$(dirname "$(readlink -f "$0")")")
build=$(readlink -f "${BUILD:-$root/build-rel}")
minutes=30 listeners=2000 churn=50
while (($#)); do
  case $1 in
    --minutes) minutes=$2; shift ;;
    --listeners) listeners=$2; shift ;;
    --churn) churn=$2; shift ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
  shift
done

if [[ -z ${VELORIN_SOAK_ISOLATED:-} ]]; then
  cmake --build "$build" -j2 --target velorin lyrenc listeners velorin_testalsa_pcm velorin_testalsa_ctl >/dev/null
  exec "$root/tests/isolate" "$build" env VELORIN_SOAK_ISOLATED=1 \
    ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$build/tests/alsa/velorintest.conf" \
    VELORIN_TESTPCM_CARD0=sine:440 BUILD="$build" bash "$0" --minutes "$minutes" --listeners "$listeners" \
    --churn "$churn"
fi

note() { echo "soak.sh: $*" >&2; }
port=1085
url="http://127.0.0.1:$port/velorin.mp3?src=1&kbps=56"
work=$(mktemp -d /tmp/velorin-soak.XXXXXX)
pids=()
vpid=""
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [[ -n $vpid ]] && kill "$vpid" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM
ulimit -n "$(ulimit -Hn)"

"$build/velorin" -service >"$work/velorin.log" 2>&1
for _ in $(seq 50); do
  vpid=$(ss -Hltnp "sport = :$port" | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2) || true
  [[ -n $vpid ]] && break
  sleep 0.2
done
[[ -n $vpid ]] || { note "velorin does not listen on $port"; exit 1; }
sleep 3

# The encoders are the service's children (or the shells' it started).
kill_encoders() {
  local child grandchild
  for child in $(ps -o pid= --ppid "$vpid"); do
    [[ $(cat "/proc/$child/comm" 2>/dev/null) == lyrenc ]] && kill -9 "$child" 2>/dev/null
    for grandchild in $(ps -o pid= --ppid "$child"); do
      [[ $(cat "/proc/$grandchild/comm" 2>/dev/null) == lyrenc ]] && kill -9 "$grandchild" 2>/dev/null
    done
  done
  return 0
}

# A settings restart as the desktop asks for it: a control request, code 1.
restart_settings() {
  local pipe
  pipe=$(find /opt/ostrel -name .spipe.velorind 2>/dev/null | head -1)
  [[ -n $pipe ]] || { note "no control socket"; return 0; }
  python3 -c 'import socket, struct, sys
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1])
s.sendall(struct.pack("<HHIII", 0x1234, 1, 1, 0, 1)); s.close()' "$pipe"
}

# Churn: every second `churn` new listeners, each hanging up after a second.
python3 -c 'import socket, sys, time
port, per_second = int(sys.argv[1]), int(sys.argv[2])
request = b"GET /velorin.mp3?src=1&kbps=56 HTTP/1.1\r\nHost: soak\r\n\r\n"
previous = []
while True:
    started = time.monotonic()
    current = []
    for _ in range(per_second):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=2)
            s.sendall(request)
            current.append(s)
        except OSError:
            pass
    for s in previous:
        s.close()
    previous = current
    time.sleep(max(0, 1 - (time.monotonic() - started)))' "$port" "$churn" &
pids+=($!)

"$build/bench/listeners" --url "$url" -n "$listeners" --rate 500 --duration $((minutes * 60)) \
  --pid "$vpid" --label velorin >"$work/listeners.txt" &
client=$!
pids+=("$client")

echo "minute rss_kib descriptors threads"
for ((minute = 1; minute <= minutes; ++minute)); do
  sleep 60
  echo "$minute $(awk '/^VmRSS/ { print $2 }' "/proc/$vpid/status") $(ls "/proc/$vpid/fd" | wc -l)" \
    "$(ls "/proc/$vpid/task" | wc -l)"
  ((minute % 5 == 0)) && kill_encoders
  ((minute % 10 == 0)) && restart_settings
done
wait "$client" || true
cat "$work/listeners.txt"
grep -c "ended (status" "$(find /opt/ostrel -name '*Velorin Log.txt' | head -1)" |
  sed 's/^/encoder deaths logged: /' || true
