// Viewing commands: fit the tree, explore a tall pedigree, the roomy overview, centring on a person,
// selecting without moving the camera, and the switch between the 2D and 3D views.
// Owns: no state.

const STATUS_2D = 'Click: center · Double-click: family tools · Middle-click: photo · Hold WASD / arrows: smooth pan · Del: delete';
const STATUS_3D = 'Click: select · Double-click: family wheel · Right-drag: pan · Right-click orb: orbit dial · Drag empty space: rotate · WASD/arrows: pan';
const STATUS_START = 'Click: center · Double-click: edit family · Middle-click: photo · Hold WASD / arrows: smooth pan · Del: delete';

function setStatusText(text) {
  const el = $('statusText') || $('statusMsg');
  if (el) el.textContent = text;
}

// The home person as the viewing commands use it: the root when it exists, else the focus.
function viewHomeId() {
  if (rootPersonId && persons.has(rootPersonId)) return rootPersonId;
  return focus && persons.has(focus) ? focus : null;
}

// Bounding box of projected world points, at least 1 × 1.
function screenBox(points) {
  const k = projector();
  let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
  for (const p of points) {
    const s = projectWith(k, p.x, p.y, p.z);
    if (s.x < x0) x0 = s.x;
    if (s.x > x1) x1 = s.x;
    if (s.y < y0) y0 = s.y;
    if (s.y > y1) y1 = s.y;
  }
  return { cx: (x0 + x1) / 2, cy: (y0 + y1) / 2, width: Math.max(1, x1 - x0), height: Math.max(1, y1 - y0) };
}

// Fits the displayed tree into the graph area below the header text and above the command bar. The zoom
// is found by repeated measuring because in 3D the perspective itself changes with the zoom.
function fitGraph() {
  const ids = displayed();
  if (!ids.length) {
    setCameraFields({ shiftX: 0, shiftY: 0, zoom: 1 });
    return;
  }
  const layout = buildLayout(ids);
  const points = [];
  for (const id of ids) {
    const point = layout.get(id);
    if (point) points.push(placedPoint(id, point));
  }
  if (!points.length) return;
  const top = Math.min(245, 0.29 * h), bottom = 65;
  const availW = Math.max(180, w - 120), availH = Math.max(180, h - top - bottom);
  const oldX = shiftX, oldY = shiftY;
  setCameraFields({ shiftX: 0, shiftY: 0 });
  const cap = ids.length <= 25 ? 1.12 : 1.6;
  for (let i = 0; i < 9; i++) {
    const box = screenBox(points);
    const factor = Math.min(availW / Math.max(40, box.width + 24), availH / Math.max(40, box.height + 24));
    if (!Number.isFinite(factor)) break;
    const next = clamp(zoom * factor, 0.0007, cap);
    const settled = Math.abs(next - zoom) / Math.max(0.01, zoom) < 0.007;
    setCameraFields({ zoom: next });
    if (settled) break;
  }
  const box = screenBox(points);
  const sx = w / 2 - box.cx, sy = (top + h - bottom) / 2 - box.cy;
  setCameraFields({ shiftX: Number.isFinite(sx) ? sx : oldX, shiftY: Number.isFinite(sy) ? sy : oldY });
  keepCamera();
  scheduleSave();
}

// About one generation row per 123 pixels with the home person low in the view: a long pedigree is
// explored by panning, not squeezed onto one screen.
function exploreTallTree(targetRowPixels = 123) {
  const ids = displayed();
  if (!ids.length) return;
  if (viewScope !== 'connected' || mode3) { roomyGraphView(1.75); return; }
  const layout = buildLayout(ids);
  const homeId = [viewHomeId(), focus].find(id => id && layout.get(id)) || layout.keys().next().value;
  const point = homeId && layout.get(homeId);
  if (!point) return;
  const rowY = new Map();
  for (const p of layout.values()) if (!rowY.has(p.gen)) rowY.set(p.gen, p.y);
  const rows = [...rowY].sort((a, b) => a[0] - b[0]);
  const gaps = [];
  for (let i = 1; i < rows.length; i++) if (rows[i][0] - rows[i - 1][0] === 1) gaps.push(rows[i][1] - rows[i - 1][1]);
  gaps.sort((a, b) => a - b);
  const gap = gaps.length ? gaps[Math.floor(gaps.length / 2)] : 1400;
  const target = clamp(targetRowPixels, 100, 142);
  const z = clamp(target / Math.max(400, gap), 0.011, 0.36);
  const o = offset2DOf(persons.get(homeId));
  setCameraFields({
    zoom: z,
    shiftX: 0.52 * w - w / 2 - (point.x + o.x) * z,
    shiftY: 0.76 * h - h / 2 - CENTRE_DROP - (point.y + o.y) * z,
  });
  keepCamera();
  scheduleSave();
}

// Fit, then zoom in about the home person, lifted a little to leave room for descendants below it.
function roomyGraphView(scale = 1.75) {
  fitGraph();
  const home = viewHomeId();
  const ids = displayed();
  const s = home && positionNodes(ids).get(home);
  applyGraphZoom(scale, s ? { x: s.x, y: s.y } : { x: 0.5 * w, y: 0.67 * h });
  if (viewScope === 'connected') {
    setCameraFields({ shiftY: shiftY - Math.min(80, 0.075 * h) });
    keepCamera();
  }
  renderNeeded = true;
  scheduleSave();
}

// Brings the person to the projection centre; in 3D the person also becomes the orbit pivot.
function centerCameraOn(id) {
  if (!persons.has(id)) return;
  const p = worldAt(id);
  if (!p) return;
  if (mode3) setCameraFields({ target3D: p, shiftX: 0, shiftY: 0 });
  else setCameraFields({ shiftX: -p.x * zoom, shiftY: -p.y * zoom });
  keepCamera();
  scheduleSave();
}

// Selection never moves the camera: re-basing on a click made other relatives seem to vanish.
function selectPerson(id) {
  if (!persons.has(id)) return;
  setViewState({ selected: id });
  renderSide();
  updateStats();
  if (window.innerWidth < 750) $('side').classList.add('open');
  renderNeeded = true;
}

function setFocus(id) {
  closeFamilyWheel();
  selectPerson(id);
  centerCameraOn(id);
}
