// Graph painting: the frame loop with its timed repaints, the paint routine and its detailed renderer
// (edge mask, link layer, moving lights, orbs in depth order), and the pick list the pointer uses.
// Owns: hitNodes, paths, lastFullDraw, lastParticleFrame, edgeMask, maskGrid, holeLinks, holeData.

// Orbs painted by the last frame, in paint order (far to near in 3D): {id, x, y, r, scale}.
let hitNodes = [];
// Curves along which lights travel this frame: {a, c1, c2, b, color}, at most 620.
let paths = [];
let lastFullDraw = 0;
let lastParticleFrame = 0;
// The canvas rectangle with a hole around every orb; in 2D lines and lights are clipped to it (even-odd).
let edgeMask = null;
// In 3D, the holes of the orbs in a grid of square cells over the canvas and its margin, to find the
// few that a line piece or light may touch: {cell, left, top, cols, rows, holes}, the lists of holes per cell
// in holeLinks.
let maskGrid = null;

// The frame callback: keyboard panning, the timed repaint that keeps lights moving (less often for big
// scenes), and a paint when one was requested. The next frame is requested even if painting fails.
function animate(t) {
  try {
    stepKeyboardPan(t);
    const count = hitNodes.length;
    const veryLarge = count > 1400, large = count > 360;
    const gap = veryLarge && zoom < 0.17 ? 1100 : veryLarge ? (mode3 ? 440 : 340) : large ? (mode3 ? 135 : 85) : 42;
    const now = performance.now();
    if (now - lastParticleFrame > gap) {
      lastParticleFrame = now;
      if (persons.size && !document.hidden) renderNeeded = true;
    }
    draw();
  } finally {
    requestAnimationFrame(animate);
  }
}

// Paints the graph when a repaint was requested. Big 3D scenes are repainted at most every 16 to 29 ms
// while a pointer drag runs; the request then stays for a later frame.
function draw() {
  if (!renderNeeded) return;
  const now = performance.now();
  const ids = displayed();
  const count = ids.length;
  if (mode3 && count > 320 && mouseDrag && now - lastFullDraw < (count > 1100 ? 16 : count > 800 ? 29 : 18)) return;
  lastFullDraw = now;
  renderNeeded = false;
  const g = $('tree').getContext('2d');
  g.setTransform(device, 0, 0, device, 0, 0);
  g.clearRect(0, 0, w, h);
  hitNodes = [];
  paths = [];
  edgeMask = null;
  maskGrid = null;
  clearHandleHits();
  resetDepthQueue();
  if (!count) { showNavigator(ids, new Map()); return; }
  if (count > 1100) { klnDrawDenseOverview(ids); return; }
  paintDetailed(g, ids, now);
}

// The holes around the orbs by person id, and the edge mask made of them (in 2D, where the link layer is
// clipped by it; in 3D each line piece is kept out of the holes by the depth queue instead). A hole is
// {x, y, r, painted}; `painted` turns true once its orb has been painted, after which a line piece painted
// over it must keep out of it.
function buildEdgeMask(ids, pts, frame) {
  const mask = mode3 ? null : new Path2D();
  if (mask) mask.rect(0, 0, w, h);
  frame.holes = new Map();
  let reach = 0, sum = 0;
  for (const id of ids) {
    const s = pts.get(id), person = persons.get(id);
    if (!s || !person) continue;
    const sc = clamp(s.scale, 0.008, 5);
    const r = orbRadius(id, s, personOrbStyle(person), frame) + clamp(1.3 * sc + 2.2, 2.8, 7);
    if (s.x + r < 0 || s.x - r > w || s.y + r < 0 || s.y - r > h) continue;
    if (mask) {
      mask.moveTo(s.x + r, s.y);
      mask.arc(s.x, s.y, r, 0, Math.PI * 2);
    }
    frame.holes.set(id, { x: s.x, y: s.y, r, painted: false, number: -1 });
    reach = Math.max(reach, r);
    sum += r;
  }
  if (mode3) {
    maskGrid = holeGrid(reach, frame.holes.size ? sum / frame.holes.size : 0);
    for (const hole of frame.holes.values()) gridHole(maskGrid, hole);
  }
  return mask;
}

// The cells' lists of holes, kept from frame to frame: `head` is a cell's first link or -1, a link holds its
// hole (by number in the grid's `holes`) and the cell's next link or -1.
const holeLinks = { head: new Int32Array(4096), hole: new Int32Array(8192), next: new Int32Array(8192), count: 0 };
// The grid's holes by number, as the queries read them: centre, radius, painted (1) or not, and the stamp of
// the last query that met the hole.
const holeData = { x: new Float64Array(1024), y: new Float64Array(1024), r: new Float64Array(1024), painted: new Uint8Array(1024), stamp: new Int32Array(1024) };

// Cells about four mean hole radii wide, so that a query looks at few holes whether the orbs are dots in a
// far view or large discs close up. Every hole touches the canvas, so the grid covers the canvas widened by
// the largest radius. The grid holds every hole; a query skips those whose orb is not painted yet.
function holeGrid(reach, mean) {
  const cell = clamp(Math.round(4 * mean), 16, 128);
  const left = -reach, top = -reach;
  const cols = Math.max(1, Math.ceil((w + 2 * reach) / cell)), rows = Math.max(1, Math.ceil((h + 2 * reach) / cell));
  if (holeLinks.head.length < cols * rows) holeLinks.head = new Int32Array(cols * rows);
  holeLinks.head.fill(-1, 0, cols * rows);
  holeLinks.count = 0;
  // Every hole's stamp starts at 0 (gridHole), so the stamps of this frame's queries start again at 1.
  holeStamp = 0;
  return { cell, left, top, cols, rows, holes: [] };
}

// Marks a hole's orb as painted: from now on line pieces keep out of it.
function holePainted(hole) {
  hole.painted = true;
  if (hole.number >= 0) holeData.painted[hole.number] = 1;
}

function gridHole(grid, hole) {
  const { cell, left, top, cols, rows } = grid;
  const links = holeLinks, data = holeData;
  const c0 = Math.max(0, Math.floor((hole.x - hole.r - left) / cell)), c1 = Math.min(cols - 1, Math.floor((hole.x + hole.r - left) / cell));
  const r0 = Math.max(0, Math.floor((hole.y - hole.r - top) / cell)), r1 = Math.min(rows - 1, Math.floor((hole.y + hole.r - top) / cell));
  const number = grid.holes.length;
  grid.holes.push(hole);
  hole.number = number;
  if (number === data.x.length) growHoleData(data);
  data.x[number] = hole.x;
  data.y[number] = hole.y;
  data.r[number] = hole.r;
  data.painted[number] = hole.painted ? 1 : 0;
  data.stamp[number] = 0;
  if (links.count + (r1 - r0 + 1) * (c1 - c0 + 1) > links.next.length) growHoleLinks(links);
  const { head, next } = links, list = links.hole;
  for (let cy = r0; cy <= r1; cy++) {
    for (let cx = c0; cx <= c1; cx++) {
      const k = cy * cols + cx, link = links.count++;
      list[link] = number;
      next[link] = head[k];
      head[k] = link;
    }
  }
}

function growHoleData(data) {
  data.x = doubled(data.x);
  data.y = doubled(data.y);
  data.r = doubled(data.r);
  data.painted = doubled(data.painted);
  data.stamp = doubled(data.stamp);
}

// Room for at least 4096 more links, more than one hole covers: in 3D a hole's radius stays under 135
// pixels and a cell is at least 16 wide, so a hole meets at most 18 × 18 cells.
function growHoleLinks(links) {
  while (links.next.length < 2 * links.count + 4096) {
    links.hole = doubled(links.hole);
    links.next = doubled(links.next);
  }
}

// Writes into the list `into` the holes of already painted orbs that reach into the box, each once;
// answers how many. The lists are scratch kept from call to call (emptying a list gives up its storage):
// only their first entries up to the count are this call's.
const boxHoleNumbers = [];
function paintedHolesInBox(x0, y0, x1, y1, into) {
  const numbers = boxHoleNumbers;
  const found = holeNumbersInBox(x0, y0, x1, y1, numbers, 0, true, Infinity);
  for (let i = 0; i < found; i++) into[i] = maskGrid.holes[numbers[i]];
  return found;
}

// Writes into the list `into`, from position `at` on, the numbers of the holes (only those of painted orbs
// when `painted`) that reach into the box, each once, and answers how many; stops and answers -1 once more
// than `most` were found.
let holeStamp = 0;
function holeNumbersInBox(x0, y0, x1, y1, into, at, painted, most) {
  const grid = maskGrid;
  if (!grid) return 0;
  const { cell, left, top, cols, rows } = grid;
  const { head, hole, next } = holeLinks;
  const { x, y, r, stamp } = holeData;
  const marks = holeData.painted;
  const c0 = Math.max(0, Math.floor((x0 - left) / cell)), c1 = Math.min(cols - 1, Math.floor((x1 - left) / cell));
  const r0 = Math.max(0, Math.floor((y0 - top) / cell)), r1 = Math.min(rows - 1, Math.floor((y1 - top) / cell));
  const now = ++holeStamp;
  let found = 0;
  for (let cy = r0; cy <= r1; cy++) {
    for (let cx = c0; cx <= c1; cx++) {
      for (let link = head[cy * cols + cx]; link >= 0; link = next[link]) {
        const k = hole[link];
        if (stamp[k] === now || (painted && !marks[k])) continue;
        stamp[k] = now;
        const hx = x[k], hy = y[k];
        const dx = hx < x0 ? x0 - hx : hx > x1 ? hx - x1 : 0, dy = hy < y0 ? y0 - hy : hy > y1 ? hy - y1 : 0;
        if (dx * dx + dy * dy < r[k] * r[k]) {
          if (found === most) return -1;
          into[at + found++] = k;
        }
      }
    }
  }
  return found;
}

// The edge mask reduced to the first `count` of the given holes, those that reach into the box an entry
// paints into: the canvas with those holes cut out (even-odd). The outline is the canvas, not the box, so
// that no part of a hole that sticks out of the box is left open to what the entry paints there.
function partialMask(holes, count = holes.length) {
  const mask = new Path2D();
  mask.rect(0, 0, w, h);
  for (let i = 0; i < count; i++) {
    const c = holes[i];
    mask.moveTo(c.x + c.r, c.y);
    mask.arc(c.x, c.y, c.r, 0, Math.PI * 2);
  }
  return mask;
}

// The detailed renderer: lines and lights clipped around the orbs, then the orbs far to near (in 3D with
// the queued line pieces interleaved by depth), handles, the hover box and the navigator.
function paintDetailed(g, ids, now) {
  if (typeof getBranchState === 'function') getBranchState();
  const layout = buildLayout(ids);
  const pts = positionNodes(ids, layout);
  const frame = orbFrame(ids, now);
  frame.hits = hitNodes;
  edgeMask = buildEdgeMask(ids, pts, frame);
  // The orbs with points as {id, s}, in 3D farthest first (a stable sort: equal depths keep their order);
  // the link layer queues its curves knowing where their pieces fall between the orbs.
  const order = [];
  for (const id of ids) {
    const s = pts.get(id);
    if (s) order.push({ id, s });
  }
  const orbDepths = mode3 ? order.sort(fartherFirst).map(o => o.s.depth) : null;
  g.save();
  if (edgeMask) g.clip(edgeMask, 'evenodd');
  refreshFrameColours();
  setDepthGaps(orbDepths);
  drawFamilyLinks(g, ids, layout, pts);
  setDepthGaps(null);
  paintLights(g, ids.length, now);
  g.restore();
  if (mode3) sortDepthQueue(orbDepths);
  reserveHighlightedLabels(g, pts, frame);
  if (mode3) prepareDepthGrid(maskGrid.cell);
  for (const { id, s } of order) {
    if (mode3) {
      flushDepthQueue(g, s.depth, true);
      frame.look = orbLook(id, s, frame);
      settleDepthQueue(g, orbReachBox(frame.look, frame));
    }
    paintDetailedOrb(g, id, s, frame);
    const hole = frame.holes.get(id);
    if (hole) holePainted(hole);
  }
  if (mode3) flushDepthQueue(g, -Infinity, true);
  if (linesEditing()) paintHandles(g);
  klnDrawHoveredFullName();
  showNavigator(ids, layout);
}

// Orbs {id, s} farther first. The answer is a whole number: a difference of depths would make a new number
// object at every one of the sort's comparisons.
function fartherFirst(a, b) {
  return b.s.depth > a.s.depth ? 1 : b.s.depth < a.s.depth ? -1 : 0;
}

// Lights travelling along the registered paths, about one crossing every 3.2 s; fewer for big scenes and
// none while a very large tree is dragged.
function paintLights(g, count, now) {
  if (mouseDrag && count > 800) return;
  const time = now * 0.00031;
  const stride = Math.max(1, Math.ceil(paths.length / (count > 800 ? 35 : count > 320 ? 85 : 250)));
  const radius = Math.max(1.5, 2.55 * Math.sqrt(Math.max(0.12, zoom)));
  const tail = Math.max(1.2, 1.85 * Math.sqrt(Math.max(0.12, zoom)));
  const blur = count > 800 ? 2 : count > 320 ? 9 : 16;
  for (let i = 0; i < paths.length; i += stride) {
    const p = paths[i];
    const t = (time + 0.163 * i) % 1;
    const at = bezierAt(p.a, p.c1, p.c2, p.b, t);
    if (at.x < -95 || at.x > w + 95 || at.y < -95 || at.y > h + 95) continue;
    const color = p.color || monochromeLine();
    if (mode3) {
      queueLight(at.x, at.y, finiteNumber(p.a.depth) * (1 - t) + finiteNumber(p.b.depth) * t, radius, color, 0.91, true);
      continue;
    }
    g.globalAlpha = 0.9;
    g.fillStyle = color;
    g.shadowColor = color;
    g.shadowBlur = blur;
    g.beginPath();
    g.arc(at.x, at.y, radius, 0, Math.PI * 2);
    g.fill();
    g.shadowBlur = 0;
    const back = bezierAt(p.a, p.c1, p.c2, p.b, (t + 0.962) % 1);
    g.globalAlpha = 0.38;
    g.beginPath();
    g.arc(back.x, back.y, tail, 0, Math.PI * 2);
    g.fill();
  }
  g.globalAlpha = 1;
}

// The topmost orb whose pick circle holds the point (in 3D the nearest orb wins), else null.
function nearest(x, y) {
  for (let i = hitNodes.length - 1; i >= 0; i--) {
    const n = hitNodes[i];
    if ((n.x - x) * (n.x - x) + (n.y - y) * (n.y - y) < n.r * n.r) return n.id;
  }
  return null;
}

function coords(ev) {
  const rect = $('tree').getBoundingClientRect();
  return { x: ev.clientX - rect.left, y: ev.clientY - rect.top };
}
