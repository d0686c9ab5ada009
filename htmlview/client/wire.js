// The connection to the console: one WebSocket carrying the frames of htmlview/wire.md,
// the status line shown while there is none, and reconnecting after a lost connection.
// The console closes the connection with ENDED_CODE and ENDED_REASON when it ends; a
// connection lost otherwise is tried again while the page's session still opens the
// page: a console that ended without saying so (ended at once when another one took
// over, or killed) leaves a session that nothing answers or that answers 403.

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

export const ENDED_CODE = 1001;
export const ENDED_REASON = 'ended';

// What a closed connection means: 'inUse' (another client controls the console),
// 'ended' (the console said it ended, or the page expected it), 'lost' (anything else:
// try again). `e` is the close event.
export function closeMeaning(e, { inUse: busy, ended: expected }) {
  if (busy) return 'inUse';
  if (expected || (e.code === ENDED_CODE && e.reason === ENDED_REASON)) return 'ended';
  return 'lost';
}

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
  let opened = false;
  ws.addEventListener('open', () => {
    opened = true;
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
  ws.addEventListener('close', (e) => {
    socket = null;
    handlers.closed();
    const meaning = closeMeaning(e, { inUse, ended });
    if (meaning === 'inUse') {
      status(TEXTS.inUse, true);
    } else if (meaning === 'ended') {
      ended = true;
      status(TEXTS.ended);
    } else if (opened) {
      retryLater();
    } else {
      // Not even the handshake went through: whether the session is still alive.
      sessionAlive().then((alive) => {
        if (alive) {
          retryLater();
        } else {
          ended = true;
          status(TEXTS.ended);
        }
      });
    }
  });
}

function retryLater() {
  status(TEXTS.lost, true);
  retryTimer = setTimeout(connect, retryDelay);
  retryDelay = Math.min(retryDelay * 2, 10000);
}

// Whether the console still knows this page's session: the page itself opens with it
// (403 without). Nothing answering means the console that made the session is gone.
async function sessionAlive() {
  try {
    const answer = await fetch('/', { cache: 'no-store', credentials: 'same-origin' });
    return answer.status !== 403;
  } catch (err) {
    return false;
  }
}
