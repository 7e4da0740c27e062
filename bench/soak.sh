#!/usr/bin/env bash
# Soak run of the real program (Release build, offscreen, SDL dummy audio, private mosquitto on
# 127.0.0.1). Not part of CI or the test suite. Writes bench/SOAK.md. See bench/README.md.
#
#   reconnect: the broker is killed and restarted CYCLES times; after each restart the program
#              is to connect and subscribe again by itself ("reconnect" ticked) and run a
#              command published after the restart.
#   month:     a month of heartbeats (MONTH_HEARTBEATS, one per MONTH_HEARTBEAT_MS instead of
#              20 s) with room music, effects, missing files, empty and missing rooms; memory,
#              descriptors and threads sampled as it goes; every command counted.
#
# Environment (defaults):
#   CYCLES=100 CYCLE_HEARTBEAT_MS=20000 DOWN_MIN_MS=200 DOWN_MAX_MS=5000
#   MONTH_HEARTBEATS=129600 MONTH_HEARTBEAT_MS=8 ROUND_SECONDS=5 MONTH_MAX_SECONDS=2400
#   WARMUP_SECONDS=180 (the month's memory figures start after it)
#   PARTS="reconnect month"  PARALLEL=1 (both parts at once, each with its own broker)
#   RESULTS=bench/SOAK.md
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-bench
CYCLES=${CYCLES:-100}
CYCLE_HEARTBEAT_MS=${CYCLE_HEARTBEAT_MS:-20000}
DOWN_MIN_MS=${DOWN_MIN_MS:-200}
DOWN_MAX_MS=${DOWN_MAX_MS:-5000}
MONTH_HEARTBEATS=${MONTH_HEARTBEATS:-129600}
MONTH_HEARTBEAT_MS=${MONTH_HEARTBEAT_MS:-8}
ROUND_SECONDS=${ROUND_SECONDS:-5}
MONTH_MAX_SECONDS=${MONTH_MAX_SECONDS:-2400}
WARMUP_SECONDS=${WARMUP_SECONDS:-180}
PARTS=${PARTS:-"reconnect month"}
PARALLEL=${PARALLEL:-1}
RESULTS=${RESULTS:-$ROOT/bench/SOAK.md}
ENV_LINE="CYCLES=$CYCLES CYCLE_HEARTBEAT_MS=$CYCLE_HEARTBEAT_MS DOWN_MIN_MS=$DOWN_MIN_MS DOWN_MAX_MS=$DOWN_MAX_MS MONTH_HEARTBEATS=$MONTH_HEARTBEATS MONTH_HEARTBEAT_MS=$MONTH_HEARTBEAT_MS ROUND_SECONDS=$ROUND_SECONDS MONTH_MAX_SECONDS=$MONTH_MAX_SECONDS WARMUP_SECONDS=$WARMUP_SECONDS PARTS=\"$PARTS\" PARALLEL=$PARALLEL"

log() { echo "[soak $(date +%H:%M:%S)] $*" >&2; }
want() { [[ " $PARTS " == *" $1 "* ]]; }
now_ms() { date +%s%3N; }

need=()
for p in mosquitto:mosquitto mosquitto_sub:mosquitto-clients sox:sox lame:lame; do
  command -v "${p%%:*}" >/dev/null 2>&1 || [[ -x /usr/sbin/${p%%:*} ]] || need+=("${p#*:}")
done
if ((${#need[@]})); then
  log "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" >&2
fi
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVUVEDID_TESTS=OFF \
  -DVUVEDID_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target vuvedid bench_pub >/dev/null
PUB=$BUILD/bench/bench_pub

WORK=$(mktemp -d /tmp/vuvedid-soak.XXXXXX)
cleanup() {
  # Every process a part started is listed in its pids file.
  local f p
  for f in "$WORK"/pids-*; do
    [[ -f $f ]] || continue
    while read -r p; do kill "$p" 2>/dev/null || true; done <"$f"
  done
  wait 2>/dev/null || true
}
trap cleanup EXIT
log "work folder $WORK"

# ---- Sound files ---------------------------------------------------------------------------
mkdir -p "$WORK/fx" "$WORK/music/room" "$WORK/music/empty"
sox -n -r 44100 -c 2 "$WORK/t.wav" synth 1 sine 440 vol 0.5
lame --quiet -b 128 "$WORK/t.wav" "$WORK/fx/beep.mp3"
for i in 1 2 3; do
  sox -n -r 44100 -c 2 "$WORK/m.wav" synth 5 sine $((300 + 100 * i)) vol 0.3
  lame --quiet -b 128 "$WORK/m.wav" "$WORK/music/room/track$i.mp3"
done
rm -f "$WORK"/*.wav

# ---- Brokers and the program ---------------------------------------------------------------
. "$ROOT/bench/broker.sh"
broker_started() { echo "$1" >>"$2/../pids-$(basename "$2")"; }
# start_app DIR NAME PORT [ENV=VALUE...]: a copy of the binary with MQTT.ini beside it,
# started unattended ("start"); sets APP_PID and waits for its subscription.
start_app() {
  local dir=$1 name=$2 port=$3
  shift 3
  mkdir -p "$dir/app"
  chmod 700 "$dir/app"
  cp "$BUILD/vuvedid" "$dir/app/vuvedid"
  cat >"$dir/app/MQTT.ini" <<EOF
[MQTT]
ip=127.0.0.1
port=$port
login=$name
UID=$name
topic=room/cmd
EtopicSend=room/state
e_con_act=alive
chbx_act=1
reconnect=1
[folder]
folder_m=$WORK/music
folder_s=$WORK/fx
[protokol]
log=1
protokol=1
EOF
  (cd "$dir/app" && exec env LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
    XDG_RUNTIME_DIR="$dir/app" SPEECHD_ADDRESS=unix_socket:"$dir/app/no-speech" \
    VUVEDID_TRACE_FILE="$dir/trace.txt" "$@" ./vuvedid start >"$dir/out.txt" 2>&1) &
  APP_PID=$!
  echo "$APP_PID" >>"$dir/../pids-$(basename "$dir")"
  for _ in $(seq 1 200); do
    sleep 0.1
    if (($(subs "$dir" "$name") > 0)); then return 0; fi
  done
  log "program $name did not subscribe"
  return 1
}
subs() { grep -Ec " $2 [0-2] room/cmd\$" "$1/broker.log" 2>/dev/null || true; }
boxes() { grep -c ' box \[' "$1/out.txt" 2>/dev/null || true; }
executed() { grep -Fxc "$2" <(sed -n 's/^cmd [0-9]* 0 //p' "$1/trace.txt") || true; }
executed_prefix() { sed -n 's/^cmd [0-9]* 0 //p' "$1/trace.txt" | grep -Fc "$2" || true; }

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
fds() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
threads() { find "/proc/$1/task" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# ---- 1. Broker kill/restart cycles -----------------------------------------------------------
part_reconnect() {
  local D=$WORK/reconnect port name=soakrc
  mkdir -p "$D/done"
  port=$(free_port)
  start_broker "$D" "$port" "max_queued_messages 0"
  local envs=()
  [[ $CYCLE_HEARTBEAT_MS != 20000 ]] && envs=(VUVEDID_HEARTBEAT_MS="$CYCLE_HEARTBEAT_MS")
  start_app "$D" "$name" "$port" "${envs[@]}"
  local pid=$APP_PID
  log "reconnect: broker 127.0.0.1:$port, program $pid, $CYCLES cycles"
  local rss0 fd0 th0
  rss0=$(rss_kb "$pid") fd0=$(fds "$pid") th0=$(threads "$pid")
  : >"$D/cycles.txt"
  local c sent=0 ok=0 lost=0
  for c in $(seq 1 "$CYCLES"); do
    local before down sig t0 t1 back=-1 cmdms=-1
    before=$(subs "$D" "$name")
    sig=KILL
    ((c % 2 == 0)) && sig=TERM
    kill -"$sig" "$BROKER_PID" 2>/dev/null || true
    wait "$BROKER_PID" 2>/dev/null || true
    down=$((DOWN_MIN_MS + RANDOM * (DOWN_MAX_MS - DOWN_MIN_MS) / 32767))
    sleep "$(awk -v d="$down" 'BEGIN { printf "%.3f", d / 1000 }')"
    start_broker "$D" "$port" "max_queued_messages 0"
    t0=$(now_ms)
    local limit=$((t0 + 3 * CYCLE_HEARTBEAT_MS + 15000))
    while (($(now_ms) < limit)); do
      if (($(subs "$D" "$name") > before)); then
        back=$(($(now_ms) - t0))
        break
      fi
      sleep 0.05
    done
    # The command goes out after the restart whether or not the subscription was seen.
    local cmd="cmdstr:/usr/bin/touch $D/done/c$c"
    "$PUB" "$port" room/cmd once "$cmd" >/dev/null || true
    sent=$((sent + 1))
    t1=$(now_ms)
    while (($(now_ms) < t1 + 5000)); do
      if [[ -e $D/done/c$c ]]; then
        cmdms=$(($(now_ms) - t1))
        break
      fi
      sleep 0.02
    done
    if ((cmdms >= 0)); then ok=$((ok + 1)); else lost=$((lost + 1)); fi
    echo "$c $sig $down $back $cmdms" >>"$D/cycles.txt"
    if ((c % 10 == 0)); then log "reconnect: cycle $c, back ${back} ms, executed $ok/$sent"; fi
  done
  # Executed as seen from inside too (the interpreter's entry marks), and the files on disk.
  local inside files rss1 fd1 th1 nboxes
  inside=$(executed_prefix "$D" "cmdstr:/usr/bin/touch $D/done/c")
  files=$(find "$D/done" -name 'c*' | wc -l)
  rss1=$(rss_kb "$pid") fd1=$(fds "$pid") th1=$(threads "$pid")
  nboxes=$(boxes "$D")
  local alive=no
  kill -0 "$pid" 2>/dev/null && alive=yes
  {
    echo "## 1. Broker killed and restarted $CYCLES times"
    echo
    echo "Heartbeat every $CYCLE_HEARTBEAT_MS ms, \`reconnect=1\`,"
    echo "\`chbx_act=1\`, started with \`start\`. Each cycle: the broker is killed (odd cycles SIGKILL, even SIGTERM),"
    echo "stays down ${DOWN_MIN_MS}–${DOWN_MAX_MS} ms (uniform), is started again on the same port; then one"
    echo "\`cmdstr:/usr/bin/touch …/cN\` is published (QoS 1) and the file is looked for from outside."
    echo "Back = broker accepting again -> the program's new subscription in the broker's log (50 ms polling)."
    echo "The program retries by itself (1 s, then a growing delay up to 10 s) and subscribes on the acknowledgement."
    echo
    echo "| cycles | commands sent | executed (file appeared) | executed (interpreter marks) | files | lost | back median s | back p90 s | back max s | not back in time |"
    echo "|---|---|---|---|---|---|---|---|---|---|"
    local miss
    miss=$(awk '$4 < 0' "$D/cycles.txt" | wc -l)
    awk '$4 >= 0 { print $4 }' "$D/cycles.txt" | sort -n | awk -v n="$CYCLES" -v s="$sent" \
      -v ok="$ok" -v marks="$inside" -v f="$files" -v l="$lost" -v miss="$miss" '
      { b[++k] = $1 }
      END {
        med = k ? (k % 2 ? b[(k + 1) / 2] : (b[k / 2] + b[k / 2 + 1]) / 2) : 0
        p90 = k ? b[int(0.9 * (k - 1)) + 1] : 0
        printf "| %d | %d | %d | %d | %d | %d | %.2f | %.2f | %.2f | %d |\n", n, s, ok, marks, f, l, med / 1000, p90 / 1000, (k ? b[k] : 0) / 1000, miss
      }'
    echo
    awk '$5 >= 0 { print $5 }' "$D/cycles.txt" | sort -n |
      awk '{ c[++k] = $1 } END { if (k) printf "Command -> file on disk: median %d ms, max %d ms.\n", c[int((k + 1) / 2)], c[k] }'
    echo "Message boxes (headless: one stderr line each) during the cycles: $nboxes. A box comes only when a tick"
    echo "finds the broker still down (one per outage; later attempts of the same outage go to the log), which"
    echo "needs a down time longer than the rest of the heartbeat period."
    echo "Program alive at the end: $alive. RSS $((rss0 / 1024)) -> $((rss1 / 1024)) MB, descriptors $fd0 -> $fd1, threads $th0 -> $th1."
    echo
    echo "Back (s) per cycle, in order:"
    echo
    awk '{ printf "%s%.1f", (NR > 1 ? " " : ""), $4 / 1000 } END { print "" }' "$D/cycles.txt"
  } >"$WORK/sec-reconnect.md"
  kill "$pid" 2>/dev/null || true
  kill "$BROKER_PID" 2>/dev/null || true
  log "reconnect: done ($ok/$sent executed)"
}

# ---- 2. A compressed month -------------------------------------------------------------------
part_month() {
  local D=$WORK/month port name=soakmo
  mkdir -p "$D/done"
  port=$(free_port)
  start_broker "$D" "$port" "max_queued_messages 0"
  mosquitto_sub -h 127.0.0.1 -p "$port" -t room/state -i soakcount >"$D/heartbeats.txt" &
  echo $! >>"$WORK/pids-month"
  sleep 0.3
  start_app "$D" "$name" "$port" VUVEDID_HEARTBEAT_MS="$MONTH_HEARTBEAT_MS" VUVEDID_AUDIO_TRACE=1
  local pid=$APP_PID hz
  hz=$(getconf CLK_TCK)
  log "month: broker 127.0.0.1:$port, program $pid, $MONTH_HEARTBEATS heartbeats at $MONTH_HEARTBEAT_MS ms"
  p() { "$PUB" "$port" room/cmd once "$1" >/dev/null || true; }
  local s_room=0 s_beep=0 s_missing=0 s_empty=0 s_noroom=0 s_touch=0
  p "play:room"
  s_room=$((s_room + 1))
  local start c0 r=0 hb=0 t
  start=$(now_ms)
  c0=$(cpu_ticks "$pid")
  echo "# seconds heartbeats rss_kb fds threads cpu_ticks" >"$D/samples.txt"
  while :; do
    t=$((($(now_ms) - start) / 1000))
    hb=$(wc -l <"$D/heartbeats.txt")
    echo "$t $hb $(rss_kb "$pid") $(fds "$pid") $(threads "$pid") $(cpu_ticks "$pid")" >>"$D/samples.txt"
    ((hb >= MONTH_HEARTBEATS || t >= MONTH_MAX_SECONDS)) && break
    kill -0 "$pid" 2>/dev/null || break
    r=$((r + 1))
    # One round: an effect, an effect whose file is missing, a command with an observable
    # effect outside; every 6th round an empty room (music stops, the playlist tick reports
    # it) and then the room again; every 6th (shifted) a room that does not exist (a box).
    p "fx:100!beep.mp3"
    s_beep=$((s_beep + 1))
    p "fx:100!missing-$r.mp3"
    s_missing=$((s_missing + 1))
    p "cmdstr:/usr/bin/touch $D/done/r$r"
    s_touch=$((s_touch + 1))
    if ((r % 6 == 0)); then
      p "play:empty"
      s_empty=$((s_empty + 1))
      sleep 1.5
      p "play:room"
      s_room=$((s_room + 1))
    fi
    if ((r % 6 == 3)); then
      p "play:noroom-$r"
      s_noroom=$((s_noroom + 1))
    fi
    if ((r % 24 == 0)); then log "month: $t s, $hb heartbeats, RSS $(rss_kb "$pid") kB"; fi
    sleep "$ROUND_SECONDS"
  done
  local wall=$((($(now_ms) - start) / 1000)) c1
  c1=$(cpu_ticks "$pid")
  # Still connected and subscribed: a last command runs, heartbeats still arrive.
  local hb_a hb_b final=no
  hb_a=$(wc -l <"$D/heartbeats.txt")
  p "cmdstr:/usr/bin/touch $D/done/final"
  s_touch=$((s_touch + 1))
  for _ in $(seq 1 100); do
    [[ -e $D/done/final ]] && final=yes && break
    sleep 0.05
  done
  sleep 2
  hb_b=$(wc -l <"$D/heartbeats.txt")
  local x_room x_beep x_missing x_empty x_noroom x_touch files nboxes nsubs
  x_room=$(executed "$D" "play:room")
  x_beep=$(executed "$D" "fx:100!beep.mp3")
  x_missing=$(executed_prefix "$D" "fx:100!missing-")
  x_empty=$(executed "$D" "play:empty")
  x_noroom=$(executed_prefix "$D" "play:noroom-")
  x_touch=$(executed_prefix "$D" "cmdstr:/usr/bin/touch $D/done/")
  files=$(find "$D/done" -type f | wc -l)
  nboxes=$(boxes "$D")
  nsubs=$(subs "$D" "$name")
  local n_play n_sound
  n_play=$(grep -c '^play ' "$D/trace.txt" || true)
  n_sound=$(grep -c '^sound ' "$D/trace.txt" || true)
  local s_all=$((s_room + s_beep + s_missing + s_empty + s_noroom + s_touch))
  local x_all=$((x_room + x_beep + x_missing + x_empty + x_noroom + x_touch))
  {
    echo "## 2. A month of heartbeats, compressed"
    echo
    echo "Heartbeat every $MONTH_HEARTBEAT_MS ms (\`VUVEDID_HEARTBEAT_MS\`; the product default is 20 000 ms), so"
    echo "one 30-day month = 129 600 heartbeats; target $MONTH_HEARTBEATS, counted from outside by a"
    echo "\`mosquitto_sub\` on the heartbeat topic. Both logs of the debug tab on (every heartbeat writes a protocol"
    echo "line and its publish callback a system-log line). Room music (\`play:room\`, three 5 s tracks, looping)"
    echo "playing throughout; every $ROUND_SECONDS s a round of commands (QoS 1): \`fx:100!beep.mp3\`,"
    echo "\`fx:100!missing-N.mp3\`, \`cmdstr:/usr/bin/touch …/rN\`; every 6th round \`play:empty\` (an empty"
    echo "room) then \`play:room\`; every 6th (shifted) \`play:noroom-N\` (no such room: a message box)."
    echo
    echo "Wall time $wall s; heartbeats received $hb_a ($(awk -v h="$hb_a" 'BEGIN { printf "%.1f", h / 129600 * 30 }') days' worth at one per 20 s;"
    echo "$(awk -v h="$hb_a" -v w="$wall" 'BEGIN { printf "%.1f", (w > 0 ? h / w : 0) }') per second, i.e. one per $(awk -v h="$hb_a" -v w="$wall" 'BEGIN { printf "%.1f", (h > 0 ? w * 1000 / h : 0) }') ms on average)."
    echo "CPU of the program over the run: $(awk -v a="$c0" -v b="$c1" -v hz="$hz" -v w="$wall" 'BEGIN { printf "%.1f", (w > 0 ? (b - a) / hz / w * 100 : 0) }') % of one core."
    echo
    echo "| command | sent | executed |"
    echo "|---|---|---|"
    echo "| play:room | $s_room | $x_room |"
    echo "| fx:100!beep.mp3 | $s_beep | $x_beep |"
    echo "| fx:100!missing-N.mp3 (missing file) | $s_missing | $x_missing |"
    echo "| play:empty (empty room) | $s_empty | $x_empty |"
    echo "| play:noroom-N (missing room) | $s_noroom | $x_noroom |"
    echo "| cmdstr:/usr/bin/touch … (incl. the final one) | $s_touch | $x_touch (files on disk: $files) |"
    echo "| **all** | **$s_all** | **$x_all** |"
    echo
    echo "Executed = the interpreter's entry marks in the trace file; the touch commands also checked on disk."
    echo "Streams started by the audio layer (music tracks and effects): $n_play; of these $n_sound reached the"
    echo "mixer with sound (first non-silent sample, \`VUVEDID_AUDIO_TRACE=1\`)."
    echo "Message boxes (headless: one stderr line each, no nested loop): $nboxes for $s_noroom missing-room"
    echo "commands, so one box per failing command and none repeated by a timer."
    echo "At the end: final command executed: $final; heartbeats in the 2 s after it: $((hb_b - hb_a));"
    echo "subscriptions in the broker's log: $nsubs (one: never dropped)."
    echo
    echo "Resources sampled every round (/proc/PID/status VmRSS, /proc/PID/fd, /proc/PID/task):"
    echo
    awk -v warm="$WARMUP_SECONDS" '
      function slope(a, b,   i, k, sx, sy, sxx, sxy) {
        k = sx = sy = sxx = sxy = 0
        for (i = a; i <= b; i++) { k++; sx += t[i]; sy += r[i]; sxx += t[i] * t[i]; sxy += t[i] * r[i] }
        return (k > 1 && (k * sxx - sx * sx) != 0) ? (k * sxy - sx * sy) / (k * sxx - sx * sx) : 0
      }
      !/^#/ { n++; t[n] = $1; h[n] = $2; r[n] = $3; f[n] = $4; th[n] = $5 }
      END {
        # Start = first sample after the warm-up (both logs fill up to their line limit and
        # the audio device, fonts and first streams are in by then).
        s = 1; while (s < n && t[s] < warm) s++
        m = int((s + n) / 2)
        fmin = fmax = f[s]; tmin = tmax = th[s]; rmax = r[s]
        for (i = s; i <= n; i++) {
          if (f[i] < fmin) fmin = f[i]; if (f[i] > fmax) fmax = f[i]
          if (th[i] < tmin) tmin = th[i]; if (th[i] > tmax) tmax = th[i]
          if (r[i] > rmax) rmax = r[i]
        }
        print "| | seconds | heartbeats | RSS MB | descriptors | threads |"
        print "|---|---|---|---|---|---|"
        printf "| first sample | %d | %d | %.1f | %d | %d |\n", t[1], h[1], r[1] / 1024, f[1], th[1]
        printf "| start (after %d s warm-up) | %d | %d | %.1f | %d | %d |\n", warm, t[s], h[s], r[s] / 1024, f[s], th[s]
        printf "| middle | %d | %d | %.1f | %d | %d |\n", t[m], h[m], r[m] / 1024, f[m], th[m]
        printf "| end | %d | %d | %.1f | %d | %d |\n", t[n], h[n], r[n] / 1024, f[n], th[n]
        print ""
        a = slope(s, n); b = slope(m, n)
        days = (h[n] - h[s]) / 4320
        printf "RSS slope (least squares) start -> end: %.2f kB per minute of run", a * 60
        if (days > 0) printf " (%.1f kB per simulated day)", a * (t[n] - t[s]) / days
        printf "; middle -> end: %.2f kB per minute. RSS peak %.1f MB.\n", b * 60, rmax / 1024
        printf "Mean RSS by quarter of the run after the warm-up (MB):"
        for (q = 0; q < 4; q++) {
          sum = c = 0
          for (i = s + int(q * (n - s + 1) / 4); i < s + int((q + 1) * (n - s + 1) / 4); i++) { sum += r[i]; c++ }
          printf " %.1f", (c ? sum / c / 1024 : 0)
        }
        print "."
        printf "Descriptors %d–%d, threads %d–%d over the same samples.\n", fmin, fmax, tmin, tmax
        print ""
        printf "RSS (MB) every minute:"
        last = -60
        for (i = 1; i <= n; i++) if (t[i] - last >= 60) { printf " %.1f", r[i] / 1024; last = t[i] }
        print ""
      }' "$D/samples.txt"
  } >"$WORK/sec-month.md"
  kill "$pid" 2>/dev/null || true
  log "month: done ($x_all/$s_all executed, $hb_a heartbeats)"
}

run_part() {  # runs one part in its own subshell; its processes end with it
  (
    trap 'for p in $(cat "$WORK/pids-$1" 2>/dev/null); do kill "$p" 2>/dev/null || true; done' EXIT
    "part_$1"
  )
}

PART_PIDS=()
if want reconnect; then
  if [[ $PARALLEL == 1 ]]; then run_part reconnect & PART_PIDS+=($!); else run_part reconnect; fi
fi
if want month; then run_part month; fi
for p in "${PART_PIDS[@]}"; do wait "$p" || true; done

pkgver() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "n/a"; }
{
  echo "# Soak results"
  echo
  echo "Produced by \`bench/soak.sh\` ($ENV_LINE) on $(date -u '+%Y-%m-%d %H:%M UTC')."
  echo
  echo "- Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), kernel $(uname -r)"
  echo "- Packages: qt6 $(pkgver libqt6core6), SDL2 $(pkgver libsdl2-2.0-0), mosquitto $(pkgver mosquitto)"
  echo "- Release build, offscreen, SDL dummy audio driver, private mosquitto on 127.0.0.1 per part."
  echo "- Load: a shared machine, other builds running (load average at the end: $(cut -d' ' -f1-3 /proc/loadavg))."
  [[ $PARALLEL == 1 ]] && want reconnect && want month &&
    echo "- Both parts ran at the same time, each with its own broker and program."
  for s in reconnect month; do
    if [[ -f $WORK/sec-$s.md ]]; then
      echo
      cat "$WORK/sec-$s.md"
    fi
  done
} >"$RESULTS"
log "wrote $RESULTS"
