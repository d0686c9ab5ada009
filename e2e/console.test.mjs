// The console on a demo installation (zvdemo) in headless Chromium: the terminals list,
// its columns, sort and filter, hiding and removing terminals, the add and find
// dialogs, and the per-user settings across a restart. What the page shows is checked
// against what zvctl reads from the same installation, and changes against the disk.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { eventually, zvcenter, screenshotPath, skip, startBrowser } from './harness.mjs';

const tree = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const build = process.env.ZV_BUILD || path.join(tree, 'build/default');

describe('console on the demo installation', { skip, timeout: 150000 }, () => {
  let root;
  let env;
  let zv;
  let browser;
  let page;
  const rows = '#terminals_widget > zv-option';
  const shot = (name) => page.screenshot({ path: screenshotPath('console-' + name) });
  const rowMacs = () => page.locator(rows).evaluateAll((els) => els.map((e) => e.getAttribute('tlgid')));
  const terminalDir = (mac) => path.join(root, 'ZelvarData/Terminals', mac.replaceAll(':', '.'));
  const zvctl = (...args) => JSON.parse(execFileSync(path.join(build, 'zvctl'), args, { env: { ...process.env, ...env } }));

  async function startConsole() {
    zv = await zvcenter.start([], { gallery: false, env });
    page = browser.context.pages()[0] || await browser.context.newPage();
    page.setDefaultTimeout(10000);
    await page.goto(zv.url);
    await page.locator(rows).first().waitFor({ state: 'visible' });
  }

  // Closes the main window with its close control: the settings are saved, the console
  // ends with 0.
  async function closeConsole() {
    const ended = new Promise((resolve) => zv.child.once('exit', (code) => resolve(code)));
    await page.locator('.zv-main .zv-close').click();
    assert.equal(await ended, 0);
    await zv.stop();
  }

  // Answers the message box that shows next with the button `id`; its text.
  async function answerBox(id) {
    const box = page.locator('body.messagebox').last();
    await box.waitFor({ state: 'visible' });
    const text = await box.locator('.box-text').textContent();
    await box.locator('#' + id).click();
    return text;
  }

  before(async () => {
    root = mkdtempSync(path.join(os.tmpdir(), 'zv-e2e-demo-'));
    execFileSync(path.join(build, 'zvdemo'), [root, path.join(build, 'Bin')], { stdio: 'ignore' });
    env = {
      ZELVAR_HKLM: path.join(root, 'registry/hklm.conf'),
      ZELVAR_HKCU: path.join(root, 'registry/hkcu.conf'),
      ZELVAR_MAILSLOTS: 'zv-e2e-' + process.pid,
    };
    browser = await startBrowser();
    await startConsole();
  });

  after(async () => {
    if (browser) await browser.close();
    if (zv) await zv.stop();
    if (root) rmSync(root, { recursive: true, force: true });
  });

  test('the list shows every terminal but the hidden ones, sorted by MAC', async () => {
    const all = zvctl('terminals').terminals;
    const real = all.filter((t) => !t.pseudo && !t.hidden).map((t) => t.mac).sort();
    const macs = await rowMacs();
    assert.deepEqual(macs.slice(0, real.length), real);
    assert.equal(macs.length, real.length + all.filter((t) => t.pseudo).length);
    // The first row is current, with its MAC and host shown.
    const first = page.locator(rows).first();
    assert.equal(await first.getAttribute('data-current'), '');
    const host = all.find((t) => t.mac === real[0]).host;
    if (host) assert.match(await first.textContent(), new RegExp(host));
    await shot('list');
  });

  test('Page Down and Page Up move by the rows in view and keep the current row in view', async () => {
    const widget = page.locator('#terminals_widget');
    // The current row's index, how many rows the list shows whole, whether the current
    // row is one of them, and how far the list is scrolled.
    const look = () => widget.evaluate((list) => {
      const box = list.getBoundingClientRect();
      const top = box.top + list.clientTop;
      const bottom = top + list.clientHeight;
      const all = [...list.querySelectorAll('zv-option')];
      const whole = (r) => r.top >= top - 0.5 && r.bottom <= bottom + 0.5;
      const at = all.findIndex((o) => o.hasAttribute('data-current'));
      return {
        at,
        shown: all.filter((o) => whole(o.getBoundingClientRect())).length,
        inView: at >= 0 && whole(all[at].getBoundingClientRect()),
        scrolled: list.scrollTop,
      };
    });
    await page.locator(rows).first().click();
    // Rows grow as their images arrive; a page is counted on the rows as drawn.
    await eventually(() => widget.evaluate((list) =>
      [...list.querySelectorAll('img')].every((i) => i.complete)), true);
    const start = await look();
    assert.equal(start.at, 0);
    assert.ok(start.shown >= 5 && start.shown < 100, `${start.shown} rows in view`);
    // Rows differ in height (some have images), so each press is checked against the
    // rows shown whole just before it.
    const press = async (key, sign) => {
      const before = await look();
      await page.keyboard.press(key);
      await eventually(async () => (await look()).at, before.at + sign * before.shown);
      assert.ok((await look()).inView, `the current row is in view after ${key}`);
    };
    await press('PageDown', 1);
    await press('PageDown', 1);
    await press('PageUp', -1);
    await shot('page-down');
    await page.keyboard.press('End');
    const count = await page.locator(rows).count();
    await eventually(async () => (await look()).at, count - 1);
    assert.ok((await look()).inView);
    await page.keyboard.press('Home');
    await eventually(async () => (await look()).at, 0);
    const now = await look();
    assert.ok(now.inView);
    assert.equal(now.scrolled, 0);
    // The arrows move by one and the page does not scroll by itself.
    await page.keyboard.press('ArrowDown');
    await eventually(async () => (await look()).at, 1);
    assert.equal(await page.evaluate(() => document.scrollingElement.scrollTop), 0);
  });

  test('a clicked tab takes the focus: the arrows, Home/End and Ctrl+Tab switch tabs', async () => {
    const tab = (name) => page.locator(`#main_tabs > .strip > [panel="${name}"]`);
    const current = () => page.locator('#main_tabs > .strip > [panel][data-current]').getAttribute('panel');
    await tab('panel-templates').click();
    await eventually(current, 'panel-templates');
    assert.equal(await page.locator('#main_tabs > .strip').evaluate((s) => s.getRootNode().activeElement === s), true);
    await page.keyboard.press('ArrowRight');
    await eventually(current, 'panel-video');
    await page.keyboard.press('End');
    await eventually(current, 'panel-logs');
    await page.keyboard.press('ArrowLeft');
    await eventually(current, 'panel-dhcp');
    await page.keyboard.press('Home');
    await eventually(current, 'panel-templates');  // the hidden first tab is skipped
    await page.keyboard.press('Control+Tab');
    await eventually(current, 'panel-video');
    await page.keyboard.press('Control+Shift+Tab');
    await eventually(current, 'panel-templates');
    assert.equal(await page.evaluate(() => document.scrollingElement.scrollLeft), 0);
  });

  test('the column menu adds the IP column and sorts by IP', async () => {
    await page.locator('#menu_terminals').click();
    await page.locator('#menu_terminals > menu[data-popup]').waitFor({ state: 'visible' });
    await page.locator('#showIP').click();
    await eventually(() => page.locator('#showIP').getAttribute('data-checked'), '');
    await page.locator('#sort_terminals').click();
    const list = page.locator('.zv-dropdown');
    await list.waitFor({ state: 'visible' });
    await shot('menu');
    await list.locator('zv-option', { hasText: /^IP$/ }).click();
    await list.waitFor({ state: 'detached' });
    await page.keyboard.press('Escape');
    await page.locator('#terminals_widget .IP_item').first().waitFor({ state: 'visible' });
    // Sorted by address: the rows with an address come in ascending numeric order.
    const ipKey = (ip) => ip.split('.').reduce((n, part) => n * 256 + Number(part), 0);
    const ips = await page.locator(rows).evaluateAll((els) =>
      els.map((e) => (e.querySelector('.IP_item')?.textContent || '').trim()).filter(Boolean));
    const sorted = [...ips].sort((a, b) => ipKey(a) - ipKey(b));
    assert.deepEqual(ips, sorted);
    const withIp = zvctl('terminals').terminals.filter((t) => !t.pseudo && !t.hidden && t.ip);
    const shown = await page.locator('#terminals_widget .IP_item').evaluateAll((els) => els.map((e) => e.textContent.trim()).filter(Boolean));
    assert.ok(shown.length >= withIp.length - 1, `${shown.length} IP cells for ${withIp.length} terminals`);
    await shot('ip-column');
  });

  test('hide and remove reach the disk', async () => {
    const macs = await rowMacs();
    const hidden = macs[1];
    await page.locator(`${rows}[tlgid="${hidden}"]`).click();
    await page.locator(`${rows}[tlgid="${hidden}"]`).click({ button: 'right' });
    await page.locator('#list_context[data-popup]').waitFor({ state: 'visible' });
    await shot('context-menu');
    await page.locator('#terminal_hide').click();
    await eventually(async () => (await rowMacs()).includes(hidden), false);
    assert.ok(existsSync(path.join(terminalDir(hidden), 'hidden')));

    const removed = (await rowMacs())[1];
    await page.locator(`${rows}[tlgid="${removed}"]`).click();
    await page.locator(`${rows}[tlgid="${removed}"]`).click({ button: 'right' });
    await page.locator('#terminal_remove').click();
    const question = await answerBox('IDYES');
    assert.match(question, /удал/i);
    await eventually(async () => (await rowMacs()).includes(removed), false);
    assert.ok(!existsSync(terminalDir(removed)));
    await shot('after-remove');
  });

  test('add refuses a duplicate and registers a new terminal', async () => {
    const existing = (await rowMacs())[0];
    await page.locator('#add_terminal').click();
    const form = page.locator('#MACValue').last();
    await form.waitFor({ state: 'visible' });
    // The form comes filled from the current terminal: cleared, then only the MAC.
    await page.locator('#addTerminal_clear').click();
    await eventually(() => page.locator('#IPValue').last().inputValue(), '');
    await form.fill(existing);
    await shot('add-dialog');
    await page.keyboard.press('Enter');
    const refusal = await answerBox('IDOK');
    assert.ok(refusal.length > 0);
    await form.fill('00:1A:2B:FF:00:01');
    await page.keyboard.press('Enter');
    const question = await answerBox('IDYES');
    assert.match(question, /00:1A:2B:FF:00:01/);
    await eventually(async () => (await rowMacs()).includes('00:1A:2B:FF:00:01'), true);
    assert.ok(existsSync(terminalDir('00:1A:2B:FF:00:01')));
    await shot('added');
    // The new terminal is current, so the context menu of its row deletes that one.
    const tabsMac = () => page.locator('#main_tabs').getAttribute('tlgid');
    await eventually(tabsMac, '00:1A:2B:FF:00:01');
    const real = () => zvctl('terminals').terminals.filter((t) => !t.pseudo).map((t) => t.mac);
    const before = real();
    await page.locator(`${rows}[data-current]`).click({ button: 'right' });
    await page.locator('#terminal_remove').click();
    await answerBox('IDYES');
    await eventually(async () => (await rowMacs()).includes('00:1A:2B:FF:00:01'), false);
    assert.ok(!existsSync(terminalDir('00:1A:2B:FF:00:01')));
    assert.deepEqual(real(), before.filter((m) => m !== '00:1A:2B:FF:00:01'));
  });

  test('a right click makes the row under the pointer current', async () => {
    const macs = await rowMacs();
    await page.locator(`${rows}[tlgid="${macs[0]}"]`).click();
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), macs[0]);
    await page.locator(`${rows}[tlgid="${macs[2]}"]`).click({ button: 'right' });
    await page.locator('#list_context[data-popup]').waitFor({ state: 'visible' });
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), macs[2]);
    await eventually(() => page.locator(`${rows}[data-current]`).getAttribute('tlgid'), macs[2]);
    await page.keyboard.press('Escape');
  });

  test('find selects the terminal of a host', async () => {
    const target = zvctl('terminals').terminals.find((t) => !t.pseudo && !t.hidden && t.host && t.host.startsWith('ws-12'));
    await page.locator('#find_terminal').click();
    const host = page.locator('#hostValue').last();
    await host.waitFor({ state: 'visible' });
    await page.locator('#findTerminal_clear').click();
    await eventually(() => page.locator('#MACValue').last().inputValue(), '');
    await host.fill(target.host);
    await page.keyboard.press('Enter');
    await eventually(() => page.locator(`${rows}[data-current]`).getAttribute('tlgid'), target.mac);
    // Found means current: the panels and the commands name it.
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), target.mac);
    await shot('found');
    await page.keyboard.press('Escape');
  });

  test('the column shows IP addresses whole and keeps a width the user dragged', async () => {
    if (!(await page.locator('#terminals_widget .IP_item').count())) {
      await page.locator('#menu_terminals').click();
      await page.locator('#showIP').click();
      await page.keyboard.press('Escape');
    }
    await page.locator('#terminals_widget .IP_item').first().waitFor({ state: 'visible' });
    // Every address drawn is whole: no box it sits in (the item, the row, the list)
    // clips it. The list is sorted by IP, so its end holds the longest addresses.
    const list = page.locator('#terminals_widget');
    await list.evaluate((el) => { el.scrollTop = el.scrollHeight; });
    const cut = await list.locator('.IP_item').evaluateAll((items) => items.filter((el) => {
      const right = el.getBoundingClientRect().left + el.scrollWidth;
      for (let box = el; box && box.id !== 'terminals_widget'; box = box.parentElement) {
        if (getComputedStyle(box).overflowX === 'visible') continue;
        if (right > box.getBoundingClientRect().left + box.clientWidth + 1) return true;
      }
      return false;
    }).map((el) => el.textContent));
    assert.deepEqual(cut, []);
    assert.ok((await list.locator('.IP_item').allTextContents()).some((t) => t.trim().length >= 14));

    const column = page.locator('#col_table');
    const before = await column.boundingBox();
    await page.mouse.move(before.x + before.width - 3, before.y + before.height - 3);
    await page.mouse.down();
    await page.mouse.move(before.x + before.width + 60, before.y + before.height - 3, { steps: 6 });
    await page.mouse.up();
    const dragged = Math.round((await column.boundingBox()).width);
    assert.ok(Math.abs(dragged - before.width - 63) <= 4, `dragged from ${before.width} to ${dragged}`);
    await closeConsole();
    await startConsole();
    const after = Math.round((await page.locator('#col_table').boundingBox()).width);
    assert.ok(Math.abs(after - dragged) <= 1, `kept ${after}, dragged ${dragged}`);
  });

  test('the settings survive a restart', async () => {
    await closeConsole();
    await startConsole();
    await page.locator('#terminals_widget .IP_item').first().waitFor({ state: 'visible' });
    await shot('restarted');
  });
});

// 50,000 terminals: the console starts, the list goes to the browser lazily and
// scrolls, and a column change applies to the rows in view.
describe('console with 50,000 terminals', { skip, timeout: 120000 }, () => {
  const COUNT = 50000;
  let root;
  let zv;
  let browser;
  let page;

  before(async () => {
    root = mkdtempSync(path.join(os.tmpdir(), 'zv-e2e-big-'));
    execFileSync(path.join(build, 'zvdemo'), [root, path.join(build, 'Bin')], { stdio: 'ignore' });
    const terminals = path.join(root, 'ZelvarData/Terminals');
    const hex = (n) => n.toString(16).toUpperCase().padStart(2, '0');
    for (let i = 0; i < COUNT; i++)
      mkdirSync(path.join(terminals, `02.00.00.00.${hex(i >> 8)}.${hex(i & 255)}`));
    zv = await zvcenter.start([], { gallery: false, env: {
      ZELVAR_HKLM: path.join(root, 'registry/hklm.conf'),
      ZELVAR_HKCU: path.join(root, 'registry/hkcu.conf'),
      ZELVAR_MAILSLOTS: 'zv-e2e-big-' + process.pid,
    } });
    browser = await startBrowser();
    page = browser.context.pages()[0] || await browser.context.newPage();
    page.setDefaultTimeout(20000);
    await page.goto(zv.url);
  });

  after(async () => {
    if (browser) await browser.close();
    if (zv) await zv.stop();
    if (root) rmSync(root, { recursive: true, force: true });
  });

  test('the list is drawn lazily and scrolls to its middle', async () => {
    const list = page.locator('#terminals_widget');
    await list.locator('zv-option').first().waitFor({ state: 'visible' });
    assert.equal(await list.getAttribute('data-zv-lazy'), '');
    const drawn = await list.locator('zv-option').count();
    assert.ok(drawn > 0 && drawn < 2000, `${drawn} rows drawn`);
    await list.evaluate((el) => { el.scrollTop = el.scrollHeight / 2; });
    // The rows in view come from the middle of the list (MACs 02:00:00:00:xx:xx sort
    // after the demo's 00:1A:… terminals, which are a few hundred).
    await eventually(async () => {
      const macs = await list.locator('zv-option').evaluateAll((els) =>
        els.map((e) => e.getAttribute('tlgid')).filter((m) => m && m.startsWith('02:00:00:00:')));
      const middle = macs.map((m) => parseInt(m.slice(12).replace(':', ''), 16));
      return middle.some((n) => n > COUNT * 0.4 && n < COUNT * 0.6);
    }, true, 10000);
    await page.screenshot({ path: screenshotPath('console-50000-middle') });

    await page.locator('#menu_terminals').click();
    await page.locator('#showIP').click();
    await page.keyboard.press('Escape');
    await eventually(async () => (await list.locator('zv-option .IP_item').count()) > 0, true, 10000);
  });
});
