#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test three times over:
# a plain build, an AddressSanitizer + UndefinedBehaviorSanitizer build, and a
# ThreadSanitizer build of the tests that start threads (files named *thread*).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The system's libraries (Qt, OpenSSL, the test servers' HTTP library) are built
# without ThreadSanitizer, which cannot see their own synchronisation; it checks
# the accesses our code makes and ignores those made inside them.
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1

total=0
run() {  # run DIR SANITIZERS CTEST_ARGS [TARGET...]
  local dir=$1 sanitize=$2 ctest_args=$3 log
  shift 3
  echo "== build $dir ${sanitize:-(no sanitizers)}"
  bash scripts/build.sh "$dir" "$sanitize" "$@"
  echo "== test $dir"
  log=$(mktemp)
  # shellcheck disable=SC2086
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" $ctest_args | tee "$log"
  total=$((total + $(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)))
  rm -f "$log"
}

thread_targets=()
for file in tests/*/*thread*_test.cpp; do
  folder=$(basename "$(dirname "$file")")
  thread_targets+=("${folder}_$(basename "$file" .cpp)")
done

run build "" ""
run build-asan "address,undefined" ""
run build-tsan "thread" "-L threads" "${thread_targets[@]}"

echo "tests: $total passed, 0 failed"
