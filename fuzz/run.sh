#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for SECONDS
# (default 30) on its committed seed corpus. New inputs the fuzzer finds go to
# build-fuzz/corpus/<target>/ (not committed); a crash leaves its input in
# build-fuzz/crashes/ and fails the run. Prints the executions per target.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
all=(intconvert utf8 fxargs cmdline settings commands)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all[@]}"); fi
dir=build-fuzz

scripts/deps.sh fuzz
command -v clang++ >/dev/null || { echo "clang++ is needed for libFuzzer" >&2; exit 2; }
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVUVEDID_TESTS=OFF -DVUVEDID_FUZZ=ON >/dev/null
cmake --build "$dir" --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy LANG=C.UTF-8
supp="$PWD/tests/sanitizer"
# A smaller quarantine than the default 256 MB: a long run would otherwise look like a
# leak of several hundred MB (measured flat at 60 MB with a small one).
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=64:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
# The window targets save MQTT.ini (an fsync each time) in their temporary exe folder:
# on a memory file system that costs microseconds instead of milliseconds.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  TMPDIR=$(mktemp -d /dev/shm/vuvedid-fuzz.XXXXXX)
  export TMPDIR
  trap 'rm -rf "$TMPDIR"' EXIT
fi
mkdir -p "$dir/crashes"
declare -A max_len=([intconvert]=64 [utf8]=1024 [fxargs]=512 [cmdline]=600
                    [settings]=4096 [commands]=512)
status=0
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t"
  log="$dir/fuzz-$t.log"
  set +e
  "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="${max_len[$t]:-1024}" \
    -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$dir/crashes/$t-" "$dir/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz_$t: ${execs:-?} executions in ${seconds}s, exit $rc"
  if [ $rc -ne 0 ]; then
    status=1
    grep -E "ERROR|property failed|runtime error|Test unit written" "$log" | head -20 || true
  fi
done
exit $status
