// The connection to the console: one WebSocket carrying the frames of htmlview/wire.md,
// the status line shown while there is none, and reconnecting after a lost connection.

export const TEXTS = {
  connecting: 'Подключение к консоли…',
  inUse: 'Консоль уже используется в другом окне.',
  lost: 'Соединение с консолью потеряно. Повторное подключение…',
  ended: 'Консоль завершила работу. Это окно можно закрыть.',
  connect: 'Подключиться',
};

let socket = null;
let address = '';
let inUse = false;
let ended = false;
let retryDelay = 1000;
let retryTimer = 0;
let handlers = { frame() {}, closed() {} };

// The WebSocket address for the page at `loc` (its location): the page's own host. The
// page was reached with the session cookie, which the handshake carries too; the
// address holds no secret.
export function socketAddress(loc) {
  const scheme = loc.protocol === 'https:' ? 'wss://' : 'ws://';
  return scheme + loc.host + '/ws';
}

export function send(frame) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(frame));
}

// Whether the console is expected to end: then a closed connection is not retried.
export function setEnded(on) {
  ended = on;
}

export function status(text, withButton) {
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

// Connects to the console of this page. onFrame(frame) gets every frame but the wire's
// own; onClosed() runs when a connection ends.
export function startWire(onFrame, onClosed) {
  address = socketAddress(location);
  handlers = { frame: onFrame, closed: onClosed };
  connect();
}

function connect() {
  clearTimeout(retryTimer);
  if (socket) return;
  inUse = false;
  status(TEXTS.connecting);
  const ws = new WebSocket(address);
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
      if (frame && frame.t === 'inUse') inUse = true;
      else handlers.frame(frame);
    } catch (err) {
      console.error('zv: frame failed', frame && frame.t, err);
    }
  });
  ws.addEventListener('close', () => {
    socket = null;
    handlers.closed();
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
