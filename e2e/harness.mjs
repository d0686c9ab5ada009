// What the browser tests share: a zvcenter of the build serving the gallery on a free
// loopback port, and Debian's Chromium driven by playwright-core.
//
// Environment: ZVCENTER (the program; default build/default/zvcenter), CHROMIUM
// (default /usr/bin/chromium), ZV_E2E_OUTPUT (screenshots; default
// build/default/e2e-output). ZV_E2E_SKIP=1 skips the tests; otherwise a browser that
// cannot start fails them.

import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import assert from 'node:assert/strict';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const tree = path.resolve(here, '..');

export const skip = process.env.ZV_E2E_SKIP === '1' ? 'ZV_E2E_SKIP=1' : false;
export const outputDir = process.env.ZV_E2E_OUTPUT || path.join(tree, 'build/default/e2e-output');

const chromiumFlags = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic',
];

// A port nobody listens on now, on 127.0.0.1.
export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// A running `zvcenter --gallery --no-browser`: its address, and its standard output as
// lines, which the gallery's controller writes what it received to.
export class zvcenter {
  // The gallery by default; with { gallery: false } the console itself, on the
  // installation that `env` (ZELVAR_HKLM, ZELVAR_HKCU) names.
  static async start(extraArgs = [], { gallery = true, env: extraEnv = {} } = {}) {
    const program = process.env.ZVCENTER || path.join(tree, 'build/default/zvcenter');
    const home = mkdtempSync(path.join(os.tmpdir(), 'zv-e2e-home-'));
    writeFileSync(path.join(home, 'hklm.conf'), '');
    writeFileSync(path.join(home, 'hkcu.conf'), '');
    const port = await freePort();
    const env = {
      PATH: process.env.PATH || '/usr/bin:/bin',
      HOME: home,
      XDG_CONFIG_HOME: path.join(home, '.config'),
      ZELVAR_PORT: String(port),
      ZELVAR_INTERFACES: 'lo',
      ZELVAR_HKLM: path.join(home, 'hklm.conf'),
      ZELVAR_HKCU: path.join(home, 'hkcu.conf'),
    };
    Object.assign(env, extraEnv);
    const args = [...(gallery ? ['--gallery'] : []), '--no-browser', ...extraArgs];
    const child = spawn(program, args, {
      env, stdio: ['ignore', 'pipe', 'pipe'],
    });
    const c = new zvcenter(child, home);
    await c.waitForLine(/^\s*address:\s+(http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)/, 15000)
      .then((m) => { c.url = m[1]; });
    return c;
  }

  constructor(child, home) {
    this.child = child;
    this.home = home;
    this.lines = [];
    this.stderr = '';
    this.waiters = [];
    this.exited = null;
    let partial = '';
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', (chunk) => {
      partial += chunk;
      const parts = partial.split('\n');
      partial = parts.pop();
      for (const line of parts) this.addLine(line);
    });
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', (chunk) => { this.stderr += chunk; });
    child.on('exit', (code, signal) => {
      this.exited = { code, signal };
      for (const w of this.waiters) w.fail(new Error(`zvcenter ended (${code ?? signal}): ${this.stderr}`));
      this.waiters = [];
    });
    child.on('error', (err) => {
      for (const w of this.waiters) w.fail(err);
      this.waiters = [];
    });
  }

  addLine(line) {
    this.lines.push(line);
    this.waiters = this.waiters.filter((w) => !w.check(line));
  }

  // The first line from now on (or, with `since`, from that line index) matching `re`.
  waitForLine(re, timeout = 5000, since = this.lines.length) {
    for (const line of this.lines.slice(since)) {
      const m = line.match(re);
      if (m) return Promise.resolve(m);
    }
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.waiters = this.waiters.filter((w) => w !== waiter);
        reject(new Error(`no line matching ${re} within ${timeout} ms; output:\n` +
          this.lines.slice(-20).join('\n') + '\n' + this.stderr));
      }, timeout);
      const waiter = {
        check: (line) => {
          const m = line.match(re);
          if (!m) return false;
          clearTimeout(timer);
          resolve(m);
          return true;
        },
        fail: (err) => {
          clearTimeout(timer);
          reject(err);
        },
      };
      if (this.exited) waiter.fail(new Error('zvcenter is not running: ' + this.stderr));
      else this.waiters.push(waiter);
    });
  }

  // SIGTERM ends the console with exit code 0.
  async stop() {
    if (!this.exited) {
      const ended = new Promise((resolve) => this.child.once('exit', (code, signal) => resolve({ code, signal })));
      this.child.kill('SIGTERM');
      const kill = setTimeout(() => this.child.kill('SIGKILL'), 5000);
      this.exited = await ended;
      clearTimeout(kill);
    }
    rmSync(this.home, { recursive: true, force: true });
    return this.exited;
  }
}

// Debian's Chromium with a profile of its own; fails (never skips) when it cannot start.
export async function startBrowser() {
  const profile = mkdtempSync(path.join(os.tmpdir(), 'zv-e2e-chromium-'));
  const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath,
      headless: true,
      args: chromiumFlags,
      viewport: { width: 1200, height: 900 },
      timeout: 30000,
    });
  } catch (err) {
    rmSync(profile, { recursive: true, force: true });
    throw new Error(`Chromium (${executablePath}) did not start: ${err.message}`);
  }
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

export function screenshotPath(name) {
  mkdirSync(outputDir, { recursive: true });
  return path.join(outputDir, name + '.png');
}

// Polls `read` until it returns `want` (deepEqual) or the time is up; then fails with
// the last value read.
export async function eventually(read, want, timeout = 5000) {
  const end = Date.now() + timeout;
  for (;;) {
    const got = await read();
    try {
      assert.deepEqual(got, want);
      return;
    } catch (err) {
      if (Date.now() > end) throw err;
    }
    await new Promise((r) => setTimeout(r, 50));
  }
}

// Answers the message box that shows next on the page with the button `id`; its text.
export async function answerBox(page, id) {
  const box = page.locator('body.messagebox').last();
  await box.waitFor({ state: 'visible' });
  const text = await box.locator('.box-text').textContent();
  await box.locator('#' + id).click();
  await box.waitFor({ state: 'detached' });
  return text;
}

// A demo installation (zvdemo of the build) in a fresh directory named after `name`,
// and the console on it in a page of the browser: { root, env, zv, page }.
export async function startDemoConsole(browser, build, name) {
  const root = mkdtempSync(path.join(os.tmpdir(), 'zv-e2e-' + name + '-'));
  execFileSync(path.join(build, 'zvdemo'), [root, path.join(build, 'Bin')], { stdio: 'ignore' });
  const env = {
    ZELVAR_HKLM: path.join(root, 'registry/hklm.conf'),
    ZELVAR_HKCU: path.join(root, 'registry/hkcu.conf'),
    ZELVAR_MAILSLOTS: 'zv-e2e-' + name + '-' + process.pid,
  };
  const zv = await zvcenter.start([], { gallery: false, env });
  const page = await browser.context.newPage();
  page.setDefaultTimeout(10000);
  await page.goto(zv.url);
  await page.locator('#terminals_widget > zv-option').first().waitFor({ state: 'visible' });
  return { root, env, zv, page };
}
