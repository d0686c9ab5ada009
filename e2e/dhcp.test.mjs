// The DHCP options of a terminal on a demo installation (zvdemo) in headless Chromium:
// the terminal's DHCP panel, the DHCP options window, host and option 12 kept in step,
// the change-address window and the leave check. The option files are read back byte by
// byte, as the DHCP service reads them.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readFileSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import {
  answerBox as answerBoxOf, eventually, screenshotPath, skip, startBrowser, startDemoConsole,
} from './harness.mjs';

const tree = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const build = process.env.ZV_BUILD || path.join(tree, 'build/default');

describe('DHCP options on the demo installation', { skip, timeout: 150000 }, () => {
  let root;
  let zv;
  let browser;
  let page;
  const rows = '#terminals_widget > zv-option';
  const shot = (name) => page.screenshot({ path: screenshotPath('dhcp-' + name) });
  const terminalDir = (mac) => path.join(root, 'ZelvarData/Terminals', mac.replaceAll(':', '.'));
  const fileOf = (mac, name) => path.join(terminalDir(mac), name);
  const dialog = () => page.locator('.zv-dialog').last();

  async function selectTerminal(mac) {
    await page.locator(`${rows}[tlgid="${mac}"]`).click();
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), mac);
  }
  async function openDhcpTab() {
    await page.locator('#main_tabs > .strip > [panel="panel-dhcp"]').click();
    await page.locator('#terminals_DHCP').waitFor({ state: 'visible' });
  }
  const answerBox = (id) => answerBoxOf(page, id);
  // Chooses the option with `text` in the drop-down select `selector` of the dialog.
  async function choose(selector, text) {
    await dialog().locator(selector).click();
    const list = page.locator('.zv-dropdown');
    await list.waitFor({ state: 'visible' });
    await list.locator('zv-option', { hasText: text }).first().click();
    await list.waitFor({ state: 'detached' });
  }

  before(async () => {
    browser = await startBrowser();
    ({ root, zv, page } = await startDemoConsole(browser, build, 'dhcp'));
  });

  after(async () => {
    if (browser) await browser.close();
    if (zv) await zv.stop();
    if (root) rmSync(root, { recursive: true, force: true });
  });

  test('a new word option 200 = 1500 is saved as exactly "1500"; a byte of 300 is refused', async () => {
    const mac = '00:1A:2B:10:00:01';
    await selectTerminal(mac);
    await openDhcpTab();
    await shot('panel');
    await page.locator('button#terminals_dhcp_new').click();
    await dialog().locator('#dhcp_options').waitFor({ state: 'visible' });
    await dialog().locator('#options_add').click();
    await dialog().locator('#option_num').fill('200');
    await choose('#option_type', 'Слово (2 байта)');
    await dialog().locator('#u16_editValue').fill('1500');
    await shot('dialog-u16');
    await dialog().locator('#options_apply').click();
    await eventually(() => existsSync(fileOf(mac, '200.u16')), true);
    assert.equal(readFileSync(fileOf(mac, '200.u16'), 'latin1'), '1500');

    // A byte option with 300: choosing another row refuses it and keeps the row.
    await dialog().locator('#options_add').click();
    await dialog().locator('#option_num').fill('201');
    await choose('#option_type', 'Байт');
    await dialog().locator('#u8_editValue').fill('300');
    await dialog().locator('#dhcp_options tr[num="200"]').click();
    assert.equal(await answerBox('IDOK'), 'Указано неверное значение');
    assert.equal(await dialog().locator('#dhcp_options tr[data-current]').getAttribute('num'), '201');
    assert.ok(!existsSync(fileOf(mac, '201.u8')));
    await page.keyboard.press('Escape');
    await dialog().locator('#dhcp_options').waitFor({ state: 'detached' });
    assert.ok(!existsSync(fileOf(mac, '201.u8')));
    // The panel lists the saved option; the window's save leaves the panel marked until
    // the panel itself is saved.
    await eventually(() => page.locator('#terminals_DHCP > [num="200"]').count(), 1);
    await eventually(() => page.locator('#terminals_dhcp_save').isDisabled(), false);
    await page.locator('button#terminals_dhcp_save').click();
    await eventually(() => page.locator('#terminals_dhcp_save').isDisabled(), true);
    assert.equal(readFileSync(fileOf(mac, '200.u16'), 'latin1'), '1500');
  });

  test('a host name saved on the panel changes option 12 and the host file', async () => {
    const mac = '00:1A:2B:10:00:17';
    assert.ok(existsSync(fileOf(mac, '012.str')));
    await selectTerminal(mac);
    await openDhcpTab();
    // Option 12 is "[auto]" here: the window gives it a name of its own first.
    await page.locator('#terminals_DHCP > [num="12"]').dblclick();
    await dialog().locator('#bAuto').waitFor({ state: 'visible' });
    await dialog().locator('#bAuto').click();
    await dialog().locator('#str_editValue').fill('pos-17');
    await shot('dialog-option12');
    await dialog().locator('#options_apply').click();
    await dialog().locator('#options_cancel').click();
    await dialog().locator('#dhcp_options').waitFor({ state: 'detached' });
    const option12 = () => readFileSync(fileOf(mac, '012.str'), 'latin1').replace(/\0+$/, '');
    await eventually(option12, 'pos-17');
    await page.locator('button#terminals_dhcp_save').click();
    await eventually(() => page.locator('#terminals_dhcp_save').isDisabled(), true);
    await eventually(() => page.locator('#terminal_host').inputValue(), 'pos-17');
    await eventually(() => readFileSync(fileOf(mac, 'host'), 'latin1').trim(), 'pos-17');
    await page.locator('#terminal_host').fill('lab-17');
    await eventually(() => page.locator('#terminals_dhcp_save').isDisabled(), false);
    await page.locator('#terminals_dhcp_save').click();
    await eventually(() => readFileSync(fileOf(mac, 'host'), 'latin1').trim(), 'lab-17');
    assert.equal(option12(), 'lab-17');
    await eventually(() => page.locator('#terminals_dhcp_save').isDisabled(), true);
  });

  test('the change-address window refuses an address in use and stores a free one', async () => {
    const mac = '00:1A:2B:10:00:01';
    const taken = readFileSync(fileOf('00:1A:2B:10:00:02', 'ip'), 'latin1').trim();
    await selectTerminal(mac);
    await openDhcpTab();
    await page.locator('#dhcp_ip').click();
    const input = dialog().locator('#terminal_ip');
    await input.waitFor({ state: 'visible' });
    await input.fill(taken);
    await shot('change-address');
    await dialog().locator('#terminalIP_save').click();
    assert.equal(await answerBox('IDOK'), 'Найден терминал с совпадающим IP.');
    // 127.0.0.0/8 is the network of the one interface the tests let the console see.
    await input.fill('127.0.0.77');
    await dialog().locator('#terminalIP_save').click();
    assert.match(await answerBox('IDNO'), /Перегрузить терминал сейчас\?$/);
    await eventually(() => readFileSync(fileOf(mac, 'ip'), 'latin1').trim(), '127.0.0.77');
    await eventually(() => page.locator('#terminal_ip').first().textContent(), '127.0.0.77');
  });

  test('unsaved DHCP edits are offered before another terminal is selected', async () => {
    const mac = '00:1A:2B:10:00:01';
    const other = '00:1A:2B:10:00:03';
    await selectTerminal(mac);
    await openDhcpTab();
    await page.locator('#terminal_comment').fill('kiosk at the door');
    await eventually(() => page.locator('#terminals_dhcp_save').isDisabled(), false);
    await page.locator(`${rows}[tlgid="${other}"]`).click();
    assert.match(await answerBox('IDCANCEL'), /изменен\. Сохранить \(YES\) или отменить \(NO\)/);
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), mac);
    await page.locator(`${rows}[tlgid="${other}"]`).click();
    await answerBox('IDYES');
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), other);
    // The comment file is UTF-16LE with FF FE.
    assert.equal(readFileSync(fileOf(mac, 'comment')).subarray(2).toString('utf16le').trim(), 'kiosk at the door');
  });

  test('the defaults window opens from the panel', async () => {
    await selectTerminal('00:1A:2B:10:00:01');
    await openDhcpTab();
    await page.locator('#dhcp_default').click();
    await dialog().locator('#dhcp_options').waitFor({ state: 'visible' });
    await shot('defaults');
    await dialog().locator('#options_cancel').click();
    await dialog().locator('#dhcp_options').waitFor({ state: 'detached' });
  });

  test('the new-option editor follows the chosen type', async () => {
    await selectTerminal('00:1A:2B:10:00:03');
    await openDhcpTab();
    await page.locator('button#terminals_dhcp_new').click();
    await dialog().locator('#dhcp_options').waitFor({ state: 'visible' });
    await dialog().locator('#options_add').click();
    const editors = [
      ['IP-адрес', '#ip_editValue', 'ip'],
      ['Список IP-адресов', '#ip_list', 'iplist'],
      ['Строка', '#str_editValue', 'str'],
      ['Байт', '#u8_editValue', 'u8'],
      ['Слово (2 байта)', '#u16_editValue', 'u16'],
      ['Длинное', '#u32_editValue', 'u32'],
      ['Бинарные данные', '#bin_editValue', 'bin'],
    ];
    for (const [caption, input, name] of editors) {
      await choose('#option_type', new RegExp('^' + caption.replace(/[()]/g, '\\$&') + '$'));
      await dialog().locator('#editor_new ' + input).waitFor({ state: 'visible' });
      await shot('type-' + name);
    }
    await page.keyboard.press('Escape');
    await dialog().locator('#dhcp_options').waitFor({ state: 'detached' });
  });
});
