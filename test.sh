#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole suite with CTest.
# The tests start their own broker, speech server and headless audio/display.
#   ./test.sh            plain build (build-test/)
#   ./test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   ./test.sh --tsan     ThreadSanitizer (build-tsan/)
set -euo pipefail
cd "$(dirname "$0")"
mode="${1:-plain}"
scripts/deps.sh test

dir=build-test; extra=()
case "$mode" in
  plain|--plain) ;;
  --asan) dir=build-asan; extra=(-DVUVEDID_SANITIZE=address) ;;
  --tsan) dir=build-tsan; extra=(-DVUVEDID_SANITIZE=thread) ;;
  *) echo "usage: $0 [--asan|--tsan]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVUVEDID_TESTS=ON "${extra[@]}" >/dev/null
cmake --build "$dir"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy LANG=C.UTF-8
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
