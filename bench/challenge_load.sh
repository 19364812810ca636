#!/bin/sh
# Challenges per second (the form, then its picture: bench/challenge.lua)
# under wrk, in one run on this machine:
#   1. one host with its memory store, straight;
#   2. two hosts on one Redis, through nginx taking them in turn
#      (examples/nginx/glimmark-hosts.conf), with the store's commands per
#      challenge read from Redis (INFO commandstats) before and after.
# Each site is started by tests/browser/site_behind_nginx.mjs in /tmp and
# stopped after its run. Loopback only. Runs are 20 s by default: a host
# keeps at most 131,072 pictures (memory_site_store.h) for their 300 s, and
# at some 5,000 challenges a second a 30 s run passed that bound and got 503s.
#   bench/challenge_load.sh [TOOL] [SECONDS] [CONNECTIONS]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
tool=$(realpath "${1:-$here/../build/release/tools/glimmark/glimmark}")
seconds=${2:-20}
connections=${3:-8}
launcher="$here/../tests/browser/site_behind_nginx.mjs"
work=$(mktemp -d /tmp/glimmark-load-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The wrk run a launched site gets; with a store, its commands around the run.
measure='
calls() {
  redis-cli -s "$GLIMMARK_SITE_STORE_SOCKET" info commandstats |
    sed -n "s/^cmdstat_$1:calls=\([0-9]*\).*/\1/p"
}
[ -n "${GLIMMARK_SITE_STORE_SOCKET:-}" ] && before=$(calls evalsha) && before_eval=$(calls eval)
wrk -t2 -c"$CONNECTIONS" -d"$RUN_SECONDS"s --latency -s "$SCRIPT" "$GLIMMARK_SITE_URL" | tee "$OUT"
if [ -n "${GLIMMARK_SITE_STORE_SOCKET:-}" ]; then
  after=$(calls evalsha); after_eval=$(calls eval)
  echo "store: $((after - before)) EVALSHA, $((${after_eval:-0} - ${before_eval:-0})) EVAL during the run"
fi
'
export CONNECTIONS="$connections" SCRIPT="$here/challenge.lua"

echo "== one host, memory store"
OUT="$work/memory.txt" RUN_SECONDS="$seconds" node "$launcher" --single "$tool" "$work" -- sh -c "$measure"
echo "== nginx, two hosts, one Redis"
OUT="$work/redis.txt" RUN_SECONDS="$seconds" node "$launcher" "$tool" "$work" -- sh -c "$measure"
