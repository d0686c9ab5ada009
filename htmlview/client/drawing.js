// The windows on the page. Each window is a layer of the page with its own shadow
// root, so the style sheets and ids of one window never touch another; its elements
// are built from the console's node trees and changed by the batches it sends.

import {
  FOCUS, POPUP, appendChildren, buildNode, forget, mapCssUrls, mapUrl, setAttribute, setState,
  setValue, valueOperation,
} from './nodes.js';
import {
  receiveRows, removeLazyRow, replaceLazyRow, scrollLazyTo, startLazy, updateLazy,
} from './lazyLists.js';
import { send, setEnded } from './wire.js';

const CLOSE_TEXT = 'Закрыть';
const CONTEXT_POPUP_MS = 3000;

export const windows = new Map();  // window id → view
export let mainWindow = 0;
let waitCursor = false;
let lastGeometry = '';

// Where the user last pointed, which anchors the next popup: the element of the last
// click, and {x, y, time} of the last context-menu request.
export const pointer = { lastClicked: null, lastContext: null };

// What the input side does as windows come and go: opened(view) once its shadow root
// exists, closing(view) before it goes, closingAll() before every window goes.
export const windowHooks = { opened() {}, closing() {}, closingAll() {} };

// ------------------------------------------------------------------ windows

function makeContext(view) {
  return {
    doc: document,
    uids: view.uids,
    onLazy: (el, count) => startLazy(view, el, count),
    onElement: (el) => onElement(view, el),
  };
}

function onElement(view, el) {
  if (el.localName === 'zv-select') markSelect(el);
  if (isList(el) && !el.hasAttribute('tabindex')) el.tabIndex = 0;
  // A click on a table (a grid) gives it the focus, so that the keys that follow are
  // addressed to it and its behaviour moves the current row; Tab does not stop there.
  if (el.localName === 'table' && !el.hasAttribute('tabindex')) el.tabIndex = -1;
  if (el.zvState & POPUP) view.toPlace.add(el);
  if (el.zvState & FOCUS) view.toFocus = el;
  if (el.localName === 'style') view.styles.push(el);
}

export function openWindow(f) {
  if (windows.has(f.w)) closeWindow(f.w);
  const isMain = !f.owner && !mainWindow;
  setEnded(false);
  const view = {
    w: f.w, owner: f.owner | 0, modal: !!f.modal, main: isMain,
    uids: new Map(), lazy: new Map(), toPlace: new Set(), toFocus: null, styles: [],
    layer: null, frame: null, host: null, root: null, scrollTimers: new Map(),
  };
  const layer = document.createElement('div');
  layer.className = 'zv-layer ' + (isMain ? 'zv-main' : 'zv-dialog');
  if (view.modal && !isMain) {
    const backdrop = document.createElement('div');
    backdrop.className = 'zv-backdrop';
    layer.appendChild(backdrop);
  }
  const frame = document.createElement('div');
  frame.className = 'zv-frame';
  frame.tabIndex = -1;
  const bar = document.createElement('div');
  bar.className = 'zv-titlebar';
  const title = document.createElement('span');
  title.className = 'zv-title';
  title.textContent = String(f.title || '');
  const close = document.createElement('button');
  close.className = 'zv-close';
  close.title = CLOSE_TEXT;
  close.textContent = '×';
  close.addEventListener('click', () => {
    // Closing the main window usually ends the console, which then drops the socket.
    if (view.main) setEnded(true);
    send({ t: 'closeWindow', w: view.w });
  });
  bar.append(title, close);
  const host = document.createElement('div');
  host.className = 'zv-content';
  frame.append(bar, host);
  layer.appendChild(frame);
  if (!isMain) {
    const width = Math.max(100, f.width | 0 || 400);
    const height = Math.max(60, f.height | 0 || 300);
    frame.style.width = width + 'px';
    frame.style.height = height + 'px';
    frame.style.left = Math.max(0, (innerWidth - width) / 2) + 'px';
    frame.style.top = Math.max(0, (innerHeight - height) / 3) + 'px';
    makeDraggable(bar, frame);
  }
  const root = host.attachShadow({ mode: 'open' });
  Object.assign(view, { layer, frame, host, root });
  host.zvView = view;
  if (waitCursor) host.classList.add('zv-wait');
  addStyleSheet(root, '/client.css');
  for (const url of f.css || []) addStyleSheet(root, mapUrl(url));
  windowHooks.opened(view);
  if (f.root) root.appendChild(buildNode(f.root, makeContext(view)));
  windows.set(view.w, view);
  document.getElementById('zv-desk').appendChild(layer);
  if (isMain) {
    mainWindow = view.w;
    document.title = String(f.title || document.title);
    sendGeometry(true);
  }
  updateInert();
  afterChange(view);
  if (!view.focused && !isMain) frame.focus({ preventScroll: true });
}

export function closeWindow(w) {
  const view = windows.get(w);
  if (!view) return;
  windowHooks.closing(view);
  view.layer.remove();
  windows.delete(w);
  if (mainWindow === w) {
    mainWindow = 0;
    setEnded(true);
  }
  updateInert();
}

export function closeAllWindows() {
  windowHooks.closingAll();
  for (const view of windows.values()) view.layer.remove();
  windows.clear();
  mainWindow = 0;
}

// Everything under the topmost modal window takes no input.
function updateInert() {
  const layers = [...windows.values()];
  let top = -1;
  layers.forEach((v, i) => { if (v.modal && !v.main) top = i; });
  layers.forEach((v, i) => { v.layer.inert = i < top; });
}

export function topView() {
  const layers = [...windows.values()].filter((v) => !v.layer.inert);
  return layers[layers.length - 1] || null;
}

function makeDraggable(bar, frame) {
  bar.addEventListener('pointerdown', (e) => {
    if (e.button !== 0 || e.target.closest('.zv-close')) return;
    const startX = e.clientX - frame.offsetLeft;
    const startY = e.clientY - frame.offsetTop;
    bar.setPointerCapture(e.pointerId);
    const move = (m) => {
      frame.style.left = Math.max(0, Math.min(innerWidth - 40, m.clientX - startX)) + 'px';
      frame.style.top = Math.max(0, Math.min(innerHeight - 20, m.clientY - startY)) + 'px';
    };
    const up = () => {
      bar.removeEventListener('pointermove', move);
      bar.removeEventListener('pointerup', up);
    };
    bar.addEventListener('pointermove', move);
    bar.addEventListener('pointerup', up);
  });
}

function addStyleSheet(root, href) {
  const link = document.createElement('link');
  link.rel = 'stylesheet';
  link.href = href;
  link.addEventListener('load', () => hoistFontFaces(link.sheet, link.href));
  root.appendChild(link);
}

// Font faces declared inside a shadow root are ignored by browsers; they are copied
// to the page, where they apply to every window.
const hoistedFonts = new Set();
function hoistFontFaces(sheet, base) {
  if (!sheet) return;
  let rules;
  try {
    rules = sheet.cssRules;
  } catch (e) {
    return;
  }
  for (const rule of rules) {
    if (rule.type !== 5) continue;  // CSSRule.FONT_FACE_RULE
    const text = mapCssUrls(rule.cssText).replace(
      /url\(\s*(['"]?)([^'")]+)\1\s*\)/g,
      (m, q, u) => 'url("' + new URL(u, base || location.href).href + '")');
    if (hoistedFonts.has(text)) continue;
    hoistedFonts.add(text);
    document.getElementById('zv-fonts').append(text + '\n');
  }
}

// ------------------------------------------------------------------ batches

export function applyBatch(f) {
  const view = windows.get(f.w);
  if (!view) return;
  for (const op of f.ops || []) {
    try {
      applyOp(view, op);
    } catch (err) {
      console.error('zv: op failed', op && op.op, err);
    }
  }
  afterChange(view);
}

function applyOp(view, op) {
  const ctx = makeContext(view);
  if (op.op === 'insert') {
    const parent = view.uids.get(op.parent);
    if (!parent) return;
    if (parent.zvLazy) {
      parent.zvLazy.stale = true;
      return;
    }
    if (parent.localName === 'textarea' || parent.localName === 'style') return;
    const node = buildNode(op.node, ctx);
    const children = parent.childNodes;
    const at = Math.max(0, op.index | 0);
    parent.insertBefore(node, at < children.length ? children[at] : null);
    return;
  }
  const el = view.uids.get(op.u);
  if (!el && op.op === 'scroll' && Number.isInteger(op.index)) {
    // A row of a lazy list that is not drawn: the list scrolls to its place and asks
    // for the rows there.
    scrollLazyTo(view.lazy.get(op.list), op.index);
    return;
  }
  if (!el) return;  // not drawn (a lazy row out of view) or already gone
  switch (op.op) {
    case 'replace': {
      const node = buildNode(op.node, ctx);
      forget(view, el);
      if (el.zvLazyRowOf) replaceLazyRow(el, node);
      el.replaceWith(node);
      break;
    }
    case 'remove':
      forget(view, el);
      if (el.zvLazyRowOf) removeLazyRow(el);
      el.remove();
      break;
    case 'attr':
      setAttribute(el, op.name, op.value);
      if (el.localName === 'zv-select') markSelect(el);
      if (el.hasAttribute('data-popup') && String(op.name).toLowerCase() === 'style') {
        view.toPlace.add(el);
      }
      break;
    case 'state': {
      const was = el.zvState | 0;
      setState(el, op.s);
      if ((op.s & POPUP) && !(was & POPUP)) view.toPlace.add(el);
      if ((op.s & FOCUS) && !(was & FOCUS)) view.toFocus = el;
      break;
    }
    case 'value': {
      const text = op.v === null || op.v === undefined ? '' : String(op.v);
      const answer = valueOperation(el.zvSent || [], text);
      el.zvSent = answer.sent;
      if (answer.apply) setValue(el, text);
      break;
    }
    case 'content':
      for (const child of [...el.children]) forget(view, child);
      if (el.zvLazy) {
        view.lazy.delete(el.zvUid);
        el.zvLazy = null;
      }
      el.replaceChildren();
      appendChildren(el, op.c || [], ctx);
      break;
    case 'count':
      if (el.zvLazy) {
        el.zvLazy.count = Math.max(0, op.count | 0);
        el.zvLazy.stale = true;
      }
      break;
    case 'scroll':
      el.scrollIntoView({ block: 'nearest', inline: 'nearest' });
      break;
    case 'focus':
      view.toFocus = el;
      break;
    default:
      break;
  }
}

// Work left after a window was built or changed: drop-down faces, popups to place,
// focus, lazy lists to fill, fonts of inline style sheets.
function afterChange(view) {
  view.root.querySelectorAll('zv-select[data-zv-dropdown]').forEach(markFace);
  for (const el of view.toPlace) if (el.isConnected) placePopup(el);
  view.toPlace.clear();
  if (view.toFocus && view.toFocus.isConnected) {
    view.toFocus.focus({ preventScroll: false });
    view.focused = true;
  }
  view.toFocus = null;
  for (const el of view.styles) if (el.isConnected) hoistFontFaces(el.sheet, location.href);
  view.styles = [];
  for (const st of view.lazy.values()) updateLazy(view, st);
}

// ------------------------------------------------------------------ lists

function isDropdownSelect(el) {
  const size = parseInt(el.getAttribute('size') || '0', 10);
  const type = (el.getAttribute('type') || '').toLowerCase();
  return !(size > 1) && !el.hasAttribute('multiple') && type !== 'list' && type !== 'select';
}

function markSelect(el) {
  el.toggleAttribute('data-zv-dropdown', isDropdownSelect(el));
  if (!el.hasAttribute('tabindex')) el.tabIndex = 0;
}

export function isList(el) {
  return (el.localName === 'zv-select' && !el.hasAttribute('data-zv-dropdown')) ||
    (el.localName === 'widget' && /^select/i.test(el.getAttribute('type') || ''));
}

export function listOf(target) {
  for (let e = target; e && e.nodeType === 1; e = e.parentElement) if (isList(e)) return e;
  return null;
}

// The row of a list that holds the target: an option, or else the list's child.
export function rowOf(list, target) {
  const option = target.closest('zv-option');
  if (option && list.contains(option) && option.zvUid) return option;
  for (let e = target; e && e !== list; e = e.parentElement) {
    if (e.parentElement === list) return e.zvUid ? e : null;
  }
  return null;
}

// The option a closed drop-down shows: the current one, else the one whose value is
// the select's value, else the first.
function markFace(sel) {
  const options = [...sel.querySelectorAll('zv-option')];
  const face = options.find((o) => o.hasAttribute('data-current')) ||
    options.find((o) => sel.zvValue !== undefined && o.getAttribute('value') === sel.zvValue) ||
    options[0];
  for (const o of options) o.toggleAttribute('data-zv-face', o === face);
}

// ------------------------------------------------------------------ popups

// A popup element is drawn in place with position: fixed, at the point of the
// context-menu request that opened it, else under the element last clicked.
function placePopup(el) {
  let x = innerWidth / 3;
  let y = innerHeight / 3;
  const { lastClicked, lastContext } = pointer;
  if (lastContext && Date.now() - lastContext.time < CONTEXT_POPUP_MS) {
    ({ x, y } = lastContext);
  } else {
    const anchor = lastClicked && lastClicked.isConnected ? lastClicked : el.parentElement;
    if (anchor) {
      const r = anchor.getBoundingClientRect();
      x = r.left;
      y = r.bottom;
    }
  }
  el.style.left = x + 'px';
  el.style.top = y + 'px';
  const r = el.getBoundingClientRect();
  if (r.right > innerWidth) el.style.left = Math.max(0, innerWidth - r.width) + 'px';
  if (r.bottom > innerHeight) el.style.top = Math.max(0, innerHeight - r.height) + 'px';
}

export function shownPopups() {
  const out = [];
  for (const view of windows.values()) {
    view.root.querySelectorAll('[data-popup]').forEach((el) => out.push({ view, el }));
  }
  return out;
}

// The main window's place on the screen, sent when it changed (or `force`).
export function sendGeometry(force) {
  if (!mainWindow) return;
  const g = {
    t: 'geometry', w: mainWindow,
    x: Math.round(screenX), y: Math.round(screenY),
    width: Math.round(outerWidth), height: Math.round(outerHeight),
    screenWidth: Math.round(screen.availWidth), screenHeight: Math.round(screen.availHeight),
  };
  const text = JSON.stringify(g);
  if (!force && text === lastGeometry) return;
  lastGeometry = text;
  send(g);
}

export function setWaitCursor(on) {
  waitCursor = on;
  document.documentElement.classList.toggle('zv-wait', on);
  for (const view of windows.values()) view.host.classList.toggle('zv-wait', on);
}

// A "rows" frame: the rows of a lazy list that were asked for.
export function receiveRowsFrame(f) {
  const view = windows.get(f.w);
  if (view && receiveRows(view, f, makeContext(view))) afterChange(view);
}
