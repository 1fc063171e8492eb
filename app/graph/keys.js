// Keyboard on the graph: smooth panning with WASD and the arrow keys (time-based, with momentum, moved by
// the frame loop) and the Delete key. The key listeners are attached while the script loads, in the
// capture phase, so that they run before other key handling.
// Owns: pressedGraphKeys, graphNavX, graphNavY, graphNavTime, graphNavSaving, navFast.

let pressedGraphKeys = new Set();
let graphNavX = 0;
let graphNavY = 0;
let graphNavTime = 0;
let graphNavSaving = false;
let navFast = false;

const NAV_SPEED = 500;
const NAV_FAST_SPEED = 930;
const NAV_CODES = { KeyW: 'up', ArrowUp: 'up', KeyS: 'down', ArrowDown: 'down', KeyA: 'left', ArrowLeft: 'left', KeyD: 'right', ArrowRight: 'right' };
const NAV_LETTERS = { w: 'up', s: 'down', a: 'left', d: 'right' };

function isTypingElement(el) {
  if (!el || el === document.body || !el.closest) return false;
  if (el.closest('input, textarea, select, [contenteditable=""], [contenteditable="true"], [role="textbox"]')) return true;
  return !!el.isContentEditable;
}

function overlayShown(id) {
  const el = $(id);
  return !!el && !el.classList.contains('hidden');
}

// The graph has the keyboard: no modifier, no composition, no typing target, no dialog, no library.
function keyboardWorkspace(ev) {
  if (ev.ctrlKey || ev.altKey || ev.metaKey || ev.isComposing) return false;
  if (isTypingElement(ev.target)) return false;
  return !overlayShown('modalLayer') && !overlayShown('homeOverlay');
}

function navDirection(ev) {
  return NAV_CODES[ev.code] || NAV_LETTERS[String(ev.key || '').toLowerCase()] || null;
}

function graphKeyDown(ev) {
  if (!keyboardWorkspace(ev)) return;
  if (ev.key === 'Delete') {
    ev.preventDefault();
    ev.stopPropagation();
    if (ev.repeat) return;
    closeFamilyWheel();
    if (selected && persons.has(selected)) deleteProfile(selected);
    else toast('Select a profile before deleting.');
    return;
  }
  const dir = navDirection(ev);
  if (!dir) return;
  ev.preventDefault();
  if (ev.repeat) return;
  pressedGraphKeys.add(dir);
  navFast = ev.shiftKey;
}

function graphKeyUp(ev) {
  const dir = navDirection(ev);
  if (dir) pressedGraphKeys.delete(dir);
  navFast = ev.shiftKey;
}

function stopKeyboardPan() {
  pressedGraphKeys.clear();
  graphNavX = 0;
  graphNavY = 0;
}

// The end of a keyboard pan: in 3D the view centre becomes the pivot; the camera is stored.
function finishKeyboardPan() {
  if (!graphNavSaving) return;
  graphNavSaving = false;
  settle3DPan();
  keepCamera();
  scheduleSave();
}

// One frame of keyboard panning. Each velocity eases towards its target with a time constant of 1/12 s,
// so held keys give the same motion at any frame rate and released keys glide to a stop.
function stepKeyboardPan(t) {
  const now = typeof t === 'number' ? t : performance.now();
  const dt = graphNavTime ? Math.min(0.06, Math.max(0, (now - graphNavTime) / 1000)) : 0;
  graphNavTime = now;
  // Typing, a dialog or the library stops a pan at once: no glide behind them.
  const enabled = !isTypingElement(document.activeElement) && !overlayShown('modalLayer') && !overlayShown('homeOverlay');
  if (!enabled) { stopKeyboardPan(); finishKeyboardPan(); }
  let ix = 0, iy = 0;
  if (enabled) {
    ix = (pressedGraphKeys.has('left') ? 1 : 0) - (pressedGraphKeys.has('right') ? 1 : 0);
    iy = (pressedGraphKeys.has('up') ? 1 : 0) - (pressedGraphKeys.has('down') ? 1 : 0);
    if (ix && iy) { ix *= Math.SQRT1_2; iy *= Math.SQRT1_2; }
  }
  const speed = navFast ? NAV_FAST_SPEED : NAV_SPEED;
  const ease = 1 - Math.exp(-12 * dt);
  graphNavX += (ix * speed - graphNavX) * ease;
  graphNavY += (iy * speed - graphNavY) * ease;
  if (Math.abs(graphNavX) < 0.5) graphNavX = 0;
  if (Math.abs(graphNavY) < 0.5) graphNavY = 0;
  if (dt > 0 && (graphNavX || graphNavY)) {
    setCameraFields({ shiftX: shiftX + graphNavX * dt, shiftY: shiftY + graphNavY * dt });
    graphNavSaving = true;
  } else {
    finishKeyboardPan();
  }
}

document.addEventListener('keydown', graphKeyDown, true);
document.addEventListener('keyup', graphKeyUp, true);
window.addEventListener('blur', () => {
  stopKeyboardPan();
  graphNavSaving = false;
  keepCamera();
  scheduleSave();
});
document.addEventListener('visibilitychange', () => { if (document.hidden) stopKeyboardPan(); });
