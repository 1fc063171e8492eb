// 3D depth queue: family-line pieces and lights waiting to be painted between the orbs, so that a line
// behind an orb disappears behind it and a line in front of it passes over it. Also the cubic-curve
// arithmetic the painters share.
// Owns: depthCurves, depthCursor.

// Entries of the current paint: curve pieces {depth, x0, y0, x1, y1, qx1, qy1, qx2, qy2, color, alpha, width,
// dashed} and lights {particle: true, depth, x, y, radius, color, alpha, glow}.
let depthCurves = [];
let depthCursor = 0;

function resetDepthQueue() {
  depthCurves = [];
  depthCursor = 0;
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

// In 3D splits the curve into eight exact pieces, each at the depth of its middle, and answers true; in
// 2D answers false and the caller strokes the curve itself.
function queueCurve(a, c1, c2, b, color, alpha, width, dashed) {
  if (!mode3) return false;
  const da = finiteNumber(a.depth), db = finiteNumber(b.depth);
  const d = 1 / 8;
  let p0 = { x: a.x, y: a.y }, k0 = bezierSlope(a, c1, c2, b, 0);
  for (let i = 0; i < 8; i++) {
    const t1 = (i + 1) / 8;
    const p1 = i === 7 ? { x: b.x, y: b.y } : bezierAt(a, c1, c2, b, t1);
    const k1 = bezierSlope(a, c1, c2, b, t1);
    const m = (i + 0.5) / 8;
    depthCurves.push({
      depth: da * (1 - m) + db * m, x0: p0.x, y0: p0.y, x1: p1.x, y1: p1.y,
      qx1: p0.x + k0.x * d / 3, qy1: p0.y + k0.y * d / 3, qx2: p1.x - k1.x * d / 3, qy2: p1.y - k1.y * d / 3,
      color, alpha, width, dashed: !!dashed,
    });
    p0 = p1;
    k0 = k1;
  }
  return true;
}

function queueLight(x, y, depth, radius, color, alpha, glow) {
  depthCurves.push({ particle: true, depth: finiteNumber(depth), x, y, radius, color, alpha, glow });
}

// Farthest first; the sort is stable, so equal depths keep their submission order.
function sortDepthQueue() {
  depthCurves.sort((p, q) => q.depth - p.depth);
  depthCursor = 0;
}

// The screen box an entry may paint into: the curve lies inside the hull of its four points, a light's
// glow reaches about 12 pixels.
function entryBox(e) {
  if (e.particle) {
    const reach = e.radius + (e.glow ? 12 : 1);
    return [e.x - reach, e.y - reach, e.x + reach, e.y + reach];
  }
  const pad = e.width / 2 + 1;
  return [Math.min(e.x0, e.x1, e.qx1, e.qx2) - pad, Math.min(e.y0, e.y1, e.qy1, e.qy2) - pad,
    Math.max(e.x0, e.x1, e.qx1, e.qx2) + pad, Math.max(e.y0, e.y1, e.qy1, e.qy2) + pad];
}

function pieceAt(e, t) {
  const u = 1 - t;
  const k0 = u * u * u, k1 = 3 * u * u * t, k2 = 3 * u * t * t, k3 = t * t * t;
  return { x: k0 * e.x0 + k1 * e.qx1 + k2 * e.qx2 + k3 * e.x1, y: k0 * e.y0 + k1 * e.qy1 + k2 * e.qy2 + k3 * e.y1 };
}

// The parameter where the piece crosses the circle, between a parameter inside and one outside it.
function circleCrossing(e, c, inside, outside) {
  for (let i = 0; i < 14; i++) {
    const mid = (inside + outside) / 2;
    const p = pieceAt(e, mid);
    if ((p.x - c.x) * (p.x - c.x) + (p.y - c.y) * (p.y - c.y) < c.r * c.r) inside = mid; else outside = mid;
  }
  return outside;
}

// The part of a piece between two parameters, as a piece of its own (de Casteljau).
function subPiece(e, t0, t1) {
  const a = pieceAt(e, t0), b = pieceAt(e, t1);
  const d = t1 - t0;
  const slope = t => {
    const u = 1 - t;
    return {
      x: 3 * u * u * (e.qx1 - e.x0) + 6 * u * t * (e.qx2 - e.qx1) + 3 * t * t * (e.x1 - e.qx2),
      y: 3 * u * u * (e.qy1 - e.y0) + 6 * u * t * (e.qy2 - e.qy1) + 3 * t * t * (e.y1 - e.qy2),
    };
  };
  const ka = slope(t0), kb = slope(t1);
  return { ...e, x0: a.x, y0: a.y, x1: b.x, y1: b.y, qx1: a.x + ka.x * d / 3, qy1: a.y + ka.y * d / 3, qx2: b.x - kb.x * d / 3, qy2: b.y - kb.y * d / 3 };
}

// A piece that only starts or ends inside painted orbs' holes is cut back to their edges, which hides it
// there exactly as the edge mask would; null when nothing of it remains, undefined when it passes through
// a hole and needs the mask itself.
function trimmedPiece(e, holes) {
  let t0 = 0, t1 = 1;
  for (const c of holes) {
    const in0 = (e.x0 - c.x) * (e.x0 - c.x) + (e.y0 - c.y) * (e.y0 - c.y) < c.r * c.r;
    const in1 = (e.x1 - c.x) * (e.x1 - c.x) + (e.y1 - c.y) * (e.y1 - c.y) < c.r * c.r;
    if (in0 && in1) return null;
    if (!in0 && !in1) {
      // The hull touches the hole; the curve itself may pass it by.
      let near = false;
      for (let i = 1; i < 8 && !near; i++) {
        const p = pieceAt(e, i / 8);
        near = (p.x - c.x) * (p.x - c.x) + (p.y - c.y) * (p.y - c.y) < (c.r + e.width) * (c.r + e.width);
      }
      if (near) return undefined;
      continue;
    }
    if (in0) t0 = Math.max(t0, circleCrossing(e, c, 0, 1));
    else t1 = Math.min(t1, circleCrossing(e, c, 1, 0));
  }
  if (t0 >= t1) return null;
  return t0 === 0 && t1 === 1 ? e : subPiece(e, t0, t1);
}

// Paints the queued entries at least as far away as `limit` (everything when limit is -Infinity). They lie
// behind every orb still to come, which will cover them, so only the orbs already painted must be kept
// clear: pieces that start or end inside those orbs are trimmed, and the few that pass through one, and
// lights near one, are painted inside a mask of just those orbs' holes bounded by their own box. A clip by
// the whole edge mask for every group would cost far more than the painting. Neighbouring pieces of one
// style share a stroke.
function flushDepthQueue(g, limit, masking) {
  const start = depthCursor;
  let end = start;
  while (end < depthCurves.length && depthCurves[end].depth >= limit) end++;
  if (end === start) return;
  depthCursor = end;
  const free = [], masked = [], maskHoles = new Set();
  const box = [Infinity, Infinity, -Infinity, -Infinity];
  for (let i = start; i < end; i++) {
    const e = depthCurves[i];
    const holes = new Set();
    const b = masking ? entryBox(e) : null;
    if (!b || !paintedHolesInBox(b[0], b[1], b[2], b[3], holes)) { free.push(e); continue; }
    if (!e.particle) {
      const cut = trimmedPiece(e, holes);
      if (cut === null) continue;
      if (cut) { free.push(cut); continue; }
    }
    masked.push(e);
    for (const c of holes) maskHoles.add(c);
    box[0] = Math.min(box[0], b[0]); box[1] = Math.min(box[1], b[1]);
    box[2] = Math.max(box[2], b[2]); box[3] = Math.max(box[3], b[3]);
  }
  if (free.length) paintQueued(g, free, null);
  if (masked.length) paintQueued(g, masked, partialMask(maskHoles, box));
}

function paintQueued(g, list, mask) {
  g.save();
  if (mask) g.clip(mask, 'evenodd');
  g.lineCap = 'round';
  g.lineJoin = 'round';
  let i = 0;
  while (i < list.length) {
    const e = list[i];
    if (e.particle) {
      paintQueuedLight(g, e);
      i++;
      continue;
    }
    g.globalAlpha = e.alpha;
    g.strokeStyle = e.color;
    g.lineWidth = e.width;
    g.setLineDash(e.dashed ? [3, 6] : []);
    g.beginPath();
    let j = i;
    while (j < list.length) {
      const f = list[j];
      if (f.particle || f.color !== e.color || f.alpha !== e.alpha || f.width !== e.width || f.dashed !== e.dashed) break;
      g.moveTo(f.x0, f.y0);
      g.bezierCurveTo(f.qx1, f.qy1, f.qx2, f.qy2, f.x1, f.y1);
      j++;
    }
    g.stroke();
    i = j;
  }
  g.restore();
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
