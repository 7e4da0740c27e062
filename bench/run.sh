#!/usr/bin/env bash
# Builds a Release binary and the bench tools, starts a private mosquitto on 127.0.0.1 at a
# free port (and, for the side-by-side run, a private PulseAudio with a null sink), runs
# every benchmark and writes bench/RESULTS.md. See bench/README.md for what each figure is.
#
# Durations and repeats (environment):
#   FX_COUNT=200 FX_INTERVAL_MS=300 FX_REPEATS=2   effect triggers per run, runs per buffer size
#   FX_BUFFERS="256 512 1024"                     device buffer sizes of the effect latency runs
#   CMP_BUFFER=256                                   our device buffer in the side-by-side run
#   CMP_SERVER=pulse CMP_DRIVERS=pulseaudio          the side-by-side run's sound server (pulse:
#                                                    PulseAudio, pipewire: PipeWire with its pulse
#                                                    server) and the SDL drivers tried on it
#                                                    (pulseaudio, pipewire)
#   MUSIC_RUNS=50                                    play:room starts
#   BURST_COUNT=10000 BURST_REPEATS=3                commands per burst, bursts per QoS
#   IDLE_SECONDS=300 PLAY_SECONDS=120                the cost measurements
#   LOG_DAYS=30                                      the month of logs
#   UNDERRUN_SECONDS=600 UNDERRUN_BUFFERS="256 512 1024 2048"  music + four effects on a private
#                                                    PulseAudio null sink per buffer, quiet and
#                                                    under load (a parallel build on every core)
#   CREATE_TRIES=3                                   cold-cache stream creations per file size
#   APP_ENV="PULSE_LATENCY_MSEC=30"                  extra environment for this program in the
#                                                    side-by-side and dropout parts
#   ROOMS=50 ROOM_FX=20                              rooms on one broker, effects each must hear
#   PARTS="fx compare music burst cost logs underrun create rooms"  which benchmarks to run
#   RESULTS=bench/RESULTS.md                         where the report goes
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-bench
FX_COUNT=${FX_COUNT:-200}
FX_INTERVAL_MS=${FX_INTERVAL_MS:-300}
FX_REPEATS=${FX_REPEATS:-2}
CMP_BUFFER=${CMP_BUFFER:-256}
APP_ENV=${APP_ENV:-}
CMP_SERVER=${CMP_SERVER:-pulse}
CMP_DRIVERS=${CMP_DRIVERS:-pulseaudio}
MUSIC_RUNS=${MUSIC_RUNS:-50}
BURST_COUNT=${BURST_COUNT:-10000}
BURST_REPEATS=${BURST_REPEATS:-3}
IDLE_SECONDS=${IDLE_SECONDS:-300}
PLAY_SECONDS=${PLAY_SECONDS:-120}
LOG_DAYS=${LOG_DAYS:-30}
UNDERRUN_SECONDS=${UNDERRUN_SECONDS:-600}
UNDERRUN_BUFFERS=${UNDERRUN_BUFFERS:-"256 512 1024 2048"}
CREATE_TRIES=${CREATE_TRIES:-3}
ROOMS=${ROOMS:-50}
ROOM_FX=${ROOM_FX:-20}
PARTS=${PARTS:-"fx compare music burst cost logs underrun create rooms"}
RESULTS=${RESULTS:-$ROOT/bench/RESULTS.md}
COMMAND_LINE="$0 $*"
ENV_LINE="CMP_SERVER=$CMP_SERVER CMP_DRIVERS=\"$CMP_DRIVERS\" CMP_BUFFER=$CMP_BUFFER FX_COUNT=$FX_COUNT FX_INTERVAL_MS=$FX_INTERVAL_MS FX_REPEATS=$FX_REPEATS MUSIC_RUNS=$MUSIC_RUNS BURST_COUNT=$BURST_COUNT BURST_REPEATS=$BURST_REPEATS IDLE_SECONDS=$IDLE_SECONDS PLAY_SECONDS=$PLAY_SECONDS LOG_DAYS=$LOG_DAYS UNDERRUN_SECONDS=$UNDERRUN_SECONDS UNDERRUN_BUFFERS=\"$UNDERRUN_BUFFERS\" CREATE_TRIES=$CREATE_TRIES ROOMS=$ROOMS ROOM_FX=$ROOM_FX PARTS=\"$PARTS\""

log() { echo "[bench $(date +%H:%M:%S)] $*" >&2; }
want() { [[ " $PARTS " == *" $1 "* ]]; }

# ---- Tools ---------------------------------------------------------------------------------
"$ROOT/scripts/deps.sh" bench >&2
need=()
for p in mosquitto:mosquitto mosquitto_sub:mosquitto-clients sox:sox lame:lame; do
  command -v "${p%%:*}" >/dev/null 2>&1 || [[ -x /usr/sbin/${p%%:*} ]] || need+=("${p#*:}")
done
if want compare; then
  for p in pulseaudio:pulseaudio parec:pulseaudio-utils mpg123:mpg123; do
    command -v "${p%%:*}" >/dev/null 2>&1 || need+=("${p#*:}")
  done
fi
if ((${#need[@]})); then
  log "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" >&2
fi
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVUVEDID_TESTS=OFF \
  -DVUVEDID_BENCH=ON >/dev/null
cmake --build "$BUILD" --target vuvedid vuvedid-headless bench_pub bench_onsets bench_logs bench_stats bench_gaps \
  bench_create >/dev/null
B=$BUILD/bench

WORK=$(mktemp -d /tmp/vuvedid-bench.XXXXXX)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  if [[ -n "${PULSE_PID:-}" ]]; then kill "$PULSE_PID" 2>/dev/null || true; fi
  if [[ -n "${PW_PID:-}" ]]; then kill -- -"$PW_PID" 2>/dev/null || true; fi
  if [[ -n "${LOAD_PID:-}" ]]; then kill -- -"$LOAD_PID" 2>/dev/null || true; fi
  wait 2>/dev/null || true
}
trap cleanup EXIT
log "work folder $WORK"

# ---- Sound files ---------------------------------------------------------------------------
mkdir -p "$WORK/fx" "$WORK/fxclick" "$WORK/music/room" "$WORK/music/long"
sox -n -r 44100 -c 2 "$WORK/t.wav" synth 1 sine 440 vol 0.5
lame --quiet -b 128 "$WORK/t.wav" "$WORK/fx/beep.mp3"
# For the recorded comparison: also a 1 s file, but only its first 150 ms sound, so that
# triggers 300 ms apart stay apart on the recording.
sox -n -r 44100 -c 2 "$WORK/c.wav" synth 0.15 sine 440 vol 0.5 pad 0 0.85
lame --quiet -b 128 "$WORK/c.wav" "$WORK/fxclick/beep.mp3"
for i in 1 2 3; do
  sox -n -r 44100 -c 2 "$WORK/m.wav" synth 5 sine $((300 + 100 * i)) vol 0.3
  lame --quiet -b 128 "$WORK/m.wav" "$WORK/music/room/track$i.mp3"
done
LONG=$((PLAY_SECONDS + 30))
if want underrun && ((UNDERRUN_SECONDS + 30 > LONG)); then LONG=$((UNDERRUN_SECONDS + 30)); fi
sox -n -r 44100 -c 2 "$WORK/m.wav" synth "$LONG" sine 220 vol 0.3
lame --quiet -b 128 "$WORK/m.wav" "$WORK/music/long/long.mp3"
for i in 1 2 3 4; do
  sox -n -r 44100 -c 2 "$WORK/e.wav" synth "$LONG" sine $((500 + 150 * i)) vol 0.1
  lame --quiet -b 128 "$WORK/e.wav" "$WORK/fx/loop$i.mp3"
done
rm -f "$WORK"/*.wav

# ---- Broker --------------------------------------------------------------------------------
BROKER_LOG=$WORK/broker.log
. "$ROOT/bench/broker.sh"
broker_started() { PIDS+=("$1"); }
PORT=$(free_port)
start_broker "$WORK" "$PORT" "log_type notice" "max_queued_messages 0"
log "mosquitto on 127.0.0.1:$PORT"

# ---- The program ---------------------------------------------------------------------------
# start_app NAME FXFOLDER [ENV=VALUE...]: a copy of the binary in its own folder with an
# MQTT.ini beside it, started unattended ("start"); waits until it has subscribed.
APP_PID=
APP_LOGS=1  # both logs of the debug tab on (the heavier case); the burst also runs with them off
# How the program is started: the unattended start of the window (offscreen), or the
# windowless daemon for the parts that compare the two.
APP_ARGS=start
start_app() {
  local name=$1 fxdir=$2
  shift 2
  local dir=$WORK/app-$name
  mkdir -p "$dir"
  cp "$BUILD/vuvedid" "$dir/vuvedid"
  # The windowless program "vuvedid --headless" runs, where the build has one.
  if [ -x "$BUILD/vuvedid-headless" ]; then cp "$BUILD/vuvedid-headless" "$dir/"; fi
  cat >"$dir/MQTT.ini" <<EOF
[MQTT]
ip=127.0.0.1
port=$PORT
login=$name
UID=$name
topic=room/cmd
EtopicSend=room/state
chbx_act=1
[folder]
folder_m=$WORK/music
folder_s=$fxdir
[protokol]
log=$APP_LOGS
protokol=$APP_LOGS
EOF
  local subs
  subs=$(grep -Ec " $name [0-2] room/cmd" "$BROKER_LOG" 2>/dev/null || true)
  (cd "$dir" && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir" \
    SPEECHD_ADDRESS=unix_socket:"$dir/no-speech" "$@" ./vuvedid $APP_ARGS >"$dir/out.txt" 2>&1) &
  APP_PID=$!
  for _ in $(seq 1 100); do
    sleep 0.1
    if (($(grep -Ec " $name [0-2] room/cmd" "$BROKER_LOG" 2>/dev/null || true) > subs)); then
      sleep 0.3
      return 0
    fi
  done
  log "program $name did not subscribe"
  return 1
}
stop_app() {
  kill "$APP_PID" 2>/dev/null || true
  wait "$APP_PID" 2>/dev/null || true
}
pub() { "$B/bench_pub" "$PORT" room/cmd "$@"; }

TABLES=$WORK/tables.md
: >"$TABLES"
section() { printf '\n%s\n\n' "$*" >>"$TABLES"; }

# ---- 1. Effect latency ---------------------------------------------------------------------
if want fx; then
  section "## 1. Effect latency: publish -> first non-silent mixed sample (ms)"
  {
    echo "SDL dummy driver, offscreen, $FX_COUNT × \`fx:100!beep.mp3\` (1 s tone), one every $FX_INTERVAL_MS ms, QoS 0;"
    echo "median over $FX_REPEATS runs per buffer size [smallest–largest run]."
    echo
    echo "| device buffer | triggers | missed | p50 | p90 | p99 | max |"
    echo "|---|---|---|---|---|---|---|"
  } >>"$TABLES"
  STAGES=$WORK/stages.md
  : >"$STAGES"
  for buf in ${FX_BUFFERS:-256 512 1024}; do
    dirs=()
    for rep in $(seq 1 "$FX_REPEATS"); do
      d=$WORK/fx-$buf-$rep
      mkdir -p "$d"
      log "effect latency, $buf frames, run $rep"
      start_app "fx$buf$rep" "$WORK/fx" SDL_AUDIODRIVER=dummy VUVEDID_AUDIO_BUFFER=$buf \
        VUVEDID_AUDIO_TRACE=1 VUVEDID_TRACE_FILE="$d/trace.txt"
      pub trigger "$FX_COUNT" "$FX_INTERVAL_MS" 'fx:100!beep.mp3' >"$d/pub.txt"
      sleep 1
      stop_app
      dirs+=("$d")
    done
    "$B/bench_stats" fx "$buf frames" "${dirs[@]}" >"$WORK/fx.out"
    grep -v '^STAGES' "$WORK/fx.out" >>"$TABLES"
    grep '^STAGES' "$WORK/fx.out" | sed 's/^STAGES//' >>"$STAGES"
  done
  {
    echo
    echo "Median of each stage (ms), same runs:"
    echo
    echo "| device buffer | broker hop | hand-over to GUI thread | message log | interpreter + slot | stream creation | to play call | first callback |"
    echo "|---|---|---|---|---|---|---|---|"
    cat "$STAGES"
  } >>"$TABLES"
fi

# start_pulse / stop_pulse: a private PulseAudio with one null sink "nullout" (44.1 kHz).
start_pulse() {
  export XDG_RUNTIME_DIR=$WORK/pulse
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L module-native-protocol-unix \
    -L "module-null-sink sink_name=nullout rate=44100 channels=2" \
    -L "module-always-sink" >"$WORK/pulse.log" 2>&1 &
  PULSE_PID=$!
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  for _ in $(seq 1 50); do
    [[ -S $XDG_RUNTIME_DIR/pulse/native ]] && break
    sleep 0.1
  done
  pactl set-default-sink nullout >/dev/null 2>&1 || true
}
stop_pulse() {
  kill "$PULSE_PID" 2>/dev/null || true
  wait "$PULSE_PID" 2>/dev/null || true
  PULSE_PID=
  unset PULSE_SERVER
}

# start_pipewire / stop_pipewire: a private PipeWire (its own session bus, wireplumber and
# pipewire-pulse) with the same null sink "nullout"; clients reach it through both its
# native socket and its pulse one. Its processes share one process group.
PW_PID=
start_pipewire() {
  export XDG_RUNTIME_DIR=$WORK/pw
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
  export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  setsid bash -c 'dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" &
    pipewire & for _ in $(seq 1 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
    wireplumber & pipewire-pulse & wait' >"$WORK/pipewire.log" 2>&1 &
  PW_PID=$!
  for _ in $(seq 1 100); do
    [[ -S $XDG_RUNTIME_DIR/pulse/native ]] && pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl load-module module-null-sink sink_name=nullout rate=44100 channels=2 >/dev/null
  sleep 1
  pactl set-default-sink nullout >/dev/null 2>&1 || true
}
stop_pipewire() {
  [[ -n "$PW_PID" ]] && kill -- -"$PW_PID" 2>/dev/null || true
  wait "$PW_PID" 2>/dev/null || true
  PW_PID=
  unset PULSE_SERVER PIPEWIRE_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS
}
start_server() { if [[ $CMP_SERVER == pipewire ]]; then start_pipewire; else start_pulse; fi; }
stop_server() { if [[ $CMP_SERVER == pipewire ]]; then stop_pipewire; else stop_pulse; fi; }

# ---- 2. Side by side on one null sink ------------------------------------------------------
if want compare; then
  server_name=PulseAudio
  [[ $CMP_SERVER == pipewire ]] && server_name="PipeWire (pipewire-pulse)"
  log "private $server_name"
  start_server
  ndrivers=$(wc -w <<<"$CMP_DRIVERS")
  SPAN=$(((FX_COUNT * FX_INTERVAL_MS / 1000 + 25) * (ndrivers + 1) + 10))
  "$B/bench_onsets" nullout.monitor "$SPAN" >"$WORK/onsets.txt" 2>"$WORK/onsets.err" &
  REC_PID=$!
  PIDS+=("$REC_PID")
  sleep 3  # an idle null sink works in large blocks at first

  ours=()
  for drv in $CMP_DRIVERS; do
    d=$WORK/cmp-ours-$drv
    mkdir -p "$d"
    log "comparison: this program (SDL $drv driver, $CMP_BUFFER frames)"
    start_app "cmpours$drv" "$WORK/fxclick" SDL_AUDIODRIVER="$drv" VUVEDID_AUDIO_BUFFER="$CMP_BUFFER" $APP_ENV
    sleep 1
    pub trigger "$FX_COUNT" "$FX_INTERVAL_MS" 'fx:100!beep.mp3' >"$d/pub.txt"
    sleep 2
    stop_app
    ours+=("$drv:$d")
  done

  d2=$WORK/cmp-script
  mkdir -p "$d2"
  log "comparison: mosquitto_sub | while read; do mpg123 & done"
  # Its own process group, so that it ends with every mpg123 it started.
  setsid bash -c 'mosquitto_sub -h 127.0.0.1 -p "$1" -t room/cmd -i script | while read -r _m; do
    mpg123 -q -o pulse "$2" &
  done' script "$PORT" "$WORK/fxclick/beep.mp3" &
  SCRIPT_PID=$!
  sleep 1.5
  pub trigger "$FX_COUNT" "$FX_INTERVAL_MS" 'fx:100!beep.mp3' >"$d2/pub.txt"
  sleep 2
  kill -- -"$SCRIPT_PID" 2>/dev/null || true
  kill "$REC_PID" 2>/dev/null || true
  wait "$REC_PID" 2>/dev/null || true
  cp "$WORK/onsets.txt" "$d2/onsets.txt"
  section "## 2. Side by side: publish -> sound on one $server_name null sink (ms)"
  {
    echo "Every program's output recorded from the same null sink's monitor in one run (libpulse,"
    echo "each read placed on CLOCK_MONOTONIC by the server's latency report); $FX_COUNT triggers each,"
    echo "one every $FX_INTERVAL_MS ms, a 1 s file whose first 150 ms sound. Ours: $CMP_BUFFER frames, SDL driver as named."
    echo
    echo "| program | triggers heard | missed | p50 | p90 | p99 | max |"
    echo "|---|---|---|---|---|---|---|"
    for o in "${ours[@]}"; do
      drv=${o%%:*} d=${o#*:}
      cp "$WORK/onsets.txt" "$d/onsets.txt"
      "$B/bench_stats" onsets "vuvedid, SDL $drv" "$d" 2>"$WORK/p50-$drv"
    done
    "$B/bench_stats" onsets "mosquitto_sub \\| while read; do mpg123 -q FILE & done" "$d2" 2>"$WORK/p50b"
  } >>"$TABLES"
  b=$(awk '{print $2}' "$WORK/p50b")
  echo >>"$TABLES"
  for o in "${ours[@]}"; do
    drv=${o%%:*}
    a=$(awk '{print $2}' "$WORK/p50-$drv")
    ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { if (a > 0) printf "%.1f", b / a; else print "n/a" }')
    echo "Ratio of the p50s (script / vuvedid with SDL $drv), same run: **${ratio}×**." >>"$TABLES"
  done
  stop_server
fi

# ---- 3. Music start ----------------------------------------------------------------------
if want music; then
  d=$WORK/music-run
  mkdir -p "$d"
  log "music start, $MUSIC_RUNS runs"
  start_app music "$WORK/fx" SDL_AUDIODRIVER=dummy VUVEDID_AUDIO_BUFFER=256 \
    VUVEDID_AUDIO_TRACE=1 VUVEDID_TRACE_FILE="$d/trace.txt"
  : >"$d/pub.txt"
  for _ in $(seq 1 "$MUSIC_RUNS"); do
    pub once 'play:room' >>"$d/pub.txt"
    sleep 1.5
    pub once 'reset' >/dev/null
    sleep 0.3
  done
  stop_app
  section "## 3. Music start: \`play:room\` -> first sample of the first track (ms)"
  {
    echo "SDL dummy driver, 256 frames, $MUSIC_RUNS starts (each followed by \`reset\`). The playlist tick is"
    echo "1 s by design, so the start waits for it; the tick's own work is shown apart (ms of GUI-thread time"
    echo "inside the tick that started a track, and of ticks that found the track still playing)."
    echo
    echo "| runs | starts | missed | p50 | max | tick work (starting) p50 | tick work (starting) max | tick work (idle) p50 |"
    echo "|---|---|---|---|---|---|---|---|"
    "$B/bench_stats" music "$MUSIC_RUNS" "$d"
  } >>"$TABLES"
fi

# ---- 4. Burst ------------------------------------------------------------------------------
if want burst; then
  section "## 4. Burst: $BURST_COUNT \`volume:N\` commands as fast as the client publishes"
  {
    echo "Order checked on the interpreter's entry marks; drain = first publish -> last command"
    echo "started (ms); lateness = largest delay of a 100 ms GUI-thread timer during the burst (ms)."
    echo "With both logs of the debug tab off (as a new installation starts) and on (each command then"
    echo "writes a protocol line and system-log lines). Median of $BURST_REPEATS bursts [smallest–largest]."
    echo
    echo "| QoS | logs | executed | lost | out of order | drain ms | timer lateness ms |"
    echo "|---|---|---|---|---|---|---|"
  } >>"$TABLES"
  for logs in 0 1; do
    for qos in 0 1; do
      dirs=()
      for rep in $(seq 1 "$BURST_REPEATS"); do
        d=$WORK/burst-$logs-$qos-$rep
        mkdir -p "$d"
        log "burst QoS $qos logs $logs run $rep"
        APP_LOGS=$logs start_app "burst$logs$qos$rep" "$WORK/fx" SDL_AUDIODRIVER=dummy \
          VUVEDID_TRACE_FILE="$d/trace.txt"
        pub burst "$BURST_COUNT" "$qos" 'volume:' >"$d/pub.txt"
        for _ in $(seq 1 600); do
          grep -q "^cmd [0-9]* 0 volume:$BURST_COUNT\$" "$d/trace.txt" && break
          sleep 0.1
        done
        sleep 0.5
        stop_app
        dirs+=("$d")
      done
      "$B/bench_stats" burst "$qos | $([[ $logs == 1 ]] && echo on || echo off)" "$BURST_COUNT" \
        "${dirs[@]}" >>"$TABLES"
    done
  done
fi

# ---- 5. Cost -------------------------------------------------------------------------------
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_mb() { awk '/^VmRSS:/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
measure() {  # PID SECONDS -> "cpu% rss_mb"
  local pid=$1 secs=$2 hz t0 t1 c0 c1
  hz=$(getconf CLK_TCK)
  c0=$(cpu_ticks "$pid")
  t0=$(date +%s.%N)
  sleep "$secs"
  c1=$(cpu_ticks "$pid")
  t1=$(date +%s.%N)
  awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" -v rss="$(rss_mb "$pid")" \
    'BEGIN { printf "%.2f %s\n", (c1 - c0) / hz / (t1 - t0) * 100, rss }'
}
if want cost; then
  log "cost: idle ${IDLE_SECONDS}s, playing ${PLAY_SECONDS}s"
  start_app cost "$WORK/fx" SDL_AUDIODRIVER=dummy
  sleep 5
  read -r idle_cpu idle_rss < <(measure "$APP_PID" "$IDLE_SECONDS")
  pub once 'play:long' >/dev/null
  for i in 1 2 3 4; do pub once "fx:100!loop$i.mp3" >/dev/null; done
  sleep 3
  read -r play_cpu play_rss < <(measure "$APP_PID" "$PLAY_SECONDS")
  stop_app
  section "## 5. Cost (SDL dummy driver, the default device buffer, connected, heartbeat every 20 s)"
  {
    echo "CPU % of one core from /proc/PID/stat (user+system) over the window; RSS from /proc/PID/status at its end."
    echo
    echo "| state | window s | CPU % | RSS MB |"
    echo "|---|---|---|---|"
    echo "| idle | $IDLE_SECONDS | $idle_cpu | $idle_rss |"
    echo "| room music + four effects playing | $PLAY_SECONDS | $play_cpu | $play_rss |"
  } >>"$TABLES"
fi

# ---- 6. Month of logs -----------------------------------------------------------------------
if want logs; then
  log "logs: $LOG_DAYS days"
  QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR=$WORK "$B/bench_logs" "$LOG_DAYS" \
    >"$WORK/logs.txt"
  g() { awk -v k="$1" '$1 == k {print $2}' "$WORK/logs.txt"; }
  section "## 6. A month of log lines through the real log writers"
  {
    echo "$(g lines_each_kind) heartbeats and as many received commands ($LOG_DAYS days at one each per 20 s),"
    echo "each written as the program writes it (protocol line + system-log line), both logs on."
    echo
    echo "| RSS at start MB | RSS at end MB | peak MB | growth MB | seconds |"
    echo "|---|---|---|---|---|"
    awk -v s="$(g rss_start_kb)" -v e="$(g rss_end_kb)" -v p="$(g rss_peak_kb)" -v t="$(g seconds)" \
      'BEGIN { printf "| %.1f | %.1f | %.1f | %.1f | %s |\n", s/1024, e/1024, p/1024, (e-s)/1024, t }'
    echo
    echo "RSS as the month goes by (lines of each kind -> MB):"
    echo
    awk '$1 == "progress" { printf "%s→%.1f ", $2, $4/1024 } END { print "" }' "$WORK/logs.txt"
  } >>"$TABLES"
fi

# ---- 7. Underruns and the default buffer ---------------------------------------------------
# start_load / stop_load: a parallel build of this project in a scratch folder on every
# core, over and over, in its own process group.
LOAD_PID=
start_load() {
  cmake -S "$ROOT" -B "$WORK/loadbuild" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVUVEDID_TESTS=ON \
    >/dev/null
  setsid bash -c 'while :; do ninja -C "$1" -j"$(nproc)" clean >/dev/null; ninja -C "$1" -j"$(nproc)" >/dev/null 2>&1; done' \
    load "$WORK/loadbuild" &
  LOAD_PID=$!
  sleep 5
}
stop_load() {
  [[ -n "$LOAD_PID" ]] && kill -- -"$LOAD_PID" 2>/dev/null || true
  wait "$LOAD_PID" 2>/dev/null || true
  LOAD_PID=
}
if want underrun; then
  section "## 7. Dropouts on a PulseAudio null sink: room music + four effects, ${UNDERRUN_SECONDS} s per buffer"
  {
    echo "SDL's pulseaudio driver into a private null sink, its monitor recorded with \`parec\` (s16le);"
    echo "a dropout is a run of at least 1 ms of silence between the first and the last sound (\`bench_gaps\`):"
    echo "the server had nothing of ours to play. Loaded = a parallel build of this project on every core."
    echo
    echo "| device buffer | machine | seconds recorded | dropouts | longest ms | program CPU % | RSS MB |"
    echo "|---|---|---|---|---|---|---|"
  } >>"$TABLES"
  start_pulse
  for load in quiet loaded; do
    [[ $load == loaded ]] && start_load
    for buf in $UNDERRUN_BUFFERS; do
      d=$WORK/under-$load-$buf
      mkdir -p "$d"
      log "dropouts: $buf frames, $load, ${UNDERRUN_SECONDS}s"
      start_app "under$load$buf" "$WORK/fx" SDL_AUDIODRIVER=pulseaudio VUVEDID_AUDIO_BUFFER=$buf $APP_ENV
      parec -d nullout.monitor --raw --format=s16le --rate=44100 --channels=2 >"$d/rec.raw" &
      REC=$!
      pub once 'play:long' >/dev/null
      for i in 1 2 3 4; do pub once "fx:100!loop$i.mp3" >/dev/null; done
      read -r cpu rss < <(measure "$APP_PID" "$UNDERRUN_SECONDS")
      kill "$REC" 2>/dev/null || true
      wait "$REC" 2>/dev/null || true
      stop_app
      read -r _ secs _ drops _ longest < <("$B/bench_gaps" "$d/rec.raw")
      echo "| $buf | $load | $secs | $drops | $longest | $cpu | $rss |" >>"$TABLES"
      rm -f "$d/rec.raw"
    done
    [[ $load == loaded ]] && stop_load
  done
  stop_pulse
fi

# ---- 8. Stream creation from a cold page cache ----------------------------------------------
if want create; then
  log "stream creation, 10 MB and 100 MB"
  sox -n -r 44100 -c 2 -b 16 "$WORK/c10.wav" synth 262 sine 440 vol 0.3
  lame --quiet -b 320 "$WORK/c10.wav" "$WORK/c10.mp3"
  rm -f "$WORK/c10.wav"
  for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$WORK/c10.mp3"; done >"$WORK/c100.mp3"
  "$B/bench_create" --tries "$CREATE_TRIES" "$WORK/c10.mp3" "$WORK/c100.mp3" >"$WORK/create.txt"
  section "## 8. Stream creation on the GUI thread, cold page cache (ms)"
  {
    echo "\`bench_create\`: the time of one \`StreamCreateFile\` (the file's start only) and of the calls the music"
    echo "player makes right after it (play, volume, length, seconds, activity), each try after the page cache"
    echo "was emptied (eviction method in the table); \"seconds\" is the length those calls saw. The exact"
    echo "length is measured off the GUI thread: \"exact after\" is when it was known, counted from the"
    echo "creation's start, and \"exact s\" what it was."
    echo
    echo "| file | eviction | create ms | follow-up ms | seconds | exact after ms | exact s |"
    echo "|---|---|---|---|---|---|---|"
    awk -F'\t' 'NR > 1 { n = split($1, p, "/"); printf "| %s (%.0f MB) | %s | %s | %s | %s | %s | %s |\n", p[n], ($1 ~ /c100/ ? 100 : 10), $2, $3, $4, $5, $6, $7 }' "$WORK/create.txt"
  } >>"$TABLES"
fi

# ---- 9. Many rooms on one machine -----------------------------------------------------------
# ROOMS programs on one broker and one topic, each in its own folder; every effect published
# must start in every room. The windowless daemon where the binary has one, so the figure is
# what a machine serving many rooms (or a small board serving one) pays.
if want rooms; then
  mode=window
  if "$BUILD/vuvedid" --help | grep -q -- '--headless'; then APP_ARGS=--headless mode=headless; fi
  log "rooms: $ROOMS rooms ($mode), $ROOM_FX effects"
  room_pids=()
  started=0
  for r in $(seq 1 "$ROOMS"); do
    if start_app "room$r" "$WORK/fx" SDL_AUDIODRIVER=dummy VUVEDID_AUDIO_TRACE=1 \
      VUVEDID_TRACE_FILE="$WORK/app-room$r/trace.txt"; then
      started=$((started + 1))
    fi
    room_pids+=("$APP_PID")
    PIDS+=("$APP_PID")
  done
  sleep 10
  rss_all=()
  for p in "${room_pids[@]}"; do rss_all+=("$(rss_mb "$p" 2>/dev/null || echo 0)"); done
  load_before=$(cut -d' ' -f1 /proc/loadavg)
  # Half a second apart: with a 1 s sound at most two of a room's four slots are busy, so
  # every trigger has a free slot.
  pub trigger "$ROOM_FX" 500 'fx:100!beep.mp3' >"$WORK/rooms-pub.txt"
  sleep 3
  heard_min=$ROOM_FX heard_max=0 deaf=0 total=0
  for r in $(seq 1 "$ROOMS"); do
    n=$(grep -c '^sound ' "$WORK/app-room$r/trace.txt" 2>/dev/null || true)
    n=${n:-0}
    total=$((total + n))
    ((n < heard_min)) && heard_min=$n
    ((n > heard_max)) && heard_max=$n
    ((n < ROOM_FX)) && deaf=$((deaf + 1))
  done
  load_after=$(cut -d' ' -f1 /proc/loadavg)
  for p in "${room_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${room_pids[@]}"; do wait "$p" 2>/dev/null || true; done
  APP_ARGS=start
  read -r rss_med rss_max < <(printf '%s\n' "${rss_all[@]}" | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.1f %.1f\n", v[int((NR + 1) / 2)], v[NR] }')
  section "## 9. $ROOMS rooms on one machine and one broker"
  {
    echo "Each room its own process ($mode, SDL dummy driver, both logs on), all subscribed to one"
    echo "topic; $ROOM_FX × \`fx:100!beep.mp3\` published 500 ms apart. A room hears an effect when its"
    echo "mixer plays the effect's first sound. RSS per room from /proc/PID/status after 10 s idle."
    echo
    echo "| rooms started | effects | effects heard, per room min / max | rooms that missed one | RSS MB per room, median / max | load average before / after |"
    echo "|---|---|---|---|---|---|"
    echo "| $started of $ROOMS | $ROOM_FX | $heard_min / $heard_max | $deaf | $rss_med / $rss_max | $load_before / $load_after |"
  } >>"$TABLES"
fi

# ---- Report --------------------------------------------------------------------------------
pkgver() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "n/a"; }
{
  echo "# Benchmark results"
  echo
  echo "Produced by \`bench/run.sh\` ($ENV_LINE) on $(date -u '+%Y-%m-%d %H:%M UTC')."
  echo
  echo "- Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), kernel $(uname -r)"
  echo "- Packages: qt6 $(pkgver libqt6core6), SDL2 $(pkgver libsdl2-2.0-0), mpg123 $(pkgver libmpg123-0), mosquitto $(pkgver mosquitto), PulseAudio $(pkgver pulseaudio)"
  echo "- Load: a shared build machine; other engineers were compiling during the run"
  echo "  (load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)). Single figures are noisy; comparisons are"
  echo "  made side by side in one run."
  echo "- Cells: median over the repeated runs, [smallest–largest run] where there was more than one."
  cat "$TABLES"
} >"$RESULTS"
log "wrote $RESULTS"
