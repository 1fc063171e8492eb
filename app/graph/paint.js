// Graph painting: the frame loop with its timed repaints, the paint routine and its detailed renderer
// (edge mask, link layer, moving lights, orbs in depth order), and the pick list the pointer uses.
// Owns: hitNodes, paths, lastFullDraw, lastParticleFrame, edgeMask, maskGrid.

// Orbs painted by the last frame, in paint order (far to near in 3D): {id, x, y, r, scale}.
let hitNodes = [];
// Curves along which lights travel this frame: {a, c1, c2, b, color}, at most 620.
let paths = [];
let lastFullDraw = 0;
let lastParticleFrame = 0;
// The canvas rectangle with a hole around every orb; lines and lights are clipped to it (even-odd).
let edgeMask = null;
// The holes of the edge mask by 64-pixel cell ("cx,cy" → list of {x, y, r}), to find what may need it.
let maskGrid = new Map();

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
  maskGrid = new Map();
  clearHandleHits();
  resetDepthQueue();
  if (!count) { showNavigator(ids, new Map()); return; }
  if (count > 1100) { klnDrawDenseOverview(ids); return; }
  paintDetailed(g, ids, now);
}

const MASK_CELL = 64;

function maskCellKey(cx, cy) {
  return cx * 65536 + cy;
}

// The edge mask, and its holes by grid cell. A hole is {x, y, r, painted}; `painted` turns true once its
// orb has been painted, after which a line piece painted over it must keep out of it.
function buildEdgeMask(ids, pts, frame) {
  const mask = new Path2D();
  mask.rect(0, 0, w, h);
  frame.holes = new Map();
  for (const id of ids) {
    const s = pts.get(id), person = persons.get(id);
    if (!s || !person) continue;
    const sc = clamp(s.scale, 0.008, 5);
    const r = orbRadius(id, s, personOrbStyle(person), frame) + clamp(1.3 * sc + 2.2, 2.8, 7);
    if (s.x + r < 0 || s.x - r > w || s.y + r < 0 || s.y - r > h) continue;
    mask.moveTo(s.x + r, s.y);
    mask.arc(s.x, s.y, r, 0, Math.PI * 2);
    const hole = { x: s.x, y: s.y, r, painted: false };
    frame.holes.set(id, hole);
    for (let cx = Math.floor((s.x - r) / MASK_CELL); cx <= Math.floor((s.x + r) / MASK_CELL); cx++) {
      for (let cy = Math.floor((s.y - r) / MASK_CELL); cy <= Math.floor((s.y + r) / MASK_CELL); cy++) {
        const key = maskCellKey(cx, cy);
        const list = maskGrid.get(key);
        if (list) list.push(hole); else maskGrid.set(key, [hole]);
      }
    }
  }
  return mask;
}

// Adds to `into` the holes of already painted orbs that reach into the box; true when there is any.
function paintedHolesInBox(x0, y0, x1, y1, into) {
  let any = false;
  for (let cx = Math.floor(x0 / MASK_CELL); cx <= Math.floor(x1 / MASK_CELL); cx++) {
    for (let cy = Math.floor(y0 / MASK_CELL); cy <= Math.floor(y1 / MASK_CELL); cy++) {
      const list = maskGrid.get(maskCellKey(cx, cy));
      if (!list) continue;
      for (const c of list) {
        if (!c.painted) continue;
        const dx = Math.max(x0 - c.x, 0, c.x - x1), dy = Math.max(y0 - c.y, 0, c.y - y1);
        if (dx * dx + dy * dy < c.r * c.r) { into.add(c); any = true; }
      }
    }
  }
  return any;
}

// The edge mask reduced to the given holes inside a box [x0, y0, x1, y1] (clipped to the canvas).
function partialMask(holes, box) {
  const mask = new Path2D();
  const x0 = Math.max(0, Math.floor(box[0])), y0 = Math.max(0, Math.floor(box[1]));
  mask.rect(x0, y0, Math.max(0, Math.min(w, Math.ceil(box[2])) - x0), Math.max(0, Math.min(h, Math.ceil(box[3])) - y0));
  for (const c of holes) {
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
  g.save();
  g.clip(edgeMask, 'evenodd');
  refreshFrameColours();
  drawFamilyLinks(g, ids, layout, pts);
  paintLights(g, ids.length, now);
  g.restore();
  const order = ids.filter(id => pts.has(id));
  if (mode3) {
    order.sort((a, b) => pts.get(b).depth - pts.get(a).depth);
    sortDepthQueue();
  }
  reserveHighlightedLabels(g, pts, frame);
  for (const id of order) {
    const s = pts.get(id);
    if (mode3) flushDepthQueue(g, s.depth, true);
    paintDetailedOrb(g, id, s, frame);
    const hole = frame.holes.get(id);
    if (hole) hole.painted = true;
  }
  if (mode3) flushDepthQueue(g, -Infinity, true);
  if (linesEditing()) paintHandles(g);
  klnDrawHoveredFullName();
  showNavigator(ids, layout);
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
