#!/usr/bin/env bash
# Sweep figures, by hand (not a test). Everything runs inside one throw-away fakelan
# namespace (en0 198.51.100.10/24, responders 1,20,37); nothing is sent anywhere else.
#   bench/sweep_figures.sh BUILD_DIR     (needs root; BUILD_DIR has the sweep_bench target built)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: $0 BUILD_DIR}
bench=
for candidate in "$build/tests/integration/discovery/sweep_bench" "$build/integration/discovery/sweep_bench"; do
  [ -x "$candidate" ] && { bench=$candidate; break; }
done
[ -n "$bench" ] || { echo "sweep_bench not built in $build" >&2; exit 1; }
fakelan="$root/../shared/lab/fakelan"

exec "$fakelan" run -q -- bash -c '
  set -euo pipefail
  [ -n "${FAKELAN_NS_SCAN:-}" ] || { echo "not inside fakelan" >&2; exit 1; }
  net=$FAKELAN_PREFIX
  now() { date +%s%N; }
  ms() { echo $(( ($2 - $1) / 1000000 )); }

  echo "== host sweep (onListenWithArguments over the real adapters)"
  "$0" 3

  echo "== fping over the /24, one try, 1 s timeout, default interval"
  t0=$(now); fping -q -a -g "$net.0/24" -r 0 -t 1000 2>/dev/null | wc -l | sed "s/^/answered: /" || true; t1=$(now)
  echo "fping: $(ms $t0 $t1) ms"

  echo "== fping, 1 ms interval"
  t0=$(now); fping -q -a -g "$net.0/24" -r 0 -t 1000 -i 1 2>/dev/null | wc -l | sed "s/^/answered: /" || true; t1=$(now)
  echo "fping -i 1: $(ms $t0 $t1) ms"

  echo "== shell loop of 254 background pings (-c 1 -W 1)"
  t0=$(now)
  for n in $(seq 1 254); do /usr/bin/ping -c 1 -W 1 "$net.$n" >/dev/null 2>&1 & done
  wait
  t1=$(now)
  echo "shell loop: $(ms $t0 $t1) ms"
' "$bench"
