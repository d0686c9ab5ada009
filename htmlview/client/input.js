// What the user does, sent to the console addressed by the elements' uids: clicks,
// keys, typing (within an input's filter), scrolling, drag and drop; and what the client
// handles by itself: drop-down lists of selects, tooltips, closing popups.

import { filterText } from './nodes.js';
import { updateLazy } from './lazyLists.js';
import { send } from './wire.js';
import {
  isList, listOf, placePopup, placeSubmenu, pointer, rowOf, shownPopups, topView, windowHooks,
  windows,
} from './drawing.js';

// Where a drop at (x, y) goes among children laid out as `rects` (in order): the
// number of children that come before the point. A child comes before it when the
// point is below the child, or level with it and right of its middle.
export function dropIndex(rects, x, y) {
  let index = 0;
  rects.forEach((r, i) => {
    const below = y >= r.bottom;
    const rightOfMiddle = y >= r.top && y < r.bottom && x >= r.left + r.width / 2;
    if (below || rightOfMiddle) index = i + 1;
  });
  return index;
}

// Where a tooltip of size w × h goes for a pointer at (x, y) in a view of
// viewW × viewH: below and right of the pointer, kept inside the view.
export function tooltipPlace(x, y, w, h, viewW, viewH) {
  const gap = 14;
  let left = x + 4;
  let top = y + gap;
  if (left + w > viewW) left = Math.max(0, viewW - w);
  if (top + h > viewH) top = Math.max(0, y - h - 4);
  return { left, top };
}

export function modsOf(e) {
  return { ctrl: !!e.ctrlKey, shift: !!e.shiftKey, alt: !!e.altKey };
}

// The key name sent to the console. With Ctrl or Alt held, letters are named by the
// Latin key they are on, so shortcuts work in any keyboard layout.
export function keyName(e) {
  if ((e.ctrlKey || e.altKey) && /^Key[A-Z]$/.test(e.code || '')) {
    const letter = e.code.slice(3);
    return e.shiftKey ? letter : letter.toLowerCase();
  }
  return e.key;
}

let drag = null;            // {view, el} while dragging
let dropdown = null;        // the open drop-down list of a select
let justClosed = null;      // the select whose list the current click closed

// ------------------------------------------------------------------ drop-down lists

function openDropdown(view, sel) {
  closeDropdown(false);
  const box = document.createElement('div');
  box.className = 'zv-dropdown';
  const options = [...sel.querySelectorAll('zv-option')].filter((o) => o.zvUid);
  for (const o of options) {
    const copy = o.cloneNode(true);
    copy.removeAttribute('data-zv-face');
    copy.zvRow = o.zvUid;
    if (o.hasAttribute('data-zv-face')) copy.setAttribute('data-zv-hover', '');
    copy.addEventListener('mouseenter', () => hover(copy));
    box.appendChild(copy);
  }
  box.addEventListener('click', (e) => {
    const copy = e.target.closest('zv-option');
    if (copy && !copy.hasAttribute('data-disabled')) choose(copy);
    e.stopPropagation();
  });
  const r = sel.getBoundingClientRect();
  box.style.left = r.left + 'px';
  box.style.top = r.bottom + 'px';
  box.style.minWidth = r.width + 'px';
  view.root.appendChild(box);
  const b = box.getBoundingClientRect();
  if (b.bottom > innerHeight && r.top > b.height) box.style.top = (r.top - b.height) + 'px';
  dropdown = { view, sel, box };
  const hovered = box.querySelector('[data-zv-hover]');
  if (hovered) hovered.scrollIntoView({ block: 'nearest' });

  function hover(copy) {
    box.querySelectorAll('[data-zv-hover]').forEach((c) => c.removeAttribute('data-zv-hover'));
    copy.setAttribute('data-zv-hover', '');
  }
  function choose(copy) {
    send({ t: 'select', w: view.w, u: sel.zvUid, row: copy.zvRow });
    closeDropdown(true);
  }
  dropdown.hover = hover;
  dropdown.choose = choose;
}

function closeDropdown(notify) {
  if (!dropdown) return;
  const { view, sel, box } = dropdown;
  dropdown = null;
  box.remove();
  if (notify) send({ t: 'popupDismissed', w: view.w, u: sel.zvUid });
}

function dropdownKey(e) {
  const copies = [...dropdown.box.children];
  let at = copies.findIndex((c) => c.hasAttribute('data-zv-hover'));
  if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
    at = Math.max(0, Math.min(copies.length - 1, at + (e.key === 'ArrowDown' ? 1 : -1)));
    if (copies[at]) {
      dropdown.hover(copies[at]);
      copies[at].scrollIntoView({ block: 'nearest' });
    }
  } else if (e.key === 'Enter') {
    if (copies[at]) dropdown.choose(copies[at]);
    else closeDropdown(true);
  } else if (e.key === 'Escape' || e.key === 'Tab') {
    closeDropdown(true);
  }
  e.preventDefault();
  e.stopPropagation();
}

// ------------------------------------------------------------------ popups

// The user closed popups by clicking elsewhere or with Escape: they are hidden here
// and the console is told, which clears their popup state.
// A popup stays when the press is inside it, or on the menu button that holds it: the
// click that follows goes to the console, which closes it (a second click on a menu
// button closes its menu; dismissing it here first would make that click open it again).
function dismissPopups(keep) {
  let any = false;
  for (const { view, el } of shownPopups()) {
    if (keep && keep.includes(el)) continue;
    if (keep && keep.some((k) => k.nodeType === 1 && el.contains(k))) continue;
    const owner = el.parentElement;
    if (keep && owner && owner.localName === 'button' && keep.includes(owner)) continue;
    el.removeAttribute('data-popup');
    // The edit menu is the client's own: the console never opened it.
    if (editMenu && editMenu.menu === el) {
      editMenu = null;
    } else if (el.zvUid) {
      send({ t: 'popupDismissed', w: view.w, u: el.zvUid });
    }
    any = true;
  }
  return any;
}

// An item of a shown menu that holds a submenu: the submenu shows on hover and is
// placed inside the view.
function onMenuOver(e) {
  const item = e.target.closest ? e.target.closest('li') : null;
  if (!item || !item.closest('[data-popup]') || !item.querySelector(':scope > menu')) return;
  placeSubmenu(item);
}

// ------------------------------------------------------------------ edit menus

// A text input or text area of a window whose document has the edit menus shows them
// at a right click instead of the browser's own menu: "input-edit" for inputs,
// "text-edit" (else "input-edit") for text areas. The client does the edit itself, as
// the text and the clipboard are here; the console is not told.
let editMenu = null;  // {view, menu, field} while one is shown

export function isTextField(el) {
  if (el.localName === 'textarea') return true;
  return el.localName === 'input' &&
    !['button', 'checkbox', 'radio', 'submit', 'reset', 'image', 'file'].includes(el.type);
}

// The edit an item's command asks for ("behavior:edit:copy", "richtext:paste"), or null.
export function editCommand(command) {
  const m = /:(undo|cut|copy|paste|selectall)$/.exec(String(command || ''));
  return m ? m[1] : null;
}

function editMenuOf(view, field) {
  const ids = field.localName === 'textarea' ? ['text-edit', 'input-edit'] : ['input-edit'];
  for (const id of ids) {
    const menu = view.root.getElementById(id);
    if (menu && menu.localName === 'menu') return menu;
  }
  return null;
}

function openEditMenu(view, field, e) {
  const menu = editMenuOf(view, field);
  if (!menu || disabled(field)) return false;
  dismissPopups(null);
  hideTooltip();
  editMenu = { view, menu, field };
  pointer.lastContext = { x: e.clientX, y: e.clientY, time: Date.now() };
  menu.setAttribute('data-popup', '');
  placePopup(menu);
  return true;
}

function closeEditMenu() {
  if (!editMenu) return;
  editMenu.menu.removeAttribute('data-popup');
  editMenu = null;
}

async function doEdit(field, command) {
  field.focus({ preventScroll: true });
  const readOnly = field.readOnly || field.disabled;
  switch (command) {
    case 'selectall':
      field.select();
      break;
    case 'copy':
      if (!document.execCommand('copy') && navigator.clipboard) {
        await navigator.clipboard.writeText(
          field.value.slice(field.selectionStart, field.selectionEnd)).catch(() => {});
      }
      break;
    case 'cut':
      if (!readOnly) document.execCommand('cut');
      break;
    case 'undo':
      if (!readOnly) document.execCommand('undo');
      break;
    case 'paste': {
      if (readOnly || !navigator.clipboard) break;
      let text = await navigator.clipboard.readText().catch(() => '');
      if (field.localName === 'input') text = text.replace(/[\r\n]+/g, '');
      if (field.zvFilter) text = filterText(field.zvFilter, text);
      if (text) insertText(field, text);
      break;
    }
    default:
      break;
  }
}

// A click in the shown edit menu: the item's edit on its field.
function editMenuClick(e) {
  if (!editMenu || !editMenu.menu.contains(e.target)) return false;
  const item = e.target.closest('li');
  const { field } = editMenu;
  const command = item && !disabled(item) ? editCommand(item.getAttribute('command')) : null;
  if (!command) return true;
  closeEditMenu();
  if (field.isConnected) doEdit(field, command);
  return true;
}

// ------------------------------------------------------------------ tooltips

// An element with `titleid` names a popup element of its window (by id) that shows
// as its tooltip while the pointer is over it. The client draws it by itself; the
// console is not asked.
const TOOLTIP_DELAY_MS = 300;
let tooltip = null;  // {owner, popup, timer, shown}

function hideTooltip() {
  if (!tooltip) return;
  clearTimeout(tooltip.timer);
  tooltip.popup.removeAttribute('data-zv-tooltip');
  tooltip = null;
}

// A tooltip never covers a popup of its element (the menu of a menu button): none shows
// while one is open or over one, and an open one hides it.
function holdsPopup(owner) {
  return !!owner.querySelector('[data-popup]');
}

function onTooltipOver(view, e) {
  const owner = e.target.closest ? e.target.closest('[titleid]') : null;
  if (tooltip && tooltip.owner === owner) return;
  hideTooltip();
  if (!owner || disabled(owner) || holdsPopup(owner)) return;
  const popup = view.root.getElementById(owner.getAttribute('titleid'));
  if (!popup || popup === owner || popup.contains(owner)) return;
  const x = e.clientX;
  const y = e.clientY;
  const tip = { owner, popup, shown: false };
  tip.timer = setTimeout(() => {
    if (tooltip !== tip || !popup.isConnected || holdsPopup(owner)) return;
    popup.setAttribute('data-zv-tooltip', '');
    const r = popup.getBoundingClientRect();
    const at = tooltipPlace(x, y, r.width, r.height, innerWidth, innerHeight);
    popup.style.left = at.left + 'px';
    popup.style.top = at.top + 'px';
    tip.shown = true;
  }, TOOLTIP_DELAY_MS);
  tooltip = tip;
}

function popupShown(el) {
  if (tooltip && tooltip.owner.contains(el)) hideTooltip();
}

function onTooltipOut(e) {
  if (!tooltip) return;
  const to = e.relatedTarget;
  if (to && to.nodeType === 1 && tooltip.owner.contains(to)) return;
  hideTooltip();
}

// ------------------------------------------------------------------ input

function uidElement(target, root) {
  for (let e = target; e && e !== root; e = e.parentNode) {
    if (e.nodeType === 1 && e.zvUid) return e;
  }
  return null;
}

function disabled(el) {
  return !!(el && el.closest('[data-disabled]'));
}

function insideOf(el, e) {
  const r = el.getBoundingClientRect();
  return { x: Math.round(e.clientX - r.left), y: Math.round(e.clientY - r.top) };
}

function listen(view) {
  const root = view.root;
  root.addEventListener('click', (e) => onClick(view, e));
  root.addEventListener('mouseover', (e) => {
    onTooltipOver(view, e);
    onMenuOver(e);
  });
  root.addEventListener('mouseout', (e) => onTooltipOut(e));
  root.addEventListener('dblclick', (e) => {
    const el = uidElement(e.target, root);
    if (!el || disabled(el)) return;
    const list = listOf(e.target);
    const row = list && rowOf(list, e.target);
    send({ t: 'dblclick', w: view.w, u: (row || el).zvUid, mods: modsOf(e) });
  });
  root.addEventListener('auxclick', (e) => {
    if (e.target.closest && e.target.closest('a[href]')) e.preventDefault();
  });
  root.addEventListener('contextmenu', (e) => {
    const t = e.target;
    if (isTextField(t)) {
      if (openEditMenu(view, t, e)) e.preventDefault();
      return;
    }
    e.preventDefault();
    const el = uidElement(t, root);
    if (!el || disabled(el)) return;
    pointer.lastContext = { x: e.clientX, y: e.clientY, time: Date.now() };
    const at = insideOf(el, e);
    send({ t: 'contextmenu', w: view.w, u: el.zvUid, x: at.x, y: at.y });
  });
  root.addEventListener('submit', (e) => e.preventDefault(), true);
  root.addEventListener('beforeinput', onBeforeInput, true);
  root.addEventListener('paste', onPaste, true);
  root.addEventListener('input', (e) => {
    if (!e.isComposing) onInput(view, e.target);
  });
  root.addEventListener('compositionend', (e) => onInput(view, e.target));
  root.addEventListener('scroll', (e) => onScroll(view, e.target), true);
  root.addEventListener('dragstart', (e) => onDragStart(view, e));
  root.addEventListener('dragover', (e) => onDragOver(view, e));
  root.addEventListener('drop', (e) => onDrop(view, e));
  root.addEventListener('dragend', () => endDrag());
  root.addEventListener('pointerdown', (e) => onSizingStart(view, e));
}

// An element the style lets the user size (CSS resize) is sized by dragging the handle in
// its lower right corner; when the drag ends with a new width, the console hears of it.
const sizingHandle = 20;

function onSizingStart(view, e) {
  if (e.button !== 0) return;
  for (let el = e.target; el && el !== view.root; el = el.parentNode) {
    if (!el.zvUid || getComputedStyle(el).resize === 'none') continue;
    const r = el.getBoundingClientRect();
    if (r.right - e.clientX > sizingHandle || r.bottom - e.clientY > sizingHandle) return;
    const width = Math.round(r.width);
    window.addEventListener('pointerup', () => {
      const now = Math.round(el.getBoundingClientRect().width);
      if (el.isConnected && now !== width) send({ t: 'resized', w: view.w, u: el.zvUid, width: now });
    }, { once: true, capture: true });
    return;
  }
}

function onClick(view, e) {
  if (e.button !== 0) return;
  if (editMenuClick(e)) return;
  const root = view.root;
  const target = e.target;
  const anchor = target.closest ? target.closest('a[href]') : null;
  if (anchor) e.preventDefault();
  const el = uidElement(target, root);
  if (!el || disabled(el)) return;
  const sel = target.closest('zv-select');
  if (sel && sel.hasAttribute('data-zv-dropdown') && sel.zvUid) {
    pointer.lastClicked = sel;
    // A click on the select whose list was open closes the list.
    if (justClosed !== sel) openDropdown(view, sel);
    justClosed = null;
    return;
  }
  const list = listOf(target);
  const row = list && rowOf(list, target);
  if (row) {
    pointer.lastClicked = row;
    if (!disabled(row)) send({ t: 'select', w: view.w, u: list.zvUid, row: row.zvUid });
    return;
  }
  const popup = target.closest('[data-popup]');
  if (popup && (popup.localName === 'menu' || popup.getAttribute('data-tag') === 'menu')) {
    const item = target.closest('li');
    // A control inside an item (a checkbox of a settings menu) is clicked as itself.
    const control = target.closest('button, input, textarea');
    const onControl = control && item && item.contains(control);
    if (item && popup.contains(item) && item.zvUid && !onControl) {
      if (!item.querySelector(':scope > menu')) send({ t: 'menuitem', w: view.w, u: item.zvUid });
      return;
    }
  }
  pointer.lastClicked = el;
  pointer.lastContext = null;
  const at = insideOf(el, e);
  const frame = { t: 'click', w: view.w, u: el.zvUid, mods: modsOf(e), x: at.x, y: at.y };
  if (anchor && anchor.zvHref !== undefined && anchor.zvHref !== null) frame.href = anchor.zvHref;
  send(frame);
}

function maxLengthOf(el) {
  const n = parseInt(el.getAttribute('maxlength') || '', 10);
  return n >= 0 ? n : Infinity;
}

// Puts text at the selection as typing would, within the length limit.
function insertText(el, text) {
  const start = el.selectionStart ?? el.value.length;
  const end = el.selectionEnd ?? start;
  const room = maxLengthOf(el) - (el.value.length - (end - start));
  const put = Array.from(text).slice(0, Math.max(0, room)).join('');
  if (!put && start === end) return;
  el.setRangeText(put, start, end, 'end');
  el.dispatchEvent(new Event('input', { bubbles: true, composed: true }));
}

function onBeforeInput(e) {
  const el = e.target;
  if (!el.zvFilter || typeof e.data !== 'string' || !e.inputType.startsWith('insert')) return;
  if (e.isComposing) return;
  const allowed = filterText(el.zvFilter, e.data);
  if (allowed === e.data) return;
  e.preventDefault();
  if (allowed) insertText(el, allowed);
}

function onPaste(e) {
  const el = e.target;
  if (!el.zvFilter || !e.clipboardData) return;
  e.preventDefault();
  let text = e.clipboardData.getData('text/plain');
  if (el.localName === 'input') text = text.replace(/[\r\n]+/g, '');
  insertText(el, filterText(el.zvFilter, text));
}

function onInput(view, el) {
  if (!el || !el.zvUid || (el.localName !== 'input' && el.localName !== 'textarea')) return;
  if (el.type === 'checkbox' || el.type === 'radio') return;
  if (el.zvFilter) {
    // Anything that slipped past the earlier checks (drop of text, input methods).
    const clean = filterText(el.zvFilter, el.value);
    if (clean !== el.value) {
      const caret = el.selectionStart || 0;
      const before = filterText(el.zvFilter, el.value.slice(0, caret)).length;
      el.value = clean;
      el.setSelectionRange(before, before);
    }
  }
  if (el.zvValue === el.value) return;
  el.zvValue = el.value;
  el.zvSent = (el.zvSent || []).concat([el.value]).slice(-64);
  send({ t: 'input', w: view.w, u: el.zvUid, v: el.value });
}

function onScroll(view, el) {
  if (!el || !el.zvUid) return;
  if (el.zvLazy) updateLazy(view, el.zvLazy);
  if (view.scrollTimers.has(el)) return;
  view.scrollTimers.set(el, setTimeout(() => {
    view.scrollTimers.delete(el);
    if (el.isConnected) send({ t: 'scroll', w: view.w, u: el.zvUid, top: Math.round(el.scrollTop) });
  }, 100));
}

// ------------------------------------------------------------------ drag and drop

function onDragStart(view, e) {
  const source = e.target.closest && e.target.closest('[draggable="true"]');
  const el = source && uidElement(source, view.root);
  if (!el || disabled(el)) return;
  drag = { view, el };
  el.setAttribute('data-zv-dragging', '');
  e.dataTransfer.effectAllowed = 'copyMove';
  e.dataTransfer.setData('text/plain', '');
}

function dropPlace(view, e) {
  if (!drag || drag.view !== view) return null;
  const zone = e.target.closest && e.target.closest('[dropzone]');
  if (!zone || !zone.zvUid || zone === drag.el || drag.el.contains(zone)) return null;
  const children = [...zone.children].filter((c) => c.zvUid && c !== drag.el);
  const index = dropIndex(children.map((c) => c.getBoundingClientRect()), e.clientX, e.clientY);
  return { zone, children, index };
}

function clearDropMarks() {
  for (const view of windows.values()) {
    view.root.querySelectorAll('[data-zv-drop-before],[data-zv-drop-end]').forEach((m) => {
      m.removeAttribute('data-zv-drop-before');
      m.removeAttribute('data-zv-drop-end');
    });
  }
}

function onDragOver(view, e) {
  const place = dropPlace(view, e);
  clearDropMarks();
  if (!place) return;
  e.preventDefault();
  e.dataTransfer.dropEffect = 'move';
  const before = place.children[place.index];
  if (before) before.setAttribute('data-zv-drop-before', '');
  else place.zone.setAttribute('data-zv-drop-end', '');
}

function onDrop(view, e) {
  const place = dropPlace(view, e);
  if (!place) return;
  e.preventDefault();
  send({ t: 'drop', w: view.w, u: drag.el.zvUid, target: place.zone.zvUid, index: place.index });
  endDrag();
}

function endDrag() {
  if (drag) drag.el.removeAttribute('data-zv-dragging');
  drag = null;
  clearDropMarks();
}

// ------------------------------------------------------------------ page-wide

function focusedTarget() {
  const active = document.activeElement;
  const host = active && active.closest ? active.closest('.zv-layer') : null;
  let view = null;
  for (const v of windows.values()) if (v.layer === host && !v.layer.inert) view = v;
  if (!view) view = topView();
  if (!view) return null;
  const inner = view.root.activeElement;
  const el = inner ? uidElement(inner, view.root) : null;
  return { view, u: el ? el.zvUid : 0 };
}

function onKeyDown(e) {
  if (['Shift', 'Control', 'Alt', 'Meta', 'AltGraph', 'CapsLock', 'Dead'].includes(e.key)) return;
  if (dropdown) {
    dropdownKey(e);
    return;
  }
  if (e.key === 'Escape' && dismissPopups(null)) {
    e.preventDefault();
    return;
  }
  const key = keyName(e);
  if (e.ctrlKey && (key === 'Tab' || key === 's' || key === 'S')) e.preventDefault();
  // Enter in a form's input is the console's (the form's default button): the
  // browser's own submission would click the form's first button, whatever it is.
  const inner = e.composedPath()[0];
  if (e.key === 'Enter' && !e.isComposing && inner && inner.localName === 'input' && inner.form) {
    e.preventDefault();
  }
  const frame = { t: 'key', key, mods: modsOf(e) };
  const moving = MOVE_KEYS.has(e.key) && !e.ctrlKey && !e.altKey && !e.metaKey;
  const rows = moving && inner ? rowsOwner(inner) : null;
  if (rows) {
    // The console moves the current row (or tab); the browser would also scroll the
    // list or the page, taking the current row out of view.
    e.preventDefault();
    if ((e.key === 'PageUp' || e.key === 'PageDown') && rows.localName !== 'zv-tabs') {
      frame.page = Math.max(1, shownRows(rows));
    }
  }
  const target = focusedTarget();
  if (!target) return;
  send({ w: target.view.w, u: target.u, ...frame });
}

// Keys that move among the rows of a list or a grid, or among tabs.
const MOVE_KEYS = new Set(['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'PageUp',
  'PageDown', 'Home', 'End']);

// The list, table or tab strip whose rows the keys pressed on `inner` move among; null
// in a text control, where the keys move the caret, and elsewhere.
function rowsOwner(inner) {
  if (inner.localName === 'textarea' || inner.isContentEditable) return null;
  if (inner.localName === 'input' && !['checkbox', 'radio', 'button'].includes(inner.type)) {
    return null;
  }
  const list = listOf(inner);
  if (list) return list;
  const table = inner.closest('table');
  if (table) return table;
  return inner.closest('.strip, [panel]') ? { localName: 'zv-tabs' } : null;
}

// How many of `rects` (rows, in order) lie wholly between `top` and `bottom`.
export function rowsWithin(rects, top, bottom) {
  let n = 0;
  for (const r of rects) if (r.height > 0 && r.top >= top - 0.5 && r.bottom <= bottom + 0.5) n++;
  return n;
}

// The rows of a list or table the user sees whole now: inside the nearest element that
// scrolls it and inside the page, below the table's header rows.
function shownRows(owner) {
  let rows;
  let top = 0;
  if (owner.localName === 'table') {
    const fixed = Math.max(0, parseInt(owner.getAttribute('fixedrows') || '0', 10) || 0);
    rows = [...owner.rows].slice(fixed);
    for (const header of [...owner.rows].slice(0, fixed)) {
      top = Math.max(top, header.getBoundingClientRect().bottom);
    }
  } else {
    rows = [...owner.querySelectorAll('zv-option')];
    if (!rows.length) rows = [...owner.children].filter((c) => c.zvUid);
  }
  let bottom = innerHeight;
  for (let e = owner; e && e.nodeType === 1; e = e.parentElement || e.getRootNode().host) {
    if (e.clientHeight > 0 && e.scrollHeight > e.clientHeight + 1) {
      const r = e.getBoundingClientRect();
      top = Math.max(top, r.top + e.clientTop);
      bottom = Math.min(bottom, r.top + e.clientTop + e.clientHeight);
      break;
    }
  }
  return rowsWithin(rows.map((r) => r.getBoundingClientRect()), top, bottom);
}

// A press in the edit menu leaves the focus and the selection in its field.
function onMouseDown(e) {
  if (editMenu && e.composedPath().includes(editMenu.menu)) e.preventDefault();
}

function onPointerDown(e) {
  const path = e.composedPath();
  justClosed = null;
  hideTooltip();
  if (dropdown) {
    if (path.includes(dropdown.box)) return;
    if (path.includes(dropdown.sel)) justClosed = dropdown.sel;
    closeDropdown(true);
  }
  dismissPopups(path);
}

// Listens to the page: keys go to the focused window, a press elsewhere closes popups
// and drop-down lists. Each window's own input is listened to as it opens.
export function startInput() {
  windowHooks.opened = listen;
  windowHooks.closing = (view) => {
    if (tooltip && view.root.contains(tooltip.popup)) hideTooltip();
    if (editMenu && editMenu.view === view) editMenu = null;
    if (dropdown && dropdown.view === view) closeDropdown(false);
  };
  windowHooks.closingAll = () => {
    closeDropdown(false);
    editMenu = null;
  };
  windowHooks.popupShown = popupShown;
  window.addEventListener('keydown', onKeyDown, true);
  window.addEventListener('pointerdown', onPointerDown, true);
  window.addEventListener('mousedown', onMouseDown, true);
}
