// Dense link topology: which straight segments the dense overview draws for a large family. The structure
// (households, single parent links, sibling links, childless couples) depends only on the records and the
// displayed people, so it is kept until one of those changes; the long-link and remote rules and the
// segments themselves are applied from the layout and the screen points of every frame.
// Owns: denseTopologyCache.

let denseTopologyCache = { key: null, topology: null };

// The structure depends on the records and the displayed people; the layout only filters it per frame.
function denseTopologyKey(ids) {
  return [currentEdgeIndex(), ids.length, ids[0], ids[ids.length - 1], activeRootPersonId()];
}

function sameKey(a, b) {
  return !!a && !!b && a.length === b.length && a.every((v, i) => v === b[i]);
}

// Phases: every displayed child's displayed parents; children of exactly two form couple households;
// the other parent links; forest sibling links between people without a shared displayed parent;
// childless couples.
function denseTopology(ids) {
  const key = denseTopologyKey(ids);
  if (sameKey(denseTopologyCache.key, key)) return denseTopologyCache.topology;
  const shown = new Set(ids);
  const parentsOf = new Map();
  for (const e of edges) {
    if (e.type !== 'parent' || !shown.has(e.a) || !shown.has(e.b)) continue;
    const list = parentsOf.get(e.b);
    if (!list) parentsOf.set(e.b, [e.a]);
    else if (!list.includes(e.a)) list.push(e.a);
  }
  const houses = new Map(), singles = [];
  for (const [child, parents] of parentsOf) {
    if (parents.length !== 2) {
      for (const parent of parents) singles.push([parent, child]);
      continue;
    }
    const pair = parents[0] < parents[1] ? parents : [parents[1], parents[0]];
    const k = pair.join('|');
    if (!houses.has(k)) houses.set(k, { parents: pair, children: [] });
    houses.get(k).children.push(child);
  }
  const siblings = [];
  const home = activeRootPersonId();
  if (home) {
    for (const c of familyForest(connectedPeople(home), home).connections) {
      if (c.type !== 'sibling' || !shown.has(c.a) || !shown.has(c.b)) continue;
      const pa = parentsOf.get(c.a) || [], pb = parentsOf.get(c.b) || [];
      if (!pa.some(p => pb.includes(p))) siblings.push([c.a, c.b]);
    }
  }
  const topology = { households: [...houses.values()], singles, siblings, couples: visibleChildlessSpousePairs(ids) };
  denseTopologyCache = { key, topology };
  return topology;
}

// The segments of one frame, each {x1, y1, x2, y2, color}, from the topology and the screen points.
function denseSegments(ids, layout, pts) {
  const out = [];
  eachDenseSegment(ids, layout, pts, (x1, y1, x2, y2, color) => out.push({ x1, y1, x2, y2, color }));
  return out;
}

// Hands every segment of the frame to emit(x1, y1, x2, y2, color).
function eachDenseSegment(ids, layout, pts, emit) {
  const topology = denseTopology(ids);
  const count = ids.length;
  const colour = new Map();
  const colourOf = id => {
    let c = colour.get(id);
    if (c === undefined) { c = denseLineColourOf(id); colour.set(id, c); }
    return c;
  };
  const seg = (p, q, color) => { if (p && q) emit(p.x, p.y, q.x, q.y, color); };
  const singleSegment = (parent, child) => {
    if (!klnLongFamilyLink(parent, child, layout, 'parent', count)) seg(pts.get(parent), pts.get(child), colourOf(parent));
  };
  const k = projector();
  for (const house of topology.households) {
    const [a, b] = house.parents;
    const A = pts.get(a), B = pts.get(b);
    const children = house.children.filter(id => pts.has(id));
    if (!A || !B || !children.length) {
      // Without both parents' points the links are plain parent links.
      for (const parent of house.parents) for (const child of house.children) singleSegment(parent, child);
      continue;
    }
    if (klnRemoteParentGroup(house.parents, house.children, layout, count)) continue;
    const route = layout.get(children[0]).familyRoute;
    const corridor = route && children.every(id => (layout.get(id).familyRoute || {}).householdId === route.householdId);
    const C = children.map(id => pts.get(id));
    const pc = { x: (A.x + B.x) / 2, y: (A.y + B.y) / 2 };
    const cc = { x: meanOf(C, s => s.x), y: meanOf(C, s => s.y) };
    const firstColour = colourOf(children[0]);
    let from;
    if (corridor) {
      const pz = finiteNumber(layout.get(a).z), cz = finiteNumber(layout.get(children[0]).z);
      const near = { x: pc.x, y: pc.y + 0.09 * (cc.y - pc.y) };
      const laneStart = projectWith(k, route.laneX, route.startY, pz + 0.17 * (cz - pz));
      const laneEnd = projectWith(k, route.laneX, route.landingY, pz + 0.75 * (cz - pz));
      from = { x: cc.x, y: cc.y - 0.13 * (cc.y - pc.y) };
      seg(A, near, colourOf(a));
      seg(B, near, colourOf(b));
      seg(near, laneStart, colourOf(a));
      seg(laneStart, laneEnd, colourOf(a));
      seg(laneEnd, from, firstColour);
    } else {
      const hub = { x: pc.x + 0.38 * (cc.x - pc.x), y: pc.y + 0.37 * (cc.y - pc.y) };
      from = { x: hub.x, y: hub.y + 0.32 * (cc.y - hub.y) };
      seg(A, hub, colourOf(a));
      seg(B, hub, colourOf(b));
      seg(hub, from, firstColour);
    }
    for (const child of children) seg(from, pts.get(child), colourOf(child));
  }
  for (const [parent, child] of topology.singles) singleSegment(parent, child);
  for (const [a, b] of topology.siblings) {
    if (!klnLongFamilyLink(a, b, layout, 'sibling', count)) seg(pts.get(a), pts.get(b), colourOf(a));
  }
  const couple = colouredBranchesOn() ? '#efafd6' : monochromeLine();
  for (const [a, b] of topology.couples) {
    if (!klnRemoteChildlessMarriage(a, b, layout, count)) seg(pts.get(a), pts.get(b), couple);
  }
}
