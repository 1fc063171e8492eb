// 3D depth queue: family-line pieces and lights waiting to be painted between the orbs, so that a line
// behind an orb disappears behind it and a line in front of it passes over it. Also the cubic-curve
// arithmetic the painters share.
// Owns: depthCurves, depthCursor, depthPool, depthPoolUsed, depthStyles, lastDepthStyle, depthOpen, depthStore,
// depthGrid, depthRound, depthNear, depthNearEnd, depthGaps, curveAt.

// Entries of the current paint: curve pieces {depth, x0, y0, x1, y1, qx1, qy1, qx2, qy2, color, alpha, width,
// dashed, style} and lights {particle: true, depth, x, y, radius, color, alpha, glow}.
let depthCurves = [];
let depthCursor = 0;
// Entry records reused from paint to paint (a 3D frame queues thousands), and how many this paint took.
const depthPool = [];
let depthPoolUsed = 0;

function resetDepthQueue() {
  depthCurves = [];
  depthCursor = 0;
  depthPoolUsed = 0;
  depthStyles = new Map();
  lastDepthStyle = null;
  depthNearEnd = 0;
  depthOpen.count = 0;
  depthStore.count = 0;
}

// A queue entry record of one shape for pieces and lights, taken from the pool.
function depthEntry() {
  if (depthPoolUsed < depthPool.length) return depthPool[depthPoolUsed++];
  const e = {
    particle: false, depth: 0, x0: 0, y0: 0, x1: 0, y1: 0, qx1: 0, qy1: 0, qx2: 0, qy2: 0,
    color: '', alpha: 1, width: 1, dashed: false, style: null, x: 0, y: 0, radius: 0, glow: false, near: -1,
  };
  depthPool.push(e);
  depthPoolUsed++;
  return e;
}

function bezierAt(a, c1, c2, b, t) {
  const u = 1 - t;
  const k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
  return { x: k0 * a.x + k1 * c1.x + k2 * c2.x + k3 * b.x, y: k0 * a.y + k1 * c1.y + k2 * c2.y + k3 * b.y };
}

function bezierSlope(a, c1, c2, b, t) {
  const u = 1 - t;
  const k0 = 3 * u * u, k1 = 6 * u * t, k2 = 3 * t * t;
  return {
    x: k0 * (c1.x - a.x) + k1 * (c2.x - c1.x) + k2 * (b.x - c2.x),
    y: k0 * (c1.y - a.y) + k1 * (c2.y - c1.y) + k2 * (b.y - c2.y),
  };
}

// The depths of this paint's orbs, farthest first, while the link layer queues its curves (null otherwise).
let depthGaps = null;

function setDepthGaps(orbDepths) {
  depthGaps = orbDepths;
}

// The gap between orbs an entry of depth d is painted in: the number of orbs farther than it, searched
// between the gaps lo and hi.
function depthGapOf(orbDepths, d, lo = 0, hi = orbDepths.length) {
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (d >= orbDepths[mid]) hi = mid; else lo = mid + 1;
  }
  return lo;
}

// The points and slopes of the curve being queued at t = 0, 1/8, ..., 1.
const curveAt = { x: new Float64Array(9), y: new Float64Array(9), kx: new Float64Array(9), ky: new Float64Array(9) };

// In 3D splits the curve into eight exact pieces, each at the depth of its middle, and answers true; in
// 2D answers false and the caller strokes the curve itself. Consecutive pieces whose middles fall between
// the same two orbs are painted at the same moment, so they are queued as one exact piece of the curve (at
// the depth of its middle, which lies between the same two orbs); only a dashed curve keeps its eight
// pieces, whose dash patterns start anew.
function queueCurve(a, c1, c2, b, color, alpha, width, dashed) {
  if (!mode3) return false;
  const da = finiteNumber(a.depth), db = finiteNumber(b.depth);
  const dash = !!dashed;
  const style = depthStyle(color, alpha, width, dash);
  const ax = a.x, ay = a.y, cx1 = c1.x, cy1 = c1.y, cx2 = c2.x, cy2 = c2.y, bx = b.x, by = b.y;
  const near = nearHolesOfCurve(ax, ay, cx1, cy1, cx2, cy2, bx, by);
  const { x, y, kx, ky } = curveAt;
  for (let i = 0; i <= 8; i++) {
    const t = i / 8, u = 1 - t;
    const k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
    x[i] = i === 0 ? ax : i === 8 ? bx : k0 * ax + k1 * cx1 + k2 * cx2 + k3 * bx;
    y[i] = i === 0 ? ay : i === 8 ? by : k0 * ay + k1 * cy1 + k2 * cy2 + k3 * by;
    const s0 = 3 * u * u, s1 = 6 * u * t, s2 = 3 * t * t;
    kx[i] = s0 * (cx1 - ax) + s1 * (cx2 - cx1) + s2 * (bx - cx2);
    ky[i] = s0 * (cy1 - ay) + s1 * (cy2 - cy1) + s2 * (by - cy2);
  }
  const gaps = dash ? null : depthGaps;
  let from = 0, gap = gaps ? depthGapOf(gaps, da * (1 - 1 / 16) + db / 16) : -1;
  for (let i = 1; i <= 8; i++) {
    let next = -1;
    if (i < 8 && gaps) {
      const m = (i + 0.5) / 8;
      next = depthGapOf(gaps, da * (1 - m) + db * m);
      if (next === gap) continue;
    }
    // The piece from t = from/8 to i/8.
    const d = (i - from) / 8, m = (from + i) / 16;
    const e = depthEntry();
    e.particle = false;
    e.depth = da * (1 - m) + db * m;
    e.x0 = x[from]; e.y0 = y[from]; e.x1 = x[i]; e.y1 = y[i];
    e.qx1 = x[from] + kx[from] * d / 3; e.qy1 = y[from] + ky[from] * d / 3;
    e.qx2 = x[i] - kx[i] * d / 3; e.qy2 = y[i] - ky[i] * d / 3;
    e.color = color; e.alpha = alpha; e.width = width; e.dashed = dash; e.style = style;
    e.near = near;
    depthCurves.push(e);
    from = i;
    gap = next;
  }
  return true;
}

function queueLight(x, y, depth, radius, color, alpha, glow) {
  const e = depthEntry();
  e.particle = true;
  e.depth = finiteNumber(depth);
  e.x = x; e.y = y; e.radius = radius; e.color = color; e.alpha = alpha; e.glow = glow;
  e.style = null;
  e.near = -1;
  depthCurves.push(e);
}

// The holes a curve may run into, looked up once for its eight pieces: the holes (painted or not) that reach
// into the box of its four points and come near its hull (as in `paintedHolesOnPiece`). They are kept in
// depthNear as a count followed by the holes' numbers in the hole grid, and the curve's pieces keep where
// the count stands; -1 when there is no hole grid or too many holes for a short list, and each piece then
// looks in the grid itself.
const depthNear = [];
// Where the lists of this paint end in depthNear: the list keeps its length from paint to paint.
let depthNearEnd = 0;
const curveHull = { x0: 0, y0: 0, x1: 0, y1: 0 };
function nearHolesOfCurve(ax, ay, cx1, cy1, cx2, cy2, bx, by) {
  if (!maskGrid) return -1;
  const near = depthNear, at = depthNearEnd;
  near[at] = 0;
  const found = holeNumbersInBox(Math.min(ax, cx1, cx2, bx), Math.min(ay, cy1, cy2, by), Math.max(ax, cx1, cx2, bx), Math.max(ay, cy1, cy2, by), near, at + 1, false, 64);
  let kept = 0;
  if (found > 0) {
    const chord = curveHull, { x, y, r } = holeData;
    chord.x0 = ax; chord.y0 = ay; chord.x1 = bx; chord.y1 = by;
    const spread = Math.sqrt(Math.max(chordDistance2(chord, cx1, cy1), chordDistance2(chord, cx2, cy2)));
    for (let i = at + 1, end = at + 1 + found; i < end; i++) {
      const k = near[i], reach = r[k] + spread + 1e-6;
      if (chordDistance2(chord, x[k], y[k]) < reach * reach) near[at + 1 + kept++] = k;
    }
  }
  if (found < 0 || kept > 24) return -1;
  near[at] = kept;
  depthNearEnd = at + 1 + kept;
  return at;
}

// Farthest first; the sort is stable, so equal depths keep their submission order. Given the orbs' depths,
// farthest first, the entries are first put into the gaps between consecutive orbs, where they will be
// painted (a counting sort), and only each gap's few entries are sorted: the same order for far less work.
function sortDepthQueue(orbDepths) {
  depthCursor = 0;
  const n = depthCurves.length, m = orbDepths ? orbDepths.length : 0;
  if (n < 64 || !m) {
    depthCurves.sort((p, q) => q.depth - p.depth);
    return;
  }
  // An entry's gap is the number of orbs farther than it. The eight pieces of a curve come one after the
  // other with depths a step apart, so the search starts from the gap of the entry before: it first
  // gallops from there to bracket the answer, then halves the bracket.
  const gap = new Int32Array(n), start = new Int32Array(m + 2);
  let last = 0;
  for (let i = 0; i < n; i++) {
    const d = depthCurves[i].depth;
    let lo = last, hi = last;
    if (last < m && !(d >= orbDepths[last])) {
      // Farther than the entry before: the gap lies above `last`.
      lo = last + 1;
      hi = m;
      for (let step = 1; lo < m; step *= 2) {
        const probe = Math.min(m - 1, last + step);
        if (d >= orbDepths[probe]) { hi = probe; break; }
        lo = probe + 1;
        if (probe === m - 1) break;
      }
    } else if (last > 0 && d >= orbDepths[last - 1]) {
      // Nearer: the gap lies below `last`.
      lo = 0;
      hi = last - 1;
      for (let step = 1; hi > 0; step *= 2) {
        const probe = Math.max(0, last - 1 - step);
        if (!(d >= orbDepths[probe])) { lo = probe + 1; break; }
        hi = probe;
        if (probe === 0) break;
      }
    }
    gap[i] = last = depthGapOf(orbDepths, d, lo, hi);
    start[last + 1]++;
  }
  for (let k = 1; k <= m + 1; k++) start[k] += start[k - 1];
  const sorted = new Array(n), fill = start.slice();
  for (let i = 0; i < n; i++) sorted[fill[gap[i]]++] = depthCurves[i];
  for (let k = 0; k <= m; k++) sortRun(sorted, start[k], start[k + 1]);
  depthCurves = sorted;
}

// Sorts list[from, to) by depth, farthest first, keeping equal depths in order.
function sortRun(list, from, to) {
  if (to - from > 32) {
    const run = list.slice(from, to).sort((p, q) => q.depth - p.depth);
    for (let i = 0; i < run.length; i++) list[from + i] = run[i];
    return;
  }
  for (let i = from + 1; i < to; i++) {
    const e = list[i];
    let j = i - 1;
    while (j >= from && list[j].depth < e.depth) { list[j + 1] = list[j]; j--; }
    list[j + 1] = e;
  }
}

// The screen box an entry may paint into, in entryBox: the curve lies inside the hull of its four points, a
// light within its reach.
const entryBox = [0, 0, 0, 0];

function setEntryBox(e) {
  if (e.particle) {
    const reach = lightReach(e);
    entryBox[0] = e.x - reach; entryBox[1] = e.y - reach; entryBox[2] = e.x + reach; entryBox[3] = e.y + reach;
    return;
  }
  const pad = e.width / 2 + 1;
  entryBox[0] = Math.min(e.x0, e.x1, e.qx1, e.qx2) - pad;
  entryBox[1] = Math.min(e.y0, e.y1, e.qy1, e.qy2) - pad;
  entryBox[2] = Math.max(e.x0, e.x1, e.qx1, e.qx2) + pad;
  entryBox[3] = Math.max(e.y0, e.y1, e.qy1, e.qy2) + pad;
}

// How far from its centre a light paints: its disc, and with glow the shadow (blur 12), which fades out 14
// pixels beyond the disc.
function lightReach(e) {
  return e.radius + (e.glow ? 15 : 1);
}

// The parameter spans [t0, t1, t0, t1, ...] of a piece that the given holes leave visible, in order. A piece with both ends in one hole is hidden. A piece that passes through a hole is cut
// as the edge mask, which clips with the even-odd rule, would cut it: a point is hidden when it lies in an
// odd number of holes, so where the holes of two orbs overlap, lines show again. Otherwise the piece is cut
// back to the edges of the holes its ends lie in. The piece is sampled at most min(r / 2, 4) pixels of
// curve apart, so it cannot slip through a hole between two samples, and each crossing is found by
// bisection to a fiftieth of a pixel.
function outsideSpans(e, holes) {
  return spanList.slice(0, visibleSpans(e, holes, holes.length));
}

// The same spans for the first `count` holes, written into spanList; answers how many numbers were written. The scratch lists keep
// their length from piece to piece (emptying a list gives up its storage, and the next piece would
// allocate it again); only the first entries up to the count in use are this piece's.
const spanCuts = [], spanList = [];
function visibleSpans(e, holes, count) {
  const cuts = spanCuts, spans = spanList;
  let n = 0, through = false;
  for (let h = 0; h < count; h++) {
    const c = holes[h], r2 = c.r * c.r;
    if ((e.x0 - c.x) ** 2 + (e.y0 - c.y) ** 2 < r2 && (e.x1 - c.x) ** 2 + (e.y1 - c.y) ** 2 < r2) return 0;
    const from = n;
    n = holeSpans(e, c, cuts, n);
    for (let i = from; i < n && !through; i += 2) through = cuts[i] > 0 && cuts[i + 1] < 1;
  }
  if (!n) { spans[0] = 0; spans[1] = 1; return 2; }
  if (!through) {
    let t0 = 0, t1 = 1;
    for (let i = 0; i < n; i += 2) {
      if (cuts[i] === 0) t0 = Math.max(t0, cuts[i + 1]); else t1 = Math.min(t1, cuts[i]);
    }
    if (!(t0 < t1)) return 0;
    spans[0] = t0; spans[1] = t1;
    return 2;
  }
  // Every entry into or exit from a hole flips whether the piece is hidden (a piece meets few holes, so
  // its crossings are put in order by insertion).
  for (let i = 1; i < n; i++) {
    const t = cuts[i];
    let j = i - 1;
    while (j >= 0 && cuts[j] > t) { cuts[j + 1] = cuts[j]; j--; }
    cuts[j + 1] = t;
  }
  let hidden = false, from = 0, m = 0;
  for (let i = 0; i < n; i++) {
    const t = cuts[i];
    if (hidden) from = t;
    else if (t > from) { spans[m++] = from; spans[m++] = t; }
    hidden = !hidden;
  }
  if (!hidden && from < 1) { spans[m++] = from; spans[m++] = 1; }
  return m;
}

// Writes into `out` from position `at` the parameter spans in which the piece runs inside the circle c;
// answers the position after them. The speed of a cubic is at most three times its longest control leg,
// which bounds the curve length between samples.
function holeSpans(e, c, out, at) {
  const leg2 = Math.max((e.qx1 - e.x0) ** 2 + (e.qy1 - e.y0) ** 2, (e.qx2 - e.qx1) ** 2 + (e.qy2 - e.qy1) ** 2, (e.x1 - e.qx2) ** 2 + (e.y1 - e.qy2) ** 2);
  const speed = 3 * Math.sqrt(leg2);
  const n = Math.min(1024, Math.max(2, Math.ceil(speed / Math.min(c.r / 2, 4))));
  let before = 0, was = insideHole(e, c, 0), from = 0;
  for (let k = 1; k <= n; k++) {
    const t = k / n;
    const now = insideHole(e, c, t);
    if (now !== was) {
      const edge = was ? circleCrossing(e, c, before, t, speed) : circleCrossing(e, c, t, before, speed);
      if (now) from = edge; else { out[at++] = from; out[at++] = edge; }
      was = now;
    }
    before = t;
  }
  if (was) { out[at++] = from; out[at++] = 1; }
  return at;
}

function insideHole(e, c, t) {
  const u = 1 - t;
  const k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
  const dx = k0 * e.x0 + k1 * e.qx1 + k2 * e.qx2 + k3 * e.x1 - c.x, dy = k0 * e.y0 + k1 * e.qy1 + k2 * e.qy2 + k3 * e.y1 - c.y;
  return dx * dx + dy * dy < c.r * c.r;
}

// The parameter where the piece crosses the circle, between a parameter inside and one outside it, on the
// outside of the edge.
function circleCrossing(e, c, inside, outside, speed = Infinity) {
  for (let i = 0; i < 24 && Math.abs(outside - inside) * speed > 0.02; i++) {
    const mid = (inside + outside) / 2;
    if (insideHole(e, c, mid)) inside = mid; else outside = mid;
  }
  return outside;
}

// The part of a piece between two parameters, as a piece of its own (de Casteljau).
function subPiece(e, t0, t1) {
  return cutPiece(e, t0, t1, { ...e });
}

// Writes into `out` the coordinates of the part of a piece between two parameters; answers `out`.
function cutPiece(e, t0, t1, out) {
  const d = t1 - t0;
  const x0 = e.x0, y0 = e.y0, qx1 = e.qx1, qy1 = e.qy1, qx2 = e.qx2, qy2 = e.qy2, x1 = e.x1, y1 = e.y1;
  let u = 1 - t0, t = t0;
  const ax = u * u * u * x0 + 3 * u * u * t * qx1 + 3 * u * t * t * qx2 + t * t * t * x1;
  const ay = u * u * u * y0 + 3 * u * u * t * qy1 + 3 * u * t * t * qy2 + t * t * t * y1;
  const kax = 3 * u * u * (qx1 - x0) + 6 * u * t * (qx2 - qx1) + 3 * t * t * (x1 - qx2);
  const kay = 3 * u * u * (qy1 - y0) + 6 * u * t * (qy2 - qy1) + 3 * t * t * (y1 - qy2);
  u = 1 - t1; t = t1;
  const bx = u * u * u * x0 + 3 * u * u * t * qx1 + 3 * u * t * t * qx2 + t * t * t * x1;
  const by = u * u * u * y0 + 3 * u * u * t * qy1 + 3 * u * t * t * qy2 + t * t * t * y1;
  const kbx = 3 * u * u * (qx1 - x0) + 6 * u * t * (qx2 - qx1) + 3 * t * t * (x1 - qx2);
  const kby = 3 * u * u * (qy1 - y0) + 6 * u * t * (qy2 - qy1) + 3 * t * t * (y1 - qy2);
  out.x0 = ax; out.y0 = ay; out.x1 = bx; out.y1 = by;
  out.qx1 = ax + kax * d / 3; out.qy1 = ay + kay * d / 3; out.qx2 = bx - kbx * d / 3; out.qy2 = by - kby * d / 3;
  return out;
}

// The parts of cut pieces are written here in turn and gathered at once.
const cutScratch = { x0: 0, y0: 0, x1: 0, y1: 0, qx1: 0, qy1: 0, qx2: 0, qy2: 0, style: null, color: '', alpha: 1, width: 1, dashed: false };

// A piece cut back to the edges of the given holes where it starts or ends inside one, which hides it
// there as the edge mask would: the piece itself when the holes leave it whole, null when nothing of it
// remains, undefined when it passes through a hole and falls into several parts (`outsideSpans`).
function trimmedPiece(e, holes) {
  const spans = outsideSpans(e, holes);
  if (!spans.length) return null;
  if (spans.length > 2) return undefined;
  return spans[0] === 0 && spans[1] === 1 ? e : subPiece(e, spans[0], spans[1]);
}

// Painting. Entries are taken from the queue in depth order as the orbs are reached (`flushDepthQueue`) and
// gathered into open paths, one per line style where the order allows it; the open paths are stroked, in
// the order they were opened, only when an orb is about to paint where they run (`settleDepthQueue`) and at
// the end. A gathered piece joins the newest open path of its style unless a later opened path already
// runs in one of its cells, so wherever two lines, or a line and an orb, meet, the one nearer the viewer
// is painted last, in the same order as entry by entry; only the number of strokes shrinks (pieces of one
// stroke that overlap each other are covered once, as in the batched 2D strokes).

// Line styles of the current paint by colour (a list per colour), alpha, width and dash: {color, alpha,
// width, dashed, path, round}, where `path` is the index of the style's newest open path while `round`
// equals depthRound.
let depthStyles = new Map();
// The open paths, by index in the order they were opened: a line style with its gathered pieces (a list
// through depthStore from `head` to `tail`), or one light with its mask.
const depthOpen = { count: 0, style: [], light: [], mask: [], head: new Int32Array(256), tail: new Int32Array(256) };
// The gathered pieces: eight coordinates each (start, two control points, end) and the next piece of the
// same path, or -1.
// A piece that starts where the path's previous piece ended (the next piece of the same undashed curve)
// continues its subpath (`joined`): one stroke paints the same union either way, with less to outline.
const depthStore = { count: 0, xy: new Float64Array(8 * 4096), next: new Int32Array(4096), joined: new Uint8Array(4096) };
// The cells that open paths run in: the index of the newest open path per cell, valid while the cell's
// round equals depthRound. The grid covers the canvas.
const depthGrid = { cell: 32, cols: 0, rows: 0, newest: new Int32Array(0), round: new Int32Array(0) };
let depthRound = 1;

let lastDepthStyle = null;

// The styles are kept by colour, each colour's few styles in a list, so that finding one builds no key.
function depthStyle(color, alpha, width, dashed) {
  const last = lastDepthStyle;
  if (last && last.color === color && last.alpha === alpha && last.width === width && last.dashed === dashed) return last;
  let list = depthStyles.get(color);
  if (!list) depthStyles.set(color, list = []);
  let style = null;
  for (let i = 0; i < list.length && !style; i++) {
    const s = list[i];
    if (s.alpha === alpha && s.width === width && s.dashed === dashed) style = s;
  }
  if (!style) {
    style = { color, alpha, width, dashed, path: -1, round: 0 };
    list.push(style);
  }
  lastDepthStyle = style;
  return style;
}

// Sizes the grid of open paths for this paint: cells as wide as the cells of the orbs' holes.
function prepareDepthGrid(cell) {
  const grid = depthGrid;
  grid.cell = cell;
  grid.cols = Math.max(1, Math.ceil(w / cell) + 1);
  grid.rows = Math.max(1, Math.ceil(h / cell) + 1);
  const n = grid.cols * grid.rows;
  if (grid.round.length < n) {
    grid.newest = new Int32Array(n);
    grid.round = new Int32Array(n);
    depthRound = 1;
  }
  depthRound++;
  depthOpen.count = 0;
  depthStore.count = 0;
}

// Gathers the queued entries at least as far away as `limit` into open paths, in depth order, and with
// limit -Infinity strokes everything. The entries lie behind every orb still to come, which will cover
// them, so only the orbs already painted must be kept clear: a piece is cut at the edges of their holes
// (exactly, also where it passes through one), and a light near one is painted inside a mask of just
// those holes bounded by its own box.
function flushDepthQueue(g, limit, masking) {
  const start = depthCursor;
  let end = start;
  while (end < depthCurves.length && depthCurves[end].depth >= limit) end++;
  depthCursor = end;
  const holes = flushHoles;
  const box = entryBox;
  for (let i = start; i < end; i++) {
    const e = depthCurves[i];
    setEntryBox(e);
    // Nothing of an entry wholly off the canvas would show.
    if (box[2] < 0 || box[0] > w || box[3] < 0 || box[1] > h) continue;
    if (e.particle) {
      const n = masking ? holesNearLight(e, holes, paintedHolesInBox(box[0], box[1], box[2], box[3], holes)) : 0;
      openDepthLight(e, n ? partialMask(holes, n) : null);
      continue;
    }
    const n = masking ? paintedHolesOnPiece(e, holes) : 0;
    if (!n) { gatherPiece(e); continue; }
    const m = visibleSpans(e, holes, n), spans = spanList;
    if (m === 2 && spans[0] === 0 && spans[1] === 1) { gatherPiece(e); continue; }
    const cut = cutScratch;
    cut.style = e.style; cut.color = e.color; cut.alpha = e.alpha; cut.width = e.width; cut.dashed = e.dashed;
    for (let k = 0; k < m; k += 2) gatherPiece(cutPiece(e, spans[k], spans[k + 1], cut));
    cut.style = null;
  }
  if (limit === -Infinity) strokeDepthPaths(g);
}

// The holes a piece or light is checked against, a scratch list: the first entries up to the count in use
// are the current entry's.
const flushHoles = [];

// Keeps, of the first n holes, those that come within the light's reach (the reach of its box, as a
// circle); answers how many. Only those need a mask.
function holesNearLight(e, holes, n) {
  const light = lightReach(e);
  let kept = 0;
  for (let i = 0; i < n; i++) {
    const c = holes[i], reach = c.r + light;
    if ((c.x - e.x) ** 2 + (c.y - e.y) ** 2 < reach * reach) holes[kept++] = c;
  }
  return kept;
}

// Writes into `into` the holes of painted orbs that the piece (inside entryBox) runs into; answers how
// many. A hole may only cut the piece where its circle meets the hull of the piece's four points: the hull
// lies within `spread` of the chord from start to end (the control points' largest distance from it), so a
// circle farther from the chord than its radius plus that spread leaves the piece whole. Most holes near a
// piece only touch its box.
function paintedHolesOnPiece(e, into) {
  let n = 0;
  if (e.near >= 0) {
    const near = depthNear, x0 = entryBox[0], y0 = entryBox[1], x1 = entryBox[2], y1 = entryBox[3];
    const { x, y, r, painted } = holeData;
    for (let i = e.near + 1, end = e.near + 1 + near[e.near]; i < end; i++) {
      const k = near[i];
      if (!painted[k]) continue;
      const hx = x[k], hy = y[k];
      const dx = hx < x0 ? x0 - hx : hx > x1 ? hx - x1 : 0, dy = hy < y0 ? y0 - hy : hy > y1 ? hy - y1 : 0;
      if (dx * dx + dy * dy < r[k] * r[k]) into[n++] = maskGrid.holes[k];
    }
  } else {
    n = paintedHolesInBox(entryBox[0], entryBox[1], entryBox[2], entryBox[3], into);
  }
  if (!n) return 0;
  const spread = Math.sqrt(Math.max(chordDistance2(e, e.qx1, e.qy1), chordDistance2(e, e.qx2, e.qy2)));
  let kept = 0;
  for (let i = 0; i < n; i++) {
    const c = into[i], reach = c.r + spread + 1e-6;
    if (chordDistance2(e, c.x, c.y) < reach * reach) into[kept++] = c;
  }
  return kept;
}

// The square of the distance of a point from the segment between a piece's start and end.
function chordDistance2(e, x, y) {
  const vx = e.x1 - e.x0, vy = e.y1 - e.y0;
  const wx = x - e.x0, wy = y - e.y0;
  const len2 = vx * vx + vy * vy;
  const t = len2 > 0 ? Math.max(0, Math.min(1, (wx * vx + wy * vy) / len2)) : 0;
  const dx = wx - t * vx, dy = wy - t * vy;
  return dx * dx + dy * dy;
}

// The grid cells of entryBox, clipped to the grid: [c0, r0, c1, r1].
const boxCells = [0, 0, 0, 0];

function setBoxCells(x0, y0, x1, y1) {
  const grid = depthGrid;
  boxCells[0] = Math.max(0, Math.floor(x0 / grid.cell));
  boxCells[1] = Math.max(0, Math.floor(y0 / grid.cell));
  boxCells[2] = Math.min(grid.cols - 1, Math.floor(x1 / grid.cell));
  boxCells[3] = Math.min(grid.rows - 1, Math.floor(y1 / grid.cell));
}

// The newest open path running in the cells, or -1.
function newestInCells() {
  const { cols, newest, round } = depthGrid;
  let top = -1;
  for (let cy = boxCells[1]; cy <= boxCells[3]; cy++) {
    for (let cx = boxCells[0], k = cy * cols + cx; cx <= boxCells[2]; cx++, k++) {
      if (round[k] === depthRound && newest[k] > top) top = newest[k];
    }
  }
  return top;
}

function markCells(index) {
  const { cols, newest, round } = depthGrid;
  for (let cy = boxCells[1]; cy <= boxCells[3]; cy++) {
    for (let cx = boxCells[0], k = cy * cols + cx; cx <= boxCells[2]; cx++, k++) {
      if (round[k] !== depthRound) { round[k] = depthRound; newest[k] = index; } else if (newest[k] < index) newest[k] = index;
    }
  }
}

// A typed array twice as long holding the same values first.
function doubled(array) {
  const out = new array.constructor(array.length * 2);
  out.set(array);
  return out;
}

// Adds a piece (inside entryBox) to the newest open path of its style, or opens a new one when a later
// path already runs where the piece does.
function gatherPiece(e) {
  const style = e.style || depthStyle(e.color, e.alpha, e.width, e.dashed);
  setBoxCells(entryBox[0], entryBox[1], entryBox[2], entryBox[3]);
  const open = depthOpen;
  let index = style.round === depthRound ? style.path : -1;
  // No path opened after the newest one can run in the piece's cells.
  if (index < 0 || (index < open.count - 1 && newestInCells() > index)) {
    index = openPath(style, null, null);
    style.path = index;
    style.round = depthRound;
  }
  const store = depthStore;
  if (store.count === store.next.length) {
    store.xy = doubled(store.xy);
    store.next = doubled(store.next);
    store.joined = doubled(store.joined);
  }
  const k = store.count++, xy = store.xy, at = 8 * k;
  xy[at] = e.x0; xy[at + 1] = e.y0; xy[at + 2] = e.qx1; xy[at + 3] = e.qy1;
  xy[at + 4] = e.qx2; xy[at + 5] = e.qy2; xy[at + 6] = e.x1; xy[at + 7] = e.y1;
  store.next[k] = -1;
  const tail = open.tail[index];
  store.joined[k] = tail >= 0 && !style.dashed && xy[8 * tail + 6] === e.x0 && xy[8 * tail + 7] === e.y0 ? 1 : 0;
  if (open.head[index] < 0) open.head[index] = k; else store.next[tail] = k;
  open.tail[index] = k;
  markCells(index);
}

function openPath(style, light, mask) {
  const open = depthOpen;
  if (open.count === open.head.length) {
    open.head = doubled(open.head);
    open.tail = doubled(open.tail);
  }
  const index = open.count++;
  open.style[index] = style;
  open.light[index] = light;
  open.mask[index] = mask;
  open.head[index] = -1;
  open.tail[index] = -1;
  return index;
}

function openDepthLight(e, mask) {
  setBoxCells(entryBox[0], entryBox[1], entryBox[2], entryBox[3]);
  markCells(openPath(null, e, mask));
}

// Before an orb paints into the box [x0, y0, x1, y1] (null: anywhere; false: nowhere), strokes the open
// paths if any of them runs there, so that the orb covers them.
function settleDepthQueue(g, box) {
  if (!depthOpen.count || box === false) return;
  if (box) {
    setBoxCells(box[0], box[1], box[2], box[3]);
    if (boxCells[0] > boxCells[2] || boxCells[1] > boxCells[3] || newestInCells() < 0) return;
  }
  strokeDepthPaths(g);
}

// Strokes the open paths in the order they were opened, setting only the state that changes. Saving and
// restoring the whole context for every group would cost more than the painting, so only what the painting
// after it reads without setting is put back, where it changed: alpha, line caps and joins, shadow blur,
// and no dash. Colours and line width are set by every painter before use.
function strokeDepthPaths(g) {
  const open = depthOpen;
  if (!open.count) return;
  const { xy, next, joined } = depthStore;
  const alpha0 = g.globalAlpha, cap0 = g.lineCap, join0 = g.lineJoin, blur0 = g.shadowBlur;
  if (cap0 !== 'round') g.lineCap = 'round';
  if (join0 !== 'round') g.lineJoin = 'round';
  // No painter leaves a dash pattern set.
  let color = null, alpha = alpha0, width = NaN, dashed = false, lit = false;
  for (let i = 0; i < open.count; i++) {
    const light = open.light[i];
    if (light) {
      if (open.mask[i]) {
        g.save();
        g.clip(open.mask[i], 'evenodd');
        paintQueuedLight(g, light);
        g.restore();
      } else {
        paintQueuedLight(g, light);
        alpha = light.alpha;
        lit = true;
      }
      open.light[i] = open.mask[i] = null;
      continue;
    }
    const style = open.style[i];
    open.style[i] = null;
    if (style.alpha !== alpha) g.globalAlpha = alpha = style.alpha;
    if (style.color !== color) g.strokeStyle = color = style.color;
    if (style.width !== width) g.lineWidth = width = style.width;
    if (style.dashed !== dashed) g.setLineDash((dashed = style.dashed) ? [3, 6] : []);
    g.beginPath();
    for (let k = open.head[i]; k >= 0; k = next[k]) {
      const at = 8 * k;
      if (!joined[k]) g.moveTo(xy[at], xy[at + 1]);
      g.bezierCurveTo(xy[at + 2], xy[at + 3], xy[at + 4], xy[at + 5], xy[at + 6], xy[at + 7]);
    }
    g.stroke();
  }
  if (alpha !== alpha0) g.globalAlpha = alpha0;
  if (cap0 !== 'round') g.lineCap = cap0;
  if (join0 !== 'round') g.lineJoin = join0;
  // A light painted outside a mask leaves the shadow blur at 0.
  if (lit && blur0 !== 0) g.shadowBlur = blur0;
  if (dashed) g.setLineDash([]);
  open.count = 0;
  depthStore.count = 0;
  depthRound++;
}

function paintQueuedLight(g, e) {
  g.globalAlpha = e.alpha;
  g.fillStyle = e.color;
  if (e.glow) { g.shadowColor = e.color; g.shadowBlur = 12; }
  g.beginPath();
  g.arc(e.x, e.y, e.radius, 0, Math.PI * 2);
  g.fill();
  g.shadowBlur = 0;
}
