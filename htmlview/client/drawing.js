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
// exists, closing(view) before it goes, closingAll() before every window goes; and
// popupShown(el) once a popup is placed.
export const windowHooks = { opened() {}, closing() {}, closingAll() {}, popupShown() {} };

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
    const minWidth = Math.max(MIN_WIDTH, f.minWidth | 0);
    const minHeight = Math.max(MIN_HEIGHT, f.minHeight | 0);
    const width = Math.max(minWidth, f.width | 0 || 400);
    const height = Math.max(minHeight, f.height | 0 || 300);
    frame.style.width = width + 'px';
    frame.style.height = height + 'px';
    frame.style.left = Math.max(0, (innerWidth - width) / 2) + 'px';
    frame.style.top = Math.max(0, (innerHeight - height) / 3) + 'px';
    makeDraggable(bar, frame);
    if (f.sizable) makeSizable(frame, minWidth, minHeight);
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

// The sizing border of a window: its edges and corners, each a strip that drags its
// side of the frame. The frame keeps its minimum size (the window's own, when it has
// one) and its title bar on the page.
const MIN_WIDTH = 100;
const MIN_HEIGHT = 60;
const EDGES = ['n', 's', 'e', 'w', 'ne', 'nw', 'se', 'sw'];

export function resizedFrame(start, edge, dx, dy, viewW, viewH,
                             minW = MIN_WIDTH, minH = MIN_HEIGHT) {
  let { left, top, width, height } = start;
  if (edge.includes('e')) width = Math.min(viewW - left, Math.max(minW, width + dx));
  if (edge.includes('s')) height = Math.min(viewH - top, Math.max(minH, height + dy));
  if (edge.includes('w')) {
    const right = left + width;
    left = Math.max(0, Math.min(right - minW, left + dx));
    width = right - left;
  }
  if (edge.includes('n')) {
    const bottom = top + height;
    top = Math.max(0, Math.min(bottom - minH, top + dy));
    height = bottom - top;
  }
  return { left, top, width, height };
}

function makeSizable(frame, minWidth = MIN_WIDTH, minHeight = MIN_HEIGHT) {
  frame.classList.add('zv-sizable');
  for (const edge of EDGES) {
    const grip = document.createElement('div');
    grip.className = 'zv-grip zv-grip-' + edge;
    grip.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      e.preventDefault();
      const start = {
        left: frame.offsetLeft, top: frame.offsetTop,
        width: frame.clientWidth, height: frame.clientHeight,
      };
      const x = e.clientX;
      const y = e.clientY;
      grip.setPointerCapture(e.pointerId);
      const move = (m) => {
        const r = resizedFrame(start, edge, m.clientX - x, m.clientY - y, innerWidth, innerHeight,
          minWidth, minHeight);
        frame.style.left = r.left + 'px';
        frame.style.top = r.top + 'px';
        frame.style.width = r.width + 'px';
        frame.style.height = r.height + 'px';
      };
      const up = () => {
        grip.removeEventListener('pointermove', move);
        grip.removeEventListener('pointerup', up);
        const view = frame.querySelector('.zv-content').zvView;
        if (view) for (const st of view.lazy.values()) updateLazy(view, st);
      };
      grip.addEventListener('pointermove', move);
      grip.addEventListener('pointerup', up);
    });
    frame.appendChild(grip);
  }
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

// Where a popup of size w × h goes for a point (x, y) in a view of viewW × viewH: below
// and right of the point; flipped above or to the left of it where it does not fit,
// and moved in from the view's edge when it fits neither way.
export function popupPlace(x, y, w, h, viewW, viewH) {
  const along = (at, size, view) => {
    if (at + size <= view) return at;
    if (at - size >= 0) return at - size;
    return Math.max(0, view - size);
  };
  return { left: along(x, w, viewW), top: along(y, h, viewH) };
}

// Where a submenu of size w × h goes beside its item (`item`, a rectangle): right of
// the item with its top at the item's, else left of it; moved up as far as it runs
// off the view's bottom. The result is relative to the item's top left corner, as the
// submenu is positioned inside its item.
export function submenuPlace(item, w, h, viewW, viewH, overlap = 4) {
  let left = item.width;
  if (item.right + w > viewW && item.left - w >= 0) left = -w;
  let top = -overlap;
  const bottom = item.top + top + h;
  if (bottom > viewH) top -= Math.min(bottom - viewH, item.top + top);
  return { left, top };
}

// A popup element is drawn in place with position: fixed, at the point of the
// context-menu request that opened it, else under the element last clicked.
export function placePopup(el) {
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
  const at = popupPlace(x, y, r.width, r.height, innerWidth, innerHeight);
  el.style.left = at.left + 'px';
  el.style.top = at.top + 'px';
  windowHooks.popupShown(el);
}

// A submenu opens on hover (the style sheets show it): it is placed beside its item
// inside the view.
export function placeSubmenu(item) {
  const sub = item.querySelector(':scope > menu');
  if (!sub) return;
  sub.style.left = '';
  sub.style.top = '';
  const r = sub.getBoundingClientRect();
  if (!r.width) return;
  const at = submenuPlace(item.getBoundingClientRect(), r.width, r.height, innerWidth, innerHeight,
    item.getBoundingClientRect().top - r.top);
  sub.style.left = at.left + 'px';
  sub.style.top = at.top + 'px';
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
