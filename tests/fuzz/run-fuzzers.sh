#!/usr/bin/env bash
# Runs libFuzzer targets of the fuzz preset one after another and reports, per target, the
# executions, the coverage (libFuzzer's cov: edges reached, ft: features), the corpus and the
# findings (crash, timeout, out-of-memory and leak inputs) of this run.
#
#   run-fuzzers.sh [--fresh] SECONDS TARGET...
#
# Each target T reads its committed seeds, tests/fuzz/corpus/<T without "fuzz_">, and keeps what
# it learns in build/fuzz-corpus/T, so that long runs build on each other; --fresh starts from
# the seeds alone in a scratch corpus (make test does, so that its runs do not drift). Findings go
# to build/fuzz-findings/T/, the whole output to build/fuzz-logs/T.log, the table also to
# build/fuzz-logs/summary.txt. Exits 1 when any target found something.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
fresh=false
if [ "${1:-}" = "--fresh" ]; then fresh=true; shift; fi
if [ $# -lt 2 ]; then
  echo "usage: $0 [--fresh] SECONDS TARGET..." >&2
  exit 2
fi
seconds=$1
shift

bin_dir=${FUZZ_BUILD_DIR:-$root/build/fuzz}/tests/fuzz  # FUZZ_BUILD_DIR: another build of the fuzz preset
logs=$root/build/fuzz-logs
mkdir -p "$logs"
summary=$logs/summary.txt  # appended to, so that runs side by side each leave their lines
echo "== $(date -u '+%Y-%m-%d %H:%M') UTC, $seconds s each$($fresh && echo ', from the seeds alone')" >>"$summary"
failed=0

field() {  # field NAME LINE: the value after "NAME: " in libFuzzer's status line
  sed -n "s/.* $1: \([^ ]*\).*/\1/p" <<<"$2"
}

for target in "$@"; do
  seeds=$root/tests/fuzz/corpus/${target#fuzz_}
  findings=$root/build/fuzz-findings/$target
  log=$logs/$target.log
  if $fresh; then
    corpus=$root/build/fuzz-smoke-corpus/$target
    rm -rf "$corpus"
  else
    corpus=$root/build/fuzz-corpus/$target
  fi
  mkdir -p "$corpus" "$findings"
  stamp=$(mktemp)
  status=0
  "$bin_dir/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  last=$(grep -aE '^#[0-9]+.* cov: ' "$log" | tail -n 1 || true)
  # A slow unit (over 10 s) is kept for a look but is no finding: on a busy machine any unit
  # can be slow. A unit over the 25 s timeout is one.
  new_findings=$(find "$findings" -type f -newer "$stamp" \( -name 'crash-*' -o -name 'timeout-*' \
    -o -name 'oom-*' -o -name 'leak-*' \) | sort)
  slow=$(find "$findings" -type f -newer "$stamp" -name 'slow-unit-*' | wc -l)
  rm -f "$stamp"
  count=$(grep -c . <<<"$new_findings" || true)
  line=$(printf '%-17s %s s  executions %-10s cov %-6s ft %-7s corpus %-11s findings %s%s' "$target" \
    "$seconds" "${executions:-?}" "$(field cov "$last")" "$(field ft "$last")" "$(field corp "$last")" "$count" \
    "$([ "$slow" -eq 0 ] || echo " (slow units kept: $slow)")")
  echo "$line" | tee -a "$summary"
  if [ "$count" -gt 0 ] || [ "$status" -ne 0 ]; then
    failed=1
    echo "  libFuzzer exit status $status; see $log" | tee -a "$summary"
    [ -z "$new_findings" ] || sed 's/^/  /' <<<"$new_findings" | tee -a "$summary"
  fi
done
exit $failed
