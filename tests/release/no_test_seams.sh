#!/bin/sh
# The release build carries no test seam: the names of the seams appear in
# none of its binaries, and its CLI ignores the seam that pins the clock in
# builds with tests (a token still ages, and is stamped with the real time).
# Usage: no_test_seams.sh RELEASE_BUILD_DIR
set -eu
release="$1"
cli="$release/tools/glimmark/glimmark"
binaries="$cli $release/component/libglimmark.so $release/platform/libglimmark_platform.so"
for binary in $binaries; do
  [ -f "$binary" ] || { echo "missing $binary: build the release tree first (make all)"; exit 1; }
  found=$(strings -a "$binary" | grep -E 'GlimmarkTest_|GLIMMARK_TEST_SEAM' | head -n 3 || true)
  if [ -n "$found" ]; then
    echo "$binary carries test seams:"
    echo "$found"
    exit 1
  fi
done

# The seam's variable names a moment 25 years ago. A build that obeyed it
# would stamp the token then and read an age of 0 a second later.
pinned=1000000000
token=$(GLIMMARK_TEST_SEAM_PINNED_CLOCK=$pinned "$cli" token --password release-check --text Aging)
sleep 2
age=$(GLIMMARK_TEST_SEAM_PINNED_CLOCK=$pinned "$cli" verify --password release-check --token "$token" |
      sed -n 's/^age: //p')
case "$age" in
  ''|*[!0-9]*) echo "verify printed no age (got '$age')"; exit 1 ;;
esac
if [ "$age" -lt 1 ] || [ "$age" -gt 60 ]; then
  echo "the release CLI obeyed the pinned clock: age $age after 2 s"
  exit 1
fi
echo "no seam names in $binaries; a token aged $age s under GLIMMARK_TEST_SEAM_PINNED_CLOCK"
