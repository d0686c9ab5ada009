// The gallery (zvcenter --gallery) in headless Chromium: tabs, the sortable grid of
// 50,000 rows, message boxes, filtered inputs, drag and drop, menus and tooltips, each
// checked in the page and, where the console answers, in what it printed.
//
// Run: node --test e2e/ (after building zvcenter); screenshots go to the output folder.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { eventually, zvcenter, screenshotPath, skip, startBrowser } from './harness.mjs';

const ROWS = 50000;

// The grid row (1-based) whose code is `code`: codes are n * 7919 mod ROWS.
function rowWithCode(code) {
  for (let n = 1; n <= ROWS; n++) if ((n * 7919) % ROWS === code) return n;
  return 0;
}

describe('gallery in the browser', { skip, timeout: 110000 }, () => {
  let zv;
  let browser;
  let page;
  const text = (selector) => page.locator(selector).first().textContent();
  const attr = (selector, name) => page.locator(selector).first().getAttribute(name);
  const shot = (name) => page.screenshot({ path: screenshotPath(name) });

  async function openTab(id, panel) {
    await page.locator('#' + id).click();
    await eventually(() => attr('#' + id, 'data-current'), '');
    await page.locator(`[name="${panel}"][data-expanded]`).waitFor({ state: 'visible' });
  }

  before(async () => {
    zv = await zvcenter.start();
    browser = await startBrowser();
    page = browser.context.pages()[0] || await browser.context.newPage();
    page.setDefaultTimeout(10000);
    await page.goto(zv.url);
    await page.locator('#gallery_tabs').waitFor({ state: 'visible' });
  });

  after(async () => {
    if (browser) await browser.close();
    if (zv) {
      const end = await zv.stop();
      assert.equal(end.code, 0, 'zvcenter ends with 0 on SIGTERM');
    }
  });

  test('tabs switch with the mouse and with Ctrl+Tab', async () => {
    await shot('01-loaded');
    assert.equal(await attr('#tab_controls', 'data-current'), '');
    await openTab('tab_grid', 'grid');
    await zv.waitForLine(/^gallery: tab grid$/, 5000, 0);
    assert.equal(await attr('#tab_controls', 'data-current'), null);
    assert.equal(await page.locator('#panel_controls').isVisible(), false);
    await shot('02-tab-grid-by-mouse');

    // Ctrl+Tab with the focus outside the tab set still switches.
    await page.locator('#status_bar').click();
    await page.keyboard.press('Control+Tab');
    await eventually(() => attr('#tab_lists', 'data-current'), '');
    await page.keyboard.press('Control+Tab');
    await eventually(() => attr('#tab_boxes', 'data-current'), '');
    await page.keyboard.press('Control+Shift+Tab');
    await eventually(() => attr('#tab_lists', 'data-current'), '');
    await shot('03-tab-lists-by-keyboard');

    // With the focus on the strip (a click on a tab), the arrows and Home/End move.
    await page.locator('#tab_grid').click();
    await eventually(() => attr('#tab_grid', 'data-current'), '');
    await page.keyboard.press('ArrowRight');
    await eventually(() => attr('#tab_lists', 'data-current'), '');
    await page.keyboard.press('End');
    await eventually(() => attr('#tab_boxes', 'data-current'), '');
    await page.keyboard.press('Home');
    await eventually(() => attr('#tab_controls', 'data-current'), '');
  });

  test('the grid of 50,000 rows is drawn lazily and sorts by a header click', async () => {
    await openTab('tab_grid', 'grid');
    const rows = page.locator('#big_grid_rows > tr');
    const cell = (row, column) => rows.nth(row).locator('td').nth(column).textContent();
    await eventually(() => cell(0, 0), 'Терминал 1');
    const drawn = await rows.count();
    assert.ok(drawn > 10 && drawn <= 1000, `only the rows in view are drawn (${drawn})`);
    await shot('04-grid-unsorted');

    await page.locator('#col_code').click();
    await eventually(() => cell(0, 1), '00000');
    assert.equal(await cell(0, 0), `Терминал ${rowWithCode(0)}`);
    assert.equal(await cell(1, 1), '00001');
    assert.equal(await cell(1, 0), `Терминал ${rowWithCode(1)}`);
    assert.equal(await cell(2, 1), '00002');
    assert.equal(await attr('#col_code', 'data-checked'), '');
    await shot('05-grid-sorted-by-code');

    // Scrolling far down asks for other rows; they come in the sorted order.
    await page.locator('#big_grid_rows').evaluate((el) => { el.scrollTop = 20 * 30000; });
    await eventually(async () => (await rows.allTextContents()).some((t) => t.includes('30000')), true);

    await page.locator('#col_name').click();
    await page.locator('#big_grid_rows').evaluate((el) => { el.scrollTop = 0; });
    await eventually(() => cell(0, 0), 'Терминал 1');
    await eventually(() => cell(1, 0), 'Терминал 10');
    await shot('06-grid-sorted-by-name');

    // A click makes a row current; the keys move from there.
    await rows.nth(2).click();
    await eventually(() => text('#grid_row'), 'Терминал 100');
    assert.equal(await rows.nth(2).getAttribute('data-current'), '');
    await page.keyboard.press('ArrowDown');
    await eventually(() => rows.nth(3).getAttribute('data-current'), '');
    assert.equal(await rows.nth(2).getAttribute('data-current'), null);
  });

  test('a message box of each kind answers into the page', async () => {
    await openTab('tab_boxes', 'boxes');
    const cases = [
      ['box_ok', 'IDOK', ['IDOK']],
      ['box_okcancel', 'IDCANCEL', ['IDOK', 'IDCANCEL']],
      ['box_yesno', 'IDNO', ['IDYES', 'IDNO']],
      ['box_yesnocancel', 'IDYES', ['IDYES', 'IDNO', 'IDCANCEL']],
      ['box_retrycancel', 'IDRETRY', ['IDRETRY', 'IDCANCEL']],
    ];
    for (const [button, answer, shown] of cases) {
      await page.locator('#' + button).click();
      const box = page.locator('.zv-dialog');
      await box.waitFor({ state: 'visible' });
      const ids = await box.locator('button[id^="ID"]').evaluateAll((els) => els.map((e) => e.id));
      assert.deepEqual(ids, shown, button);
      await shot(`07-box-${button}`);
      await box.locator('#' + answer).click();
      await box.waitFor({ state: 'detached' });
      await eventually(() => text('#box_answer'), `${button}: ${answer}`);
      await zv.waitForLine(new RegExp(`^gallery: message box ${button}: ${answer}$`), 5000, 0);
    }
    // Escape answers Cancel where there is one.
    await page.locator('#box_okcancel').click();
    await page.locator('.zv-dialog').waitFor({ state: 'visible' });
    await page.keyboard.press('Escape');
    await eventually(() => text('#box_answer'), 'box_okcancel: IDCANCEL');
  });

  test('typed values reach the console; a filtered input refuses other characters', async () => {
    await openTab('tab_controls', 'controls');
    const hex = page.locator('#hex_input');
    assert.equal(await hex.getAttribute('placeholder'), '00:1A:2B:3C:4D:5E', 'novalue is the placeholder');
    await hex.click();
    await page.keyboard.type('0a:zz:1G:ff');
    assert.equal(await hex.inputValue(), '0a::1:ff');
    await eventually(() => text('#got_hex_input'), '0a::1:ff');
    await zv.waitForLine(/^gallery: value of hex_input: 0a::1:ff$/, 5000, 0);
    // maxlength 17
    await page.keyboard.type('0123456789abcdef');
    assert.equal((await hex.inputValue()).length, 17);
    await page.keyboard.press('Control+a');
    await page.keyboard.press('Backspace');
    await page.keyboard.type('00:1A:2B');

    await page.locator('#name_input').click();
    await page.keyboard.type('Склад 3');
    await eventually(() => text('#got_name_input'), 'Склад 3');
    await page.locator('#password_input').click();
    await page.keyboard.type('secret');
    assert.equal(await attr('#password_input', 'type'), 'password');
    await eventually(() => text('#got_password_input'), '6 байт');
    await page.locator('#show_password').click();
    await eventually(() => attr('#password_input', 'type'), 'text');
    await shot('08-form-typed');

    // Enter in the form presses its default button.
    await page.locator('#name_input').click();
    await page.keyboard.press('Enter');
    await eventually(() => text('#form_result'), 'hex_input=00:1A:2B; name_input=Склад 3; password_input=6 байт');
    await zv.waitForLine(/^gallery: form submitted: hex_input=00:1A:2B name_input=Склад 3$/, 5000, 0);
    // Only the default button: the browser's own submission does not click the form's
    // first button (the check box).
    assert.equal(await attr('#show_password', 'data-checked'), '');
    assert.equal(await attr('#password_input', 'type'), 'text');

    await page.locator('#check_one').click();
    await page.locator('#radio_pi').click();
    await eventually(() => text('#check_result'), 'check_one check_two radio_pi');
    await page.locator('#select_list zv-option[value="5.8.0"]').click();
    await eventually(() => text('#selection'), 'select_list: 5.8.0');
    await shot('09-form-submitted');
  });

  test('lists and drop-downs choose with the mouse and the keys', async () => {
    await openTab('tab_controls', 'controls');
    await page.locator('#select_list zv-option[value="6.1.10"]').click();
    await eventually(() => text('#selection'), 'select_list: 6.1.10');
    // The list has the focus now: the console moves its current row.
    await page.keyboard.press('ArrowDown');
    await eventually(() => text('#selection'), 'select_list: 5.9.1');
    assert.equal(await attr('#select_list zv-option[value="5.9.1"]', 'data-current'), '');

    await page.locator('#select_dropdown').click();
    const list = page.locator('.zv-dropdown');
    await list.waitFor({ state: 'visible' });
    await shot('10-dropdown-open');
    await list.locator('zv-option[value="de"]').click();
    await list.waitFor({ state: 'detached' });
    await eventually(() => text('#selection'), 'select_dropdown: de');
    await eventually(() => page.locator('#select_dropdown zv-option[data-zv-face]').textContent(), 'Немецкий');
  });

  test('items move between lists and into the trash by drag and drop', async () => {
    await openTab('tab_lists', 'lists');
    await page.locator('#exp_logs > .caption').click();
    await eventually(() => text('#expanded_item'), 'exp_logs');

    await page.locator('#drag_alpha').dragTo(page.locator('#list_right'));
    await eventually(() => page.locator('#list_right > li').evaluateAll((els) => els.map((e) => e.id)),
      ['drag_delta', 'drag_alpha']);
    assert.deepEqual(await page.locator('#list_left > li').evaluateAll((els) => els.map((e) => e.id)),
      ['drag_beta', 'drag_gamma']);
    await zv.waitForLine(/^gallery: dropped drag_alpha on list_right\[1\]$/, 5000, 0);
    await shot('11-dropped-between-lists');

    // Onto the first item of the other list: it goes before it.
    await page.locator('#drag_gamma').dragTo(page.locator('#drag_delta'), { targetPosition: { x: 5, y: 2 } });
    await eventually(() => page.locator('#list_right > li').evaluateAll((els) => els.map((e) => e.id)),
      ['drag_gamma', 'drag_delta', 'drag_alpha']);

    await page.locator('#drag_beta').dragTo(page.locator('#trash'));
    await eventually(() => page.locator('#drag_beta').count(), 0);
    await eventually(() => text('#drop_result'), 'drag_beta → trash');
    await shot('12-dropped-on-trash');
  });

  test('the popup menu opens, picks an item and opens again after it was dismissed', async () => {
    await openTab('tab_controls', 'controls');
    const menu = page.locator('#popup_menu');
    await page.locator('#menu_button').click();
    await menu.waitFor({ state: 'visible' });
    await shot('13-popup-menu');
    await page.locator('#menu_save').click();
    await eventually(() => text('#menu_choice'), 'menu_save (Сохранить)');
    await menu.waitFor({ state: 'hidden' });
    await zv.waitForLine(/^gallery: menu item menu_save$/, 5000, 0);

    // Dismissed by a click elsewhere, then opened again.
    await page.locator('#menu_button').click();
    await menu.waitFor({ state: 'visible' });
    await page.locator('#status_bar').click();
    await menu.waitFor({ state: 'hidden' });
    await page.locator('#menu_button').click();
    await menu.waitFor({ state: 'visible' });
    // A second click on the button closes it.
    await page.locator('#menu_button').click({ position: { x: 5, y: 5 } });
    await menu.waitFor({ state: 'hidden' });
    await page.locator('#menu_button').click({ position: { x: 5, y: 5 } });
    await menu.waitFor({ state: 'visible' });
    await page.keyboard.press('Escape');
    await menu.waitFor({ state: 'hidden' });
    await page.locator('#menu_button').click({ position: { x: 5, y: 5 } });
    await page.locator('#menu_export').click();
    await eventually(() => text('#menu_choice'), 'menu_export (Экспорт)');
  });

  test('the context menu shows at the pointer and picks an item', async () => {
    await openTab('tab_controls', 'controls');
    const area = page.locator('#context_area');
    const box = await area.boundingBox();
    await area.click({ button: 'right', position: { x: 40, y: 10 } });
    const menu = page.locator('#context_menu');
    await menu.waitFor({ state: 'visible' });
    const at = await menu.boundingBox();
    assert.ok(Math.abs(at.x - (box.x + 40)) <= 2 && Math.abs(at.y - (box.y + 10)) <= 2,
      `menu at the pointer: ${JSON.stringify(at)} vs ${JSON.stringify(box)}`);
    await shot('14-context-menu');
    await page.locator('#ctx_delete').click();
    await eventually(() => text('#menu_choice'), 'ctx_delete (Удалить)');
    await menu.waitFor({ state: 'hidden' });
    // Again, and dismissed with a click elsewhere.
    await area.click({ button: 'right' });
    await menu.waitFor({ state: 'visible' });
    await page.locator('#status_bar').click();
    await menu.waitFor({ state: 'hidden' });
  });

  test('a tooltip named by titleid shows while the pointer is over its element', async () => {
    await openTab('tab_controls', 'controls');
    const tip = page.locator('#tip_label_text');
    assert.equal(await tip.isVisible(), false);
    await page.locator('#tip_label').hover();
    await tip.waitFor({ state: 'visible' });
    await shot('15-tooltip');
    await page.locator('#status_bar').hover();
    await tip.waitFor({ state: 'hidden' });
  });
});
