// The challenge form as a visitor meets it: Debian's chromium, driven by
// playwright-core, loads the page host's form, sees the picture, and submits
// answers. The right answer is learned the operator's way, by opening the
// form's envelope with `glimmark verify --key-file`. The spoken challenge's
// player sits after the picture, and its WAV decodes in the browser. A second host with a
// one-second --max-age makes an expired token without touching any clock.
//
// Started by run_browser_test.sh, which passes through the environment:
//   GLIMMARK_TOOL          the built glimmark tool
//   GLIMMARK_BROWSER_WORK  a folder of the build tree for scratch files
//   GLIMMARK_CHROMIUM      the browser to drive
//   PLAYWRIGHT_MODULES     node_modules holding playwright-core
// and, to drive a site that is already running (two hosts behind nginx,
// started by site_behind_nginx.mjs) instead of a host of its own:
//   GLIMMARK_SITE_URL, GLIMMARK_SITE_KEY_FILE, GLIMMARK_SITE_PASSWORD
// Leaves challenge-form.png (the form as loaded) in the work folder.
import assert from 'node:assert/strict';
import { randomBytes } from 'node:crypto';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { after, before, describe, it } from 'node:test';

import { PageHostProcess, runTool } from './page_host_process.mjs';

const tool = process.env.GLIMMARK_TOOL;
const work = process.env.GLIMMARK_BROWSER_WORK;
const require = createRequire(join(process.env.PLAYWRIGHT_MODULES, 'playwright-core', 'package.json'));
const { chromium } = require('playwright-core');

const siteUrl = process.env.GLIMMARK_SITE_URL;
const PASSWORD = siteUrl ? process.env.GLIMMARK_SITE_PASSWORD : 'browser-pw7';
const PICTURE_WIDTH = 200;  // the form's default picture
const PICTURE_HEIGHT = 70;
const SHORT_MAX_AGE_SECONDS = 1;
// Ages are whole seconds and a token expires once its age exceeds the limit:
// two seconds past the limit, plus a margin, is always past it.
const EXPIRY_WAIT_MS = (SHORT_MAX_AGE_SECONDS + 2) * 1000 + 500;
const BROWSER_FLAGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

mkdirSync(work, { recursive: true });
const keyFile = siteUrl ? process.env.GLIMMARK_SITE_KEY_FILE : join(work, 'host.key');
const env = {
  ...process.env,
  GLIMMARK_REGISTRY: join(work, 'registry.db'),
};

// The text sealed in `envelope`, as `glimmark verify` opens it.
async function answerOf(envelope) {
  const printed = await runTool(
    tool,
    ['verify', '--key-file', keyFile, '--password', PASSWORD, '--token', envelope, '--json'],
    env,
  );
  return JSON.parse(printed).text;
}

// What the verdict page of a refused answer shows.
function refused(reason) {
  return { status: 403, verdict: `Refused: ${reason}`, reason };
}

// The answer with its last character changed: wrong by exactly one character.
function oneCharacterOff(answer) {
  const last = answer.at(-1) === 'A' ? 'B' : 'A';
  return answer.slice(0, -1) + last;
}

describe('the challenge form in chromium', () => {
  let host;
  let shortLivedHost;
  let context;
  let page;
  let profile;

  before(async () => {
    if (!siteUrl) writeFileSync(keyFile, randomBytes(32));
    rmSync(env.GLIMMARK_REGISTRY, { force: true });
    await runTool(tool, ['register', '--user'], env);
    const common = ['--password', PASSWORD, '--key-file', keyFile, '--threads', '4'];
    host = siteUrl ? { url: siteUrl } : await PageHostProcess.start(tool, common, env);
    shortLivedHost = await PageHostProcess.start(
      tool,
      [...common, '--max-age', String(SHORT_MAX_AGE_SECONDS)],
      env,
    );
    profile = mkdtempSync(join(work, 'profile-'));
    context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.GLIMMARK_CHROMIUM,
      headless: true,
      args: BROWSER_FLAGS,
      viewport: { width: 520, height: 270 },
    });
    page = context.pages()[0] ?? (await context.newPage());
  });

  after(async () => {
    await context?.close();
    if (profile) rmSync(profile, { recursive: true, force: true });
    for (const running of [host, shortLivedHost]) {
      if (running?.child?.exitCode === null) await running.stop();
    }
  });

  // Submits `answer` in the form on screen; the verdict page's status and reason.
  async function submit(answer) {
    await page.fill('#answer', answer);
    const [response] = await Promise.all([page.waitForNavigation(), page.click('#submit')]);
    const verdict = (await page.textContent('#verdict')).trim();
    const reason = (await page.locator('#reason').count()) ? await page.textContent('#reason') : '';
    return { status: response.status(), verdict, reason };
  }

  // Back from a verdict to the form: the host does not let the browser keep
  // the form, so it is asked for again and carries a new envelope.
  async function backToNewForm(used) {
    await page.goBack();
    const fresh = await page.inputValue('input[name="token"]');
    assert.notEqual(fresh, used);
    return fresh;
  }

  let envelope;
  let answer;

  it('shows the picture: a decoded 200x70 JPEG', async () => {
    const pictureResponse = page.waitForResponse((r) => new URL(r.url()).pathname === '/captcha');
    const form = await page.goto(host.url);
    assert.equal(form.status(), 200);
    envelope = await page.inputValue('input[name="token"]');
    answer = await answerOf(envelope);
    assert.match(answer, /^[A-Za-z0-9]{5,6}$/);

    const picture = await pictureResponse;
    assert.equal(picture.status(), 200);
    assert.equal(picture.headers()['content-type'], 'image/jpeg');
    const decoded = await page.locator('#captcha').evaluate(async (img) => {
      await img.decode();  // rejects unless the bytes decode as an image
      return { width: img.naturalWidth, height: img.naturalHeight };
    });
    assert.deepEqual(decoded, { width: PICTURE_WIDTH, height: PICTURE_HEIGHT });
    await page.screenshot({ path: join(work, 'challenge-form.png') });
  });

  it('offers the spoken challenge after the picture, labelled and reachable by keyboard', async () => {
    const audio = page.locator('#captcha-audio');
    assert.equal(await audio.count(), 1);
    const facts = await audio.evaluate((element) => ({
      controls: element.controls,
      label: document.getElementById(element.getAttribute('aria-labelledby'))?.textContent ?? '',
      afterPicture: Boolean(
        document.getElementById('captcha').compareDocumentPosition(element) &
          Node.DOCUMENT_POSITION_FOLLOWING,
      ),
      source: element.src,
    }));
    assert.equal(facts.controls, true);
    assert.match(facts.label, /listen/i);
    assert.equal(facts.afterPicture, true);
    // One step back from the answer field (which has the focus) is the player.
    await page.focus('#answer');
    await page.keyboard.press('Shift+Tab');
    assert.equal(await page.evaluate(() => document.activeElement?.id), 'captcha-audio');

    const response = await page.request.get(facts.source);
    assert.equal(response.status(), 200);
    assert.equal(response.headers()['content-type'], 'audio/wav');
    const decoded = await page.evaluate(async (base64) => {
      const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const buffer = await new OfflineAudioContext(1, 1, 16000).decodeAudioData(bytes.buffer);
      return { seconds: buffer.duration, channels: buffer.numberOfChannels };
    }, (await response.body()).toString('base64'));
    assert.equal(decoded.channels, 1);
    assert.ok(decoded.seconds >= 2 && decoded.seconds <= 15, `${decoded.seconds} s`);
    // The player itself loads it from the page, as a visitor's click would.
    const playerSeconds = await audio.evaluate(
      (element) =>
        new Promise((resolve, reject) => {
          element.addEventListener('loadedmetadata', () => resolve(element.duration), { once: true });
          element.addEventListener('error', () => reject(new Error(`media error ${element.error?.code}`)), {
            once: true,
          });
          element.preload = 'auto';
          element.load();
        }),
    );
    assert.ok(Math.abs(playerSeconds - decoded.seconds) < 1, `${playerSeconds} s`);
  });

  it('refuses a wrong answer and says so', async () => {
    assert.deepEqual(await submit(oneCharacterOff(answer)), refused('wrong answer'));
  });

  it('after the back button, the new form accepts its right answer', async () => {
    envelope = await backToNewForm(envelope);
    answer = await answerOf(envelope);
    assert.deepEqual(await submit(answer), { status: 200, verdict: 'Accepted.', reason: '' });
  });

  it('refuses a used envelope sent again', async () => {
    await backToNewForm(envelope);
    await page.locator('input[name="token"]').evaluate((field, used) => {
      field.value = used;
    }, envelope);
    assert.deepEqual(await submit(answer), refused('already used'));
  });

  it('refuses an expired token and says so', async () => {
    await page.goto(shortLivedHost.url);
    const shortLived = await page.inputValue('input[name="token"]');
    const rightAnswer = await answerOf(shortLived);
    await sleep(EXPIRY_WAIT_MS);
    assert.deepEqual(await submit(rightAnswer), refused('expired'));
  });

  it('stops the hosts it started cleanly on SIGTERM', async () => {
    for (const running of [host, shortLivedHost].filter((started) => started.child)) {
      const { code, signal, stderr } = await running.stop();
      assert.deepEqual({ code, signal }, { code: 0, signal: null }, stderr);
    }
  });
});
