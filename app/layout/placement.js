// Placement memory: hand-placed offsets in the 2D and 3D views, the position lock that keeps every shown orb
// still while an edit changes the layout, slots for new relatives, stored base slots and their reset.
// Owns: klnPositionFreeze, MANUAL_PLACEMENT_FIELDS.
//
// The lock works in two halves around one operation: the capture records where every shown orb stands
// (base point plus offset, in both views) before the first change; a microtask after the operation
// re-lays out the family and rewrites the offsets so that base + offset is the captured position again.
// New relatives placed meanwhile add the position they should take.

// At most one pending lock: {tree, positions: id → captured, newPositions: id → desired}.
let klnPositionFreeze = null;

const MANUAL_PLACEMENT_FIELDS = ['orbOffset', 'orbOffset2D', 'orbOffset3D', 'orbOffset3DByFormation',
  'klnPositionLocked', 'klnUserMovedOrb', 'layoutBase', 'layoutVersion'];

function finite(n) {
  return typeof n === 'number' && Number.isFinite(n) ? n : 0;
}

function get3DOffset(id) {
  const o = (persons.get(id) || {}).orbOffset3D;
  return o ? { x: finite(o.x), y: finite(o.y), z: finite(o.z) } : { x: 0, y: 0, z: 0 };
}

function get2DOffset(id) {
  const o = (persons.get(id) || {}).orbOffset2D;
  return o ? { x: finite(o.x), y: finite(o.y) } : { x: 0, y: 0 };
}

function set3DOffset(id, offset) {
  const p = persons.get(id);
  if (!p) return;
  p.orbOffset3D = { x: finite(offset && offset.x), y: finite(offset && offset.y), z: finite(offset && offset.z) };
  p.klnUserMovedOrb = true;
}

function klnHasUserMovedOrb(id) {
  const p = persons.get(id);
  if (!p) return false;
  if (p.klnUserMovedOrb === true) return true;
  if (p.klnPositionLocked === true) return false;
  const size = o => (o ? Math.abs(finite(o.x)) + Math.abs(finite(o.y)) + Math.abs(finite(o.z)) : 0);
  return size(p.orbOffset2D) > 1 || size(p.orbOffset3D) > 1;
}

// Where a person stands in both views: base point plus each view's offset.
function capturedPosition(id, base) {
  const o2 = get2DOffset(id), o3 = get3DOffset(id);
  const bx = finite(base.x), by = finite(base.y), bz = finite(base.z);
  return { twoD: { x: bx + o2.x, y: by + o2.y }, threeD: { x: bx + o3.x, y: by + o3.y, z: bz + o3.z },
    gen: base.gen, baseZ: bz };
}

function klnCaptureExistingOrbPositions() {
  if (bulkImport || !currentTreeId || klnPositionFreeze) return;
  const ids = displayed();
  if (!ids.length) return;
  const layout = buildLayout(ids);
  const positions = new Map();
  for (const id of ids) {
    const base = layout.get(id);
    if (!base || positions.has(id)) continue;
    if (klnHasUserMovedOrb(id)) persons.get(id).klnUserMovedOrb = true;
    positions.set(id, capturedPosition(id, base));
  }
  if (!positions.size) return;
  klnPositionFreeze = { tree: currentTreeId, positions, newPositions: new Map() };
  queueMicrotask(klnRebaseExistingOrbPositions);
}

// Opening a tree and restoring an edit-history step drop a pending lock.
function klnCancelPositionCapture() {
  klnPositionFreeze = null;
}

function klnRebaseExistingOrbPositions() {
  const freeze = klnPositionFreeze;
  klnPositionFreeze = null;
  if (!freeze || freeze.tree !== currentTreeId || bulkImport) return;
  const visible = displayed();
  if (!visible.length) return;
  for (let pass = 0; pass < 2; pass++) {
    klnInvalidatePositionLayoutCaches();
    const layout = buildLayout(visible);
    for (const wanted of [freeze.positions, freeze.newPositions]) {
      for (const [id, at] of wanted) {
        const p = persons.get(id), base = layout.get(id);
        if (!p || !base) continue;
        const bx = finite(base.x), by = finite(base.y), bz = finite(base.z);
        p.klnPositionLocked = true;
        p.orbOffset2D = { x: at.twoD.x - bx, y: at.twoD.y - by };
        p.orbOffset3D = { x: at.threeD.x - bx, y: at.threeD.y - by, z: at.threeD.z - bz };
      }
    }
  }
  klnInvalidatePositionLayoutCaches();
  renderNeeded = true;
  scheduleSave();
}

function storedBase(id) {
  const b = (persons.get(id) || {}).layoutBase;
  return b && Number.isFinite(b.x) && Number.isFinite(b.y) ? b : null;
}

function copyPoint(p) {
  return { x: finite(p.x), y: finite(p.y), z: finite(p.z), gen: Number.isFinite(p.gen) ? p.gen : 0 };
}

// Every person gets a stored base of the current version; the whole tree is arranged only when some base is
// missing or older.
function ensureBases() {
  if (!persons.size) return;
  const ids = [...persons.keys()];
  const outdated = ids.some(id => storedBase(id) && persons.get(id).layoutVersion !== PEDIGREE_LAYOUT_VERSION);
  if (outdated) {
    const layout = smartArrangement(ids, rootPersonId || focus);
    for (const [id, point] of layout) {
      const p = persons.get(id);
      p.layoutBase = copyPoint(point);
      p.layoutVersion = PEDIGREE_LAYOUT_VERSION;
    }
    return;
  }
  const lacking = ids.filter(id => !storedBase(id));
  if (!lacking.length) return;
  const layout = smartArrangement(ids, focus);
  for (const id of lacking) {
    const point = layout.get(id);
    const p = persons.get(id);
    p.layoutBase = point ? copyPoint(point) : { x: 0, y: 0, z: 0, gen: 0 };
    p.layoutVersion = PEDIGREE_LAYOUT_VERSION;
  }
}

// A person's 2D position for the collision test: captured by a pending lock, else stored base + 2D offset.
function collisionPosition(id) {
  const captured = klnPositionFreeze && klnPositionFreeze.positions.get(id);
  if (captured) return captured.twoD;
  const b = storedBase(id);
  if (!b) return null;
  const o = get2DOffset(id);
  return { x: b.x + o.x, y: b.y + o.y };
}

function collisionFreeCandidate(id, targets) {
  ensureBases();
  if (!targets.length) return undefined;
  const others = [];
  for (const other of persons.keys()) {
    if (other === id || !storedBase(other)) continue;
    others.push(collisionPosition(other));
  }
  let best = targets[0], bestScore = Infinity;
  for (const t of targets) {
    let penalty = 0;
    for (const o of others) {
      const dx = Math.abs(o.x - t.x);
      if (Math.abs(o.y - t.y) < 155 && dx < 185) penalty += 9000 + 90 * (185 - dx);
    }
    const score = penalty + 0.13 * Math.abs(t.x - targets[0].x);
    if (score < bestScore) { best = t; bestScore = score; }
  }
  return best;
}

// Candidate x offsets beside the reference for each kind of new relative (a child's centre comes first).
const RELATIVE_SLOTS = {
  parentFirst: [-110, 110, -300, 300],
  parentSecond: [110, -110, 300, -300],
  spouse: [185, -185, 370, -370],
  sibling: [195, -195, 390, -390],
  child: [-195, 195, -390, 390],
};

function placeRelative(newId, reference, relation, options = {}) {
  const person = persons.get(newId);
  if (!person || !persons.has(reference)) return;
  ensureBases();
  const single = singleLayoutCache.layout;
  const anchor = (single && single.get(reference)) || storedBase(reference) || { x: 0, y: 0, z: 0, gen: 0 };
  const frozen = klnPositionFreeze && klnPositionFreeze.positions.get(reference);
  const o2 = get2DOffset(reference), o3 = get3DOffset(reference);
  const rx = frozen ? frozen.twoD.x : finite(anchor.x) + o2.x;
  const ry = frozen ? frozen.twoD.y : finite(anchor.y) + o2.y;
  let xs;
  if (relation === 'parent') {
    const another = parentsOf(reference).some(p => p !== newId);
    xs = (another ? RELATIVE_SLOTS.parentSecond : RELATIVE_SLOTS.parentFirst).map(d => rx + d);
  } else if (relation === 'child') {
    const co = options.coparent && persons.has(options.coparent) ? collisionPosition(options.coparent) : null;
    xs = [co ? (rx + co.x) / 2 : rx].concat(RELATIVE_SLOTS.child.map(d => rx + d));
  } else {
    xs = (RELATIVE_SLOTS[relation] || RELATIVE_SLOTS.sibling).map(d => rx + d);
  }
  const step = connectedGroup(reference).length <= 20 ? 310 : 235;
  const y = relation === 'parent' ? ry - step : relation === 'child' ? ry + step : ry;
  const chosen = collisionFreeCandidate(newId, xs.map(x => ({ x, y })));
  const az = finite(anchor.z), ag = Number.isFinite(anchor.gen) ? anchor.gen : 0;
  const z = az + ({ child: 25, parent: -25, spouse: 42 }[relation] || 0);
  const gen = ag + (relation === 'parent' ? -1 : relation === 'child' ? 1 : 0);
  person.layoutBase = { x: chosen.x, y: chosen.y, z, gen };
  person.layoutVersion = PEDIGREE_LAYOUT_VERSION;
  person.orbOffset3D = { ...o3 };
  if (klnPositionFreeze) {
    const ref3 = frozen ? frozen.threeD : { x: finite(anchor.x) + o3.x, y: finite(anchor.y) + o3.y, z: az + o3.z };
    const refZ = frozen ? frozen.baseZ : az;
    klnPositionFreeze.newPositions.set(newId, {
      twoD: { x: chosen.x, y: chosen.y },
      threeD: { x: ref3.x + chosen.x - rx, y: ref3.y + chosen.y - ry, z: ref3.z + z - refZ },
    });
  }
  renderNeeded = true;
}

function autoArrangeTree(ids = [...persons.keys()], all = false) {
  if (!ids || !ids.length) return;
  const chosen = new Set(ids);
  const target = smartArrangement(ids, chosen.has(focus) ? focus : ids[0]);
  let right = -Infinity;
  for (const [id, p] of persons) {
    if (chosen.has(id)) continue;
    const b = storedBase(id);
    if (b) right = Math.max(right, b.x + get2DOffset(id).x);
  }
  let dx = 0;
  if (right > -Infinity && target.size) {
    let left = Infinity;
    for (const p of target.values()) left = Math.min(left, p.x);
    dx = right - left + 540;
  }
  for (const [id, point] of target) {
    const p = persons.get(id);
    if (!p) continue;
    const base = copyPoint(point);
    base.x = finite(point.x + dx);
    p.layoutBase = base;
    p.layoutVersion = PEDIGREE_LAYOUT_VERSION;
    if (all) for (const f of ['orbOffset2D', 'orbOffset3D', 'orbOffset3DByFormation', 'klnPositionLocked',
      'klnUserMovedOrb']) delete p[f];
  }
  renderNeeded = true;
  scheduleSave();
}

function klnResetAllOrbPositions() {
  if (!persons.size) {
    toast('Add or import family members first.');
    return;
  }
  if (!confirm('Reset ALL manually moved orb positions in both 2D and 3D, then arrange your family again? ' +
    'Your people, portraits, family relationships, colors and edited line curves will be kept.')) return;
  for (const p of persons.values()) for (const f of MANUAL_PLACEMENT_FIELDS) delete p[f];
  klnInvalidatePositionLayoutCaches();
  connectivityCache.key = '';
  tidyCache.key = '';
  branchState.key = '';
  lineageColorMemo.key = '';
  if (visibleLineageColors) visibleLineageColors.key = '';
  autoArrangeTree([...persons.keys()], true);
  if (mode3) Object.assign(cameraTarget3D, { x: 0, y: 0, z: 0 });
  fitGraph();
  update();
  scheduleSave();
  toast('Reset and re-arranged ' + countText(persons.size) + ' orbs in 2D and 3D.');
}
