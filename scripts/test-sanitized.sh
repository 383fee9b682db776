#!/usr/bin/env bash
# Builds Quarvel and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang) into build-asan/ and runs the whole test
# suite there. Reports from inside Qt, WebEngine, fontconfig and udev that are
# not the project's are suppressed by scripts/sanitizer/*.supp (each entry
# says why); any other report fails its test.
#   bash scripts/test-sanitized.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

bash scripts/deps.sh
bash scripts/deps.sh clang
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# A folder configured with another compiler would lose these settings when
# CMake starts it afresh: start it afresh here instead.
if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++-14$' build-asan/CMakeCache.txt; then
  rm -f build-asan/CMakeCache.txt
fi
cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVEL_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build build-asan -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0:suppressions=$root/scripts/sanitizer/asan.supp"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$root/scripts/sanitizer/ubsan.supp"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" "$@"
