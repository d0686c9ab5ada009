// Lists drawn lazily: a list of thousands of rows stays whole in the console's document
// while the client draws only the rows in view, between two spacers that keep the
// scroll height, and asks the console for other row ranges as the list scrolls.

import { buildNode, forget } from './nodes.js';
import { send } from './wire.js';

// Rows first..last of a list with fixed-height rows that the view shows, widened by
// `overscan` rows each side: {from, to} with `to` exclusive.
export function visibleRange(scrollTop, viewHeight, rowHeight, count, overscan) {
  const rh = rowHeight > 0 ? rowHeight : 20;
  const first = Math.max(0, Math.floor(scrollTop / rh));
  const last = Math.max(first + 1, Math.ceil((scrollTop + Math.max(viewHeight, rh)) / rh));
  return {
    from: Math.min(count, Math.max(0, first - overscan)),
    to: Math.min(count, last + overscan),
  };
}

const LAZY_OVERSCAN_VIEWS = 1;  // extra rows each side, in screens
const MAX_ROWS_ASKED = 1000;
const DEFAULT_ROW_HEIGHT = 20;

export function startLazy(view, el, count) {
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
export function updateLazy(view, st) {
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

// Draws the rows a "rows" frame brings with `ctx` (the window's context of buildNode).
// False when the list is not drawn (any more).
export function receiveRows(view, f, ctx) {
  const st = view && view.lazy.get(f.u);
  if (!st) return false;
  if (Number.isInteger(f.count)) st.count = Math.max(0, f.count);
  for (const row of st.rows) forget(view, row);
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
  return true;
}

// Scrolls the list the least that shows its row `index` whole.
export function scrollLazyTo(st, index) {
  if (!st || !st.el.isConnected || index < 0 || index >= st.count) return;
  st.el.scrollTop = scrollToShow(st.el.scrollTop, st.el.clientHeight, rowHeightOf(st), index);
}

// The scroll top that shows row `index` of rows `rowHeight` high in a view `viewHeight`
// high scrolled to `scrollTop`, moving the least.
export function scrollToShow(scrollTop, viewHeight, rowHeight, index) {
  const top = index * rowHeight;
  if (top < scrollTop) return top;
  if (top + rowHeight > scrollTop + viewHeight) return Math.max(0, top + rowHeight - viewHeight);
  return scrollTop;
}

export function replaceLazyRow(el, node) {
  const st = el.zvLazyRowOf;
  const at = st.rows.indexOf(el);
  if (at >= 0 && node.nodeType === 1) {
    st.rows[at] = node;
    node.zvLazyRowOf = st;
  }
}

export function removeLazyRow(el) {
  const st = el.zvLazyRowOf;
  st.rows = st.rows.filter((r) => r !== el);
  st.stale = true;
}
