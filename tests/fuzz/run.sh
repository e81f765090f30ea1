#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds
# (default 60) on a copy of its seed corpus. Inputs that crash are left in
# build-fuzz/crashes/; copy them to tests/fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
CXX=clang++ cmake -S . -B build-fuzz -DKALP_FUZZ=ON -DKALP_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 --target fuzz_textio fuzz_run fuzz_index
mkdir -p build-fuzz/crashes
for target in textio run index; do
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  cp -n tests/fuzz/corpus/$target/* "$work"/ 2>/dev/null || true
  echo "== fuzz_$target for $seconds s"
  build-fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix=build-fuzz/crashes/$target- -print_final_stats=1 "$work"
done
