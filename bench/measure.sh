# Sourced by the benchmark scripts: timing and memory with public tools only.

seconds() {  # runs one command, prints its wall time
  local start=$EPOCHREALTIME
  "$@"
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }  # runs one command, prints its peak memory
