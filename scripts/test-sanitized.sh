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
# shellcheck source=clangbuild.sh
source scripts/clangbuild.sh
clang_configure build-asan -DQUARVEL_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0:suppressions=$root/scripts/sanitizer/asan.supp"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$root/scripts/sanitizer/ubsan.supp"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" "$@"
