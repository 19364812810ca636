// `glimmark serve` as a child process of the browser test: started on a free
// loopback port, stopped with SIGTERM as an operator would, and killed if the
// test itself is stopped, so that no host outlives the test.
import { execFile, spawn } from 'node:child_process';
import { createServer } from 'node:net';
import { constants } from 'node:os';
import { promisify } from 'node:util';

const LOOPBACK = '127.0.0.1';
const START_ATTEMPTS = 5;  // another program may take the free port first
const START_TIMEOUT_MS = 60_000;  // a sanitizer build starts slowly
const STOP_TIMEOUT_MS = 30_000;  // and checks for leaks on the way out

const running = new Set();

function killAll() {
  for (const child of running) child.kill('SIGKILL');
}
process.on('exit', killAll);
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
  process.on(signal, () => {
    killAll();
    process.exit(128 + constants.signals[signal]);
  });
}

// A port nobody listens on now (the kernel's choice of an ephemeral port).
export function freePort() {
  return new Promise((resolve, reject) => {
    const probe = createServer();
    probe.once('error', reject);
    probe.listen(0, LOOPBACK, () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

function exitOf(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) {
      resolve({ code: child.exitCode, signal: child.signalCode });
    } else {
      child.once('exit', (code, signal) => resolve({ code, signal }));
    }
  });
}

// Resolves once the host prints its address, or with null when it exits first.
function whenServing(child, output) {
  return new Promise((resolve) => {
    const timer = setTimeout(() => resolve(null), START_TIMEOUT_MS);
    child.stdout.on('data', (chunk) => {
      output.stdout += chunk;
      if (output.stdout.includes('serving on http://')) {
        clearTimeout(timer);
        resolve(child);
      }
    });
    child.once('exit', () => {
      clearTimeout(timer);
      resolve(null);
    });
  });
}

export class PageHostProcess {
  // Runs `glimmark serve` with `args` (besides --bind and --port) under `env`.
  static async start(tool, args, env) {
    let failure = '';
    for (let attempt = 0; attempt < START_ATTEMPTS; ++attempt) {
      const port = await freePort();
      const child = spawn(tool, ['serve', '--bind', LOOPBACK, '--port', String(port), ...args], {
        env,
        stdio: ['ignore', 'pipe', 'pipe'],
      });
      running.add(child);
      const output = { stdout: '', stderr: '' };
      child.stderr.on('data', (chunk) => (output.stderr += chunk));
      if (await whenServing(child, output)) return new PageHostProcess(child, port, output);
      child.kill('SIGKILL');
      await exitOf(child);
      running.delete(child);
      failure = output.stderr;
    }
    throw new Error(`glimmark serve did not start: ${failure}`);
  }

  constructor(child, port, output) {
    this.child = child;
    this.output = output;
    this.url = `http://${LOOPBACK}:${port}/`;
  }

  // SIGTERM, then the exit status; SIGKILL if the host does not stop in time.
  async stop() {
    this.child.kill('SIGTERM');
    const timer = setTimeout(() => this.child.kill('SIGKILL'), STOP_TIMEOUT_MS);
    const exit = await exitOf(this.child);
    clearTimeout(timer);
    running.delete(this.child);
    return { ...exit, stderr: this.output.stderr };
  }
}

// Runs the tool to completion; rejects with its error output on failure.
export async function runTool(tool, args, env) {
  const { stdout } = await promisify(execFile)(tool, args, { env });
  return stdout;
}
