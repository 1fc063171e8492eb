// Camera and projection: the live camera of the active view, the stored camera of each view, the
// world-to-screen projection with its inverse on the pivot plane, zooming, and the sizing of both canvases.
// Owns: mode3, zoom, shiftX, shiftY, rotation, tilt, camera2, camera3, cameraTarget3D, w, h, device.

const ZOOM_MIN = 0.0005;
const ZOOM_MAX = 5;
const TILT_LIMIT = 1.35;
// The projection centre sits this many pixels below the middle of the graph area.
const CENTRE_DROP = 38;

let mode3 = false;
let zoom = 1;
let shiftX = 0;
let shiftY = 0;
let rotation = 0.28;
let tilt = 0.32;
let camera2 = { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 };
let camera3 = { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.12, tilt: 0.16 };
let cameraTarget3D = { x: 0, y: 0, z: 0 };
let w = 0;
let h = 0;
let device = 1;

// n when it is a finite number, else 0: damaged coordinates never poison the picture.
function finiteNumber(n) {
  return typeof n === 'number' && Number.isFinite(n) ? n : 0;
}

function clamp(v, lo, hi) {
  return v < lo ? lo : v > hi ? hi : v;
}

// Writes any of the camera and viewport fields as given, without validation. For code that moves the
// camera step by step (dragging, keyboard panning, the navigator) or swaps the viewport for a while (the
// picture export); a stored or untrusted record goes through applyCamera instead.
function setCameraFields(c) {
  if ('zoom' in c) zoom = c.zoom;
  if ('shiftX' in c) shiftX = c.shiftX;
  if ('shiftY' in c) shiftY = c.shiftY;
  if ('rotation' in c) rotation = c.rotation;
  if ('tilt' in c) tilt = c.tilt;
  if ('target3D' in c) cameraTarget3D = { x: c.target3D.x, y: c.target3D.y, z: c.target3D.z };
  if ('w' in c) w = c.w;
  if ('h' in c) h = c.h;
  if ('device' in c) device = c.device;
  renderNeeded = true;
}

// The projection constants of the current camera, so that projecting many points costs no trigonometry.
function projector() {
  const cr = Math.cos(rotation), sr = Math.sin(rotation), ct = Math.cos(tilt), st = Math.sin(tilt);
  const distance = 1250 + Math.max(0, 1 / Math.max(0.05, zoom) - 1) * 800;
  const t = cameraTarget3D || {};
  return {
    three: mode3, cx: w / 2 + shiftX, cy: h / 2 + CENTRE_DROP + shiftY, zoom, cr, sr, ct, st, distance,
    flat: zoom < 0.12, tx: finiteNumber(t.x), ty: finiteNumber(t.y), tz: finiteNumber(t.z),
  };
}

function projectWith(k, x, y, z) {
  x = finiteNumber(x); y = finiteNumber(y);
  if (!k.three) return { x: k.cx + x * k.zoom, y: k.cy + y * k.zoom, scale: k.zoom, depth: 0 };
  const dx = x - k.tx, dy = y - k.ty, dz = finiteNumber(z) - k.tz;
  const X = dx * k.cr - dz * k.sr;
  const Z = dx * k.sr + dz * k.cr;
  const Y = dy * k.ct - Z * k.st;
  const depth = dy * k.st + Z * k.ct;
  // Far views are flat; near views divide by the distance, never by less than 0.38 of it.
  const f = k.flat ? 1 : k.distance / Math.max(0.38 * k.distance, k.distance + depth);
  return { x: k.cx + X * f * k.zoom, y: k.cy + Y * f * k.zoom, scale: f * k.zoom, depth };
}

// World point {x, y, z} → {x, y, scale, depth} in CSS pixels of the graph area.
function project(p) {
  return projectWith(projector(), p.x, p.y, p.z);
}

function offset2DOf(person) {
  const o = person && person.orbOffset2D;
  return o ? { x: finiteNumber(o.x), y: finiteNumber(o.y) } : { x: 0, y: 0 };
}

function offset3DOf(person) {
  const o = person && person.orbOffset3D;
  return o ? { x: finiteNumber(o.x), y: finiteNumber(o.y), z: finiteNumber(o.z) } : { x: 0, y: 0, z: 0 };
}

// A layout point plus the person's manual offset of the active view (the layout z stays in 2D).
function placedPoint(id, point) {
  const person = persons.get(id);
  if (mode3) {
    const o = offset3DOf(person);
    return { x: finiteNumber(point.x) + o.x, y: finiteNumber(point.y) + o.y, z: finiteNumber(point.z) + o.z };
  }
  const o = offset2DOf(person);
  return { x: finiteNumber(point.x) + o.x, y: finiteNumber(point.y) + o.y, z: finiteNumber(point.z) };
}

function worldAt(id) {
  const point = buildLayout(displayed()).get(id);
  return point ? placedPoint(id, point) : null;
}

// Screen points of the given people that have a layout point. In 2D the offset is added after projecting
// (it is the same thing there), in 3D before.
function positionNodes(ids, layout = buildLayout(ids)) {
  const k = projector();
  const out = new Map();
  for (const id of ids) {
    const point = layout.get(id);
    if (!point) continue;
    const person = persons.get(id);
    if (k.three) {
      const o = person && person.orbOffset3D;
      out.set(id, o
        ? projectWith(k, point.x + finiteNumber(o.x), point.y + finiteNumber(o.y), point.z + finiteNumber(o.z))
        : projectWith(k, point.x, point.y, point.z));
    } else {
      const s = projectWith(k, point.x, point.y, point.z);
      const o = person && person.orbOffset2D;
      if (o) { s.x += finiteNumber(o.x) * k.zoom; s.y += finiteNumber(o.y) * k.zoom; }
      out.set(id, s);
    }
  }
  return out;
}

// The world point under a screen point on the camera-facing plane through the pivot: the exact inverse of
// the 3D projection at depth 0, where the perspective factor is 1.
function cameraPlanePoint(sx, sy) {
  const z = Math.max(ZOOM_MIN, zoom);
  const X = (sx - w / 2 - shiftX) / z;
  const Y = (sy - h / 2 - CENTRE_DROP - shiftY) / z;
  const Z = -Y * Math.sin(tilt);
  const t = cameraTarget3D || {};
  return {
    x: finiteNumber(t.x) + X * Math.cos(rotation) + Z * Math.sin(rotation),
    y: finiteNumber(t.y) + Y * Math.cos(tilt),
    z: finiteNumber(t.z) - X * Math.sin(rotation) + Z * Math.cos(rotation),
  };
}

// After a keyboard pan in 3D, the point now in the middle becomes the pivot, so rotation turns about it.
function settle3DPan() {
  if (!mode3 || (shiftX === 0 && shiftY === 0)) return;
  cameraTarget3D = cameraPlanePoint(w / 2, h / 2 + CENTRE_DROP);
  shiftX = 0;
  shiftY = 0;
  renderNeeded = true;
}

function zoomAtPointer(mult, sx, sy) {
  const next = clamp(mult * zoom, ZOOM_MIN, ZOOM_MAX);
  if (!(Math.abs(next - zoom) >= 1e-10)) return;
  if (!mode3) { applyGraphZoom(mult, { x: sx, y: sy }); return; }
  // The camera distance changes with zoom, so the shifts cannot simply be scaled: re-project the point
  // under the pointer and move the picture back under it. Over an orb that point is the person itself,
  // which keeps the person in place whatever its depth; elsewhere it lies on the pivot plane.
  const over = nearest(sx, sy);
  const p = (over && worldAt(over)) || cameraPlanePoint(sx, sy);
  const before = project(p);
  zoom = next;
  const after = project(p);
  shiftX += before.x - after.x;
  shiftY += before.y - after.y;
  renderNeeded = true;
  keepCamera();
  scheduleSave();
}

function applyGraphZoom(mult, anchor) {
  const next = clamp(mult * zoom, ZOOM_MIN, ZOOM_MAX);
  if (!(Math.abs(next - zoom) >= 1e-9)) return;
  const cx = anchor ? anchor.x : w / 2, cy = anchor ? anchor.y : h / 2;
  const ratio = next / zoom;
  shiftX = cx - w / 2 - (cx - w / 2 - shiftX) * ratio;
  shiftY = cy - h / 2 - CENTRE_DROP - (cy - h / 2 - CENTRE_DROP - shiftY) * ratio;
  zoom = next;
  renderNeeded = true;
  keepCamera();
  scheduleSave();
}

function currentCamera() {
  const c = { zoom, shiftX, shiftY, rotation, tilt };
  if (mode3) c.target3D = { x: cameraTarget3D.x, y: cameraTarget3D.y, z: cameraTarget3D.z };
  return c;
}

// Loads a stored camera record, repairing whatever is damaged, so that no record can stop a tree opening.
function applyCamera(c) {
  c = c && typeof c === 'object' ? c : {};
  const z = c.zoom;
  zoom = clamp(typeof z === 'number' && !Number.isNaN(z) && z !== 0 ? z : 1, ZOOM_MIN, ZOOM_MAX);
  shiftX = finiteNumber(c.shiftX);
  shiftY = finiteNumber(c.shiftY);
  rotation = typeof c.rotation === 'number' && Number.isFinite(c.rotation) ? c.rotation : 0.28;
  tilt = clamp(typeof c.tilt === 'number' && Number.isFinite(c.tilt) ? c.tilt : 0.32, -TILT_LIMIT, TILT_LIMIT);
  if (mode3) {
    const t = c.target3D && typeof c.target3D === 'object' ? c.target3D : {};
    cameraTarget3D = { x: finiteNumber(t.x), y: finiteNumber(t.y), z: finiteNumber(t.z) };
  }
  renderNeeded = true;
}

function keepCamera() {
  if (mode3) camera3 = currentCamera(); else camera2 = currentCamera();
}

// The cameras of an opened tree record: missing ones take the plain default, a legacy per-formation 3D
// camera stands in for camera3; the 2D view becomes active with its camera.
function loadTreeCameras(record) {
  const fallback = () => ({ zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 });
  const usable = c => c && typeof c === 'object' && !Array.isArray(c);
  const legacy = record && usable(record.camera3ByFormation) && usable(record.camera3ByFormation.generations)
    ? record.camera3ByFormation.generations : null;
  camera2 = usable(record && record.camera2) ? record.camera2 : fallback();
  camera3 = legacy || (usable(record && record.camera3) ? record.camera3 : fallback());
  mode3 = false;
  applyCamera(camera2);
  markViewButtons();
}

function markViewButtons() {
  $('mode2').classList.toggle('active', !mode3);
  $('mode3').classList.toggle('active', mode3);
}

// Switches between the 2D and 3D views; each keeps its own camera.
function modeSwitch(to3) {
  closeOrbitDial();
  keepCamera();
  mode3 = !!to3;
  applyCamera(mode3 ? camera3 : camera2);
  markViewButtons();
  canvasSize();
  setStatusText(mode3 ? STATUS_3D : STATUS_2D);
  closeFamilyWheel();
  renderNeeded = true;
  scheduleSave();
}

// High-density pixels cost too much for big 3D scenes; elsewhere they are capped at 1.5.
function canvasSize() {
  const rect = $('graph').getBoundingClientRect();
  w = rect.width;
  h = rect.height;
  const cap = mode3 && persons.size > 350 ? 1 : 1.5;
  device = Math.min(window.devicePixelRatio || 1, cap);
  for (const id of ['stars', 'tree']) {
    const c = $(id);
    c.width = Math.max(1, Math.floor(w * device));
    c.height = Math.max(1, Math.floor(h * device));
    c.style.width = w + 'px';
    c.style.height = h + 'px';
    c.getContext('2d').setTransform(device, 0, 0, device, 0, 0);
  }
  drawStars();
  renderNeeded = true;
}
