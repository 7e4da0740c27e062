#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole suite with CTest.
# The tests start their own broker, speech server and headless audio/display.
#   ./test.sh            plain build (build-test/)
#   ./test.sh --asan     AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   ./test.sh --tsan     ThreadSanitizer (build-tsan/)
# Sanitizer findings fail the test that shows them. What the sanitizers report inside
# libraries we do not build is suppressed in tests/sanitizer/*.supp, each line with its
# reason; faults in our own code are fixed, never suppressed.
set -euo pipefail
cd "$(dirname "$0")"
mode="${1:-plain}"
scripts/deps.sh test

supp="$PWD/tests/sanitizer"
dir=build-test; extra=()
case "$mode" in
  plain|--plain) ;;
  --asan)
    dir=build-asan; extra=(-DVUVEDID_SANITIZE=address)
    export ASAN_OPTIONS="suppressions=$supp/asan.supp:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
    export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
    ;;
  --tsan)
    dir=build-tsan; extra=(-DVUVEDID_SANITIZE=thread)
    # die_after_fork=0: the tests make their sound files with sox and lame through QProcess,
    # a fork of a threaded process that execs at once; TSan would otherwise end the child.
    export TSAN_OPTIONS="suppressions=$supp/tsan.supp:second_deadlock_stack=1:die_after_fork=0:print_suppressions=0"
    ;;
  *) echo "usage: $0 [--asan|--tsan]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVUVEDID_TESTS=ON "${extra[@]}" >/dev/null
cmake --build "$dir"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy LANG=C.UTF-8

run=()
if [ "$mode" = --tsan ]; then
  # ThreadSanitizer cannot place its shadow memory on kernels with high address
  # randomisation ("FATAL: ThreadSanitizer: unexpected memory mapping"); run it without.
  if ! probe=$("$dir/tests/record_argv" 2>&1 </dev/null) &&
     grep -q "unexpected memory mapping" <<<"$probe"; then
    run=(setarch "$(uname -m)" -R)
  fi
fi
"${run[@]}" ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
