// The elements of a window built from the console's JSON node trees: tags the browser
// could misdraw or run are renamed or made inert, attributes that could run code are
// never applied, and resource URLs point at the skin. Pure functions over a document
// passed in (tested by client.test.js under Node).

// State bits of the wire protocol and the attribute each is drawn as.
export const STATE_BITS = [
  [1, 'current'], [2, 'checked'], [4, 'disabled'], [8, 'expanded'], [16, 'collapsed'],
  [32, 'anchor'], [64, 'visited'], [128, 'popup'], [256, 'focus'], [512, 'readonly'],
];
export const POPUP = 128;
export const FOCUS = 256;

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
export function parseFilter(spec) {
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

export function charAllowed(ranges, ch) {
  const c = ch.codePointAt(0);
  return ranges.some(([lo, hi]) => c >= lo && c <= hi);
}

// The text without the characters the filter refuses.
export function filterText(ranges, text) {
  if (!ranges) return text;
  return Array.from(text).filter((ch) => charAllowed(ranges, ch)).join('');
}

export function stateNames(s) {
  return STATE_BITS.filter(([bit]) => (s & bit) !== 0).map(([, name]) => name);
}

// Where the console's documents get their files from: "res:img/a.png" and a plain
// relative name ("terminals.png", "img/a.png") are files of the skin directory
// ("/skin/…"), except fonts (".ttf"), which are in the documentation's fonts/
// ("/docs/fonts/…"); URLs with a scheme, absolute paths and "#…"/"?…" stay as they are.
// The page's own address is never the base: it holds the token and serves nothing else.
export function mapUrl(url) {
  const text = String(url);
  if (/^res:/i.test(text)) return '/skin/' + text.slice(4).replace(/^\/+/, '');
  if (text === '' || /^[a-z][a-z0-9+.-]*:/i.test(text) || /^[/\\#?]/.test(text)) return text;
  const path = text.split(/[?#]/)[0];
  return (/\.ttf$/i.test(path) ? '/docs/fonts/' : '/skin/') + text;
}

export function mapCssUrls(css) {
  return String(css).replace(/url\(\s*(['"]?)([^'")]*)\1\s*\)/gi, (whole, quote, url) => {
    const mapped = mapUrl(url.trim());
    return mapped === url.trim() ? whole : 'url("' + mapped + '")';
  });
}

// The value to give an attribute, or null when it is never applied: event handlers
// (on*) and script URLs.
export function safeAttributeValue(name, value) {
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
export function elementTag(tag) {
  const t = String(tag || 'div').toLowerCase();
  if (INERT.has(t)) return 'zv-inert';
  if (RENAMED[t]) return RENAMED[t];
  return /^[a-z][a-z0-9-]*$/.test(t) ? t : 'zv-unknown';
}

// operation carrying one of them is the console taking that input: the control
// already shows it or something typed since, so it is not applied (applying it would
// drop what was typed while the answer was on its way). Any other value is the
// console's own change and replaces the text. Returns {apply, sent}.
export function valueOperation(sent, v) {
  const at = sent.indexOf(v);
  if (at >= 0) return { apply: false, sent: sent.slice(at + 1) };
  return { apply: true, sent: [] };
}

// Sets one attribute as the document has it, except what must never be applied.
// A few attributes also drive the control: novalue is the placeholder of an empty
// input, filter the characters it accepts.
export function setAttribute(el, name, value) {
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

export function setState(el, s) {
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

export function setValue(el, v) {
  const text = v === null || v === undefined ? '' : String(v);
  if (el.localName === 'input' || el.localName === 'textarea') {
    if (el.value !== text) el.value = text;
  }
  el.zvValue = text;
}

// Builds the DOM for one wire node. ctx: {doc, uids (Map uid → element), onLazy(el,
// count), onElement(el)}. Text nodes are strings.
export function buildNode(node, ctx) {
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

export function appendChildren(el, children, ctx) {
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

// Drops the uids of an element and everything in it.
export function forget(view, el) {
  const drop = (e) => {
    if (e.zvUid && view.uids.get(e.zvUid) === e) view.uids.delete(e.zvUid);
    if (e.zvLazy && view.lazy.get(e.zvUid) === e.zvLazy) view.lazy.delete(e.zvUid);
  };
  drop(el);
  if (el.querySelectorAll) el.querySelectorAll('*').forEach(drop);
}

