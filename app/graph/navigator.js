// Tree navigator: the small map of the whole displayed family in the corner of the flat connected view,
// with the current view as a rectangle; a press on the map moves the camera there.
// Owns: treeMapGeometry, treeMapPicture.

const MAP_WIDTH = 146;
const MAP_HEIGHT = 224;
const MAP_MIN_PEOPLE = 16;

// {x0, y0, px, py, scale, width, height} of the last drawing, or null before the first.
let treeMapGeometry = null;
// The map's family (lines and dots) drawn once into a canvas of its own, with what it was drawn from: a
// frame that shows the same family only copies it and draws the view rectangle, so a large tree does not
// redraw every line and dot of the map on every paint.
let treeMapPicture = { key: null, canvas: null, geometry: null };

function treeMapKey(ids, layout) {
  return [layout, ids.length, ids[0], ids[ids.length - 1], activeRootPersonId(), persons.size, edges.length,
    coloredBranchesEnabled, branchState.key, visibleLineageColors.key, lineageColorMemo.key];
}

function treeMapWanted(count) {
  return viewScope === 'connected' && !mode3 && count >= MAP_MIN_PEOPLE;
}

// Shows or hides the widget and, when shown and expanded, draws the map from the base layout (manual
// offsets are left out so the map keeps the family's shape).
function drawTreeNavigator(ids, layout) {
  const widget = $('mapWidget'), canvas = $('treeNavigator');
  if (!widget || !canvas) return;
  const shown = treeMapWanted(ids.length);
  widget.classList.toggle('hidden', !shown);
  widget.style.display = shown ? 'block' : 'none';
  if (shown) keepMapClearOfCommandBar(widget);
  if (!shown || widget.classList.contains('collapsed')) return;
  const g = canvas.getContext('2d');
  const width = canvas.width, height = canvas.height;
  g.setTransform(1, 0, 0, 1, 0, 0);
  g.clearRect(0, 0, width, height);
  const key = treeMapKey(ids, layout);
  const cached = treeMapPicture;
  if (cached.key && cached.canvas.width === width && cached.canvas.height === height &&
      key.every((v, i) => v === cached.key[i])) {
    if (!cached.geometry) return;
    g.drawImage(cached.canvas, 0, 0);
    const { x0, y0, px, py, scale } = cached.geometry;
    drawMapView(g, x0, y0, px, py, scale);
    treeMapGeometry = cached.geometry;
    return;
  }
  const picture = document.createElement('canvas');
  picture.width = width;
  picture.height = height;
  treeMapPicture = { key, canvas: picture, geometry: drawMapFamily(picture.getContext('2d'), ids, layout, width, height) };
  if (!treeMapPicture.geometry) return;
  g.drawImage(picture, 0, 0);
  const { x0, y0, px, py, scale } = treeMapPicture.geometry;
  drawMapView(g, x0, y0, px, py, scale);
  treeMapGeometry = treeMapPicture.geometry;
}

// The map sits in the bottom right corner, beneath the command bar in the stacking order. In a narrow
// graph area the centred bar reaches that corner and would hide the map and its collapse button, so the map
// then stands just above the bar instead. Its usual place is worked out from the corner each time, so the
// decision never depends on where it stood before.
function keepMapClearOfCommandBar(widget) {
  const area = widget.offsetParent, bar = $('commandBar');
  if (!area || !bar || bar.offsetParent === null) { widget.style.bottom = ''; return; }
  const a = area.getBoundingClientRect(), b = bar.getBoundingClientRect();
  const width = widget.offsetWidth, height = widget.offsetHeight;
  const right = a.right - 13, left = right - width, bottom = a.bottom - 36, top = bottom - height;
  const overlaps = left < b.right && right > b.left && top < b.bottom && bottom > b.top;
  widget.style.bottom = overlaps ? Math.ceil(a.bottom - b.top + 8) + 'px' : '';
}

// The family part of the map: lines and dots. Returns the geometry, or null with fewer than two points.
function drawMapFamily(g, ids, layout, width, height) {
  const points = [];
  for (const id of ids) { const p = layout.get(id); if (p) points.push(p); }
  if (points.length < 2) return null;
  let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
  for (const p of points) {
    const x = finiteNumber(p.x), y = finiteNumber(p.y);
    if (x < x0) x0 = x;
    if (x > x1) x1 = x;
    if (y < y0) y0 = y;
    if (y > y1) y1 = y;
  }
  const scale = Math.min((width - 18) / Math.max(1, x1 - x0), (height - 20) / Math.max(1, y1 - y0));
  const px = (width - (x1 - x0) * scale) / 2, py = (height - (y1 - y0) * scale) / 2;
  const map = { x: p => px + (finiteNumber(p.x) - x0) * scale, y: p => py + (finiteNumber(p.y) - y0) * scale };
  drawMapLines(g, ids, layout, map);
  drawMapPeople(g, ids, layout, map);
  return { x0, y0, px, py, scale, width, height };
}

// Lines and dots are gathered into one path per colour, so that a large family costs one stroke or fill
// per colour instead of one per person.
// `map` turns a layout point into map coordinates ({x(p), y(p)}; no object per point, a large family has
// a hundred thousand).
function drawMapLines(g, ids, layout, map) {
  const forest = familyForest(ids, focus);
  const paths = new Map();
  for (const c of forest.connections || []) {
    const p = layout.get(c.a), q = layout.get(c.b);
    if (!p || !q) continue;
    const colour = familyLineColor(c.b);
    let path = paths.get(colour);
    if (!path) paths.set(colour, path = new Path2D());
    path.moveTo(map.x(p), map.y(p));
    path.lineTo(map.x(q), map.y(q));
  }
  g.lineWidth = 0.75;
  g.globalAlpha = 0.6;
  for (const [colour, path] of paths) {
    g.strokeStyle = colour;
    g.stroke(path);
  }
  g.globalAlpha = 1;
}

function drawMapPeople(g, ids, layout, map) {
  const home = activeRootPersonId();
  const paths = new Map();
  let homePoint = null;
  for (const id of ids) {
    const p = layout.get(id);
    if (!p) continue;
    if (id === home) { homePoint = { x: map.x(p), y: map.y(p) }; continue; }
    const colour = familyColor(id);
    let path = paths.get(colour);
    if (!path) paths.set(colour, path = new Path2D());
    path.rect(map.x(p) - 1, map.y(p) - 1, 2, 2);
  }
  for (const [colour, path] of paths) {
    g.fillStyle = colour;
    g.fill(path);
  }
  // The home dot last, so that no other dot covers it.
  if (homePoint) {
    g.fillStyle = '#ffe88e';
    g.fillRect(homePoint.x - 1, homePoint.y - 1, 2, 2);
  }
}

// The visible world window (the inverse of the flat projection at the graph area's corners), at least
// 3 × 3 map pixels so that it stays visible when the view is tiny on the map.
function drawMapView(g, x0, y0, px, py, scale) {
  const z = Math.max(0.00001, zoom);
  const left = (-w / 2 - shiftX) / z, right = (w / 2 - shiftX) / z;
  const top = (-h / 2 - CENTRE_DROP - shiftY) / z, bottom = (h / 2 - CENTRE_DROP - shiftY) / z;
  let ax = px + (left - x0) * scale, ay = py + (top - y0) * scale;
  let bw = (right - left) * scale, bh = (bottom - top) * scale;
  if (bw < 3) { ax -= (3 - bw) / 2; bw = 3; }
  if (bh < 3) { ay -= (3 - bh) / 2; bh = 3; }
  g.fillStyle = 'rgba(255,214,102,.10)';
  g.fillRect(ax, ay, bw, bh);
  g.strokeStyle = '#ffdd91';
  g.lineWidth = 1.5;
  g.strokeRect(ax, ay, bw, bh);
}

// A press on the map puts the world point under it at the exact middle of the graph area.
function treeMapPress(ev) {
  const geo = treeMapGeometry;
  if (!geo || mode3 || viewScope !== 'connected') return;
  ev.preventDefault();
  ev.stopPropagation();
  const canvas = $('treeNavigator');
  const rect = canvas.getBoundingClientRect();
  if (!(rect.width > 0) || !(rect.height > 0)) return;
  const mx = (ev.clientX - rect.left) / rect.width * geo.width;
  const my = (ev.clientY - rect.top) / rect.height * geo.height;
  const wx = geo.x0 + (mx - geo.px) / geo.scale, wy = geo.y0 + (my - geo.py) / geo.scale;
  setCameraFields({ shiftX: -wx * zoom, shiftY: -CENTRE_DROP - wy * zoom });
  keepCamera();
  scheduleSave();
}

function toggleTreeMap() {
  const collapsed = $('mapWidget').classList.toggle('collapsed');
  $('mapToggle').textContent = collapsed ? '+' : '−';
  renderNeeded = true;
}

function installTreeNavigator() {
  onClick('mapToggle', toggleTreeMap);
  $('treeNavigator').addEventListener('pointerdown', treeMapPress);
}
