#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, as many at once as there are cores.
#   fuzz/run.sh [seconds per target, default 20] [target names...]
#   QLDIXW_FUZZ_BUILD=<dir>  use the fuzz targets of that build (default build/fuzz,
#                            configured and built here with clang when needed)
#   QLDIXW_FUZZ_JOBS=<n>     targets at once (default: the number of cores)
#   QLDIXW_FUZZ_WORK=<dir>   where inputs and logs go (default build/fuzz-work)
# New inputs go to <work>/<target>/corpus, never into the seeds kept in fuzz/corpus;
# an input that breaks a target is saved in <work>/<target>/ and the run fails.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

seconds=${1:-20}
shift $(( $# > 0 ? 1 : 0 ))
jobs=${QLDIXW_FUZZ_JOBS:-$(nproc)}
build=${QLDIXW_FUZZ_BUILD:-}
if [ -z "$build" ]; then
  qldixw_install_deps
  build="$QLDIXW_ROOT/build/fuzz"
  mkdir -p "$QLDIXW_ROOT/build"
  CXX=clang++-14 QLDIXW_TARGETS=fuzz_targets qldixw_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLDIXW_FUZZ=ON
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for binary in "$build"/fuzz/fuzz_*; do
    [ -f "$binary" ] && [ -x "$binary" ] && targets+=("${binary##*/fuzz_}")
  done
fi

work=${QLDIXW_FUZZ_WORK:-$QLDIXW_ROOT/build/fuzz-work}
run_one() {
  local name=$1 dir="$work/$1" seeds=()
  mkdir -p "$dir/corpus"
  [ -d "$QLDIXW_ROOT/fuzz/corpus/$name" ] && seeds=("$QLDIXW_ROOT/fuzz/corpus/$name")
  # A leak or undefined behaviour is a fault like a crash; halt on the first one.
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  nice -n 10 "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" "${seeds[@]}" \
    >"$dir/log" 2>&1
}

failed=()
declare -A pid_of
for name in "${targets[@]}"; do
  [ -x "$build/fuzz/fuzz_$name" ] || { echo "no fuzz target $name in $build" >&2; exit 1; }
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n || true
  done
  run_one "$name" &
  pid_of[$name]=$!
done

printf '%-20s %12s %10s %8s\n' target executions "exec/s" coverage
for name in "${targets[@]}"; do
  status=0
  wait "${pid_of[$name]}" || status=$?
  log="$work/$name/log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\) .*/\1/p' "$log" | tail -1)
  printf '%-20s %12s %10s %8s\n' "$name" "${runs:-?}" "${rate:-?}" "${cov:-?}"
  if [ "$status" -ne 0 ]; then
    failed+=("$name")
    { grep -E -A12 'invariant broken|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$log" || true; } |
      head -40 >&2
    ls "$work/$name"/crash-* "$work/$name"/leak-* "$work/$name"/timeout-* "$work/$name"/oom-* 2>/dev/null >&2 || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (logs in $work)" >&2
  exit 1
fi
