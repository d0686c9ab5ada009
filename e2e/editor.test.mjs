// The configuration editor on a demo installation (zvdemo) in headless Chromium: the
// panels of a selected terminal, the options editor, the save question of a shared
// template, the text panel of a broken configuration, the leave check and the copy-to
// window. Every change is checked byte by byte in the files it writes.

import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import {
  answerBox as answerBoxOf, eventually, screenshotPath, skip, startBrowser, startDemoConsole,
} from './harness.mjs';

const tree = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const build = process.env.ZV_BUILD || path.join(tree, 'build/default');

// A configuration file's bytes: FF FE and UTF-16LE.
const utf16File = (text) => Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(text, 'utf16le')]);
const fileText = (bytes) => {
  assert.deepEqual([...bytes.subarray(0, 2)], [0xff, 0xfe], 'the file starts with FF FE');
  return bytes.subarray(2).toString('utf16le');
};

describe('configuration editor on the demo installation', { skip, timeout: 150000 }, () => {
  let root;
  let zv;
  let browser;
  let page;
  const rows = '#terminals_widget > zv-option';
  const shot = (name) => page.screenshot({ path: screenshotPath('editor-' + name) });
  const terminalDir = (mac) => path.join(root, 'ZelvarData/Terminals', mac.replaceAll(':', '.'));
  const configOf = (mac) => readFileSync(path.join(terminalDir(mac), 'config.zvc'));
  const dialog = () => page.locator('.zv-dialog').last();
  const currentTab = () => page.locator('#main_tabs > .strip > [panel][data-current]').getAttribute('panel');

  async function selectTerminal(mac) {
    await page.locator(`${rows}[tlgid="${mac}"]`).click();
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), mac);
  }

  const answerBox = (id) => answerBoxOf(page, id);

  before(async () => {
    browser = await startBrowser();
    ({ root, zv, page } = await startDemoConsole(browser, build, 'editor'));
  });

  after(async () => {
    if (browser) await browser.close();
    if (zv) await zv.stop();
    if (root) rmSync(root, { recursive: true, force: true });
  });

  test('an option changed in the options editor is saved as exactly one line', async () => {
    const mac = '00:1A:2B:10:00:01';
    const before = fileText(configOf(mac));
    assert.match(before, /\r\nsound_volume=40\r\n/);
    await selectTerminal(mac);
    assert.equal(await currentTab(), 'panel-templates');
    await shot('panel-templates');
    // A double click on an option opens the editor on it.
    await page.locator('#terminals_templates_options > [id="sound_volume"]').dblclick();
    const grid = dialog().locator('#terminal_options');
    await grid.waitFor({ state: 'visible' });
    await eventually(() => dialog().locator('#resultSource').textContent(), 'Конфигурация терминала');
    await shot('options-editor');
    const field = dialog().locator('#option_editor #editValue');
    await field.fill('55');
    await field.press('Enter');
    assert.equal(await answerBox('IDYES'), 'Сохранить изменения?');
    await dialog().locator('#terminal_options').waitFor({ state: 'detached' });
    // Saved at once: the one line changed, nothing else.
    await eventually(() => fileText(configOf(mac)), before.replace('sound_volume=40', 'sound_volume=55'));
    await eventually(
      () => page.locator('#terminals_templates_options > [id="sound_volume"]').getAttribute('value'), '55');
  });

  test('saving a template that terminals use names their MACs', async () => {
    // Every terminal whose configuration names the template, as the console shows MACs.
    const terminals = path.join(root, 'ZelvarData/Terminals');
    const users = readdirSync(terminals)
      .filter((dir) => {
        const file = path.join(terminals, dir, 'config.zvc');
        return existsSync(file) && /^template office\r?$/im.test(fileText(readFileSync(file)));
      })
      .map((dir) => dir.replaceAll('.', ':').toUpperCase());
    assert.ok(users.length >= 2, 'the demo has terminals that use the template "office"');
    await selectTerminal('00:1A:2B:10:00:01');
    await page.locator('#templates > li[file="office"]').dblclick();
    await dialog().locator('#terminal_options').waitFor({ state: 'visible' });
    await dialog().locator('#terminal_options tr[key="printers"]').click();
    const editor = dialog().locator('#option_editor #editValue');
    await editor.waitFor({ state: 'visible' });
    const was = await editor.inputValue();
    await editor.selectOption(was === 'on' ? 'off' : 'on').catch(async () => {
      await editor.click();
    });
    await dialog().locator('#options_apply').click();
    const question = await answerBox('IDYES');
    assert.match(question, /^Сохранение параметров подключаемого файла office повлияет на параметры следующих терминалов:/);
    for (const mac of users) assert.ok(question.includes(mac), `the question names ${mac}`);
    assert.match(question, /Сохранить изменения\?$/);
    await dialog().locator('#options_cancel').click();
    await dialog().locator('#terminal_options').waitFor({ state: 'detached' }).catch(() => {});
  });

  test('a broken configuration opens on its text, and a corrected text saves', async () => {
    const mac = '00:1A:2B:10:00:0C';
    const broken = path.join(terminalDir(mac), 'config.zvc.broken');
    assert.ok(existsSync(broken));
    await selectTerminal(mac);
    await eventually(currentTab, 'panel-text');
    const text = page.locator('#textConfig');
    await eventually(async () => (await text.inputValue()).startsWith('# Template not found'), true);
    await shot('panel-text-broken');
    const corrected = 'video=auto\r\nconnection \r\n';
    await text.fill(corrected);
    await page.locator('#save_textconfig').click();
    await eventually(() => existsSync(path.join(terminalDir(mac), 'config.zvc')), true);
    assert.deepEqual(configOf(mac), utf16File(corrected));
    assert.ok(!existsSync(broken));
    await eventually(currentTab, 'panel-templates');
  });

  test('the leave check: Cancel keeps the edits, No drops them, Yes saves them', async () => {
    const mac = '00:1A:2B:10:00:03';
    const other = '00:1A:2B:10:00:06';
    const original = configOf(mac);
    await selectTerminal(mac);
    await page.locator('#main_tabs > .strip > [panel="panel-text"]').click();
    const text = page.locator('#textConfig');
    const edited = fileText(original).replace(/\r\n$/, '') + '\r\nlog_level=debug\r\n';
    await text.fill(edited);
    await eventually(() => page.locator('#save_textconfig').isDisabled(), false);

    await page.locator(`${rows}[tlgid="${other}"]`).click();
    const question = await answerBox('IDCANCEL');
    assert.equal(question, `Конфигурационный файл терминала ${mac} изменен. Сохранить (YES) или отменить (NO) сделанные изменения?`);
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), mac);
    // The browser's text area gives its lines LF ends.
    assert.equal(await text.inputValue(), edited.replaceAll('\r\n', '\n'));

    await page.locator(`${rows}[tlgid="${other}"]`).click();
    await answerBox('IDNO');
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), other);
    assert.deepEqual(configOf(mac), original);

    await selectTerminal(mac);
    await page.locator('#main_tabs > .strip > [panel="panel-text"]').click();
    await text.fill(edited);
    await eventually(() => page.locator('#save_textconfig').isDisabled(), false);
    await page.locator(`${rows}[tlgid="${other}"]`).click();
    await answerBox('IDYES');
    await eventually(() => page.locator('#main_tabs').getAttribute('tlgid'), other);
    assert.deepEqual(configOf(mac), utf16File(edited));
  });

  test('a configuration is copied to a terminal without one', async () => {
    const source = '00:1A:2B:10:00:01';
    const target = '00:1A:2B:10:00:00';
    assert.ok(!existsSync(path.join(terminalDir(target), 'config.zvc')));
    await selectTerminal(source);
    await page.locator(`${rows}[tlgid="${source}"]`).click({ button: 'right' });
    await page.locator('#list_context[data-popup]').waitFor({ state: 'visible' });
    await page.locator('#terminal_copyto').click();
    const list = dialog().locator('#copyto_list');
    await list.waitFor({ state: 'visible' });
    // A terminal without a configuration is current at first; the target is chosen.
    const first = await dialog().locator('#copyto_list tr[data-current]').first().getAttribute('tlgid');
    assert.ok(!existsSync(path.join(terminalDir(first), 'config.zvc')));
    await dialog().locator(`#copyto_list tr[tlgid="${target}"]`).click();
    await eventually(() => dialog().locator('#copyto_list tr[data-current]').first().getAttribute('tlgid'), target);
    await shot('copy-to');
    await dialog().locator('#copyto_ok').click();
    await list.waitFor({ state: 'detached' });
    await eventually(() => existsSync(path.join(terminalDir(target), 'config.zvc')), true);
    assert.deepEqual(configOf(target), configOf(source));
  });

  test('"create_config" writes an empty configuration and shows the panels', async () => {
    const mac = '00:1A:2B:10:00:09';
    assert.ok(!existsSync(path.join(terminalDir(mac), 'config.zvc')));
    await selectTerminal(mac);
    await eventually(currentTab, 'panel-noConfig');
    await shot('panel-noConfig');
    await page.locator('#create_config').click();
    await eventually(() => existsSync(path.join(terminalDir(mac), 'config.zvc')), true);
    assert.deepEqual(configOf(mac), utf16File('connection \r\n'));
    await eventually(currentTab, 'panel-templates');
  });

  test('templates are dragged from the library onto the terminal and into the trash', async () => {
    const mac = '00:1A:2B:10:00:06';
    await selectTerminal(mac);
    const names = () => page.locator('#templates_list > li').evaluateAll((els) => els.map((e) => e.getAttribute('file')));
    const before = await names();
    await page.locator('#templates > li[file="kiosk"]').dragTo(page.locator('#templates_list'));
    await eventually(names, [...before, 'kiosk']);
    await page.locator('#templates > li[file="support"]').dragTo(page.locator('#templates_list > li[file="kiosk"]'), {
      targetPosition: { x: 4, y: 2 },
    });
    await eventually(async () => (await names()).indexOf('support') < (await names()).indexOf('kiosk'), true);
    await eventually(() => page.locator('#save_config').isDisabled(), false);
    await shot('templates-dragged');
    await page.locator('#templates_list > li[file="support"]').dragTo(page.locator('#trash'));
    await eventually(names, [...before, 'kiosk']);
    await page.locator('#save_config').click();
    await eventually(() => /\r\ntemplate kiosk\r\n/.test('\r\n' + fileText(configOf(mac))), true);
    assert.ok(!/template support/.test(fileText(configOf(mac))));
  });

  test('a new template is named in the file-name window and written to the library', async () => {
    await selectTerminal('00:1A:2B:10:00:06');
    await page.locator('#templates > li[file="kiosk"]').click({ button: 'right' });
    await page.locator('#templates_source_context[data-popup]').waitFor({ state: 'visible' });
    await page.locator('#templates_source_context #templates_source_new').click();
    const name = dialog().locator('#fileName');
    await name.waitFor({ state: 'visible' });
    // A name the library holds is refused; "all" is the all-terminals template.
    await name.fill('all');
    await dialog().locator('#fileName_ok').click();
    assert.equal(await answerBox('IDOK'), 'Файл с таким именем уже существует');
    await name.fill('lab');
    await eventually(() => dialog().locator('#resultValue').textContent(), `"${path.join(root, 'ZelvarData/Templates')}/lab.zvc"`);
    await shot('file-name');
    await dialog().locator('#fileName_ok').click();
    // The new template's options: one set in the grid, then saved.
    await dialog().locator('#terminal_options').waitFor({ state: 'visible' });
    await dialog().locator('#terminal_options tr[key="sound_volume"]').click();
    const field = dialog().locator('#option_editor #editValue');
    await field.fill('15');
    await field.press('Enter');
    await answerBox('IDYES');
    const file = path.join(root, 'ZelvarData/Templates/lab.zvc');
    await eventually(() => existsSync(file), true);
    assert.deepEqual(readFileSync(file), utf16File('sound_volume=15\r\n'));
    await eventually(() => page.locator('#templates > li[file="lab"]').count(), 1);
  });

  test('the version selector changes the terminal\'s version', async () => {
    const mac = '00:1A:2B:10:00:08';
    const versionFile = path.join(terminalDir(mac), 'version');
    await selectTerminal(mac);
    const choose = async (text) => {
      await page.locator('#options_version').click();
      const list = page.locator('.zv-dropdown');
      await list.waitFor({ state: 'visible' });
      await list.locator('zv-option', { hasText: new RegExp('^' + text + '$') }).click();
      await list.waitFor({ state: 'detached' });
    };
    await choose('Без версии');
    await eventually(() => existsSync(versionFile), false);
    await choose('6.1.10');
    await eventually(() => existsSync(versionFile) && readFileSync(versionFile, 'latin1').trim(), '6.1.10');
    await eventually(() => page.locator(`${rows}[tlgid="${mac}"]`).textContent().then((t) => t.includes('6.1.10')), true);
  });

  test('a configuration that does not fit its version is shown before the editor opens', async () => {
    // The template "support" sets vnc_shadow=allow, which 6.2.63 refuses.
    const mac = '00:1A:2B:10:00:06';
    const before = configOf(mac);
    await selectTerminal(mac);
    if (!(await page.locator('#templates_list > li[file="support"]').count())) {
      await page.locator('#templates > li[file="support"]').dragTo(page.locator('#templates_list'));
      await page.locator('#templates_list > li[file="support"]').waitFor();
      await page.locator('#save_config').click();
      await eventually(() => page.locator('#save_config').isDisabled(), true);
    }
    const saved = configOf(mac);
    await page.locator('#add_option').click();
    const contents = dialog().locator('#contents');
    await contents.waitFor({ state: 'visible' });
    const text = await contents.textContent();
    assert.match(text, /Версия не может быть установлена\./);
    assert.match(text, /support/);
    await shot('incompatible-version');
    await dialog().locator('#cancelEditor').click();
    await contents.waitFor({ state: 'detached' });
    assert.equal(await page.locator('#terminal_options').count(), 0, 'the editor did not open');
    assert.deepEqual(configOf(mac), saved);
    assert.ok(before.length > 0);
  });

  test('"Без версии" in the editor shows the same options as free rows', async () => {
    const mac = '00:1A:2B:10:00:01';
    await selectTerminal(mac);
    await page.locator('#add_option').click();
    await dialog().locator('#terminal_options').waitFor({ state: 'visible' });
    await dialog().locator('#options_version').click();
    const list = page.locator('.zv-dropdown');
    await list.waitFor({ state: 'visible' });
    await list.locator('zv-option', { hasText: /^Без версии$/ }).click();
    const firstKey = dialog().locator('#editName0');
    await firstKey.waitFor({ state: 'visible' });
    const keys = await dialog().locator('input[id^="editName"]').evaluateAll((els) => els.map((e) => e.value));
    assert.ok(keys.includes('sound_volume') && keys.includes('video'), keys.join(','));
    // A key the rows refuse is marked and blocks the save.
    await firstKey.fill('next');
    await eventually(() => firstKey.getAttribute('class').then((c) => /errorValue/.test(c || '')), true);
    await shot('options-free-rows');
    await dialog().locator('#options_apply').click();
    assert.equal(await answerBox('IDOK'), 'Указаны некорректные названия параметров и\\или значения параметров. ');
    await page.keyboard.press('Escape');
    await dialog().locator('#editName0').waitFor({ state: 'detached' });
  });
});
