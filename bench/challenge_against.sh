#!/bin/sh
# Challenges per second of two page hosts on this machine, taking turns:
# BEFORE, then AFTER, ROUNDS times. Each run starts its host on a loopback
# port with a registry of its own, warms it with `wrk` for 5 s, then measures
# SECONDS with 8 connections and bench/challenge.lua. Printed per run: the
# challenges a second (the script's count of pictures received), the host's
# CPU per challenge (from /proc/PID/stat) and wrk's (from /usr/bin/time);
# then the ratio of each round and the median ratio. The machine's speed
# swings from minute to minute, so only runs side by side compare.
#
# Both hosts serve with --max-age 8: a host keeps at most 131,072 pictures
# for their envelopes' age (memory_site_store.h), which at 9,000 challenges a
# second a 20 s run would pass, and a full store answers 503.
#   bench/challenge_against.sh BEFORE_TOOL AFTER_TOOL [ROUNDS] [SECONDS]
set -eu

usage="usage: bench/challenge_against.sh BEFORE_TOOL AFTER_TOOL [ROUNDS] [SECONDS]"
fail() {
  echo "challenge_against: $*" >&2
  exit 2
}
[ $# -ge 2 ] && [ $# -le 4 ] || fail "$usage"
for tool in "$1" "$2"; do
  [ -f "$tool" ] && [ -x "$tool" ] || fail "not an executable glimmark tool: $tool"
done
rounds=${3:-3}
seconds=${4:-15}
case "$rounds$seconds" in
  *[!0-9]*) fail "ROUNDS and SECONDS are whole numbers: $usage" ;;
esac
[ "$rounds" -ge 1 ] && [ "$seconds" -ge 1 ] || fail "ROUNDS and SECONDS are at least 1"
command -v wrk >/dev/null || fail "wrk is not installed (scripts/install-deps installs it)"

here=$(cd "$(dirname "$0")" && pwd)
before=$(realpath "$1")
after=$(realpath "$2")
script="$here/challenge.lua"
port=18181
work=$(mktemp -d /tmp/glimmark-against-XXXXXX)
# Each run measures in a subshell, so the host it starts is named in a file
# for the clean-up to stop whatever way the script ends.
cleanup() {
  status=$?
  if [ -f "$work/host.pid" ]; then kill "$(cat "$work/host.pid")" 2>/dev/null || true; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap "exit 130" INT TERM

# Clock ticks of a process's user and system time.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# One measured run of TOOL; prints "challenges/s host-us wrk-us".
run() {
  tool=$1
  port=$((port + 1))
  export GLIMMARK_REGISTRY="$work/registry-$port.db"
  "$tool" register --user >/dev/null || return 1
  quiet=
  "$tool" serve --help 2>&1 | grep -q -- --quiet && quiet=--quiet
  "$tool" serve --port "$port" --max-age 8 $quiet >/dev/null 2>&1 &
  host=$!
  echo "$host" >"$work/host.pid"
  sleep 1
  url="http://127.0.0.1:$port/"
  wrk -t2 -c8 -d5s -s "$script" "$url" >/dev/null
  start=$(ticks "$host")
  /usr/bin/time -f "wrk-cpu %U %S" -o "$work/time" \
    wrk -t2 -c8 -d"${seconds}s" -s "$script" "$url" >"$work/wrk"
  end=$(ticks "$host")
  kill "$host"
  wait "$host" 2>/dev/null || true
  rm -f "$work/host.pid"
  if grep -q "Non-2xx" "$work/wrk"; then
    echo "answers other than 200 in this run:" >&2
    cat "$work/wrk" >&2
    exit 1
  fi
  awk -v start="$start" -v end="$end" -v hz="$(getconf CLK_TCK)" '
    /^challenges:/ { count = $2; seconds = $4 }
    /^wrk-cpu/ { wrk = $2 + $3 }
    END {
      if (count == 0) exit 1
      printf "%.0f %.0f %.0f\n", count / seconds, (end - start) / hz * 1e6 / count, wrk * 1e6 / count
    }' "$work/wrk" "$work/time"
}

echo "round  before: ch/s host-us wrk-us   after: ch/s host-us wrk-us   ratio"
: >"$work/ratios"
for round in $(seq "$rounds"); do
  measured=$(run "$before") || fail "the run of $before failed"
  set -- $measured
  old_rate=$1 old_host=$2 old_wrk=$3
  measured=$(run "$after") || fail "the run of $after failed"
  set -- $measured
  ratio=$(awk -v a="$1" -v b="$old_rate" 'BEGIN { printf "%.2f", a / b }')
  echo "$ratio" >>"$work/ratios"
  printf '%5d  %12s %7s %6s   %11s %7s %6s   %5sx\n' "$round" "$old_rate" "$old_host" \
    "$old_wrk" "$1" "$2" "$3" "$ratio"
done
sort -n "$work/ratios" | awk '{ r[NR] = $1 } END {
  m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
  printf "median ratio %.2fx over %d rounds\n", m, NR }'
