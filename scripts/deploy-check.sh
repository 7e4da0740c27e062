#!/usr/bin/env bash
# The operator's guide end to end on this machine: build the Debian package, install it,
# give a user folder its MQTT.ini and a room's music, start the program the way the user
# unit does, send `play:room1` through a private broker on 127.0.0.1 and measure what the
# room would hear (SDL's disk driver writes the output to a file), then remove the package.
#
# Usage: scripts/deploy-check.sh [build-dir]   (root, or sudo for dpkg)
# Leaves the machine as it found it: the package is removed again, even on failure, unless
# it was installed before this script ran (then the script stops without touching it).
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-deploy}
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
step() { printf '\n== %s\n' "$*"; }
fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }

for t in cmake cpack dpkg mosquitto mosquitto_pub sox lame; do
  command -v "$t" >/dev/null || fail "$t is missing (scripts/deps.sh test)"
done
if dpkg-query -W -f='${Status}' vuvedid 2>/dev/null | grep -q 'install ok installed'; then
  fail "vuvedid is already installed; remove it first (dpkg -r vuvedid)"
fi

work=$(mktemp -d)
installed=0
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [ "$installed" = 1 ]; then
    step "Uninstall"
    $SUDO dpkg -r vuvedid
  fi
  rm -rf "$work"
}
trap cleanup EXIT

step "Build the package ($build)"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVUVEDID_TESTS=OFF >/dev/null
cmake --build "$build" --target vuvedid
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/vuvedid_*.deb | head -1)
echo "$deb"
dpkg-deb -f "$deb" Package Version Depends Recommends
dpkg-deb -c "$deb" | awk '{print $1, $6}'

step "Install"
$SUDO dpkg -i "$deb"
installed=1
[ -x /usr/bin/vuvedid ] && [ -x /usr/lib/vuvedid/vuvedid ] || fail "installed files missing"
unit=/usr/lib/systemd/user/vuvedid.service
[ -f "$unit" ] || unit=/lib/systemd/user/vuvedid.service
[ -f "$unit" ] || fail "user unit missing"
# The unit's syntax and its ExecStart, checked by systemd itself (no user manager needed).
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify "$unit" && echo "unit verified: $unit"
fi

step "A broker on 127.0.0.1"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\nlog_dest file %s\nlog_type all\n' \
  "$port" "$work/broker.log" > "$work/broker.conf"
# As root the broker would otherwise switch to its own account and lose its log file.
[ "$(id -u)" -eq 0 ] && echo "user root" >> "$work/broker.conf"
mosquitto -c "$work/broker.conf" & pids+=($!)
for _ in $(seq 50); do grep -qs "running" "$work/broker.log" && break; sleep 0.1; done
echo "port $port"

step "The user's folder: MQTT.ini and the room's music"
home="$work/home"
music="$work/music"
mkdir -p "$home" "$music/room1"
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 3 sine 440 vol 0.5
lame --quiet -b 128 "$work/tone.wav" "$music/room1/tone.mp3"
cat > "$home/MQTT.ini" <<INI
[MQTT]
ip=127.0.0.1
login=room1
port=$port
topic=recive
[folder]
folder_m=$music
[protokol]
log=1
INI
cat "$home/MQTT.ini"

step "Start it as the user unit does"
exec_line=$(sed -n 's/^ExecStart=//p' "$unit")
envs=()
while IFS= read -r e; do envs+=("$e"); done < <(sed -n 's/^Environment=//p' "$unit")
echo "Environment: ${envs[*]}"
echo "ExecStart:   $exec_line"
out="$work/room1.raw"
# shellcheck disable=SC2086  # the unit's command line splits on blanks, as systemd's does
env "${envs[@]}" VUVEDID_HOME="$home" XDG_RUNTIME_DIR="$work" \
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$out" $exec_line > "$work/program.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "Received SUBSCRIBE from room1" "$work/broker.log" && break; sleep 0.1; done
grep -q "Received SUBSCRIBE from room1" "$work/broker.log" || { cat "$work/program.log"; fail "no subscribe"; }
echo "connected and subscribed"
[ -x "$home/vuvedid" ] && echo "per-user copy: $home/vuvedid"

step "play:room1"
silent_bytes=$(stat -c %s "$out")
mosquitto_pub -h 127.0.0.1 -p "$port" -t recive -m play:room1
sleep 3.5
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'
echo "program's own output:"
sed 's/^/  /' "$work/program.log"

step "What the room heard"
# The disk driver writes the device format: 32-bit float stereo at 44.1 kHz.
raw=(-t raw -r 44100 -e floating-point -b 32 -c 2)
secs_before=$(python3 -c "print(round($silent_bytes / (44100*8), 2))")
before=$(sox "${raw[@]}" "$out" -n trim 0 "$secs_before" stat 2>&1 | awk '/RMS +amplitude/{print $3}')
after=$(sox "${raw[@]}" "$out" -n trim "$secs_before" 2.5 stat 2>&1 | awk '/RMS +amplitude/{print $3}')
echo "before the command: ${secs_before}s, RMS $before"
# The file's tone has an RMS of about 0.35; the music plays at the player's volume.
echo "after the command:  RMS $after"
python3 -c "import sys; sys.exit(0 if $before < 0.001 and $after > 0.05 else 1)" ||
  fail "the room's level is not what the tone should give"
echo "OK"
