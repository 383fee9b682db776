#!/usr/bin/env bash
# Configures and builds Quarvel into build/ at the repository root.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
cmake --build build -j"$(nproc)"
