#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
# Arguments are passed on to the program (for example: ./run.sh start).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVUVEDID_TESTS=OFF >/dev/null
cmake --build build --target vuvedid
exec build/vuvedid "$@"
