#!/usr/bin/env bash
# Installs the Debian packages this program builds, runs and tests with.
# Only missing packages are installed; apt-get runs through sudo when we are not root.
set -euo pipefail

BUILD_PKGS=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-qpa-plugins
  libsdl2-dev libmpg123-dev libsndfile1-dev
  libmosquitto-dev libspeechd-dev
  libgtest-dev libgmock-dev
  fonts-dejavu-extra fonts-wine
)
RUN_PKGS=(speech-dispatcher speech-dispatcher-espeak-ng)
TEST_PKGS=(mosquitto mosquitto-clients openssl speech-dispatcher sox libsox-fmt-mp3 lame
  xvfb trayer x11-utils xdotool dpkg-dev pulseaudio pulseaudio-utils)
# The benchmarks: a broker, tone files, private PulseAudio and PipeWire servers with a null
# sink, the shell one-liner they are compared with.
BENCH_PKGS=(mosquitto mosquitto-clients sox libsox-fmt-mp3 lame libpulse-dev
  pulseaudio pulseaudio-utils mpg123 pipewire pipewire-pulse wireplumber dbus)
# libFuzzer comes with clang's runtime libraries.
FUZZ_PKGS=(clang libclang-rt-dev)

want=("${BUILD_PKGS[@]}")
case "${1:-build}" in
  run) want+=("${RUN_PKGS[@]}") ;;
  test) want+=("${TEST_PKGS[@]}") ;;
  fuzz) want+=("${TEST_PKGS[@]}" "${FUZZ_PKGS[@]}") ;;
  bench) want+=("${BENCH_PKGS[@]}") ;;
  all) want+=("${RUN_PKGS[@]}" "${TEST_PKGS[@]}" "${FUZZ_PKGS[@]}" "${BENCH_PKGS[@]}") ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
