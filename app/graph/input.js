// Pointer input on the graph canvas: selecting with the single-click delay, the family wheel on
// double-click, moving orbs, panning, 3D rotation, line handles, the portrait editor on a middle press,
// the orbit dial on a right click in 3D, and wheel zoom. Also installs the graph's own buttons.
// Owns: mouseDrag, hover, orbClickTimer.

// The drag in progress, from press to release: {x, y, id, act, moved, button, shiftX, shiftY, rotation,
// tilt, offset2D, offset3D} and, for a line handle, {parents, part, offset, scale}.
let mouseDrag = null;
let hover = null;
let orbClickTimer = null;

const CLICK_DELAY = 255;
const FAR_ZOOM = 0.055;

// Sets the hovered person (or null), for code that paints the graph in a state of its own (the export).
function setHover(id) {
  hover = id || null;
  renderNeeded = true;
}

function hasRelationship(id) {
  return persons.has(id) && !personUnlinked(id);
}

function treeCanvas() {
  return $('tree');
}

function setCursor(cursor) {
  treeCanvas().style.cursor = cursor;
}

// Press: a line handle (in "Edit lines" mode) wins over an orb; a middle press opens the portrait editor;
// otherwise the act is fixed now: pan, move an orb, or rotate the 3D camera.
function graphPointerDown(ev) {
  if (ev.button > 2) return;
  const p = coords(ev);
  const id = nearest(p.x, p.y);
  if (ev.button === 0 && linesEditing()) {
    const handle = handleNear(p.x, p.y);
    if (handle) {
      closeFamilyWheel();
      closeOrbitDial();
      mouseDrag = {
        x: p.x, y: p.y, id: null, act: 'branch', moved: false, button: 0, parents: handle.parents, part: handle.part,
        offset: { ...handleOffset(handle.parents, handle.part) }, scale: handle.scale, rotation, tilt, shiftX, shiftY,
      };
      capturePointer(ev);
      setCursor('grabbing');
      return;
    }
  }
  if (ev.button === 1) {
    ev.preventDefault();
    if (id) {
      setViewState({ selected: id });
      renderSide();
      renderNeeded = true;
      openPortraitEditor(id);
    }
    return;
  }
  closeFamilyWheel();
  closeOrbitDial();
  let act;
  if (mode3 && (ev.shiftKey || ev.button === 2)) act = 'pan';
  else if (id) act = zoom < FAR_ZOOM && !ev.altKey && hasRelationship(id) ? 'pan' : 'move';
  else act = mode3 ? 'orbit' : 'pan';
  const person = id && persons.get(id);
  mouseDrag = {
    x: p.x, y: p.y, id, act, moved: false, button: ev.button, shiftX, shiftY, rotation, tilt,
    offset2D: offset2DOf(person), offset3D: offset3DOf(person),
  };
  capturePointer(ev);
  setCursor(act === 'orbit' ? 'grabbing' : 'grab');
}

function capturePointer(ev) {
  try { treeCanvas().setPointerCapture(ev.pointerId); } catch (e) { /* the pointer is already gone */ }
}

function dragThreshold(act) {
  return act === 'move' ? 8 : act === 'branch' ? 3 : 4;
}

function graphPointerMove(ev) {
  const p = coords(ev);
  const over = nearest(p.x, p.y);
  if (over !== hover) { hover = over; renderNeeded = true; }
  const drag = mouseDrag;
  if (!drag) {
    setCursor(linesEditing() && handleNear(p.x, p.y) ? 'grab' : over ? 'pointer' : 'grab');
    return;
  }
  const dx = p.x - drag.x, dy = p.y - drag.y;
  if (!drag.moved && Math.hypot(dx, dy) <= dragThreshold(drag.act)) return;
  drag.moved = true;
  if (drag.act === 'branch') moveHandleBy(drag, dx, dy);
  else if (drag.act === 'orbit') setCameraFields({ rotation: drag.rotation + 0.0065 * dx, tilt: clamp(drag.tilt + 0.0055 * dy, -TILT_LIMIT, TILT_LIMIT) });
  else if (drag.act === 'pan') setCameraFields({ shiftX: drag.shiftX + dx, shiftY: drag.shiftY + dy });
  else if (drag.act === 'move') moveOrbBy(drag, dx, dy);
  renderNeeded = true;
}

// A pointer movement turned into a world displacement in the plane facing the camera: the inverse of the
// camera's yaw and pitch at the press, at the given on-screen scale.
function screenToWorldDelta(dx, dy, k, rot, pitch) {
  const X = dx / k, Y = dy / k, Z = -Y * Math.sin(pitch);
  return {
    x: X * Math.cos(rot) + Z * Math.sin(rot),
    y: Y * Math.cos(pitch),
    z: -X * Math.sin(rot) + Z * Math.cos(rot),
  };
}

function moveOrbBy(drag, dx, dy) {
  const person = persons.get(drag.id);
  if (!person) return;
  if (!mode3) {
    person.klnUserMovedOrb = true;
    person.orbOffset2D = { x: drag.offset2D.x + dx / zoom, y: drag.offset2D.y + dy / zoom };
    return;
  }
  const base = buildLayout(displayed()).get(drag.id);
  if (!base) return;
  person.klnUserMovedOrb = true;
  const o = drag.offset3D;
  const s = project({ x: base.x + o.x, y: base.y + o.y, z: base.z + o.z });
  const d = screenToWorldDelta(dx, dy, Math.max(0.08, s.scale), drag.rotation, drag.tilt);
  storeOffset3D(drag.id, { x: o.x + d.x, y: o.y + d.y, z: o.z + d.z });
}

function moveHandleBy(drag, dx, dy) {
  const o = drag.offset;
  if (mode3) {
    const d = screenToWorldDelta(dx, dy, Math.max(0.08, drag.scale), drag.rotation, drag.tilt);
    storeHandleOffset(drag.parents, drag.part, { x: o.x + d.x, y: o.y + d.y, z: o.z + d.z });
  } else {
    storeHandleOffset(drag.parents, drag.part, { x: o.x + dx / zoom, y: o.y + dy / zoom, z: 0 });
  }
}

// Release: a moved drag is stored (an orb or handle move becomes one undoable edit); an unmoved press on
// an orb is a click, acted on after the double-click window; a right click on an orb in 3D opens the dial.
function graphPointerUp(ev, cancelled) {
  const drag = mouseDrag;
  mouseDrag = null;
  if (!drag) return;
  setCursor(hover ? 'pointer' : 'grab');
  if (drag.moved) {
    keepCamera();
    scheduleSave();
    renderNeeded = true;
    return;
  }
  if (!cancelled && mode3 && drag.act === 'pan' && drag.id && drag.button === 2) {
    openOrbitDial(drag.id, { x: drag.x, y: drag.y });
    return;
  }
  if (!cancelled && drag.id && drag.button === 0) {
    try { treeCanvas().focus({ preventScroll: true }); } catch (e) { treeCanvas().focus(); }
    closeFamilyWheel();
    clearTimeout(orbClickTimer);
    const id = drag.id;
    orbClickTimer = setTimeout(() => {
      orbClickTimer = null;
      if (!persons.has(id)) return;
      selectPerson(id);
      if (mode3) centerCameraOn(id);
    }, CLICK_DELAY);
    return;
  }
  if (!drag.id) closeFamilyWheel();
}

// The browser took the capture away without a release: a moved drag is still stored.
function graphCaptureLost() {
  const drag = mouseDrag;
  if (!drag) return;
  mouseDrag = null;
  if (drag.moved) { keepCamera(); scheduleSave(); }
  renderNeeded = true;
}

function graphDoubleClick(ev) {
  ev.preventDefault();
  const p = coords(ev);
  const id = nearest(p.x, p.y);
  if (!id) return;
  clearTimeout(orbClickTimer);
  orbClickTimer = null;
  selectPerson(id);
  openFamilyWheel(id, p);
}

function graphWheel(ev) {
  ev.preventDefault();
  const unit = ev.deltaMode === 1 ? 18 : ev.deltaMode === 2 ? h : 1;
  const delta = clamp(ev.deltaY * unit, -900, 900);
  const p = coords(ev);
  zoomAtPointer(Math.exp(-0.0013 * delta), p.x, p.y);
}

function refreshGraphView() {
  keepCamera();
  closeFamilyWheel();
  canvasSize();
  updateStats();
  toast('Tree view refreshed.');
  scheduleSave();
  renderNeeded = true;
}

function installEnhancements() {
  const canvas = treeCanvas();
  canvas.addEventListener('pointerdown', graphPointerDown);
  canvas.addEventListener('pointermove', graphPointerMove);
  canvas.addEventListener('pointerup', ev => graphPointerUp(ev, false));
  canvas.addEventListener('pointercancel', ev => graphPointerUp(ev, true));
  canvas.addEventListener('lostpointercapture', graphCaptureLost);
  canvas.addEventListener('pointerleave', () => {
    if (hover !== null && !mouseDrag) { hover = null; renderNeeded = true; }
  });
  canvas.addEventListener('dblclick', graphDoubleClick);
  canvas.addEventListener('wheel', graphWheel, { passive: false });
  canvas.addEventListener('contextmenu', ev => ev.preventDefault());
  // A middle press must never start the browser's auto-scroll.
  canvas.addEventListener('mousedown', ev => { if (ev.button === 1) ev.preventDefault(); });
  canvas.addEventListener('auxclick', ev => { if (ev.button === 1) ev.preventDefault(); });
  onClick('mode2', () => modeSwitch(false));
  onClick('mode3', () => modeSwitch(true));
  onClick('refreshBtn', refreshGraphView);
  setStatusText(STATUS_START);
  if (typeof installBranchEditing === 'function') installBranchEditing();
  installLibraryControls();
}
