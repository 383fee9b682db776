#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for SECONDS
# (default 60) from its seed corpus in tests/fuzz/corpus/. New corpus entries
# go to build-fuzz/corpus/<target>/, never into the tree; an input that
# crashes a target is kept under build-fuzz/crashes/. Exits non-zero when a
# target crashed.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_htmllinks fuzz_response fuzz_address fuzz_statefile fuzz_languagefile fuzz_settings
    fuzz_listfiles fuzz_raiselower)
fi

# shellcheck source=clangbuild.sh
source scripts/clangbuild.sh
clang_configure build-fuzz -DQUARVEL_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
# The file targets write a scratch file per input: keep that in memory.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p build-fuzz/crashes
# FUZZ_SEED fixes libFuzzer's random sequence, so that a short run (CI's)
# repeats a run that was already made in full by hand.
seed_args=()
if [ -n "${FUZZ_SEED:-}" ]; then seed_args=(-seed="$FUZZ_SEED"); fi
failed=()
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  echo "== $t: ${seconds} s"
  # The first corpus folder takes the new entries; the seeds are only read.
  if ! "build-fuzz/tests/fuzz/$t" "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="build-fuzz/crashes/$t-" -print_final_stats=1 "${seed_args[@]}" \
      >"build-fuzz/$t.log" 2>&1; then
    failed+=("$t")
    tail -n 40 "build-fuzz/$t.log"
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "build-fuzz/$t.log" |
    tr '\n' ' '
  echo
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that crashed: ${failed[*]} (inputs in build-fuzz/crashes/)"
  exit 1
fi
echo "fuzz targets: ${#targets[@]} ran ${seconds} s each without a crash"
