// The console's browser client. The console keeps every document; the client draws the
// windows it is sent as JSON node trees, applies the batches of changes, and sends back
// what the user does, addressed by the elements' uids. The protocol is htmlview/wire.md;
// how things are drawn is in its "Drawing" section.
//
// The modules: wire.js (the connection), nodes.js (elements from node trees),
// drawing.js (windows, batches, popups), lazyLists.js (long lists drawn in part),
// input.js (what the user does). nodes.js and the pure functions of the others are
// tested by client.test.js under Node.

import { startWire } from './wire.js';
import {
  applyBatch, closeAllWindows, closeWindow, openWindow, receiveRowsFrame, sendGeometry,
  setWaitCursor, windows,
} from './drawing.js';
import { updateLazy } from './lazyLists.js';
import { startInput } from './input.js';

const BLOCKED_TEXT = 'Браузер не открыл новую вкладку. Откройте ссылку сами:';

function handleFrame(f) {
  switch (f.t) {
    case 'window': openWindow(f); break;
    case 'close': closeWindow(f.w); break;
    case 'batch': applyBatch(f); break;
    case 'rows': receiveRowsFrame(f); break;
    case 'open': openUrl(String(f.url || '')); break;
    case 'clipboard': copyText(String(f.text || '')); break;
    case 'cursor': setWaitCursor(!!f.wait); break;
    default: break;
  }
}

function openUrl(url) {
  if (!/^(https?:|\/)/i.test(url)) return;
  const tab = window.open(url, '_blank');
  if (tab) {
    tab.opener = null;
    return;
  }
  const box = document.getElementById('zv-notice');
  box.replaceChildren(BLOCKED_TEXT + ' ');
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

function start() {
  // Frames arrive from the event loop, after the listeners below are in place.
  startWire(handleFrame, closeAllWindows);
  startInput();
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
}

start();
