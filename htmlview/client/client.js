'use strict';
// The console's browser client. The console keeps every document; this script draws
// the windows it is sent as JSON node trees, applies the batches of changes, and sends
// back what the user does, addressed by the elements' uids. The protocol is
// htmlview/wire.md; how things are drawn is in its "Drawing" section.
//
// Each window is a layer of the page with its own shadow root, so the style sheets and
// ids of one window never touch another. The first part of this file is pure functions
// (tested by client.test.js under Node); the rest runs only in the browser.

const zvClient = (() => {
  // ---------------------------------------------------------------- pure helpers

  // State bits of the wire protocol and the attribute each is drawn as.
  const STATE_BITS = [
    [1, 'current'], [2, 'checked'], [4, 'disabled'], [8, 'expanded'], [16, 'collapsed'],
    [32, 'anchor'], [64, 'visited'], [128, 'popup'], [256, 'focus'], [512, 'readonly'],
  ];
  const POPUP = 128;
  const FOCUS = 256;

  // Tags the browser would draw wrongly under their own name.
  const RENAMED = { select: 'zv-select', option: 'zv-option', plaintext: 'textarea' };
  // Tags that could run code, navigate or load something: kept as hidden placeholders
  // so that child positions stay as the console counts them.
  const INERT = new Set(['script', 'iframe', 'frame', 'frameset', 'object', 'embed', 'applet',
    'base', 'meta', 'link', 'noscript', 'template', 'portal']);
  // Attributes whose value is a URL.
  const URL_ATTRIBUTES = new Set(['href', 'src', 'action', 'formaction', 'poster', 'background',
    'cite', 'data', 'xlink:href', 'srcset', 'ping', 'longdesc', 'manifest', 'codebase']);

  // "0~9a~fA~F:" → [[48,57],[97,102],[65,70],[58,58]]: "x~y" is a range of characters,
  // any other character stands for itself.
  function parseFilter(spec) {
    const chars = Array.from(String(spec));
    const ranges = [];
    for (let i = 0; i < chars.length; i++) {
      const lo = chars[i].codePointAt(0);
      if (i + 2 < chars.length && chars[i + 1] === '~') {
        const hi = chars[i + 2].codePointAt(0);
        ranges.push(lo <= hi ? [lo, hi] : [hi, lo]);
        i += 2;
      } else {
        ranges.push([lo, lo]);
      }
    }
    return ranges;
  }

  function charAllowed(ranges, ch) {
    const c = ch.codePointAt(0);
    return ranges.some(([lo, hi]) => c >= lo && c <= hi);
  }

  // The text without the characters the filter refuses.
  function filterText(ranges, text) {
    if (!ranges) return text;
    return Array.from(text).filter((ch) => charAllowed(ranges, ch)).join('');
  }

  function stateNames(s) {
    return STATE_BITS.filter(([bit]) => (s & bit) !== 0).map(([, name]) => name);
  }

  // Where the console's documents get their files from: "res:img/a.png" and a plain
  // relative name ("terminals.png", "img/a.png") are files of the skin directory
  // ("/skin/…"), except fonts (".ttf"), which are in the documentation's fonts/
  // ("/docs/fonts/…"); URLs with a scheme, absolute paths and "#…"/"?…" stay as they are.
  // The page's own address is never the base: it holds the token and serves nothing else.
  function mapUrl(url) {
    const text = String(url);
    if (/^res:/i.test(text)) return '/skin/' + text.slice(4).replace(/^\/+/, '');
    if (text === '' || /^[a-z][a-z0-9+.-]*:/i.test(text) || /^[/\\#?]/.test(text)) return text;
    const path = text.split(/[?#]/)[0];
    return (/\.ttf$/i.test(path) ? '/docs/fonts/' : '/skin/') + text;
  }

  function mapCssUrls(css) {
    return String(css).replace(/url\(\s*(['"]?)([^'")]*)\1\s*\)/gi, (whole, quote, url) => {
      const mapped = mapUrl(url.trim());
      return mapped === url.trim() ? whole : 'url("' + mapped + '")';
    });
  }

  // The value to give an attribute, or null when it is never applied: event handlers
  // (on*) and script URLs.
  function safeAttributeValue(name, value) {
    const n = String(name).toLowerCase();
    const v = value === null || value === undefined ? '' : String(value);
    if (n.startsWith('on') || n === 'srcdoc') return null;
    if (URL_ATTRIBUTES.has(n)) {
      // Browsers ignore control characters and blanks inside a scheme.
      const squeezed = v.replace(/[\u0000-\u0020\u007f]/g, '').toLowerCase();
      if (/^(javascript|vbscript|data:text\/html)/.test(squeezed)) return null;
      if (/(^|,)\s*javascript:/.test(squeezed)) return null;
      return mapUrl(v);
    }
    return v;
  }

  // The element tag to create for a node's tag.
  function elementTag(tag) {
    const t = String(tag || 'div').toLowerCase();
    if (INERT.has(t)) return 'zv-inert';
    if (RENAMED[t]) return RENAMED[t];
    return /^[a-z][a-z0-9-]*$/.test(t) ? t : 'zv-unknown';
  }

  // Rows first..last of a list with fixed-height rows that the view shows, widened by
  // `overscan` rows each side: {from, to} with `to` exclusive.
  function visibleRange(scrollTop, viewHeight, rowHeight, count, overscan) {
    const rh = rowHeight > 0 ? rowHeight : 20;
    const first = Math.max(0, Math.floor(scrollTop / rh));
    const last = Math.max(first + 1, Math.ceil((scrollTop + Math.max(viewHeight, rh)) / rh));
    return {
      from: Math.min(count, Math.max(0, first - overscan)),
      to: Math.min(count, last + overscan),
    };
  }

  // Where a drop at (x, y) goes among children laid out as `rects` (in order): the
  // number of children that come before the point. A child comes before it when the
  // point is below the child, or level with it and right of its middle.
  function dropIndex(rects, x, y) {
    let index = 0;
    rects.forEach((r, i) => {
      const below = y >= r.bottom;
      const rightOfMiddle = y >= r.top && y < r.bottom && x >= r.left + r.width / 2;
      if (below || rightOfMiddle) index = i + 1;
    });
    return index;
  }

  // A value operation for a text control the user is typing into. `sent` are the values
  // the client sent for it that the console has not answered yet, oldest first. An
  // operation carrying one of them is the console taking that input: the control
  // already shows it or something typed since, so it is not applied (applying it would
  // drop what was typed while the answer was on its way). Any other value is the
  // console's own change and replaces the text. Returns {apply, sent}.
  function valueOperation(sent, v) {
    const at = sent.indexOf(v);
    if (at >= 0) return { apply: false, sent: sent.slice(at + 1) };
    return { apply: true, sent: [] };
  }

  // Where a tooltip of size w × h goes for a pointer at (x, y) in a view of
  // viewW × viewH: below and right of the pointer, kept inside the view.
  function tooltipPlace(x, y, w, h, viewW, viewH) {
    const gap = 14;
    let left = x + 4;
    let top = y + gap;
    if (left + w > viewW) left = Math.max(0, viewW - w);
    if (top + h > viewH) top = Math.max(0, y - h - 4);
    return { left, top };
  }

  function modsOf(e) {
    return { ctrl: !!e.ctrlKey, shift: !!e.shiftKey, alt: !!e.altKey };
  }

  // The key name sent to the console. With Ctrl or Alt held, letters are named by the
  // Latin key they are on, so shortcuts work in any keyboard layout.
  function keyName(e) {
    if ((e.ctrlKey || e.altKey) && /^Key[A-Z]$/.test(e.code || '')) {
      const letter = e.code.slice(3);
      return e.shiftKey ? letter : letter.toLowerCase();
    }
    return e.key;
  }

  function tokenFrom(search) {
    return new URLSearchParams(search).get('token') || '';
  }

  function socketUrl(loc, token) {
    const scheme = loc.protocol === 'https:' ? 'wss://' : 'ws://';
    return scheme + loc.host + '/ws?token=' + encodeURIComponent(token);
  }

  // Sets one attribute as the document has it, except what must never be applied.
  // A few attributes also drive the control: novalue is the placeholder of an empty
  // input, filter the characters it accepts.
  function setAttribute(el, name, value) {
    const n = String(name).toLowerCase();
    if (value === null || value === undefined) {
      try { el.removeAttribute(n); } catch (e) { /* a name the browser refuses */ }
      if (n === 'novalue') el.removeAttribute('placeholder');
      if (n === 'filter') el.zvFilter = null;
      if (n === 'href') el.zvHref = null;
      return;
    }
    const safe = safeAttributeValue(n, value);
    if (safe === null) return;
    try {
      el.setAttribute(n, safe);
    } catch (e) {
      return;  // a name the browser refuses ("a b", "1x")
    }
    if (n === 'novalue') el.setAttribute('placeholder', safe);
    if (n === 'filter') el.zvFilter = parseFilter(safe);
    if (n === 'href') el.zvHref = String(value);
  }

  function setState(el, s) {
    const state = s | 0;
    for (const [bit, name] of STATE_BITS) {
      if (state & bit) el.setAttribute('data-' + name, '');
      else el.removeAttribute('data-' + name);
    }
    const tag = el.localName;
    if (tag === 'input' || tag === 'button' || tag === 'textarea' || tag === 'fieldset') {
      el.disabled = (state & 4) !== 0;
    }
    if (tag === 'input' || tag === 'textarea') el.readOnly = (state & 512) !== 0;
    if (tag === 'input' && (el.type === 'checkbox' || el.type === 'radio')) {
      el.checked = (state & 2) !== 0;
    }
    el.zvState = state;
  }

  function setValue(el, v) {
    const text = v === null || v === undefined ? '' : String(v);
    if (el.localName === 'input' || el.localName === 'textarea') {
      if (el.value !== text) el.value = text;
    }
    el.zvValue = text;
  }

  // Builds the DOM for one wire node. ctx: {doc, uids (Map uid → element), onLazy(el,
  // count), onElement(el)}. Text nodes are strings.
  function buildNode(node, ctx) {
    if (typeof node === 'string') return ctx.doc.createTextNode(node);
    const tag = String(node.tag || 'div').toLowerCase();
    const el = ctx.doc.createElement(elementTag(tag));
    if (el.localName !== tag) el.setAttribute('data-tag', tag);
    if (Number.isInteger(node.u) && node.u > 0) {
      el.zvUid = node.u;
      ctx.uids.set(node.u, el);
    }
    if (INERT.has(tag)) {
      el.setAttribute('hidden', '');
      return el;
    }
    for (const pair of node.a || []) {
      if (Array.isArray(pair) && pair.length >= 1) setAttribute(el, pair[0], pair[1] ?? '');
    }
    if (node.lazy && typeof node.lazy === 'object') {
      if (ctx.onLazy) ctx.onLazy(el, Math.max(0, node.lazy.count | 0));
    } else {
      appendChildren(el, node.c || [], ctx);
    }
    if ('v' in node) setValue(el, node.v);
    setState(el, node.s || 0);
    if (ctx.onElement) ctx.onElement(el);
    return el;
  }

  function appendChildren(el, children, ctx) {
    const tag = el.localName;
    if (tag === 'textarea') {
      // A multi-line editor holds its text as its value.
      el.value = children.filter((c) => typeof c === 'string').join('');
      return;
    }
    if (tag === 'style') {
      el.textContent = mapCssUrls(children.filter((c) => typeof c === 'string').join(''));
      return;
    }
    if (tag === 'input') return;
    for (const child of children) el.appendChild(buildNode(child, ctx));
  }

  const pure = {
    STATE_BITS, parseFilter, charAllowed, filterText, stateNames, mapUrl, mapCssUrls,
    safeAttributeValue, elementTag, visibleRange, dropIndex, valueOperation, tooltipPlace,
    modsOf, keyName, tokenFrom,
    socketUrl, setAttribute, setState, setValue, buildNode,
  };
  if (typeof document === 'undefined') return pure;

  // ---------------------------------------------------------------- the browser part

  const TEXTS = {
    connecting: 'Подключение к консоли…',
    inUse: 'Консоль уже используется в другом окне.',
    lost: 'Соединение с консолью потеряно. Повторное подключение…',
    ended: 'Консоль завершила работу. Это окно можно закрыть.',
    noToken: 'В адресе нет параметра token. Откройте адрес, который показала консоль.',
    connect: 'Подключиться',
    close: 'Закрыть',
    blocked: 'Браузер не открыл новую вкладку. Откройте ссылку сами:',
  };
  const LAZY_OVERSCAN_VIEWS = 1;  // extra rows each side, in screens
  const MAX_ROWS_ASKED = 1000;
  const DEFAULT_ROW_HEIGHT = 20;
  const CONTEXT_POPUP_MS = 3000;

  let socket = null;
  let token = '';
  let inUse = false;
  let ended = false;
  let retryDelay = 1000;
  let retryTimer = 0;
  let mainWindow = 0;
  let waitCursor = false;
  const windows = new Map();  // window id → view
  let lastClicked = null;     // element of the last click (anchors a popup)
  let lastContext = null;     // {x, y, time} of the last context-menu request
  let drag = null;            // {view, el} while dragging
  let dropdown = null;        // the open drop-down list of a select
  let justClosed = null;      // the select whose list the current click closed
  let lastGeometry = '';

  function send(frame) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(frame));
  }

  function status(text, withButton) {
    const box = document.getElementById('zv-status');
    if (!text) {
      box.hidden = true;
      return;
    }
    box.replaceChildren();
    const p = document.createElement('p');
    p.textContent = text;
    box.appendChild(p);
    if (withButton) {
      const b = document.createElement('button');
      b.textContent = TEXTS.connect;
      b.addEventListener('click', () => connect());
      box.appendChild(b);
    }
    box.hidden = false;
  }

  function connect() {
    clearTimeout(retryTimer);
    if (socket) return;
    inUse = false;
    status(TEXTS.connecting);
    const ws = new WebSocket(socketUrl(location, token));
    socket = ws;
    ws.addEventListener('open', () => {
      retryDelay = 1000;
      ended = false;
      status(null);
    });
    ws.addEventListener('message', (e) => {
      let frame;
      try {
        frame = JSON.parse(e.data);
      } catch (err) {
        return;
      }
      try {
        handleFrame(frame);
      } catch (err) {
        console.error('zv: frame failed', frame && frame.t, err);
      }
    });
    ws.addEventListener('close', () => {
      socket = null;
      closeAllWindows();
      if (inUse) {
        status(TEXTS.inUse, true);
      } else if (ended) {
        status(TEXTS.ended);
      } else {
        status(TEXTS.lost, true);
        retryTimer = setTimeout(connect, retryDelay);
        retryDelay = Math.min(retryDelay * 2, 10000);
      }
    });
  }

  function handleFrame(f) {
    switch (f.t) {
      case 'window': openWindow(f); break;
      case 'close': closeWindow(f.w); break;
      case 'batch': applyBatch(f); break;
      case 'rows': receiveRows(f); break;
      case 'open': openUrl(String(f.url || '')); break;
      case 'clipboard': copyText(String(f.text || '')); break;
      case 'cursor': setWaitCursor(!!f.wait); break;
      case 'inUse': inUse = true; break;
      default: break;
    }
  }

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

  function openWindow(f) {
    if (windows.has(f.w)) closeWindow(f.w);
    const isMain = !f.owner && !mainWindow;
    ended = false;
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
    close.title = TEXTS.close;
    close.textContent = '×';
    close.addEventListener('click', () => {
      // Closing the main window usually ends the console, which then drops the socket.
      if (view.main) ended = true;
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
    listen(view);
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

  function closeWindow(w) {
    const view = windows.get(w);
    if (!view) return;
    if (tooltip && view.root.contains(tooltip.popup)) hideTooltip();
    if (dropdown && dropdown.view === view) closeDropdown(false);
    view.layer.remove();
    windows.delete(w);
    if (mainWindow === w) {
      mainWindow = 0;
      ended = true;
    }
    updateInert();
  }

  function closeAllWindows() {
    closeDropdown(false);
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

  function topView() {
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

  function applyBatch(f) {
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

  // Drops the uids of an element and everything in it.
  function forget(view, el) {
    const drop = (e) => {
      if (e.zvUid && view.uids.get(e.zvUid) === e) view.uids.delete(e.zvUid);
      if (e.zvLazy && view.lazy.get(e.zvUid) === e.zvLazy) view.lazy.delete(e.zvUid);
    };
    drop(el);
    if (el.querySelectorAll) el.querySelectorAll('*').forEach(drop);
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

  function isList(el) {
    return (el.localName === 'zv-select' && !el.hasAttribute('data-zv-dropdown')) ||
      (el.localName === 'widget' && /^select/i.test(el.getAttribute('type') || ''));
  }

  function listOf(target) {
    for (let e = target; e && e.nodeType === 1; e = e.parentElement) if (isList(e)) return e;
    return null;
  }

  // The row of a list that holds the target: an option, or else the list's child.
  function rowOf(list, target) {
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

  // ------------------------------------------------------------------ lazy lists

  function startLazy(view, el, count) {
    const top = document.createElement('div');
    const bottom = document.createElement('div');
    top.setAttribute('data-zv-spacer', '');
    bottom.setAttribute('data-zv-spacer', '');
    el.append(top, bottom);
    el.setAttribute('data-zv-lazy', '');
    const st = { el, count, from: 0, rows: [], top, bottom, rowHeight: 0, asked: null, stale: true };
    el.zvLazy = st;
    view.lazy.set(el.zvUid, st);
    layoutLazy(st);
  }

  function rowHeightOf(st) {
    if (!st.rowHeight && st.rows.length) {
      const h = st.rows[0].getBoundingClientRect().height;
      if (h > 0) st.rowHeight = h;
    }
    return st.rowHeight || DEFAULT_ROW_HEIGHT;
  }

  function layoutLazy(st) {
    const rh = rowHeightOf(st);
    st.top.style.height = st.from * rh + 'px';
    st.bottom.style.height = Math.max(0, st.count - st.from - st.rows.length) * rh + 'px';
  }

  // Asks for the rows in view when they are not drawn (or the list changed).
  function updateLazy(view, st) {
    if (!st.el.isConnected) return;
    layoutLazy(st);
    const rh = rowHeightOf(st);
    const viewHeight = st.el.clientHeight || 400;
    const seen = visibleRange(st.el.scrollTop, viewHeight, rh, st.count, 0);
    const drawnTo = st.from + st.rows.length;
    const covered = seen.from >= st.from && seen.to <= drawnTo;
    if (covered && !st.stale) return;
    const extra = Math.ceil(viewHeight / rh) * LAZY_OVERSCAN_VIEWS;
    const want = visibleRange(st.el.scrollTop, viewHeight, rh, st.count, extra);
    want.to = Math.min(want.to, want.from + MAX_ROWS_ASKED);
    if (want.from >= want.to) {
      // An empty list: nothing to ask for.
      for (const row of st.rows) forget(view, row);
      st.rows = [];
      st.from = 0;
      st.stale = false;
      st.el.replaceChildren(st.top, st.bottom);
      layoutLazy(st);
      return;
    }
    if (st.asked && st.asked.from === want.from && st.asked.to === want.to) return;
    st.asked = want;
    send({ t: 'rows', w: view.w, u: st.el.zvUid, from: want.from, to: want.to });
  }

  function receiveRows(f) {
    const view = windows.get(f.w);
    const st = view && view.lazy.get(f.u);
    if (!st) return;
    if (Number.isInteger(f.count)) st.count = Math.max(0, f.count);
    for (const row of st.rows) forget(view, row);
    const ctx = makeContext(view);
    st.rows = (f.nodes || []).map((n) => {
      const el = buildNode(n, ctx);
      el.zvLazyRowOf = st;
      return el;
    });
    st.from = Math.max(0, f.from | 0);
    st.asked = null;
    st.stale = false;
    layoutLazy(st);
    st.el.replaceChildren(st.top, ...st.rows, st.bottom);
    st.rowHeight = 0;
    afterChange(view);
  }

  function replaceLazyRow(el, node) {
    const st = el.zvLazyRowOf;
    const at = st.rows.indexOf(el);
    if (at >= 0 && node.nodeType === 1) {
      st.rows[at] = node;
      node.zvLazyRowOf = st;
    }
  }

  function removeLazyRow(el) {
    const st = el.zvLazyRowOf;
    st.rows = st.rows.filter((r) => r !== el);
    st.stale = true;
  }

  // ------------------------------------------------------------------ popups

  // A popup element is drawn in place with position: fixed, at the point of the
  // context-menu request that opened it, else under the element last clicked.
  function placePopup(el) {
    let x = innerWidth / 3;
    let y = innerHeight / 3;
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

  function shownPopups() {
    const out = [];
    for (const view of windows.values()) {
      view.root.querySelectorAll('[data-popup]').forEach((el) => out.push({ view, el }));
    }
    return out;
  }

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
      if (el.zvUid) send({ t: 'popupDismissed', w: view.w, u: el.zvUid });
      any = true;
    }
    return any;
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

  function onTooltipOver(view, e) {
    const owner = e.target.closest ? e.target.closest('[titleid]') : null;
    if (tooltip && tooltip.owner === owner) return;
    hideTooltip();
    if (!owner || disabled(owner)) return;
    const popup = view.root.getElementById(owner.getAttribute('titleid'));
    if (!popup || popup === owner || popup.contains(owner)) return;
    const x = e.clientX;
    const y = e.clientY;
    const tip = { owner, popup, shown: false };
    tip.timer = setTimeout(() => {
      if (tooltip !== tip || !popup.isConnected) return;
      popup.setAttribute('data-zv-tooltip', '');
      const r = popup.getBoundingClientRect();
      const at = tooltipPlace(x, y, r.width, r.height, innerWidth, innerHeight);
      popup.style.left = at.left + 'px';
      popup.style.top = at.top + 'px';
      tip.shown = true;
    }, TOOLTIP_DELAY_MS);
    tooltip = tip;
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
    root.addEventListener('mouseover', (e) => onTooltipOver(view, e));
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
      if (t.localName === 'textarea' || (t.localName === 'input' && t.type !== 'button')) return;
      e.preventDefault();
      const el = uidElement(t, root);
      if (!el || disabled(el)) return;
      lastContext = { x: e.clientX, y: e.clientY, time: Date.now() };
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
  }

  function onClick(view, e) {
    if (e.button !== 0) return;
    const root = view.root;
    const target = e.target;
    const anchor = target.closest ? target.closest('a[href]') : null;
    if (anchor) e.preventDefault();
    const el = uidElement(target, root);
    if (!el || disabled(el)) return;
    const sel = target.closest('zv-select');
    if (sel && sel.hasAttribute('data-zv-dropdown') && sel.zvUid) {
      lastClicked = sel;
      // A click on the select whose list was open closes the list.
      if (justClosed !== sel) openDropdown(view, sel);
      justClosed = null;
      return;
    }
    const list = listOf(target);
    const row = list && rowOf(list, target);
    if (row) {
      lastClicked = row;
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
    lastClicked = el;
    lastContext = null;
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
    const target = focusedTarget();
    if (!target) return;
    send({ t: 'key', w: target.view.w, u: target.u, key, mods: modsOf(e) });
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

  function sendGeometry(force) {
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

  function openUrl(url) {
    if (!/^(https?:|\/)/i.test(url)) return;
    const tab = window.open(url, '_blank');
    if (tab) {
      tab.opener = null;
      return;
    }
    const box = document.getElementById('zv-notice');
    box.replaceChildren(TEXTS.blocked + ' ');
    const a = document.createElement('a');
    a.href = url;
    a.target = '_blank';
    a.rel = 'noopener noreferrer';
    a.textContent = url;
    a.addEventListener('click', () => { box.hidden = true; });
    box.appendChild(a);
    box.hidden = false;
  }

  function copyText(text) {
    const fallback = () => {
      const area = document.createElement('textarea');
      area.value = text;
      document.body.appendChild(area);
      area.select();
      document.execCommand('copy');
      area.remove();
    };
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).catch(fallback);
    } else {
      fallback();
    }
  }

  function setWaitCursor(on) {
    waitCursor = on;
    document.documentElement.classList.toggle('zv-wait', on);
    for (const view of windows.values()) view.host.classList.toggle('zv-wait', on);
  }

  function start() {
    // Access: the page was reached through the session cookie, which the WebSocket
    // handshake carries too; the page's address holds no secret.
    window.addEventListener('keydown', onKeyDown, true);
    window.addEventListener('pointerdown', onPointerDown, true);
    let resizeTimer = 0;
    window.addEventListener('resize', () => {
      clearTimeout(resizeTimer);
      resizeTimer = setTimeout(() => {
        sendGeometry(false);
        for (const view of windows.values()) for (const st of view.lazy.values()) updateLazy(view, st);
      }, 200);
    });
    // Moving the browser window fires no event.
    setInterval(() => sendGeometry(false), 2000);
    connect();
  }

  return Object.assign({ start }, pure);
})();

if (typeof module === 'object' && module.exports) {
  module.exports = zvClient;
} else {
  document.addEventListener('DOMContentLoaded', () => zvClient.start());
}
