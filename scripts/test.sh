#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, configures, builds and runs every test.
#   scripts/test.sh              the normal build in build/
#   scripts/test.sh --sanitize   clang with AddressSanitizer, UndefinedBehaviorSanitizer
#                                and the libFuzzer targets, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

# At the end: the CPU time (user+sys of this script and every child it waited for) and the
# wall time, the figures docs/testing.md budgets.
started=$SECONDS
report_time() {
  local status=$? stat ticks cpu
  read -r -a stat < /proc/$$/stat
  ticks=$(getconf CLK_TCK)
  cpu=$(( (stat[13] + stat[14] + stat[15] + stat[16]) / ticks ))
  printf 'test.sh %s: %d.%d CPU-minutes (user+sys with children), %d.%d minutes wall\n' \
    "${mode:-normal}" $((cpu / 60)) $((cpu % 60 * 10 / 60)) \
    $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60 * 10 / 60))
  return $status
}
trap report_time EXIT

mode=normal
[ "${1:-}" = "--sanitize" ] && mode=sanitize

scripts/install-deps.sh

jobs=$(nproc)
if [ "$mode" = sanitize ]; then
  dir=build-asan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQEL_SANITIZE=ON -DQEL_FUZZ=ON -DQEL_BENCH=OFF -DQEL_WERROR=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_WERROR=ON
fi
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600
