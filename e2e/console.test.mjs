// The console on a demo installation (zvdemo) in headless Chromium: the terminals list,
// its columns, sort and filter, hiding and removing terminals, the add and find
// dialogs (their layout, sizing border and edit menus), the menus' placement and looks,
// the per-user settings across a restart and the page of a console that another one
// took over. What the page shows is checked against what zvctl reads from the same
// installation, and changes against the disk.

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
  // The open dialog's layer, and an element of its document.
  const dialog = () => page.locator('.zv-dialog').last();
  const inDialog = (selector) => dialog().locator(selector);
  const currentTab = () => page.locator('#main_tabs > .strip > [panel][data-current]').getAttribute('panel');
  // The column menu's drop-down `id`: opens its list and chooses the option with `text`.
  async function chooseInMenu(id, text) {
    await page.locator('#' + id).click();
    const list = page.locator('.zv-dropdown');
    await list.waitFor({ state: 'visible' });
    await list.locator('zv-option', { hasText: new RegExp('^' + text + '$') }).click();
    await list.waitFor({ state: 'detached' });
  }
  async function openColumnMenu() {
    const menu = page.locator('#menu_terminals > menu');
    if (!(await menu.evaluate((m) => m.hasAttribute('data-popup')))) await page.locator('#menu_terminals').click();
    await page.locator('#menu_terminals > menu[data-popup]').waitFor({ state: 'visible' });
  }

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

  test('the add window holds its form; the find window has a sizing border; both have the edit menu', async () => {
    await page.locator('#add_terminal').click();
    await inDialog('#hostValue').waitFor({ state: 'visible' });
    // Nothing scrolls sideways: the form is as wide as the window's client area.
    const widths = await dialog().locator('.zv-content').evaluate((c) => {
      const body = c.shadowRoot.querySelector('body');
      return { scroll: c.scrollWidth, client: c.clientWidth, body: body.scrollWidth, bodyClient: body.clientWidth };
    });
    assert.equal(widths.scroll, widths.client, JSON.stringify(widths));
    assert.equal(widths.body, widths.bodyClient, JSON.stringify(widths));
    // The fields' edit menu instead of the browser's: select all, cut, paste back.
    await browser.context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: new URL(zv.url).origin });
    const host = inDialog('#hostValue');
    await host.fill('ws-edit-1');
    const edit = async (item) => {
      await host.click({ button: 'right' });
      const menu = inDialog('#input-edit[data-popup]');
      await menu.waitFor({ state: 'visible' });
      await menu.locator('li', { hasText: item }).click();
      await menu.waitFor({ state: 'hidden' });
    };
    await edit('Выделить все');
    assert.deepEqual(await host.evaluate((i) => [i.selectionStart, i.selectionEnd]), [0, 9]);
    await edit('Вырезать');
    await eventually(() => host.inputValue(), '');
    await edit('Вставить');
    await eventually(() => host.inputValue(), 'ws-edit-1');
    await shot('add-dialog-edit');
    await inDialog('#addTerminal_cancel').click();
    await dialog().waitFor({ state: 'detached' });

    await page.locator('#find_terminal').click();
    await inDialog('#hostValue').waitFor({ state: 'visible' });
    const frame = dialog().locator('.zv-frame');
    const size = () => frame.evaluate((f) => [f.clientWidth, f.clientHeight]);
    const inputWidth = () => inDialog('#hostValue').evaluate((i) => i.getBoundingClientRect().width);
    const [w, h] = await size();
    assert.deepEqual([w, h], [330, 240]);
    const before = await inputWidth();
    const grip = await dialog().locator('.zv-grip-se').boundingBox();
    assert.ok(grip, 'the find window has a sizing border');
    await page.mouse.move(grip.x + grip.width / 2, grip.y + grip.height / 2);
    await page.mouse.down();
    await page.mouse.move(grip.x + 80, grip.y + 40, { steps: 4 });
    await page.mouse.up();
    const [w2, h2] = await size();
    assert.ok(w2 >= w + 70 && h2 >= h + 30, `resized to ${w2} × ${h2}`);
    assert.ok(await inputWidth() > before + 60, 'the inputs widen with the window');
    await shot('find-resized');
    await inDialog('#findTerminal_cancel').click();
    await dialog().waitFor({ state: 'detached' });
  });

  test('the column menu: readable when hovered, never under its tooltip, the columns in use, filter captions', async () => {
    const button = page.locator('#menu_terminals');
    const tip = page.locator('#menu_details[data-zv-tooltip]');
    // Resting on the button shows its tooltip; opening the menu hides it, and resting
    // on the menu's items does not bring it back.
    await button.hover();
    await tip.waitFor({ state: 'visible' });
    await button.click();
    await page.locator('#menu_terminals > menu[data-popup]').waitFor({ state: 'visible' });
    assert.equal(await tip.count(), 0);
    await page.locator('#showHost').hover();
    await page.waitForTimeout(450);
    assert.equal(await tip.count(), 0, 'no tooltip over the open menu');
    // The hovered item's text stands out from its background.
    const contrast = await page.locator('#showHost').evaluate((b) => {
      const rgb = (c) => c.match(/[\d.]+/g).slice(0, 3).map(Number);
      const lum = (c) => {
        const [r, g, bl] = rgb(c).map((v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; });
        return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
      };
      let bg = 'rgba(0, 0, 0, 0)';
      for (let e = b; e && /rgba\(0, 0, 0, 0\)|transparent/.test(bg); e = e.parentElement) bg = getComputedStyle(e).backgroundColor;
      const [a, c] = [lum(getComputedStyle(b).color), lum(bg)].sort((x, y) => y - x);
      return (a + 0.05) / (c + 0.05);
    });
    assert.ok(contrast >= 4.5, `contrast of the hovered item ${contrast.toFixed(2)}`);

    // Unticking every column leaves the menu showing what the list uses: MAC.
    const columns = ['showMAC', 'showIP', 'showHost', 'showNote', 'showLastlogin', 'showOnline', 'showTime'];
    const ticked = async () => {
      const out = [];
      for (const id of columns) if (await page.locator('#' + id).getAttribute('data-checked') !== null) out.push(id);
      return out;
    };
    const was = await ticked();
    for (const id of was) {
      await openColumnMenu();
      await page.locator('#' + id).click();
    }
    await openColumnMenu();
    await eventually(ticked, ['showMAC']);
    const face = (id) => page.locator(`#${id} > zv-option[data-zv-face]`).evaluate((o) =>
      o.getAttribute('caption') || o.textContent.trim());
    assert.equal(await face('sort_terminals'), 'MAC');
    await shot('menu-no-columns');
    for (const id of was.filter((c) => c !== 'showMAC')) {
      await openColumnMenu();
      await page.locator('#' + id).click();
    }
    await openColumnMenu();
    await eventually(ticked, was);

    // A chosen filter shows its caption on the closed select; the options keep their texts.
    const optionTexts = () => page.locator('#filter_terminals > zv-option').evaluateAll((os) => os.map((o) => o.textContent.trim()));
    const texts = await optionTexts();
    await chooseInMenu('filter_terminals', 'Все, в том числе скрытые');
    await eventually(() => face('filter_terminals'), 'все, включая скрытые');
    assert.equal(await page.locator('#filter_terminals > zv-option[data-zv-face]').evaluate((o) =>
      getComputedStyle(o, '::before').content), '"все, включая скрытые"');
    assert.deepEqual(await optionTexts(), texts);
    await openColumnMenu();
    await chooseInMenu('filter_terminals', 'Все кроме скрытых');
    await eventually(() => face('filter_terminals'), 'все');
    assert.deepEqual(await optionTexts(), texts);
    await page.keyboard.press('Escape');
  });

  test('a pseudo-terminal chosen on the DHCP or Logs tab switches to a tab that is shown', async () => {
    const tab = (name) => page.locator(`#main_tabs > .strip > [panel="${name}"]`);
    const real = page.locator(`${rows}:not([tmplt])`).first();
    const pseudo = page.locator(`${rows}[tmplt]`).first();
    for (const name of ['panel-dhcp', 'panel-logs']) {
      await real.click();
      await tab(name).click();
      await eventually(currentTab, name);
      await pseudo.click();
      await eventually(currentTab, 'panel-templates');
      assert.equal(await tab(name).isVisible(), false);
      assert.equal(await tab('panel-templates').isVisible(), true);
    }
    await real.click();
    await eventually(() => tab('panel-dhcp').isVisible(), true);
  });

  test('find of a hidden terminal lists every terminal and keeps the found one current', async () => {
    const hidden = zvctl('terminals').terminals.find((t) => !t.pseudo && t.hidden);
    assert.ok(hidden, 'the demo has a hidden terminal');
    assert.ok(!(await rowMacs()).includes(hidden.mac));
    await page.locator('#find_terminal').click();
    const mac = inDialog('#MACValue');
    await mac.waitFor({ state: 'visible' });
    await inDialog('#findTerminal_clear').click();
    await mac.fill(hidden.mac);
    await page.keyboard.press('Enter');
    await eventually(() => page.locator(`${rows}[data-current]`).getAttribute('tlgid'), hidden.mac);
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), hidden.mac);
    assert.equal(await page.locator('#filter_terminals > zv-option[data-zv-face]').getAttribute('caption'),
      'все, включая скрытые');
    await shot('found-hidden');
    await page.keyboard.press('Escape');
    await dialog().waitFor({ state: 'detached' });
    await openColumnMenu();
    await chooseInMenu('filter_terminals', 'Все кроме скрытых');
    await page.keyboard.press('Escape');
    await eventually(async () => (await rowMacs()).includes(hidden.mac), false);
    await page.locator(rows).first().click();
  });

  test('the list\'s context menu and its ZVDHCP submenu stay inside a low window', async () => {
    await page.setViewportSize({ width: 1200, height: 420 });
    try {
      const list = await page.locator('#terminals_widget').boundingBox();
      const low = await page.locator(rows).evaluateAll((els, bottom) => {
        const inView = els.map((e) => e.getBoundingClientRect()).filter((r) => r.bottom <= bottom && r.height > 0);
        const r = inView[inView.length - 1];
        return { x: r.left + 20, y: r.bottom - 6 };
      }, list.y + list.height);
      await page.mouse.click(low.x, low.y, { button: 'right' });
      const menu = page.locator('#list_context[data-popup]');
      await menu.waitFor({ state: 'visible' });
      const inside = (box) => box && box.y >= 0 && box.x >= 0 && box.y + box.height <= 420.5 && box.x + box.width <= 1200.5;
      assert.ok(inside(await menu.boundingBox()), JSON.stringify(await menu.boundingBox()));
      await menu.locator('li', { hasText: /^ZVDHCP/ }).first().hover();
      const sub = page.locator('#list_context li > menu');
      await sub.waitFor({ state: 'visible' });
      await eventually(async () => inside(await sub.boundingBox()), true, 2000);
      // The submenu's items can be reached: one is under the pointer when moved there.
      await page.locator('#DHCPlistens').hover();
      assert.equal(await sub.isVisible(), true);
      await shot('submenu-low');
      await page.keyboard.press('Escape');
    } finally {
      await page.setViewportSize({ width: 1200, height: 900 });
    }
  });

  test('the settings survive a restart', async () => {
    await closeConsole();
    await startConsole();
    await page.locator('#terminals_widget .IP_item').first().waitFor({ state: 'visible' });
    await shot('restarted');
  });

  test('a console taking over ends this one: its page says so and stops trying', async () => {
    // Started without a terminal, the second console asks the running one to close at
    // once; the first console's user agrees.
    const starting = zvcenter.start([], { gallery: false, env });
    let second = null;
    try {
      assert.match(await answerBox('IDOK'), /Получен запрос закрыть конфигуратор/);
      second = await starting;
      const status = page.locator('#zv-status');
      const ended = 'Консоль завершила работу. Это окно можно закрыть.';
      await eventually(() => status.textContent(), ended, 10000);
      // No more attempts: the text stays, without a button to connect again.
      await page.waitForTimeout(1500);
      assert.equal(await status.textContent(), ended);
      assert.equal(await status.locator('button').count(), 0);
      await shot('taken-over');
      // The second console serves a page of its own.
      await page.goto(second.url);
      await page.locator(rows).first().waitFor({ state: 'visible' });
    } finally {
      second = second || await starting.catch(() => null);
      if (second) {
        await zv.stop();
        zv = second;
      }
    }
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
