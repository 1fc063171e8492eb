// Dense link topology: the people and straight segments the dense overview draws for a large family, as
// index arrays. Which people have points, the couple households, single parent links, sibling links and
// childless couples, and the long-link and remote rules on world coordinates, depend only on the records,
// the displayed people and their layout, so they are kept until one of those changes; every frame only
// projects the points and places the segments.
// Owns: denseModelCache, denseColourCache.

let denseModelCache = { key: null, model: null };
let denseColourCache = { key: null, colours: null };

function sameKey(a, b) {
  return !!a && !!b && a.length === b.length && a.every((v, i) => v === b[i]);
}

// Phases: index the displayed people that have points; every displayed child's displayed parents;
// children of exactly two parents with points form couple households, left out when the couple stands far
// from them, drawn through the corridor when they share one; the other parent links that are not long;
// forest sibling links between people without a shared displayed parent; childless couples not remote.
function denseModel(ids, layout) {
  const root = activeRootPersonId();
  const key = [layout, currentEdgeIndex(), persons.size, ids.length, ids[0], ids[ids.length - 1], root];
  if (sameKey(denseModelCache.key, key)) return denseModelCache.model;
  const count = ids.length;
  const order = [], points = [], people = [], at = new Map();
  for (const id of ids) {
    const point = layout.get(id), person = persons.get(id);
    if (!point || !person || at.has(id)) continue;
    at.set(id, order.length);
    order.push(id);
    points.push(point);
    people.push(person);
  }
  // Every displayed person is indexed unless a point or record is missing: then the test needs a set.
  const shown = order.length === count ? at : new Set(ids);
  const parentsOf = new Map();
  for (const e of edges) {
    if (e.type !== 'parent' || !shown.has(e.a) || !shown.has(e.b)) continue;
    const list = parentsOf.get(e.b);
    if (!list) parentsOf.set(e.b, [e.a]);
    else if (!list.includes(e.a)) list.push(e.a);
  }
  const houses = new Map(), singles = [];
  const single = (parent, child) => {
    if (at.has(parent) && at.has(child) && !klnLongFamilyLink(parent, child, layout, 'parent', count)) singles.push(at.get(parent), at.get(child));
  };
  for (const [child, parents] of parentsOf) {
    const withPoints = parents.filter(p => at.has(p));
    if (withPoints.length !== 2) { for (const p of parents) single(p, child); continue; }
    const pair = withPoints[0] < withPoints[1] ? withPoints : [withPoints[1], withPoints[0]];
    // A couple's key from the positions of its two parents.
    const k = at.get(pair[0]) * order.length + at.get(pair[1]);
    const house = houses.get(k);
    if (house) house.children.push(child);
    else houses.set(k, { parents: pair, children: [child] });
  }
  const households = [];
  for (const house of houses.values()) {
    const children = house.children.filter(id => at.has(id));
    if (!children.length || klnRemoteParentGroup(house.parents, house.children, layout, count)) continue;
    const route = layout.get(children[0]).familyRoute;
    const corridor = route && children.every(id => (layout.get(id).familyRoute || {}).householdId === route.householdId) ? route : null;
    households.push({ a: at.get(house.parents[0]), b: at.get(house.parents[1]), children: children.map(id => at.get(id)), corridor,
      pz: finiteNumber(layout.get(house.parents[0]).z), cz: finiteNumber(layout.get(children[0]).z) });
  }
  const siblings = [];
  if (root) {
    for (const c of familyForest(connectedPeople(root), root).connections) {
      if (c.type !== 'sibling' || !at.has(c.a) || !at.has(c.b)) continue;
      const pa = parentsOf.get(c.a) || [], pb = parentsOf.get(c.b) || [];
      if (!pa.some(p => pb.includes(p)) && !klnLongFamilyLink(c.a, c.b, layout, 'sibling', count)) siblings.push(at.get(c.a), at.get(c.b));
    }
  }
  const couples = [];
  for (const [a, b] of visibleChildlessSpousePairs(ids)) {
    if (at.has(a) && at.has(b) && !klnRemoteChildlessMarriage(a, b, layout, count)) couples.push(at.get(a), at.get(b));
  }
  const model = { order, points, people, at, households, singles, siblings, couples };
  denseModelCache = { key, model };
  return model;
}

// Line colour of every indexed person; kept while the colours in use and the switch stay the same.
function denseColours(model) {
  const key = [model, frameLineageColours, colouredBranchesOn(), typeof familyLineColor, typeof familyColor,
    typeof branchState === 'object' && branchState ? branchState.key : ''];
  if (sameKey(denseColourCache.key, key)) return denseColourCache.colours;
  const colours = model.order.map(id => denseLineColourOf(id));
  denseColourCache = { key, colours };
  return colours;
}

// Screen points of every indexed person in typed arrays, with the manual offsets of the active view.
function projectDense(model) {
  const n = model.order.length;
  const xs = new Float64Array(n), ys = new Float64Array(n), scales = new Float64Array(n), depths = new Float64Array(n);
  const k = projector();
  for (let i = 0; i < n; i++) {
    const p = model.points[i], person = model.people[i];
    let s;
    if (k.three) {
      const o = person.orbOffset3D;
      s = o ? projectWith(k, p.x + finiteNumber(o.x), p.y + finiteNumber(o.y), p.z + finiteNumber(o.z)) : projectWith(k, p.x, p.y, p.z);
    } else {
      const o = person.orbOffset2D;
      const x = finiteNumber(p.x) + (o ? finiteNumber(o.x) : 0), y = finiteNumber(p.y) + (o ? finiteNumber(o.y) : 0);
      xs[i] = k.cx + x * k.zoom; ys[i] = k.cy + y * k.zoom; scales[i] = k.zoom;
      continue;
    }
    xs[i] = s.x; ys[i] = s.y; scales[i] = s.scale; depths[i] = s.depth;
  }
  return { xs, ys, scales, depths };
}

// Hands every segment of the frame to emit(x1, y1, x2, y2, color).
function eachDenseSegment(model, pos, colours, emit) {
  const { xs, ys } = pos;
  const k = projector();
  for (const house of model.households) {
    const { a, b, children } = house;
    const pcx = (xs[a] + xs[b]) / 2, pcy = (ys[a] + ys[b]) / 2;
    let ccx = 0, ccy = 0;
    for (const c of children) { ccx += xs[c]; ccy += ys[c]; }
    ccx /= children.length;
    ccy /= children.length;
    const first = colours[children[0]];
    let fx, fy;
    if (house.corridor) {
      const route = house.corridor, { pz, cz } = house;
      const nx = pcx, ny = pcy + 0.09 * (ccy - pcy);
      const start = projectWith(k, route.laneX, route.startY, pz + 0.17 * (cz - pz));
      const end = projectWith(k, route.laneX, route.landingY, pz + 0.75 * (cz - pz));
      fx = ccx; fy = ccy - 0.13 * (ccy - pcy);
      emit(xs[a], ys[a], nx, ny, colours[a]);
      emit(xs[b], ys[b], nx, ny, colours[b]);
      emit(nx, ny, start.x, start.y, colours[a]);
      emit(start.x, start.y, end.x, end.y, colours[a]);
      emit(end.x, end.y, fx, fy, first);
    } else {
      const hx = pcx + 0.38 * (ccx - pcx), hy = pcy + 0.37 * (ccy - pcy);
      fx = hx; fy = hy + 0.32 * (ccy - hy);
      emit(xs[a], ys[a], hx, hy, colours[a]);
      emit(xs[b], ys[b], hx, hy, colours[b]);
      emit(hx, hy, fx, fy, first);
    }
    for (const c of children) emit(fx, fy, xs[c], ys[c], colours[c]);
  }
  const pairs = (list, colourOf) => {
    for (let i = 0; i < list.length; i += 2) emit(xs[list[i]], ys[list[i]], xs[list[i + 1]], ys[list[i + 1]], colourOf(list[i]));
  };
  pairs(model.singles, i => colours[i]);
  pairs(model.siblings, i => colours[i]);
  const couple = colouredBranchesOn() ? '#efafd6' : monochromeLine();
  pairs(model.couples, () => couple);
}

// The segments of one frame as {x1, y1, x2, y2, color}.
function denseSegments(ids, layout) {
  const model = denseModel(ids, layout);
  const out = [];
  eachDenseSegment(model, projectDense(model), denseColours(model), (x1, y1, x2, y2, color) => out.push({ x1, y1, x2, y2, color }));
  return out;
}
