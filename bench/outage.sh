#!/usr/bin/env bash
# The room and a broker that goes away, measured on the real program (Release build,
# offscreen, SDL dummy audio, private mosquitto on 127.0.0.1). Not part of CI or the test
# suite. Prints a Markdown section (bench/RESULTS.md has the last one). See bench/README.md.
#
#   restarts:  the broker is killed and started again CYCLES times (down DOWN_MIN_MS to
#              DOWN_MAX_MS, uniform); time back = broker accepting again -> the program's new
#              subscription in the broker's log; a command is then published and must run.
#   blackhole: the program talks to the broker through bench/blackhole_relay.py, which
#              OUTAGES times resets the connection and drops every new SYN for OUTAGE_S
#              seconds; the worst gap between the 100 ms GUI-thread trace ticks inside those
#              windows is the GUI thread's worst stall (minus the 100 ms period), and the time
#              back is measured from the relay's return.
#
# Environment (defaults): CYCLES=100 DOWN_MIN_MS=200 DOWN_MAX_MS=5000 OUTAGES=5 OUTAGE_S=20
#   PARTS="restarts blackhole"
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-bench
CYCLES=${CYCLES:-100}
DOWN_MIN_MS=${DOWN_MIN_MS:-200}
DOWN_MAX_MS=${DOWN_MAX_MS:-5000}
OUTAGES=${OUTAGES:-5}
OUTAGE_S=${OUTAGE_S:-20}
PARTS=${PARTS:-"restarts blackhole"}

log() { echo "[outage $(date +%H:%M:%S)] $*" >&2; }
want() { [[ " $PARTS " == *" $1 "* ]]; }
now_ms() { date +%s%3N; }
mono_ns() { python3 -c 'import time; print(time.monotonic_ns())'; }
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVUVEDID_TESTS=OFF \
  -DVUVEDID_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target vuvedid bench_pub >/dev/null
PUB=$BUILD/bench/bench_pub

WORK=$(mktemp -d /tmp/vuvedid-outage.XXXXXX)
PIDS=()
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
log "work folder $WORK"

. "$ROOT/bench/broker.sh"
broker_started() { PIDS+=("$1"); }
subs() { grep -Ec " $2 [0-2] room/cmd\$" "$1/broker.log" 2>/dev/null || true; }
# start_app DIR NAME PORT: the program started unattended against 127.0.0.1:PORT.
start_app() {
  local dir=$1 name=$2 port=$3
  mkdir -p "$dir/app" "$dir/done"
  chmod 700 "$dir/app"
  cp "$BUILD/vuvedid" "$dir/app/vuvedid"
  printf '[MQTT]\nip=127.0.0.1\nport=%s\nlogin=%s\ntopic=room/cmd\nEtopicSend=room/state\nchbx_act=1\nreconnect=1\n[protokol]\nlog=1\n' \
    "$port" "$name" >"$dir/app/MQTT.ini"
  (cd "$dir/app" && exec env LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    XDG_RUNTIME_DIR="$dir/app" SPEECHD_ADDRESS=unix_socket:"$dir/app/no-speech" \
    VUVEDID_TRACE_FILE="$dir/trace.txt" ./vuvedid start >"$dir/out.txt" 2>&1) &
  APP_PID=$!
  PIDS+=("$APP_PID")
}
# wait_back DIR NAME BEFORE LIMIT_MS: ms until the broker has seen a new subscription, or -1.
wait_back() {
  local t0 limit
  t0=$(now_ms)
  limit=$((t0 + $4))
  while (($(now_ms) < limit)); do
    if (($(subs "$1" "$2") > $3)); then
      echo $(($(now_ms) - t0))
      return
    fi
    sleep 0.02
  done
  echo -1
}
# runs DIR PORT TAG: publishes a command and waits up to 5 s for its file.
runs() {
  "$PUB" "$2" room/cmd once "cmdstr:/usr/bin/touch $1/done/$3" >/dev/null || true
  for _ in $(seq 1 250); do
    [[ -e $1/done/$3 ]] && return 0
    sleep 0.02
  done
  return 1
}
# summary FILE: "median p90 max" of the numbers in FILE (ms -> s), or "- - -".
summary() {
  sort -n "$1" | awk '{ v[++k] = $1 } END {
    if (!k) { print "- - -"; exit }
    med = k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
    printf "%.2f %.2f %.2f\n", med / 1000, v[int(0.9 * (k - 1)) + 1] / 1000, v[k] / 1000 }'
}

echo "## Broker away: time back and GUI-thread stalls ($(date -u '+%Y-%m-%d %H:%M') UTC)"
echo
echo "\`bench/outage.sh\` with CYCLES=$CYCLES DOWN_MIN_MS=$DOWN_MIN_MS DOWN_MAX_MS=$DOWN_MAX_MS OUTAGES=$OUTAGES OUTAGE_S=$OUTAGE_S;"
echo "Release build, started with \`start\`, \`reconnect=1\`, heartbeat at its designed 20 s. Machine: $(nproc) cores, load average at the start $(cut -d' ' -f1-3 /proc/loadavg)."
echo

if want restarts; then
  D=$WORK/restarts
  mkdir -p "$D"
  port=$(free_port)
  start_broker "$D" "$port"
  start_app "$D" roomrs "$port"
  [[ $(wait_back "$D" roomrs 0 20000) -ge 0 ]] || log "restarts: program did not subscribe"
  : >"$D/back.txt"
  lost=0 miss=0
  for c in $(seq 1 "$CYCLES"); do
    before=$(subs "$D" roomrs)
    kill -KILL "$BROKER_PID" 2>/dev/null || true
    wait "$BROKER_PID" 2>/dev/null || true
    down=$((DOWN_MIN_MS + RANDOM * (DOWN_MAX_MS - DOWN_MIN_MS) / 32767))
    sleep "$(awk -v d="$down" 'BEGIN { printf "%.3f", d / 1000 }')"
    start_broker "$D" "$port"
    back=$(wait_back "$D" roomrs "$before" 30000)
    if ((back >= 0)); then echo "$back" >>"$D/back.txt"; else miss=$((miss + 1)); fi
    runs "$D" "$port" "c$c" || lost=$((lost + 1))
    ((c % 10 == 0)) && log "restarts: cycle $c, back $back ms"
  done
  read -r med p90 max < <(summary "$D/back.txt")
  p50_ok=$(awk -v m="$med" 'BEGIN { print (m != "-" && m <= 2) ? "met" : "missed" }')
  max_ok=$(awk -v m="$max" 'BEGIN { print (m != "-" && m <= 5) ? "met" : "missed" }')
  echo "### Broker killed and started again $CYCLES times"
  echo
  echo "| cycles | back p50 s | back p90 s | back max s | not back within 30 s | commands lost | boxes (stderr lines) |"
  echo "|---|---|---|---|---|---|---|"
  echo "| $CYCLES | $med | $p90 | $max | $miss | $lost | $(grep -c ' box \[' "$D/out.txt" || true) |"
  echo
  echo "Targets: p50 <= 2 s ($p50_ok), max <= 5 s ($max_ok)."
  echo
  kill "$APP_PID" "$BROKER_PID" 2>/dev/null || true
fi

if want blackhole; then
  D=$WORK/blackhole
  mkdir -p "$D"
  port=$(free_port)
  relay_port=$(free_port)
  start_broker "$D" "$port"
  python3 "$ROOT/bench/blackhole_relay.py" "$relay_port" "$port" &
  RELAY=$!
  PIDS+=("$RELAY")
  sleep 0.3
  start_app "$D" roombh "$relay_port"
  [[ $(wait_back "$D" roombh 0 20000) -ge 0 ]] || log "blackhole: program did not subscribe"
  : >"$D/windows.txt"
  : >"$D/back.txt"
  lost=0
  for o in $(seq 1 "$OUTAGES"); do
    sleep 2
    before=$(subs "$D" roombh)
    t0=$(mono_ns)
    kill -USR1 "$RELAY"
    sleep "$OUTAGE_S"
    kill -USR2 "$RELAY"
    t1=$(mono_ns)
    echo "$t0 $t1" >>"$D/windows.txt"
    back=$(wait_back "$D" roombh "$before" 60000)
    echo "$back" >>"$D/back.txt"
    runs "$D" "$port" "o$o" || lost=$((lost + 1))
    log "blackhole: outage $o, back $back ms"
  done
  # Worst gap between consecutive tick100 marks that fall inside an outage window.
  stall=$(awk 'NR == FNR { a[++n] = $1; b[n] = $2; next }
    $1 == "tick100" { t = $2; if (prev) for (i = 1; i <= n; i++)
        if (t > a[i] && prev < b[i] && t - prev > worst) worst = t - prev
      prev = t }
    END { printf "%.1f\n", (worst ? worst / 1e6 - 100 : -1) }' "$D/windows.txt" "$D/trace.txt")
  ticks=$(awk 'NR == FNR { a[++n] = $1; b[n] = $2; next } $1 == "tick100" {
      for (i = 1; i <= n; i++) if ($2 > a[i] && $2 < b[i]) k++ } END { print k + 0 }' \
    "$D/windows.txt" "$D/trace.txt")
  read -r med p90 max < <(summary "$D/back.txt")
  st_ok=$(awk -v s="$stall" 'BEGIN { print (s >= 0 && s <= 50) ? "met" : "missed" }')
  echo "### Broker host gone: connection reset, SYNs dropped, $OUTAGES outages of $OUTAGE_S s"
  echo
  echo "| outages | GUI ticks inside them | worst GUI stall ms (gap - 100) | back p50 s | back max s | commands lost |"
  echo "|---|---|---|---|---|---|"
  echo "| $OUTAGES | $ticks | $stall | $med | $max | $lost |"
  echo
  echo "Target: stall <= 50 ms ($st_ok). Back is from the relay's return: a connect under way"
  echo "when the host returns completes on the kernel's next SYN retry or is given up after"
  echo "3 s and tried again."
  echo
  kill "$APP_PID" "$BROKER_PID" "$RELAY" 2>/dev/null || true
fi
