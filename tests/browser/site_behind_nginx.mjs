// A site as the deployment notes describe it, on loopback: one redis-server
// (Unix socket, password, append-only file) in a scratch folder, two
// `glimmark serve` hosts sharing it, and nginx taking them in turn with the
// configuration shipped in examples/nginx/, its ports replaced. Everything is
// started here and stopped by stop(), or killed if the test process ends.
//
// As a program it holds such a site up while another command runs:
//   node site_behind_nginx.mjs [--single] TOOL WORK -- COMMAND [ARGS...]
// with GLIMMARK_SITE_URL, GLIMMARK_SITE_KEY_FILE, GLIMMARK_SITE_PASSWORD and
// (without --single) GLIMMARK_SITE_STORE_SOCKET and REDISCLI_AUTH (for
// redis-cli -s) in the command's environment; exits with the command's
// status. --single starts one host with its memory store instead, nothing
// else: the load benchmark's comparison.
import { spawn } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { chmodSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createConnection } from 'node:net';
import { userInfo } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { setTimeout as sleep } from 'node:timers/promises';

import { PageHostProcess, freePort, runTool } from './page_host_process.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const EXAMPLE = join(here, '..', '..', 'examples', 'nginx', 'glimmark-hosts.conf');
const EXAMPLE_HOSTS = ['127.0.0.1:8081', '127.0.0.1:8082'];
const EXAMPLE_LISTEN = 'listen 8080;';
const START_TIMEOUT_MS = 20_000;
const POLL_MS = 50;
const NGINX_START_ATTEMPTS = 5;  // another program may take the free port first

export const SITE_PASSWORD = 'nginx-site-pw3';
export const STORE_PREFIX = 'behind-nginx';

const running = new Set();
process.on('exit', () => {
  for (const child of running) child.kill('SIGKILL');
});

function missing(program) {
  const folders = (process.env.PATH ?? '/usr/bin:/bin').split(':').concat(['/usr/sbin', '/sbin']);
  return !folders.some((folder) => existsSync(join(folder, program)));
}

// Why the site cannot run here, or '' when it can.
export function siteMissing() {
  for (const program of ['redis-server', 'nginx']) {
    if (missing(program)) return `no ${program} (scripts/install-deps installs it)`;
  }
  return '';
}

function nginxProgram() {
  return ['/usr/sbin/nginx', '/usr/bin/nginx'].find((path) => existsSync(path)) ?? 'nginx';
}

function exited(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) resolve();
    else child.once('exit', () => resolve());
  });
}

async function stopChild(child, signal = 'SIGTERM') {
  if (!child || child.exitCode !== null || child.signalCode !== null) return;
  child.kill(signal);
  const timer = setTimeout(() => child.kill('SIGKILL'), 10_000);
  await exited(child);
  clearTimeout(timer);
  running.delete(child);
}

// Sends RESP `command` over the Unix socket and resolves with the first reply line.
function redisLine(socketPath, password, command) {
  return new Promise((resolve) => {
    const connection = createConnection(socketPath);
    let buffer = '';
    const lines = [`AUTH ${password}`, command].map((line) => line + '\r\n').join('');
    connection.on('connect', () => connection.write(lines));
    connection.on('data', (chunk) => {
      buffer += chunk;
      const replies = buffer.split('\r\n');
      if (replies.length > 2) {
        connection.end();
        resolve(replies[1]);
      }
    });
    connection.on('error', () => resolve(''));
  });
}

export class RedisProcess {
  constructor(folder, password) {
    this.folder = folder;
    this.password = password;
    this.socket = join(folder, 'redis.sock');
    this.child = null;
  }

  get address() {
    return `unix://${this.socket}`;
  }

  async start() {
    const config = join(this.folder, 'redis.conf');
    writeFileSync(
      config,
      [
        'port 0',
        `unixsocket ${this.socket}`,
        'unixsocketperm 700',
        `dir ${this.folder}`,
        `logfile ${join(this.folder, 'redis.log')}`,
        'save ""',
        'appendonly yes',
        'appendfsync always',
        `requirepass ${this.password}`,
      ].join('\n') + '\n',
    );
    this.child = spawn('redis-server', [config], { stdio: 'ignore' });
    running.add(this.child);
    const deadline = Date.now() + START_TIMEOUT_MS;
    while (Date.now() < deadline) {
      if ((await this.command('PING')) === '+PONG') return;
      if (this.child.exitCode !== null) break;
      await sleep(POLL_MS);
    }
    throw new Error(`redis-server did not start; see ${this.folder}/redis.log`);
  }

  command(line) {
    return redisLine(this.socket, this.password, line);
  }

  kill() {
    return stopChild(this.child, 'SIGKILL');
  }

  stop() {
    return stopChild(this.child);
  }
}

// The shipped configuration with the hosts' and nginx's ports put in.
function nginxSiteConfig(hostPorts, port) {
  let text = readFileSync(EXAMPLE, 'utf8');
  for (const [i, host] of EXAMPLE_HOSTS.entries()) {
    if (!text.includes(host)) throw new Error(`${EXAMPLE} no longer names ${host}`);
    text = text.replace(host, `127.0.0.1:${hostPorts[i]}`);
  }
  if (!text.includes(EXAMPLE_LISTEN)) throw new Error(`${EXAMPLE} no longer says ${EXAMPLE_LISTEN}`);
  return text.replace(EXAMPLE_LISTEN, `listen 127.0.0.1:${port};`);
}

async function answersHttp(url) {
  try {
    const response = await fetch(url);
    await response.arrayBuffer();
    return true;
  } catch {
    return false;
  }
}

async function startNginx(folder, hostPorts) {
  let failure = '';
  for (let attempt = 0; attempt < NGINX_START_ATTEMPTS; ++attempt) {
    const port = await freePort();
    writeFileSync(join(folder, 'glimmark-hosts.conf'), nginxSiteConfig(hostPorts, port));
    const temp = (name) => `${name}_temp_path ${join(folder, name)};`;
    writeFileSync(
      join(folder, 'nginx.conf'),
      [
        `user ${userInfo().username};`,  // a root test run keeps its workers able to read the folder
        'worker_processes 1;',
        'daemon off;',
        `pid ${join(folder, 'nginx.pid')};`,
        `error_log ${join(folder, 'nginx-error.log')};`,
        'events { worker_connections 1024; }',
        'http {',
        `  access_log ${join(folder, 'nginx-access.log')};`,
        ...['client_body', 'proxy', 'fastcgi', 'uwsgi', 'scgi'].map((name) => '  ' + temp(name)),
        `  include ${join(folder, 'glimmark-hosts.conf')};`,
        '}',
      ].join('\n') + '\n',
    );
    const child = spawn(
      nginxProgram(),
      ['-p', folder, '-c', join(folder, 'nginx.conf'), '-e', join(folder, 'nginx-error.log')],
      { stdio: ['ignore', 'ignore', 'pipe'] },
    );
    running.add(child);
    let stderr = '';
    child.stderr.on('data', (chunk) => (stderr += chunk));
    const url = `http://127.0.0.1:${port}/`;
    const deadline = Date.now() + START_TIMEOUT_MS;
    while (Date.now() < deadline && child.exitCode === null) {
      if (await answersHttp(url + 'healthz')) return { child, url };
      await sleep(POLL_MS);
    }
    await stopChild(child, 'SIGKILL');
    failure = stderr || readFileSync(join(folder, 'nginx-error.log'), 'utf8');
  }
  throw new Error(`nginx did not start: ${failure}`);
}

export class SiteBehindNginx {
  // Starts redis-server, two hosts and nginx under `work`.
  static async start(tool, work, env = process.env) {
    mkdirSync(work, { recursive: true });
    const folder = mkdtempSync('/tmp/glimmark-site-');  // short: Unix socket paths are limited
    chmodSync(folder, 0o755);
    const site = new SiteBehindNginx(tool, folder, env);
    try {
      await site.#start();
    } catch (error) {
      await site.stop();
      throw error;
    }
    return site;
  }

  constructor(tool, folder, env) {
    this.tool = tool;
    this.folder = folder;
    this.keyFile = join(folder, 'host.key');
    this.storePasswordFile = join(folder, 'store-password');
    this.env = { ...env, GLIMMARK_REGISTRY: join(folder, 'registry.db') };
    this.redis = new RedisProcess(folder, randomBytes(12).toString('hex'));
    this.hosts = [];
    this.nginx = null;
    this.url = '';
  }

  async #start() {
    writeFileSync(this.keyFile, randomBytes(32));
    writeFileSync(this.storePasswordFile, this.redis.password + '\n', { mode: 0o600 });
    await this.redis.start();
    await runTool(this.tool, ['register', '--user'], this.env);
    const args = [
      '--password', SITE_PASSWORD,
      '--key-file', this.keyFile,
      '--store', this.redis.address,
      '--store-password-file', this.storePasswordFile,
      '--store-prefix', STORE_PREFIX,
      '--trusted-proxy', '127.0.0.1',
      ];
    for (let i = 0; i < 2; ++i) this.hosts.push(await PageHostProcess.start(this.tool, args, this.env));
    const ports = this.hosts.map((host) => new URL(host.url).port);
    const { child, url } = await startNginx(this.folder, ports);
    this.nginx = child;
    this.url = url;
  }

  // Stops nginx, the hosts (each must exit 0) and Redis; removes the folder.
  async stop() {
    await stopChild(this.nginx, 'SIGQUIT');  // nginx's graceful stop
    const exits = [];
    for (const host of this.hosts) {
      if (host.child.exitCode === null) exits.push(await host.stop());
    }
    await this.redis.stop();
    rmSync(this.folder, { recursive: true, force: true });
    return exits;
  }
}

// One host with its memory store, for comparison; the same secrets.
class SingleHost {
  static async start(tool) {
    const folder = mkdtempSync('/tmp/glimmark-host-');
    const single = new SingleHost(folder);
    writeFileSync(single.keyFile, randomBytes(32));
    await runTool(tool, ['register', '--user'], single.env);
    const args = ['--password', SITE_PASSWORD, '--key-file', single.keyFile];
    single.host = await PageHostProcess.start(tool, args, single.env);
    single.url = single.host.url;
    return single;
  }

  constructor(folder) {
    this.folder = folder;
    this.keyFile = join(folder, 'host.key');
    this.env = { ...process.env, GLIMMARK_REGISTRY: join(folder, 'registry.db') };
  }

  async stop() {
    await this.host?.stop();
    rmSync(this.folder, { recursive: true, force: true });
  }
}

async function main(argv) {
  const single = argv[0] === '--single';
  if (single) argv = argv.slice(1);
  if (argv.indexOf('--') !== 2 || argv.length < 4) {
    console.error('usage: node site_behind_nginx.mjs [--single] TOOL WORK -- COMMAND [ARGS...]');
    return 2;
  }
  const [tool, work] = argv;
  const site = single ? await SingleHost.start(tool) : await SiteBehindNginx.start(tool, work);
  const env = {
    ...process.env,
    GLIMMARK_SITE_URL: site.url,
    GLIMMARK_SITE_KEY_FILE: site.keyFile,
    GLIMMARK_SITE_PASSWORD: SITE_PASSWORD,
  };
  if (!single) {
    env.GLIMMARK_SITE_STORE_SOCKET = site.redis.socket;
    env.REDISCLI_AUTH = site.redis.password;
  }
  const child = spawn(argv[3], argv.slice(4), { stdio: 'inherit', env });
  const code = await new Promise((resolve) => child.once('exit', (status) => resolve(status ?? 1)));
  await site.stop();
  return code;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  process.exitCode = await main(process.argv.slice(2));
}
