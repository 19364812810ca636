// Two hosts on one Redis behind nginx (round robin), driven over HTTP without
// a browser: whichever host takes a request, an envelope is answered once,
// its picture is the same bytes, one address's failed answers add up to one
// limit, and a store that goes away makes the hosts refuse (503) rather than
// decide alone, then serve again, the old claims kept, once it is back.
//
// Run by ctest with GLIMMARK_TOOL set; exits 77 (a skip) without redis-server
// or nginx.
import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';

import { runTool } from './page_host_process.mjs';
import { SITE_PASSWORD, SiteBehindNginx, siteMissing } from './site_behind_nginx.mjs';

const SKIP_CODE = 77;
const missing = siteMissing();
if (missing) {
  console.log(`through-nginx test skipped: ${missing}`);
  process.exit(SKIP_CODE);
}

const tool = process.env.GLIMMARK_TOOL;
const work = process.env.GLIMMARK_BROWSER_WORK;
const MAX_FAILURES = 10;  // the hosts' default per window
const FETCHES_PER_CHECK = 6;  // enough to reach both hosts several times over
const RECOVERY_TIMEOUT_MS = 15_000;
const HEALTHY_IN_A_ROW = 4;  // round robin: each host twice

describe('two hosts on one Redis behind nginx', () => {
  let site;

  before(async () => {
    site = await SiteBehindNginx.start(tool, work);
  });

  after(async () => {
    await site?.stop();
  });

  async function newEnvelope() {
    const response = await fetch(site.url);
    assert.equal(response.status, 200);
    const page = await response.text();
    return page.match(/name="token" value="([^"]+)"/)[1];
  }

  async function answerOf(envelope) {
    const printed = await runTool(
      tool,
      ['verify', '--key-file', site.keyFile, '--password', SITE_PASSWORD, '--token', envelope, '--json'],
      site.env,
    );
    return JSON.parse(printed).text;
  }

  async function submit(envelope, answer) {
    const response = await fetch(site.url + 'verify', {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded', Accept: 'application/json' },
      body: new URLSearchParams({ token: envelope, answer }).toString(),
    });
    const text = await response.text();
    let reason = '';
    try {
      const body = JSON.parse(text);
      reason = body.ok ? 'accepted' : body.reason;
    } catch {
      reason = text.trim();
    }
    return { status: response.status, reason, retryAfter: response.headers.get('retry-after') };
  }

  async function picture(envelope) {
    const response = await fetch(`${site.url}captcha?token=${envelope}`);
    return { status: response.status, bytes: Buffer.from(await response.arrayBuffer()) };
  }

  // Requests each host has logged so far (the access log on standard output).
  function requestsPerHost() {
    return site.hosts.map((host) => (host.output.stdout.match(/"(GET|POST) /g) ?? []).length);
  }

  it('serves one picture per envelope, whichever host draws it', async () => {
    const envelope = await newEnvelope();
    const first = await picture(envelope);
    assert.equal(first.status, 200);
    for (let i = 1; i < FETCHES_PER_CHECK; ++i) {
      const again = await picture(envelope);
      assert.equal(again.status, 200);
      assert.ok(again.bytes.equals(first.bytes), `fetch ${i} differs from the first`);
    }
    const counts = requestsPerHost();
    assert.ok(counts.every((count) => count > 0), `each host served: ${counts}`);
  });

  it('accepts an envelope once, whichever host is asked again', async () => {
    const envelope = await newEnvelope();
    const answer = await answerOf(envelope);
    assert.equal((await submit(envelope, answer)).reason, 'accepted');
    for (let i = 0; i < FETCHES_PER_CHECK; ++i) {
      assert.deepEqual(await submit(envelope, answer), { status: 403, reason: 'already used', retryAfter: null });
    }
  });

  it('refuses with 503 while Redis is down and serves again when it is back', async () => {
    const used = await newEnvelope();
    assert.equal((await submit(used, await answerOf(used))).reason, 'accepted');
    const pending = await newEnvelope();
    const pendingAnswer = await answerOf(pending);

    await site.redis.kill();
    for (let i = 0; i < FETCHES_PER_CHECK; ++i) {
      const refused = await submit(pending, pendingAnswer);
      assert.equal(refused.status, 503);
      assert.ok(Number(refused.retryAfter) >= 1);
      assert.equal((await picture(pending)).status, 503);
    }
    assert.equal((await fetch(site.url)).status, 200);  // the form needs no store
    assert.equal((await fetch(site.url + 'healthz')).status, 503);

    await site.redis.start();
    // Both hosts answer /healthz in turn once each has reconnected.
    const deadline = Date.now() + RECOVERY_TIMEOUT_MS;
    let healthyInARow = 0;
    while (healthyInARow < HEALTHY_IN_A_ROW && Date.now() < deadline) {
      healthyInARow = (await fetch(site.url + 'healthz')).status === 200 ? healthyInARow + 1 : 0;
      await sleep(100);
    }
    assert.equal(healthyInARow, HEALTHY_IN_A_ROW, 'the hosts did not come back');
    assert.equal((await submit(pending, pendingAnswer)).reason, 'accepted');
    for (let i = 0; i < FETCHES_PER_CHECK; ++i) {
      assert.equal((await submit(used, 'anything')).reason, 'already used');
    }
  });

  it('counts failed answers of one address once across both hosts', async () => {
    for (let i = 0; i < MAX_FAILURES; ++i) {
      const result = await submit(await newEnvelope(), 'wrong!');
      assert.equal(result.reason, 'wrong answer', `failure ${i + 1}`);
    }
    const limited = await submit(await newEnvelope(), 'wrong!');
    assert.equal(limited.status, 429);
    assert.ok(Number(limited.retryAfter) >= 1, `Retry-After ${limited.retryAfter}`);
    const onTheOtherHost = await submit(await newEnvelope(), 'wrong!');
    assert.equal(onTheOtherHost.status, 429);
  });

  it('stops every host cleanly', async () => {
    const exits = await site.stop();
    site = null;
    for (const exit of exits) assert.deepEqual({ code: exit.code, signal: exit.signal }, { code: 0, signal: null }, exit.stderr);
  });
});
