#!/usr/bin/env bash
# Builds and runs the hostile-server soak (tests/soak/soak_transfer.cpp): a
# scripted server on 127.0.0.1 answers one transfer control with mutated
# responses for ROUNDS rounds (default 400) from SEED (default 20261207; the
# seed is printed at the start, so a failing run can be repeated).
#   bash scripts/soak.sh [ROUNDS] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build build -j"$(nproc)" --target soak_transfer
export QT_QPA_PLATFORM=offscreen
export QUARVEL_SOAK_ROUNDS="${1:-400}"
export QUARVEL_SOAK_SEED="${2:-20261207}"
exec build/tests/soak_transfer
