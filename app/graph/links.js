// Family line rules and primitives shared by both renderers: the long-link rules on world coordinates,
// childless couples, light paths, and the smooth and editable strokes of the detailed renderer (batched by
// style in 2D, queued by depth in 3D).
// Owns: no state.

// Links that would cross the whole map are left out of the picture by world distance, never by zoom, so
// the same links show at every zoom.
function klnLongFamilyLink(a, b, layout, kind, count) {
  if (count < 100) return false;
  const p = layout.get(a), q = layout.get(b);
  if (!p || !q) return false;
  const dx = Math.abs(p.x - q.x), dy = Math.abs(p.y - q.y);
  return kind === 'sibling' ? dx > 650 : dx > Math.max(760, 0.68 * dy);
}

function meanPoint(ids, layout) {
  let x = 0, y = 0, n = 0;
  for (const id of ids) {
    const p = layout.get(id);
    if (p) { x += p.x; y += p.y; n++; }
  }
  return n ? { x: x / n, y: y / n, n } : null;
}

// A couple household standing far to the side of its children (a corridor is a true route, never remote).
function klnRemoteParentGroup(parentIds, childIds, layout, count) {
  if (count < 100 || parentIds.length < 2 || !childIds.length) return false;
  if (childIds.some(id => layout.get(id) && layout.get(id).familyRoute)) return false;
  const parents = meanPoint(parentIds, layout), children = meanPoint(childIds, layout);
  if (!parents || parents.n < 2 || !children) return false;
  return Math.abs(parents.x - children.x) > Math.max(1000, 0.78 * Math.abs(parents.y - children.y));
}

function klnRemoteChildlessMarriage(a, b, layout, count) {
  if (count <= 80) return false;
  const p = layout.get(a), q = layout.get(b);
  if (!p || !q) return false;
  return Math.abs(p.x - q.x) > Math.max(850, 0.8 * Math.abs(p.y - q.y));
}

// Displayed couples with no child together anywhere in the records, once per pair, ordered as the first
// spouse record of the pair names them. Only the displayed couples' own children are looked at, not every
// parent record of the tree.
function visibleChildlessSpousePairs(ids) {
  const shown = new Set(ids);
  const index = currentEdgeIndex();
  const seen = new Set(), pairs = [];
  for (const e of edges) {
    if (e.type !== 'spouse' || !shown.has(e.a) || !shown.has(e.b)) continue;
    const key = pairKey(e.a, e.b);
    if (seen.has(key) || haveChildTogether(index, e.a, e.b)) continue;
    seen.add(key);
    pairs.push([e.a, e.b]);
  }
  return pairs;
}

// True when two different people on record are both parents of one child on record.
function haveChildTogether(index, a, b) {
  if (a === b || !persons.has(a) || !persons.has(b)) return false;
  const mine = index.children.get(a), theirs = index.children.get(b);
  if (!mine || !theirs) return false;
  const short = mine.length <= theirs.length ? mine : theirs, long = short === mine ? theirs : mine;
  for (const child of short) if (persons.has(child) && long.includes(child)) return true;
  return false;
}

function pairKey(a, b) {
  return a < b ? a + '|' + b : b + '|' + a;
}

function samplePath(paths, a, c1, c2, b, color) {
  if (paths.length >= 620) return;
  paths.push({ a, c1, c2, b, color: colouredBranchesOn() ? color : monochromeLine() });
}

// The drawing state of one pass of the link layer.
function lineFrame(g, ids, layout, pts) {
  return {
    g, ids, count: ids.length, layout, pts, world: new Map(), batches: new Map(), dots: [],
    ink: clamp(2.1 * Math.sqrt(Math.max(0.25, zoom)), 0.82, 2.9), editing: linesEditing(),
  };
}

// A person's world position in the active view (layout point plus manual offset), memoised per pass.
function worldOf(lf, id) {
  let p = lf.world.get(id);
  if (!p) {
    const base = lf.layout.get(id);
    p = base ? placedPoint(id, base) : null;
    lf.world.set(id, p);
  }
  return p;
}

function worldMid(p, q) {
  return p && q ? { x: (p.x + q.x) / 2, y: (p.y + q.y) / 2, z: (p.z + q.z) / 2 } : p || q;
}

function screenMid(p, q) {
  return { x: (p.x + q.x) / 2, y: (p.y + q.y) / 2, depth: (finiteNumber(p.depth) + finiteNumber(q.depth)) / 2 };
}

function beyondSameEdge(a, b, m) {
  return (a.x < -m && b.x < -m) || (a.x > w + m && b.x > w + m) || (a.y < -m && b.y < -m) || (a.y > h + m && b.y > h + m);
}

function strokeCurve(lf, a, c1, c2, b, color, alpha, width, dashed) {
  if (queueCurve(a, c1, c2, b, color, alpha, width, dashed)) return;
  const key = color + '\u0001' + alpha + '\u0001' + width + '\u0001' + (dashed ? 1 : 0);
  let batch = lf.batches.get(key);
  if (!batch) {
    batch = { path: new Path2D(), color, alpha, width, dashed };
    lf.batches.set(key, batch);
  }
  batch.path.moveTo(a.x, a.y);
  batch.path.bezierCurveTo(c1.x, c1.y, c2.x, c2.y, b.x, b.y);
}

function lightPathCap(count) {
  return count > 800 ? 125 : count > 320 ? 320 : 620;
}

// A line that leaves a and enters b vertically.
function smoothStroke(lf, a, b, color, alpha = 0.9, width = lf.ink) {
  if (beyondSameEdge(a, b, 100)) return;
  const dy = b.y - a.y;
  const c1 = { x: a.x, y: a.y + 0.54 * dy }, c2 = { x: b.x, y: b.y - 0.54 * dy };
  strokeCurve(lf, a, c1, c2, b, color, alpha, width, false);
  if (paths.length < lightPathCap(lf.count)) samplePath(paths, a, c1, c2, b, color);
}

function zeroOffset(off) {
  return off.x === 0 && off.y === 0 && off.z === 0;
}

function junctionDot(lf, p, radius, color, alpha) {
  if (mode3) queueLight(p.x, p.y, p.depth, radius, color, alpha, false);
  else lf.dots.push({ x: p.x, y: p.y, radius, color, alpha });
}

// A direct parent–child line through its bend handle; unbent it is one stroke.
function editableDirectLine(lf, parent, child, color) {
  const a = lf.pts.get(parent), b = lf.pts.get(child);
  // Without a stored offset the bend lies on the midpoint: one stroke, and no bend point to work out.
  if (!lf.editing && zeroOffset(handleOffset([parent, child], 'singleBend'))) {
    smoothStroke(lf, a, b, color);
    return;
  }
  const mid = screenMid(a, b);
  const bend = adjustedPoint(mid, [parent, child], 'singleBend', worldMid(worldOf(lf, parent), worldOf(lf, child)));
  if (!lf.editing && Math.abs(bend.x - mid.x) < 0.01 && Math.abs(bend.y - mid.y) < 0.01) {
    smoothStroke(lf, a, b, color);
    return;
  }
  smoothStroke(lf, a, bend, color, 0.94);
  smoothStroke(lf, bend, b, color, 0.94);
}

// The line from a couple's fork (or row feeder) to one of their children, through its bend handle.
function editableChildLine(lf, from, parents, child) {
  const b = lf.pts.get(child);
  const color = lineColourOf(child);
  if (!lf.layout.get(parents[0]) || !lf.layout.get(child)) { smoothStroke(lf, from, b, color); return; }
  const ids = [parents[0], parents[1], child];
  const off = handleOffset(ids, 'childBend');
  if (!lf.editing && Math.abs(off.x) + Math.abs(off.y) + Math.abs(off.z) < 0.001) {
    smoothStroke(lf, from, b, color);
    return;
  }
  const mid = screenMid(from, b);
  const bend = adjustedPoint(mid, ids, 'childBend', worldMid(worldOf(lf, parents[0]), worldOf(lf, child)));
  smoothStroke(lf, from, bend, color, 0.95);
  smoothStroke(lf, bend, b, color, 0.95);
}

// Strokes the batched 2D lines, one stroke per style, then the junction dots over them.
function flushLineBatches(lf) {
  const g = lf.g;
  g.lineCap = 'round';
  g.lineJoin = 'round';
  for (const batch of lf.batches.values()) {
    g.globalAlpha = batch.alpha;
    g.strokeStyle = batch.color;
    g.lineWidth = batch.width;
    g.setLineDash(batch.dashed ? [3, 6] : []);
    g.stroke(batch.path);
  }
  g.setLineDash([]);
  for (const d of lf.dots) {
    g.globalAlpha = d.alpha;
    g.fillStyle = d.color;
    g.beginPath();
    g.arc(d.x, d.y, d.radius, 0, Math.PI * 2);
    g.fill();
  }
  g.globalAlpha = 1;
}
