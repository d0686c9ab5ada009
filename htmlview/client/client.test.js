// Unit tests of the client's pure functions: node --test htmlview/client/client.test.js

import test from 'node:test';
import assert from 'node:assert/strict';
import * as nodes from './nodes.js';
import * as lazyLists from './lazyLists.js';
import * as input from './input.js';
import * as wire from './wire.js';
import * as drawing from './drawing.js';

const zv = { ...nodes, ...lazyLists, ...input, ...wire, ...drawing };

// Just enough of a DOM for buildNode: elements with attributes, children and the
// properties the client sets.
class fakeText {
  constructor(text) {
    this.nodeType = 3;
    this.data = text;
  }
}
class fakeElement {
  constructor(tag) {
    this.nodeType = 1;
    this.localName = tag;
    this.attrs = new Map();
    this.childNodes = [];
    this.value = '';
    this.type = '';
  }
  setAttribute(name, value) {
    if (!/^[a-z_:][a-z0-9_:.-]*$/.test(name)) throw new Error('InvalidCharacterError');
    this.attrs.set(name, String(value));
    if (name === 'type') this.type = String(value);
  }
  removeAttribute(name) { this.attrs.delete(name); }
  getAttribute(name) { return this.attrs.has(name) ? this.attrs.get(name) : null; }
  hasAttribute(name) { return this.attrs.has(name); }
  appendChild(child) { this.childNodes.push(child); return child; }
  set textContent(text) { this.childNodes = [new fakeText(text)]; }
  get textContent() { return this.childNodes.map((c) => c.data ?? c.textContent).join(''); }
}
function makeContext() {
  return {
    doc: {
      createElement: (tag) => new fakeElement(tag),
      createTextNode: (text) => new fakeText(text),
    },
    uids: new Map(),
    lazy: [],
    onLazy(el, count) { this.lazy.push([el, count]); },
  };
}

test('filter specifications', async (t) => {
  const cases = [
    ['0~9a~fA~F:', [[48, 57], [97, 102], [65, 70], [58, 58]]],
    // "x~~": the range from x to the tilde (printable ASCII).
    [' ~~', [[32, 126]]],
    // A tilde without both ends stands for itself.
    ['a~', [[97, 97], [126, 126]]],
    ['~', [[126, 126]]],
    // Reversed ends still make the range.
    ['9~0', [[48, 57]]],
    ['а~яё', [[0x430, 0x44f], [0x451, 0x451]]],
    ['', []],
  ];
  for (const [spec, ranges] of cases) {
    await t.test(JSON.stringify(spec), () => assert.deepEqual(zv.parseFilter(spec), ranges));
  }
});

test('filtering text keeps only accepted characters', () => {
  const hex = zv.parseFilter('0~9a~fA~F:');
  assert.equal(zv.filterText(hex, '00:1A:zz:2b\n'), '00:1A::2b');
  const name = zv.parseFilter('0~9.-_/\\ a~zA~Zа~яА~Я');
  assert.equal(zv.filterText(name, 'Класс 5/b\\x; ok!'), 'Класс 5/b\\x ok');
  assert.equal(zv.filterText(zv.parseFilter(' ~~'), 'pass wörd\t'), 'pass wrd');
  // Characters beyond the BMP are one character, not two halves.
  assert.equal(zv.filterText(zv.parseFilter('a~z'), 'a😀b'), 'ab');
  assert.equal(zv.filterText(null, 'any'), 'any');
});

test('attributes that could run code are never applied', () => {
  assert.equal(zv.safeAttributeValue('onclick', 'alert(1)'), null);
  assert.equal(zv.safeAttributeValue('ONMOUSEOVER', 'x'), null);
  assert.equal(zv.safeAttributeValue('href', 'javascript:alert(1)'), null);
  assert.equal(zv.safeAttributeValue('href', ' JaVa\tScRiPt:alert(1)'), null);
  assert.equal(zv.safeAttributeValue('src', 'vbscript:x'), null);
  assert.equal(zv.safeAttributeValue('href', 'data:text/html,<b>'), null);
  assert.equal(zv.safeAttributeValue('srcset', 'a.png 1x, javascript:x 2x'), null);
  assert.equal(zv.safeAttributeValue('srcdoc', '<b>'), null);
  // Everything else is kept verbatim, resource URLs mapped to the skin.
  assert.equal(zv.safeAttributeValue('title', 'javascript: is just text here'), 'javascript: is just text here');
  assert.equal(zv.safeAttributeValue('href', '#help_topic'), '#help_topic');
  assert.equal(zv.safeAttributeValue('src', 'res:img/usb.png'), '/skin/img/usb.png');
  assert.equal(zv.safeAttributeValue('class', 'a  b'), 'a  b');
});

test('resource URLs', () => {
  assert.equal(zv.mapUrl('res:common-body.css'), '/skin/common-body.css');
  assert.equal(zv.mapUrl('RES://x.png'), '/skin/x.png');
  assert.equal(zv.mapUrl('http://example.invalid/a.htm'), 'http://example.invalid/a.htm');
  assert.equal(zv.mapCssUrls('a{background:url(res:i/a.png)} b{src:url("res:f.ttf")}'),
    'a{background:url("/skin/i/a.png")} b{src:url("/skin/f.ttf")}');
});

test('plain names are skin files, fonts are in the documentation', () => {
  // The documents name their pictures and fonts by file name; the page's address
  // (which carries the token) must never be their base.
  assert.equal(zv.mapUrl('terminals.png'), '/skin/terminals.png');
  assert.equal(zv.mapUrl('img/a b.png'), '/skin/img/a b.png');
  assert.equal(zv.mapUrl('fontello.ttf'), '/docs/fonts/fontello.ttf');
  assert.equal(zv.mapUrl('SourceCodePro-Bold.TTF?v=1'), '/docs/fonts/SourceCodePro-Bold.TTF?v=1');
  for (const kept of ['', '/skin/x.png', '#topic', '?a=1', 'https://example.invalid/a.png',
    'data:image/png;base64,AA', 'mailto:a@b']) {
    assert.equal(zv.mapUrl(kept), kept);
  }
  assert.equal(zv.safeAttributeValue('src', 'x86.png'), '/skin/x86.png');
  assert.equal(zv.safeAttributeValue('href', '#help_topic'), '#help_topic');
  assert.equal(
    zv.mapCssUrls('@font-face{src:url( fontello.ttf )} a{background:url(\'bg.png\')} ' +
      'b{background:url(/skin/c.png)} i{background:url(data:image/png;base64,AA)}'),
    '@font-face{src:url("/docs/fonts/fontello.ttf")} a{background:url("/skin/bg.png")} ' +
      'b{background:url(/skin/c.png)} i{background:url(data:image/png;base64,AA)}');
});

test('node trees become elements', () => {
  const ctx = makeContext();
  const el = zv.buildNode({
    u: 1, tag: 'DIV', a: [['id', 'main'], ['onclick', 'evil()'], ['bad name', 'x']], s: 1 | 4,
    c: [
      'Имя: ',
      { u: 2, tag: 'input', a: [['maxlength', '15'], ['filter', '0~9.'], ['novalue', '0.0.0.0']], v: '10.0.0.1' },
      { u: 3, tag: 'plaintext', c: ['line 1\n', 'line 2'] },
      { u: 4, tag: 'select', c: [{ u: 5, tag: 'option', a: [['value', '1']], s: 1, c: ['TFTP'] }] },
      { u: 6, tag: 'script', c: ['alert(1)'] },
      { u: 7, tag: 'widget', a: [['type', 'select']], lazy: { count: 50000 } },
      { u: 8, tag: 'button', a: [['type', 'checkbox']], s: 2, c: ['MAC'] },
    ],
  }, ctx);

  assert.equal(el.localName, 'div');
  assert.equal(el.getAttribute('id'), 'main');
  assert.equal(el.hasAttribute('onclick'), false);
  assert.ok(el.hasAttribute('data-current') && el.hasAttribute('data-disabled'));
  assert.equal(el.hasAttribute('data-checked'), false);
  assert.equal(el.childNodes.length, 7);
  assert.equal(el.childNodes[0].data, 'Имя: ');

  const input = el.childNodes[1];
  assert.equal(input.value, '10.0.0.1');
  assert.equal(input.getAttribute('placeholder'), '0.0.0.0');
  assert.deepEqual(input.zvFilter, [[48, 57], [46, 46]]);

  const editor = el.childNodes[2];
  assert.equal(editor.localName, 'textarea');
  assert.equal(editor.getAttribute('data-tag'), 'plaintext');
  assert.equal(editor.value, 'line 1\nline 2');
  assert.equal(editor.childNodes.length, 0);

  const select = el.childNodes[3];
  assert.equal(select.localName, 'zv-select');
  assert.equal(select.childNodes[0].localName, 'zv-option');
  assert.ok(select.childNodes[0].hasAttribute('data-current'));

  // A script becomes an inert placeholder that still takes its place among the children.
  const inert = el.childNodes[4];
  assert.equal(inert.localName, 'zv-inert');
  assert.equal(inert.childNodes.length, 0);
  assert.ok(inert.hasAttribute('hidden'));

  assert.deepEqual(ctx.lazy.map(([e, n]) => [e.zvUid, n]), [[7, 50000]]);
  assert.ok(el.childNodes[6].hasAttribute('data-checked'));
  assert.deepEqual([...ctx.uids.keys()].sort((a, b) => a - b), [1, 2, 3, 4, 5, 6, 7, 8]);
  assert.equal(ctx.uids.get(5), select.childNodes[0]);
});

test('state words become attributes both ways', () => {
  const el = new fakeElement('button');
  zv.setState(el, 2 | 4 | 128);
  assert.deepEqual(zv.stateNames(2 | 4 | 128), ['checked', 'disabled', 'popup']);
  assert.ok(el.hasAttribute('data-popup') && el.hasAttribute('data-checked'));
  assert.equal(el.disabled, true);
  zv.setState(el, 0);
  assert.equal(el.hasAttribute('data-popup') || el.hasAttribute('data-checked'), false);
  assert.equal(el.disabled, false);
});

test('visible rows of a lazy list', () => {
  // 20-pixel rows, 100 pixels of view, scrolled to row 50.
  assert.deepEqual(zv.visibleRange(1000, 100, 20, 50000, 0), { from: 50, to: 55 });
  assert.deepEqual(zv.visibleRange(1010, 100, 20, 50000, 0), { from: 50, to: 56 });
  assert.deepEqual(zv.visibleRange(1000, 100, 20, 50000, 5), { from: 45, to: 60 });
  // Clamped at both ends.
  assert.deepEqual(zv.visibleRange(0, 100, 20, 3, 5), { from: 0, to: 3 });
  assert.deepEqual(zv.visibleRange(99999, 100, 20, 10, 2), { from: 10, to: 10 });
  // Before a row was measured a default height is used.
  assert.deepEqual(zv.visibleRange(0, 40, 0, 100, 0), { from: 0, to: 2 });
});

test('drop index among laid-out children', () => {
  const rows = [0, 1, 2].map((i) => ({ left: 0, width: 100, top: i * 20, bottom: i * 20 + 20 }));
  assert.equal(zv.dropIndex(rows, 10, -5), 0);
  assert.equal(zv.dropIndex(rows, 10, 25), 1);   // on row 1, left half: before it
  assert.equal(zv.dropIndex(rows, 60, 25), 2);   // right half: after it
  assert.equal(zv.dropIndex(rows, 10, 200), 3);  // below everything: at the end
  assert.equal(zv.dropIndex([], 10, 10), 0);
  // Items side by side on one line.
  const line = [0, 1].map((i) => ({ left: i * 50, width: 50, top: 0, bottom: 20 }));
  assert.equal(zv.dropIndex(line, 70, 10), 1);
  assert.equal(zv.dropIndex(line, 80, 10), 2);
});

test('keys and modifiers', () => {
  const ev = (key, code, mods = {}) => ({ key, code, ctrlKey: false, shiftKey: false, altKey: false, ...mods });
  assert.equal(zv.keyName(ev('ы', 'KeyS', { ctrlKey: true })), 's');
  assert.equal(zv.keyName(ev('Ы', 'KeyS', { ctrlKey: true, shiftKey: true })), 'S');
  assert.equal(zv.keyName(ev('ы', 'KeyS')), 'ы');
  assert.equal(zv.keyName(ev('Tab', 'Tab', { ctrlKey: true })), 'Tab');
  assert.deepEqual(zv.modsOf({ ctrlKey: true, shiftKey: 0, altKey: undefined }), { ctrl: true, shift: false, alt: false });
});

test('socket address', () => {
  const at = (search, protocol = 'http:') => ({ protocol, host: '127.0.0.1:8080', search });
  assert.equal(wire.socketAddress(at('')), 'ws://127.0.0.1:8080/ws');
  assert.equal(wire.socketAddress(at('?token=ab12')), 'ws://127.0.0.1:8080/ws');  // never the secret
  assert.equal(wire.socketAddress(at('', 'https:')), 'wss://127.0.0.1:8080/ws');
});

test('the console answering typed input does not undo what was typed since', () => {
  // Typed "a", "ab", "abc"; the answers come one by one while typing goes on.
  let sent = ['a', 'ab', 'abc'];
  let r = zv.valueOperation(sent, 'a');
  assert.deepEqual(r, { apply: false, sent: ['ab', 'abc'] });
  r = zv.valueOperation(r.sent, 'abc');  // answers may be merged: "ab" is skipped
  assert.deepEqual(r, { apply: false, sent: [] });
  // The console's own change (a reset, a reformatted value) is applied and ends the
  // pending input.
  r = zv.valueOperation(['x', 'xy'], '');
  assert.deepEqual(r, { apply: true, sent: [] });
  r = zv.valueOperation([], 'set by the console');
  assert.deepEqual(r, { apply: true, sent: [] });
  // The same text as earlier input, once that was answered, is the console's again.
  sent = zv.valueOperation(['a'], 'a').sent;
  assert.deepEqual(zv.valueOperation(sent, 'a'), { apply: true, sent: [] });
});

test('a tooltip stays inside the view', () => {
  // Below and right of the pointer when it fits.
  assert.deepEqual(zv.tooltipPlace(100, 100, 80, 20, 800, 600), { left: 104, top: 114 });
  // Pulled left at the right edge, above the pointer at the bottom.
  assert.deepEqual(zv.tooltipPlace(780, 100, 80, 20, 800, 600), { left: 720, top: 114 });
  assert.deepEqual(zv.tooltipPlace(100, 590, 80, 20, 800, 600), { left: 104, top: 566 });
  // Wider than the view: at its left edge.
  assert.deepEqual(zv.tooltipPlace(10, 10, 900, 20, 800, 600).left, 0);
});

test('popups, submenus and resized windows stay inside the view', () => {
  // A 100 × 200 menu at a point of an 800 × 600 view: below and right where it fits,
  // flipped above or left of the point where not, moved in where neither fits.
  assert.deepEqual(zv.popupPlace(50, 50, 100, 200, 800, 600), { left: 50, top: 50 });
  assert.deepEqual(zv.popupPlace(750, 500, 100, 200, 800, 600), { left: 650, top: 300 });
  assert.deepEqual(zv.popupPlace(50, 150, 100, 500, 800, 600), { left: 50, top: 100 });
  // A submenu of 120 × 60 beside an item 200 wide at (10, 500): right of it, pulled up
  // by what runs off the bottom; at the right edge it opens to the left.
  const item = (left, top) => ({ left, top, right: left + 200, width: 200 });
  assert.deepEqual(zv.submenuPlace(item(10, 100), 120, 60, 800, 600), { left: 200, top: -4 });
  assert.deepEqual(zv.submenuPlace(item(10, 560), 120, 60, 800, 600), { left: 200, top: -20 });
  assert.deepEqual(zv.submenuPlace(item(560, 100), 120, 60, 800, 600).left, -120);
  // Taller than the view: its top at the view's top, not above it.
  assert.deepEqual(zv.submenuPlace(item(10, 300), 120, 900, 800, 600).top, -300);
  // Resizing by an edge keeps the far side put, a minimum size and the view's bounds.
  const frame = { left: 100, top: 100, width: 300, height: 200 };
  assert.deepEqual(zv.resizedFrame(frame, 'se', 50, 30, 800, 600), { left: 100, top: 100, width: 350, height: 230 });
  assert.deepEqual(zv.resizedFrame(frame, 'nw', 50, 30, 800, 600), { left: 150, top: 130, width: 250, height: 170 });
  assert.deepEqual(zv.resizedFrame(frame, 'w', 290, 0, 800, 600), { left: 300, top: 100, width: 100, height: 200 });
  assert.deepEqual(zv.resizedFrame(frame, 'e', 1000, 0, 800, 600).width, 700);
  assert.deepEqual(zv.resizedFrame(frame, 'n', -500, -500, 800, 600), { left: 100, top: 0, width: 300, height: 300 });
  // A window's own minimum size holds on every edge.
  assert.deepEqual(zv.resizedFrame(frame, 'se', -200, -150, 800, 600, 280, 180), { left: 100, top: 100, width: 280, height: 180 });
  assert.deepEqual(zv.resizedFrame(frame, 'nw', 200, 150, 800, 600, 280, 180), { left: 120, top: 120, width: 280, height: 180 });
});

test('a closed connection: another client, the console ended, or lost and tried again', () => {
  const closed = (code, reason = '') => ({ code, reason });
  const meaning = (e, state = {}) => wire.closeMeaning(e, { inUse: false, ended: false, ...state });
  assert.equal(meaning(closed(1001, 'ended')), 'ended');
  assert.equal(meaning(closed(1013), { inUse: true }), 'inUse');
  assert.equal(meaning(closed(1006), { ended: true }), 'ended');  // the page closed it
  // A browser or proxy going away, or a line that broke, is not the console ending.
  assert.equal(meaning(closed(1001, 'going')), 'lost');
  assert.equal(meaning(closed(1006)), 'lost');
});

test('a page is the rows shown whole; a lazy list scrolls the least to show a row', () => {
  const rows = [[0, 20], [20, 60], [60, 80], [80, 100], [100, 100]]
    .map(([top, bottom]) => ({ top, bottom, height: bottom - top }));
  // A view from 10 to 85: rows 1 and 2 are whole, 0 and 3 cut, the empty one not counted.
  assert.equal(input.rowsWithin(rows, 10, 85), 2);
  assert.equal(input.rowsWithin(rows, 0, 100), 4);
  assert.equal(input.rowsWithin(rows, 0.3, 79.7), 3);  // sub-pixel edges still count
  assert.equal(input.rowsWithin([], 0, 100), 0);
  // 20-pixel rows in a 100-pixel view scrolled to 200 (rows 10 to 14 shown).
  assert.equal(lazyLists.scrollToShow(200, 100, 20, 12), 200);  // shown: no scroll
  assert.equal(lazyLists.scrollToShow(200, 100, 20, 3), 60);    // above: at the top
  assert.equal(lazyLists.scrollToShow(200, 100, 20, 40), 720);  // below: at the bottom
  assert.equal(lazyLists.scrollToShow(200, 100, 20, 0), 0);
});
