#!/usr/bin/env bash
# Load test of the catalogue service's list answers ("getfw.php") with wrk on
# loopback: a mix of subcategories, both sorts and all their pages.
# Two runs: flat out (the most requests per second), then paced at RATE requests per
# second over all connections, whose latency percentiles are the ones to judge.
#   bench/service.sh [build dir]   (env: DURATION=10s CONNECTIONS=32 THREADS=2 RATE=6500)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
binary="$build/tavrel-service"
duration="${DURATION:-10s}"
connections="${CONNECTIONS:-32}"
threads="${THREADS:-2}"
rate="${RATE:-6500}"

[ -x "$binary" ] || { echo "missing $binary (build the tavrel-service target)" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed" >&2; exit 1; }

work="$(mktemp -d)"
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

"$binary" --listen 127.0.0.1:0 --data "$work/data" --page "$work" 2>"$work/service.log" &
pid=$!
port=""
for _ in $(seq 1 300); do
    port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.log" | head -n1)"
    [ -n "$port" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/service.log" >&2; exit 1; }
    sleep 0.1
done
[ -n "$port" ] || { echo "service did not start" >&2; exit 1; }

cat >"$work/mix.lua" <<'LUA'
-- Template counts of the 19 subcategories, for their page ranges.
local counts = {35, 36, 525, 20, 69, 17, 27, 91, 3, 18, 122, 290, 63, 6, 16, 6, 60, 9, 356}
local n = 0
local pause = 0
math.randomseed(42)
init = function(args)
  pause = tonumber(args[1] or "0")
end
delay = function()
  return pause
end
request = function()
  n = n + 1
  local cid = math.random(1, #counts)
  local pages = math.ceil(counts[cid] / 6)
  local path = string.format(
    "/getfw.php?funType=%d&searchType=%d&pageNum=%d&pageSize=6&date=1702%d&jsoncallback=jsonp%d",
    cid, math.random(1, 2), math.random(1, pages), n % 100000, 1700000000000 + n)
  return wrk.format("GET", path)
end
LUA

# Each connection waits this many milliseconds between requests in the paced run.
pause=$(awk -v c="$connections" -v r="$rate" 'BEGIN { printf "%d", c * 1000 / r }')

summary() {
    local out="$1" label="$2"
    local rps p50 p90 p99
    rps="$(echo "$out" | awk '/^Requests\/sec/ {print $2}')"
    p50="$(echo "$out" | awk '$1 == "50%" {print $2}')"
    p90="$(echo "$out" | awk '$1 == "90%" {print $2}')"
    p99="$(echo "$out" | awk '$1 == "99%" {print $2}')"
    echo "service getfw.php, $label: ${rps} requests/s, latency p50 ${p50}, p90 ${p90}, p99 ${p99}"
}

# A short warm-up, then the measured runs.
wrk -t1 -c4 -d1s -s "$work/mix.lua" "http://127.0.0.1:$port" >/dev/null
full="$(wrk -t"$threads" -c"$connections" -d"$duration" --latency -s "$work/mix.lua" \
    "http://127.0.0.1:$port")"
echo "== flat out, $connections connections"
echo "$full"
paced="$(wrk -t"$threads" -c"$connections" -d"$duration" --latency -s "$work/mix.lua" \
    "http://127.0.0.1:$port" -- "$pause")"
echo
echo "== paced near $rate requests/s ($pause ms between requests per connection)"
echo "$paced"
echo
summary "$full" "flat out"
summary "$paced" "paced"
echo "(goal: >= 5000 requests/s with p99 < 10ms; load average: $(cut -d' ' -f1-3 /proc/loadavg))"
