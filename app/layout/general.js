// General arrangement: the cheap, pedigree-centred placement for large groups and for every arrangement
// made outside the connected scope, and the radial fan for forest trees of several thousand people.
// Owns: PEDIGREE_TREE_LIMIT.
//
// Pedigree-centred tree: the root's ancestors fill the centre like a printed ancestor chart (fathers left
// of mothers, one row per generation, centred on the root's column); every other member follows its forest
// parent one node spacing outward and slides further out, a whole spacing at a time, while its row is taken.
// Radial fan: leaves get equal slices of a ±0.91π fan in depth-first order, inner members the middle of
// their children's slices, and each depth lies on a circle wide enough to keep neighbours 185 apart.

// A forest tree above this many members is laid out as a radial fan.
const PEDIGREE_TREE_LIMIT = 1800;

function generalConstants(count, scope) {
  const small = count <= 40, connected = scope === 'connected';
  return {
    leafWidth: connected ? 286 : scope === 'extended' ? 268 :
      scope === 'ancestors' || scope === 'ancestry4' ? 252 : 244,
    generationHeight: small ? 390 : connected ? 540 : count <= 220 ? 500 : 470,
    spacing: small ? 340 : connected ? 700 : count <= 220 ? 640 : 580,
  };
}

function generalArrangement(forest, count, scope, anchor) {
  const c = generalConstants(count, scope);
  let parentLists = null;
  let layout = null;
  let previousRight = null;
  for (const group of forest.groups) {
    const radial = group.members.length > PEDIGREE_TREE_LIMIT;
    let points;
    if (radial) points = radialFan(forest, group, c);
    else if (group.members.length === 1) points = new Map([[group.root, { x: 0, y: 0, z: 0, gen: 0 }]]);
    else points = pedigreeCentredTree(forest, group, parentLists || (parentLists = forestParentLists(forest)), c);
    let left = Infinity, right = -Infinity;
    for (const p of points.values()) { if (p.x < left) left = p.x; if (p.x > right) right = p.x; }
    if (!layout) {
      layout = points;
      previousRight = right;
      continue;
    }
    const dx = previousRight + (radial ? 1800 : 2000) - left;
    for (const [id, p] of points) { p.x += dx; layout.set(id, p); }
    previousRight = right + dx;
  }
  if (!layout) return new Map();
  const centre = layout.get(anchor) || layout.values().next().value;
  if (centre) {
    const cx = centre.x, cy = centre.y;
    for (const p of layout.values()) { p.x -= cx; p.y -= cy; }
  }
  return layout;
}

// Parents ordered for the ancestor chart: sex exactly "M", then exactly "F", then anything else; then name.
function chartParentOrder(a, b) {
  const rank = id => {
    const sex = (persons.get(id) || {}).sex;
    return sex === 'M' ? 0 : sex === 'F' ? 1 : 2;
  };
  return rank(a) - rank(b) ||
    LAYOUT_COLLATOR.compare(String((persons.get(a) || {}).name || ''), String((persons.get(b) || {}).name || ''));
}

// Sorted x values of one row, with the "is any taken x closer than `reach` to x" test by binary search.
function takenNear(sorted, x, reach) {
  let lo = 0, hi = sorted.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (sorted[mid] <= x - reach) lo = mid + 1; else hi = mid;
  }
  return lo < sorted.length && sorted[lo] < x + reach;
}

function insertSorted(sorted, x) {
  let lo = 0, hi = sorted.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (sorted[mid] < x) lo = mid + 1; else hi = mid;
  }
  sorted.splice(lo, 0, x);
}

// Pedigree-centred tree: the ancestor list (breadth first from the root, fathers before mothers), its rows
// centred on the root's column, then every other member in breadth-first order one node spacing outward
// from its forest parent (the root's forest children alternate right and left), moved a further spacing at
// a time while its row already has someone closer than 0.98 of a spacing.
function pedigreeCentredTree(forest, group, parentLists, c) {
  const { members, root } = group;
  const gen = id => forest.generation.get(id);
  const ancestors = [root];
  const listed = new Set(ancestors);
  for (let i = 0; i < ancestors.length; i++) {
    const parents = (parentLists.get(ancestors[i]) || []).slice().sort(chartParentOrder);
    for (const p of parents) if (!listed.has(p)) { listed.add(p); ancestors.push(p); }
  }
  const x = new Map();
  const rowsOfAncestors = new Map();
  for (const id of ancestors) {
    const g = gen(id);
    if (!rowsOfAncestors.has(g)) rowsOfAncestors.set(g, []);
    rowsOfAncestors.get(g).push(id);
  }
  const taken = new Map();
  for (const [g, row] of rowsOfAncestors) {
    row.forEach((id, i) => x.set(id, (i - (row.length - 1) / 2) * c.spacing));
    taken.set(g, row.map(id => x.get(id)).sort((a, b) => a - b));
  }
  const rootChildren = forest.children.get(root) || [];
  const reach = 0.98 * c.spacing;
  for (const id of members) {
    if (listed.has(id)) continue;
    const g = gen(id);
    const from = forest.parent.get(id);
    const px = x.get(from);
    let direction = px < 0 ? -1 : 1;
    if (from === root) direction = rootChildren.indexOf(id) % 2 === 0 ? 1 : -1;
    if (!taken.has(g)) taken.set(g, []);
    const row = taken.get(g);
    let wish = px + direction * c.spacing;
    for (let moves = 0; moves < members.length + 8 && takenNear(row, wish, reach); moves++) wish += direction * c.spacing;
    x.set(id, wish);
    insertSorted(row, wish);
  }
  const points = new Map();
  for (const id of members) {
    const g = gen(id);
    points.set(id, { x: x.get(id), y: g * c.generationHeight, z: 7 * g, gen: g });
  }
  return points;
}

// Radial fan: slices of the leaves, inner members in the middle of their children's slices (ranges taken
// from the last member to the first), angles over ±0.91π, and one circle per depth at least a radius step
// outside the previous one and wide enough for 185 between neighbours of that depth.
function radialFan(forest, group, c) {
  const { ids, order, depth, generation, firstKid, nextKid } = forest.walk;
  const n = group.members.length;
  const from = group.walkStart;
  const slot = new Int32Array(ids.length);
  for (let q = from; q < from + n; q++) slot[order[q]] = q - from;
  // Leaf slices in depth-first order (first child first), so that every subtree owns one contiguous run of
  // slices and no two members of one depth share an angle. Numbering the leaves in the order of a backward
  // breadth-first walk lets the runs of different subtrees interleave, which stacked orbs of one ring on
  // the same point in large imported trees.
  const start = new Float64Array(n), end = new Float64Array(n);
  let leaves = 0;
  const stack = [order[from]];
  while (stack.length) {
    const u = stack.pop();
    if (firstKid[u] < 0) {
      start[slot[u]] = leaves;
      end[slot[u]] = ++leaves;
      continue;
    }
    const kids = [];
    for (let v = firstKid[u]; v >= 0; v = nextKid[v]) kids.push(v);
    for (let k = kids.length - 1; k >= 0; k--) stack.push(kids[k]);
  }
  // Inner members span their first child's start to their last child's end, from the last member back.
  let maxDepth = 0;
  for (let q = from + n - 1; q >= from; q--) {
    const u = order[q];
    if (depth[u] > maxDepth) maxDepth = depth[u];
    if (firstKid[u] < 0) continue;
    let last = firstKid[u];
    while (nextKid[last] >= 0) last = nextKid[last];
    start[slot[u]] = start[slot[firstKid[u]]];
    end[slot[u]] = end[slot[last]];
  }
  const span = Math.max(1, leaves);
  const angle = new Float64Array(n);
  // Smallest positive angle step between members of one depth met one after the other in breadth-first order.
  const minGap = new Float64Array(maxDepth + 1).fill(Infinity);
  const lastAngle = new Float64Array(maxDepth + 1).fill(NaN);
  for (let i = 0; i < n; i++) {
    const d = depth[order[from + i]];
    angle[i] = ((start[i] + end[i]) / 2) / span * 1.82 * Math.PI - 0.91 * Math.PI;
    const gap = Math.abs(angle[i] - lastAngle[d]);
    if (gap > 0 && gap < minGap[d]) minGap[d] = gap;
    lastAngle[d] = angle[i];
  }
  const step = Math.max(440, c.leafWidth * leaves / Math.max(8, 3 * maxDepth));
  const radius = new Float64Array(maxDepth + 1);
  for (let d = 1; d <= maxDepth; d++) {
    const spread = Number.isFinite(minGap[d]) && minGap[d] > 1e-7 ? 185 / minGap[d] : 0;
    radius[d] = Math.max(radius[d - 1] + step, spread);
  }
  const points = new Map();
  for (let i = 0; i < n; i++) {
    const u = order[from + i], r = radius[depth[u]];
    points.set(ids[u], { x: Math.sin(angle[i]) * r, y: -Math.cos(angle[i]) * r, z: 3 * depth[u], gen: generation[u] });
  }
  return points;
}
