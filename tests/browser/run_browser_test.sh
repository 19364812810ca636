#!/bin/sh
# Runs the browser test of the page host (challenge_form_test.mjs) for ctest:
#   run_browser_test.sh GLIMMARK_TOOL WORK_DIR [nginx]
# With `nginx` the form is driven through two hosts on one Redis behind
# nginx (site_behind_nginx.mjs), skipped too without redis-server or nginx.
# WORK_DIR, in the build tree, receives playwright-core (npm ci from the
# committed lock, again only when the lock changes), the scratch registry,
# the browser profile and the screenshot of the form. Exits with 77, which
# ctest reports as a skip, when chromium, node or npm is not installed.
set -eu

tool=$1
work=$2
through=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
chromium=${GLIMMARK_CHROMIUM:-/usr/bin/chromium}
skip_code=77

skip() {
  echo "browser test skipped: $1 (scripts/install-deps installs it)"
  exit "$skip_code"
}

[ -x "$chromium" ] || skip "no chromium at $chromium"
command -v node >/dev/null 2>&1 || skip "no node"
command -v npm >/dev/null 2>&1 || skip "no npm"

modules="$work/npm"
mkdir -p "$modules"
if ! cmp -s "$here/package-lock.json" "$modules/package-lock.json" ||
  [ ! -f "$modules/node_modules/playwright-core/package.json" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$modules/"
  npm ci --prefix "$modules" --no-audit --no-fund --loglevel=error
fi

export GLIMMARK_TOOL="$tool" GLIMMARK_BROWSER_WORK="$work" GLIMMARK_CHROMIUM="$chromium" \
  PLAYWRIGHT_MODULES="$modules/node_modules"
if [ "$through" = nginx ]; then
  command -v redis-server >/dev/null 2>&1 || skip "no redis-server"
  [ -x /usr/sbin/nginx ] || command -v nginx >/dev/null 2>&1 || skip "no nginx"
  exec node "$here/site_behind_nginx.mjs" "$tool" "$work/nginx" -- node "$here/challenge_form_test.mjs"
fi
exec node "$here/challenge_form_test.mjs"
