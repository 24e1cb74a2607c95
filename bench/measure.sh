# Sourced by the benchmark scripts first: the Debian packages they need, and timing and
# memory with public tools only.

install_missing() {  # installs those of the packages named that are not installed
  local missing=""
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
  done
  if [ -n "$missing" ]; then
    apt-get update -q >&2 && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing >&2
  fi
}

seconds() {  # runs one command, prints its wall time
  local start=$EPOCHREALTIME
  "$@"
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }  # runs one command, prints its peak memory
