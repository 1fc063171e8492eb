// Family link routing of the detailed renderer: the tidy backbone with shared junctions, couple
// households with their hub and fork (or a corridor, or wrapped rows), further parents, sibling arcs and
// childless couples. Only the shared, tidy routing exists; `lineMode` is kept for the stored record.
// Owns: lineMode, tucked, linkPlanCache.

let lineMode = 'shared';
// person id → number of displayed parent links that the backbone does not draw (the "+N" note).
let tucked = new Map();

function setLineMode(mode) {
  lineMode = mode;
  $('lineMode').value = mode;
}

function bump(map, id, by) {
  map.set(id, Math.max(0, (map.get(id) || 0) + by));
}

// The link layer, called inside the edge mask. Which lines exist does not depend on the camera (the
// plan below); each frame only places them on the screen: the forest backbone (single lines, shared
// junctions, sibling arcs), the couple households, further parents of children with three or more, and
// childless couples.
function drawFamilyLinks(g, ids, layout, pts) {
  const lf = lineFrame(g, ids, layout, pts);
  const plan = linkPlan(lf);
  tucked = plan.tucked;
  for (const { origin, up, down, lateral } of plan.backbone) {
    drawBranches(lf, origin, up, true);
    drawBranches(lf, origin, down, false);
    for (const v of lateral) drawSiblingArc(lf, origin, v);
  }
  for (const house of plan.households) drawHousehold(lf, house);
  for (const [parent, child] of plan.further) editableDirectLine(lf, parent, child, lineColourOf(parent));
  drawChildlessCouples(lf, plan.couples);
  flushLineBatches(lf);
}

// The lines of the link layer as lists of people, worked out from the records, the displayed people, their
// layout and the home person's forest, none of which moves with the camera: a pan or a rotation reuses the
// plan, any change of those inputs makes a new one. Phases: count hidden links; group children of exactly
// two displayed parents into couple households; list the backbone's branches except what households draw
// and long links; keep the households that are not remote; add further parents of children with three or
// more; keep the childless couples that are not remote. {tucked, backbone: [{origin, up, down, lateral}],
// households: [{parents, children}], further: [[parent, child]], couples: [[a, b]]}.
let linkPlanCache = null;

function linkPlan(lf) {
  const home = activeRootPersonId();
  const forest = home ? familyForest(connectedPeople(home), home) : null;
  const index = currentEdgeIndex();
  const key = [index, edges.length, persons.size, home, forest, lf.layout, mode3];
  const cache = linkPlanCache;
  if (cache && cache.key.every((v, i) => v === key[i]) && sameList(cache.ids, lf.ids)) return cache.plan;
  const plan = buildLinkPlan(lf, forest || { groups: [], links: new Set(), children: new Map(), steps: new Map() });
  linkPlanCache = { key, ids: lf.ids.slice(), plan };
  return plan;
}

function buildLinkPlan(lf, forest) {
  const shown = new Set(lf.ids);
  const parentLinks = edges.filter(e => e.type === 'parent' && shown.has(e.a) && shown.has(e.b));
  const hidden = new Map();
  for (const e of parentLinks) {
    if (!forest.links.has(e.a + '>' + e.b)) { bump(hidden, e.a, 1); bump(hidden, e.b, 1); }
  }
  const households = gatherHouseholds(parentLinks, lf.pts);
  const plan = { tucked: hidden, backbone: backboneBranches(lf, forest, households.drawn), households: [], further: [], couples: [] };
  for (const house of households.list) {
    const children = house.children.filter(id => lf.pts.has(id));
    if (children.length && !remoteHousehold(lf, house.parents, children)) plan.households.push({ parents: house.parents, children });
  }
  plan.further = furtherParents(lf, forest, parentLinks, households.drawn, hidden);
  for (const [a, b] of visibleChildlessSpousePairs(lf.ids)) {
    if (lf.pts.has(a) && lf.pts.has(b) && !klnRemoteChildlessMarriage(a, b, lf.layout, lf.count)) plan.couples.push([a, b]);
  }
  return plan;
}

// Children with exactly two distinct displayed parents that have points, grouped by couple; the parent
// links of these children are drawn by their household.
function gatherHouseholds(parentLinks, pts) {
  const parentsOf = new Map();
  for (const e of parentLinks) {
    if (!pts.has(e.a)) continue;
    const list = parentsOf.get(e.b);
    if (!list) parentsOf.set(e.b, [e.a]);
    else if (!list.includes(e.a)) list.push(e.a);
  }
  const byKey = new Map(), drawn = new Set();
  for (const [child, parents] of parentsOf) {
    if (parents.length !== 2) continue;
    const pair = parents[0] < parents[1] ? [parents[0], parents[1]] : [parents[1], parents[0]];
    const key = pair.join('|');
    let house = byKey.get(key);
    if (!house) byKey.set(key, house = { parents: pair, children: [] });
    house.children.push(child);
    drawn.add(pair[0] + '>' + child);
    drawn.add(pair[1] + '>' + child);
  }
  return { list: [...byKey.values()], drawn, parentsOf };
}

// A household whose parents stand far to the side of its children draws nothing (with 100 or more
// people displayed, and never for a corridor).
function remoteHousehold(lf, parents, children) {
  const first = lf.layout.get(children[0]);
  if (lf.count < 100 || first.familyRoute) return false;
  const [p1, p2] = parents;
  const parentX = (lf.layout.get(p1).x + lf.layout.get(p2).x) / 2;
  const childX = meanOf(children, id => lf.layout.get(id).x), childY = meanOf(children, id => lf.layout.get(id).y);
  return Math.abs(parentX - childX) > Math.max(1000, 0.78 * Math.abs(lf.layout.get(p1).y - childY));
}

// The backbone's branches of every forest member with a point: its parents (up), children (down) and
// siblings (lateral) with points, skipping links a household draws, siblings whose shared parent's links a
// household draws, and long links.
function backboneBranches(lf, forest, drawn) {
  const index = currentEdgeIndex();
  const long = (a, b, kind) => klnLongFamilyLink(a, b, lf.layout, kind, lf.count);
  const out = [];
  for (const group of forest.groups) {
    for (const origin of group.members) {
      if (!lf.pts.has(origin)) continue;
      const up = [], down = [], lateral = [];
      for (const v of forest.children.get(origin) || []) {
        if (!lf.pts.has(v)) continue;
        const step = forest.steps.get(v);
        if (step === -1) {
          if (!drawn.has(v + '>' + origin) && !long(v, origin, 'parent')) up.push(v);
        } else if (step === 1) {
          if (!drawn.has(origin + '>' + v) && !long(origin, v, 'parent')) down.push(v);
        } else if (!long(origin, v, 'sibling')) {
          const shared = (index.parents.get(origin) || []).some(p => drawn.has(p + '>' + origin) && drawn.has(p + '>' + v));
          if (!shared) lateral.push(v);
        }
      }
      if (up.length || down.length || lateral.length) out.push({ origin, up, down, lateral });
    }
  }
  return out;
}

// One person's parents (up) or children (down): a single line, or a shared junction for several.
function drawBranches(lf, origin, entries, up) {
  if (!entries.length) return;
  if (entries.length === 1) {
    const v = entries[0];
    if (up) editableDirectLine(lf, v, origin, lineColourOf(v));
    else editableDirectLine(lf, origin, v, lineColourOf(origin));
    return;
  }
  const o = lf.pts.get(origin);
  let my = 0, md = 0;
  for (const v of entries) { my += lf.pts.get(v).y; md += finiteNumber(lf.pts.get(v).depth); }
  my /= entries.length;
  md /= entries.length;
  const base = { x: o.x, y: o.y + 0.48 * (my - o.y), depth: 0.52 * finiteNumber(o.depth) + 0.48 * md };
  const junction = adjustedPoint(base, [origin], 'hub', worldOf(lf, origin));
  const own = lineColourOf(origin);
  smoothStroke(lf, o, junction, own, 0.94, 1.15 * lf.ink);
  for (const v of entries) smoothStroke(lf, junction, lf.pts.get(v), up ? lineColourOf(v) : own, 0.95);
  if (zoom > 0.16 && nearCanvas(junction, 95)) junctionDot(lf, junction, Math.min(3.5, 4 * zoom), own, 0.94);
}

function nearCanvas(p, m) {
  return p.x >= -m && p.x <= w + m && p.y >= -m && p.y <= h + m;
}

function drawSiblingArc(lf, a0, b0) {
  const a = lf.pts.get(a0), b = lf.pts.get(b0);
  if (beyondSameEdge(a, b, 100)) return;
  const lift = clamp(Math.abs(b.x - a.x) * 0.12 * zoom, 18, 55);
  const c1 = { x: a.x, y: a.y - lift }, c2 = { x: b.x, y: b.y - lift };
  const color = lineColourOf(b0);
  strokeCurve(lf, a, c1, c2, b, color, 0.65, 0.7 * lf.ink, true);
  if (paths.length < 320) samplePath(paths, a, c1, c2, b, color);
}

function meanOf(list, f) {
  let s = 0;
  for (const v of list) s += f(v);
  return list.length ? s / list.length : 0;
}

// How far a group's manual offsets moved it on screen: mean of (painted point − bare layout projection).
function groupMotion(lf, ids) {
  const k = projector();
  let x = 0, y = 0;
  for (const id of ids) {
    const p = lf.layout.get(id), s = lf.pts.get(id);
    const bare = projectWith(k, p.x, p.y, p.z);
    x += s.x - bare.x;
    y += s.y - bare.y;
  }
  return ids.length ? { x: x / ids.length, y: y / ids.length } : { x: 0, y: 0 };
}

// A couple with their children: one hub under the couple, one fork above the children, one arm per child.
// `house.children` are the children with points, of a household that is not remote.
function drawHousehold(lf, house) {
  const [p1, p2] = house.parents;
  const children = house.children;
  const P = [lf.pts.get(p1), lf.pts.get(p2)];
  const C = children.map(id => lf.pts.get(id));
  const first = lf.layout.get(children[0]);
  const hs = {
    parents: house.parents, children, P, C, first,
    parentY: (P[0].y + P[1].y) / 2, childY: meanOf(C, s => s.y), midX: (P[0].x + P[1].x) / 2,
    childMeanX: meanOf(C, s => s.x), parentDepth: (finiteNumber(P[0].depth) + finiteNumber(P[1].depth)) / 2,
    childDepth: meanOf(C, s => finiteNumber(s.depth)), anchor: worldMid(worldOf(lf, p1), worldOf(lf, p2)),
    childWorld: first ? { x: first.x, y: first.y, z: first.z } : null,
  };
  const hubBase = {
    x: hs.midX + 0.38 * (hs.childMeanX - hs.midX), y: hs.parentY + 0.37 * (hs.childY - hs.parentY),
    depth: 0.63 * hs.parentDepth + 0.37 * hs.childDepth,
  };
  hs.hubBase = hubBase;
  hs.hub = adjustedPoint(hubBase, hs.parents, 'hub', hs.anchor);
  const forkBase = { x: hs.hub.x, y: hs.hub.y + 0.32 * (hs.childY - hs.hub.y), depth: 0.68 * finiteNumber(hs.hub.depth) + 0.32 * hs.childDepth };
  hs.fork = adjustedPoint(forkBase, hs.parents, 'fork', hs.childWorld || hs.anchor);
  const route = first && first.familyRoute;
  if (route && children.every(id => (lf.layout.get(id).familyRoute || {}).householdId === route.householdId)) {
    drawCorridor(lf, hs, route);
  } else if (!mode3 && children.length > 2 && childRows(lf, children).length > 1) {
    drawWrappedRows(lf, hs);
  } else {
    for (let i = 0; i < 2; i++) smoothStroke(lf, P[i], hs.hub, lineColourOf(hs.parents[i]), 0.96, 1.08 * lf.ink);
    smoothStroke(lf, hs.hub, hs.fork, lineColourOf(children[0]), 0.9);
    for (const child of children) editableChildLine(lf, hs.fork, hs.parents, child);
    if (nearCanvas(hs.hub, 95)) junctionDot(lf, hs.hub, Math.min(3, Math.max(1.3, lf.ink)), lineColourOf(children[0]), 0.92);
  }
}

// The household's branch led down a private lane beside the family (laid out by the household layout).
function drawCorridor(lf, hs, route) {
  const [p1] = hs.parents;
  const pz = finiteNumber(lf.layout.get(p1).z), cz = finiteNumber(hs.first.z);
  const k = projector();
  const pm = groupMotion(lf, hs.parents), cm = groupMotion(lf, hs.children);
  const at = (x, y, t, follow) => {
    const s = projectWith(k, x, y, pz + (cz - pz) * t);
    return { x: s.x + pm.x * (1 - follow) + cm.x * follow, y: s.y + pm.y * (1 - follow) + cm.y * follow, depth: s.depth };
  };
  const worldAtT = (x, y, t) => ({ x, y, z: pz + (cz - pz) * t });
  const centreBase = { x: hs.midX, y: hs.parentY + Math.min(115 * zoom, 0.15 * Math.abs(hs.childY - hs.parentY)), depth: hs.parentDepth };
  const centre = adjustedPoint(centreBase, hs.parents, 'hub', hs.anchor);
  for (let i = 0; i < 2; i++) smoothStroke(lf, hs.P[i], centre, lineColourOf(hs.parents[i]), 0.96, 1.08 * lf.ink);
  const turn = at(route.centerX, route.turnY, 0.10, 0.06);
  turn.x = centre.x;
  const laneStart = adjustedPoint(at(route.laneX, route.startY, 0.17, 0.18), hs.parents, 'bendStart', worldAtT(route.laneX, route.startY, 0.17));
  const endAnchor = worldAtT(route.laneX, route.landingY, 0.75);
  const laneEnd = adjustedPoint(at(route.laneX, route.landingY, 0.75, 0.80), hs.parents, 'bendEnd', endAnchor);
  const forkBase = at(route.centerX, route.childRowY - 135, 0.96, 0.96);
  forkBase.x = hs.childMeanX;
  const fork = adjustedPoint(forkBase, hs.parents, 'fork', hs.childWorld || endAnchor);
  const lane = lineColourOf(p1);
  smoothStroke(lf, centre, turn, lane, 0.88);
  smoothStroke(lf, turn, laneStart, lane, 0.88);
  smoothStroke(lf, laneStart, laneEnd, lane, 0.89);
  smoothStroke(lf, laneEnd, fork, lineColourOf(hs.children[0]), 0.91);
  for (const child of hs.children) editableChildLine(lf, fork, hs.parents, child);
}

// Children of one couple grouped into rows by their world y (units of 25), ordered by screen y.
function childRows(lf, children) {
  const rows = new Map();
  for (const id of children) {
    const key = Math.round(lf.layout.get(id).y / 25);
    if (!rows.has(key)) rows.set(key, []);
    rows.get(key).push(id);
  }
  return [...rows.values()].map(ids => ({ ids, y: meanOf(ids, id => lf.pts.get(id).y) })).sort((a, b) => a.y - b.y);
}

// Children spread over several rows: a feeder line runs from row to row, each row's children hang from it.
function drawWrappedRows(lf, hs) {
  const rows = childRows(lf, hs.children);
  const sign = rows[0].y >= hs.parentY ? 1 : -1;
  const startBase = { x: hs.hubBase.x, y: hs.parentY + sign * Math.min(36, 0.23 * Math.abs(rows[0].y - hs.parentY)), depth: hs.parentDepth };
  const start = adjustedPoint(startBase, hs.parents, 'hub', hs.anchor);
  for (let i = 0; i < 2; i++) smoothStroke(lf, hs.P[i], start, lineColourOf(hs.parents[i]), 0.96, 1.08 * lf.ink);
  const feed = lineColourOf(hs.parents[0]);
  let previous = start;
  for (const row of rows) {
    const feeder = { x: start.x, y: row.y - sign * Math.min(39, 0.24 * Math.abs(row.y - previous.y)), depth: hs.parentDepth };
    smoothStroke(lf, previous, feeder, feed, 0.91, 0.95 * lf.ink);
    for (const child of row.ids) editableChildLine(lf, feeder, hs.parents, child);
    previous = feeder;
  }
}

// Children with three or more displayed parents: the parents the backbone does not reach get a line, and
// the line no longer counts as hidden.
function furtherParents(lf, forest, parentLinks, drawn, hidden) {
  const parentsOf = new Map(), out = [];
  for (const e of parentLinks) {
    if (!lf.pts.has(e.a) || !lf.pts.has(e.b)) continue;
    const list = parentsOf.get(e.b);
    if (!list) parentsOf.set(e.b, [e.a]);
    else if (!list.includes(e.a)) list.push(e.a);
  }
  for (const [child, parents] of parentsOf) {
    if (parents.length < 2 || parents.some(p => drawn.has(p + '>' + child))) continue;
    for (const parent of parents) {
      const key = parent + '>' + child;
      if (forest.links.has(key) || klnLongFamilyLink(parent, child, lf.layout, 'parent', lf.count)) continue;
      out.push([parent, child]);
      bump(hidden, parent, -1);
      bump(hidden, child, -1);
    }
  }
  return out;
}

// A short raised arc between partners who have no child together (`couples`: the pairs with points that
// are not remote).
function drawChildlessCouples(lf, couples) {
  const colour = colouredBranchesOn() ? '#efafd6' : monochromeLine();
  for (const [a0, b0] of couples) {
    const a = lf.pts.get(a0), b = lf.pts.get(b0);
    if (beyondSameEdge(a, b, 100)) continue;
    const distance = Math.hypot(b.x - a.x, b.y - a.y);
    if (distance < 0.5) continue;
    const rise = clamp(0.11 * distance, 5, 24);
    const ids = [a0, b0];
    const off = handleOffset(ids, 'spouseBend');
    const width = mode3 ? 1.75 : 1.65;
    // Without a stored offset (and outside "Edit lines") one curve, and no bend point to work out.
    if (!lf.editing && Math.abs(off.x) + Math.abs(off.y) + Math.abs(off.z) <= 0.001) {
      coupleSpan(lf, a, { x: a.x + 0.34 * (b.x - a.x), y: a.y - rise }, { x: a.x + 0.66 * (b.x - a.x), y: b.y - rise }, b, colour, width);
      continue;
    }
    const mid = screenMid(a, b);
    mid.y -= rise;
    const bend = adjustedPoint(mid, ids, 'spouseBend', worldMid(worldOf(lf, a0), worldOf(lf, b0)));
    for (const [p, q] of [[a, bend], [bend, b]]) {
      coupleSpan(lf, p, { x: p.x + 0.40 * (q.x - p.x), y: p.y + 0.38 * (q.y - p.y) }, { x: q.x - 0.40 * (q.x - p.x), y: q.y - 0.38 * (q.y - p.y) }, q, colour, width);
    }
  }
}

function coupleSpan(lf, p, c1, c2, q, colour, width) {
  strokeCurve(lf, p, c1, c2, q, colour, 0.78, width, false);
  samplePath(paths, p, c1, c2, q, colour);
}
