// Branch handles: the "Edit lines" mode in which family line junctions, bends and forks are dragged. A
// handle stores an offset from a world anchor computed from the line's people, so the bend follows them
// when they move; the 2D and 3D views keep separate offsets. Offsets live on the person whose id sorts
// first among the line's ids, in `familyBranchHandles[key]`, as fields such as `hub2D` or `fork3D`.
// Owns: editFamilyBranches, branchHandleHits.

const BRANCH_HANDLE_REACH = 17;
const BRANCH_HANDLE_PARTS = ['hub', 'fork', 'bendStart', 'bendEnd', 'childBend', 'singleBend', 'spouseBend'];

let editFamilyBranches = false;
// Handles placed by the current paint: {parents, part, x, y, scale, worldAnchor}.
let branchHandleHits = [];

function branchControlId(parentIds) {
  return parentIds.map(String).sort().join('|');
}

function ownField(object, name) {
  return object && typeof object === 'object' && Object.prototype.hasOwnProperty.call(object, name) ? object[name] : undefined;
}

// Adds a field as an own data property, whatever its name (an id could be "__proto__").
function putField(object, name, value) {
  Object.defineProperty(object, name, { value, writable: true, enumerable: true, configurable: true });
}

function plainObject(v) {
  return !!v && typeof v === 'object' && !Array.isArray(v);
}

// The handle record of a line on its owner, or null; `create` makes the record (and the owner's
// `familyBranchHandles`) when missing. A painted frame asks this for every junction and bend, and almost no
// owner has handles: the owner (the least id) and its handle table are looked at before the key is built,
// so the common answer allocates nothing.
function branchControlRecord(parentIds, create) {
  if (!parentIds.length) return null;
  let first = String(parentIds[0]);
  for (let i = 1; i < parentIds.length; i++) {
    const id = String(parentIds[i]);
    if (id < first) first = id;
  }
  const owner = persons.get(first);
  if (!owner) return null;
  if (!plainObject(owner.familyBranchHandles)) {
    if (!create) return null;
    owner.familyBranchHandles = {};
  }
  const key = branchControlId(parentIds);
  let record = ownField(owner.familyBranchHandles, key);
  if (!plainObject(record)) {
    if (!create) return null;
    record = {};
    putField(owner.familyBranchHandles, key, record);
  }
  return record;
}

function branchViewSuffix() {
  return mode3 ? '3D' : '2D';
}

// The stored offset of a part in the active view; a corridor bend without its own value reads the legacy
// `bend2D` / `bend3D` of that view. Missing or damaged components read as 0.
function branchControlOffset(parentIds, part) {
  const record = branchControlRecord(parentIds, false);
  if (!record) return { x: 0, y: 0, z: 0 };
  const view = branchViewSuffix();
  let value = ownField(record, part + view);
  if (!plainObject(value) && (part === 'bendStart' || part === 'bendEnd')) value = ownField(record, 'bend' + view);
  if (!plainObject(value)) return { x: 0, y: 0, z: 0 };
  return { x: finiteNumber(value.x), y: finiteNumber(value.y), z: mode3 ? finiteNumber(value.z) : 0 };
}

function moveBranchControl(parentIds, part, next) {
  if (!BRANCH_HANDLE_PARTS.includes(part)) return;
  const record = branchControlRecord(parentIds, true);
  if (!record) return;
  const n = next || {};
  putField(record, part + branchViewSuffix(), { x: finiteNumber(n.x), y: finiteNumber(n.y), z: mode3 ? finiteNumber(n.z) : 0 });
}

// A junction or bend point moved by its handle's offset: in 3D by the screen motion of the displaced
// anchor (and the depth by the lift), in 2D by the offset times the zoom. In "Edit lines" mode the
// result is registered as a handle when the unmoved point is near the canvas.
function adjustBranchPoint(point, parentIds, part, worldAnchor) {
  const off = branchControlOffset(parentIds, part);
  const out = { ...point };
  const anchor = worldAnchor && Number.isFinite(worldAnchor.x) ? worldAnchor : null;
  if (mode3) {
    if (anchor && (off.x || off.y || off.z)) {
      const before = project(anchor);
      const after = project({ x: anchor.x + off.x, y: anchor.y + off.y, z: finiteNumber(anchor.z) + off.z });
      out.x += after.x - before.x;
      out.y += after.y - before.y;
      out.depth = finiteNumber(point.depth) + off.y * Math.sin(tilt);
    }
  } else {
    out.x += off.x * zoom;
    out.y += off.y * zoom;
  }
  if (editFamilyBranches && zoom > 0.035 && point.x >= -80 && point.x <= w + 80 && point.y >= -80 && point.y <= h + 80) {
    const scale = anchor ? project(anchor).scale : finiteNumber(point.scale) || zoom;
    branchHandleHits.push({ parents: parentIds.slice(), part, x: out.x, y: out.y, scale: Math.max(0.08, scale), worldAnchor: anchor });
  }
  return out;
}

// The handle closest to the point within 17 pixels (the first placed on a tie), else null.
function nearestBranchControl(x, y) {
  let best = null, bestDistance = BRANCH_HANDLE_REACH;
  for (const handle of branchHandleHits) {
    const d = Math.hypot(handle.x - x, handle.y - y);
    if (d < bestDistance) { best = handle; bestDistance = d; }
  }
  return best;
}

// Turquoise junction discs and amber bend and fork discs, painted over the orbs.
function drawBranchHandles(g) {
  g.save();
  for (const handle of branchHandleHits) {
    if (handle.x < -15 || handle.x > w + 15 || handle.y < -15 || handle.y > h + 15) continue;
    const hub = handle.part === 'hub';
    const outline = hub ? '#9bfff0' : '#ffd6a2';
    g.globalAlpha = 1;
    g.beginPath();
    g.arc(handle.x, handle.y, hub ? 8 : 7, 0, Math.PI * 2);
    g.fillStyle = hub ? '#163d4b' : '#48344b';
    g.shadowColor = outline;
    g.shadowBlur = 11;
    g.fill();
    g.lineWidth = 2;
    g.strokeStyle = outline;
    g.stroke();
    g.shadowBlur = 0;
    g.beginPath();
    g.arc(handle.x, handle.y, 2, 0, Math.PI * 2);
    g.fillStyle = '#fffaf0';
    g.fill();
  }
  g.restore();
}

function setBranchEditing(on) {
  editFamilyBranches = !!on;
  const button = $('branchEditBtn');
  button.setAttribute('aria-pressed', editFamilyBranches ? 'true' : 'false');
  button.textContent = editFamilyBranches ? 'Done editing' : 'Edit lines';
  renderNeeded = true;
  toast(editFamilyBranches
    ? 'Drag turquoise family junctions and amber bend/fork handles. Moving parents keeps lines attached. 2D and 3D edits are independent.'
    : 'Family line editing finished.');
}

function installBranchEditing() {
  const button = $('branchEditBtn');
  button.title = 'Move family branch junctions and bend points separately in 2D and 3D';
  button.setAttribute('aria-pressed', 'false');
  onClick('branchEditBtn', () => setBranchEditing(!editFamilyBranches));
}
