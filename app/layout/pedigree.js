// Connected pedigree arrangement: the generational layout of family groups of up to 1,200 people, in which
// parents stand above their children, co-parents side by side and unrelated couples never interleave.
// Owns: CONNECTED_TREE_LIMIT, UNIT_GAP.
//
// Each forest tree is arranged by itself in eleven phases, then the trees are set side by side:
//   1. rows: the members grouped by forest generation, each row in depth-first preorder of the forest;
//   2. spacing: every row packed and centred with a gap that depends on tree and row size;
//   3. barycentre sweeps (24): alternately toward the mean x of older and of younger forest neighbours;
//   4. co-parent pairs: two parents of one generation who share a child, ranked by closeness to home;
//   5. couple-aware order (5 passes): partners become one unit, set over their children;
//   6. refinement units: matched partners frozen 360 apart, everyone else alone;
//   7. projection: the weighted least-squares unit centres that keep units 300 apart (adjacent violators);
//   8. crossing-aware swaps (at most 9 sweeps) of neighbouring units whose parent lines cross;
//   9. relaxation (36 passes) toward the mean x of parent-record neighbours;
//  10. vertical gaps between generations by tree size and row crowding;
//  11. points, trees side by side 2,200 apart, and the anchor moved to the origin.
// Working fields, per tree: `x` (id → x), `rows` (generation → ids in row order), `gens` (generations,
// oldest first), `neighbours` (id → forest neighbours), `parentNeighbours` (id → parent-record neighbours
// one generation apart), `units` (generation → refinement units {people, offsets, half, centre, and the
// parent-record neighbours of their people: near, above, below}).

const CONNECTED_TREE_LIMIT = 1700;
// Least distance between the edges of two neighbouring refinement units.
const UNIT_GAP = 300;

function rowSpacing(n, k) {
  if (n <= 8) return k <= 3 ? 275 : 315;
  if (n <= 20) return k <= 3 ? 380 : 440;
  if (k <= 3) return 740;
  if (k <= 9) return 685;
  if (k <= 18) return 645;
  return 610;
}

function verticalGap(n, crowd, g1, g2) {
  if (n <= 8) return 285 + Math.min(65, 16 * crowd);
  if (n <= 20) return 450 + Math.min(110, 18 * crowd);
  if (n <= 45) return 700 + Math.min(180, 24 * crowd);
  return 1120 + Math.min(680, 29 * crowd) + (Math.min(Math.abs(g1), Math.abs(g2)) < 8 ? 150 : 0);
}

function meanValue(values) {
  let s = 0;
  for (const v of values) s += v;
  return s / values.length;
}

// Unit centres as close as possible to the targets (weighted least squares) while each centre stays at
// least the two half-widths plus UNIT_GAP right of the one before: isotonic regression of target − offset
// by pooling adjacent violators.
function projectRankUnits(units, targets, weights) {
  const k = units.length;
  const offset = new Float64Array(k);
  for (let i = 1; i < k; i++) offset[i] = offset[i - 1] + units[i - 1].half + units[i].half + UNIT_GAP;
  const sum = [], weight = [], count = [];
  for (let i = 0; i < k; i++) {
    sum.push(weights[i] * (targets[i] - offset[i]));
    weight.push(weights[i]);
    count.push(1);
    let top = sum.length - 1;
    while (top > 0 && sum[top - 1] / weight[top - 1] > sum[top] / weight[top]) {
      sum[top - 1] += sum[top];
      weight[top - 1] += weight[top];
      count[top - 1] += count[top];
      sum.pop(); weight.pop(); count.pop();
      top--;
    }
  }
  const centres = new Array(k);
  let i = 0;
  for (let b = 0; b < sum.length; b++) {
    const mean = sum[b] / weight[b];
    for (let j = 0; j < count[b]; j++, i++) centres[i] = mean + offset[i];
  }
  return centres;
}

function organizedConnectedLayout(forest, anchor) {
  if (forest.groups.some(g => g.members.length > CONNECTED_TREE_LIMIT)) return null;
  const parentLists = forestParentLists(forest);
  const records = treeParentRecords(forest);
  const layout = new Map();
  let previousRight = null;
  forest.groups.forEach((group, tree) => {
    const points = group.members.length === 1
      ? new Map([[group.root, { x: 0, y: 0, z: 0, gen: 0 }]])
      : arrangeConnectedTree(forest, group, parentLists, records[tree] || [], anchor);
    let left = Infinity, right = -Infinity;
    for (const p of points.values()) { if (p.x < left) left = p.x; if (p.x > right) right = p.x; }
    const dx = previousRight === null ? 0 : previousRight + 2200 - left;
    for (const [id, p] of points) { p.x += dx; layout.set(id, p); }
    previousRight = right + dx;
  });
  const a = layout.get(anchor);
  if (a) {
    const ax = a.x, ay = a.y;
    for (const p of layout.values()) { p.x -= ax; p.y -= ay; }
  }
  return layout;
}

// The parent records inside each forest tree, as [parent, child], in record order.
function treeParentRecords(forest) {
  const byTree = [];
  for (const e of edges) {
    if (!e || e.type !== 'parent') continue;
    const tree = forest.groupFor.get(e.a);
    if (tree === undefined || tree !== forest.groupFor.get(e.b)) continue;
    (byTree[tree] || (byTree[tree] = [])).push([e.a, e.b]);
  }
  return byTree;
}

function arrangeConnectedTree(forest, group, parentLists, records, anchor) {
  const t = connectedRows(forest, group);
  packAllRows(t);
  barycentreSweeps(t);
  const pairs = coParentPairs(t, parentLists, anchor);
  coupleAwareOrder(t, pairs, parentLists);
  refinementUnits(t, pairs, records);
  crossingSwaps(t);
  relaxUnits(t);
  const rowY = generationHeights(t);
  const points = new Map();
  for (const id of group.members) {
    const gen = t.gen(id);
    const x = t.x.get(id);
    points.set(id, { x: x === undefined ? 0 : x, y: rowY.get(gen), z: 8 * gen, gen });
  }
  return points;
}

// Phase 1: rows by generation in depth-first preorder, and each member's forest neighbours.
function connectedRows(forest, group) {
  const { members, root } = group;
  const n = members.length;
  const gen = id => forest.generation.get(id);
  const preorder = new Map();
  const stack = [root];
  while (stack.length) {
    const id = stack.pop();
    preorder.set(id, preorder.size);
    const kids = forest.children.get(id);
    if (kids) for (let i = kids.length - 1; i >= 0; i--) stack.push(kids[i]);
  }
  const rows = new Map();
  for (const id of members) {
    const g = gen(id);
    if (!rows.has(g)) rows.set(g, []);
    rows.get(g).push(id);
  }
  for (const row of rows.values()) row.sort((a, b) => preorder.get(a) - preorder.get(b));
  const gens = [...rows.keys()].sort((a, b) => a - b);
  const neighbours = new Map();
  for (const id of members) {
    const list = [];
    const p = forest.parent.get(id);
    if (p !== undefined) list.push(p);
    for (const c of forest.children.get(id) || []) list.push(c);
    neighbours.set(id, list);
  }
  return { n, members, gen, rows, gens, youngestFirst: gens.slice().reverse(), neighbours, x: new Map(), units: null,
    parentNeighbours: null };
}

// Phase 2: person i of a row of k stands at i·gap − (k − 1)·gap / 2.
function packRow(t, row) {
  const gap = rowSpacing(t.n, row.length);
  for (let i = 0; i < row.length; i++) t.x.set(row[i], i * gap - (row.length - 1) * gap / 2);
}

function packAllRows(t) {
  for (const g of t.gens) packRow(t, t.rows.get(g));
}

// Phase 3: even passes look at older neighbours, oldest row first; odd passes at younger ones, youngest first.
function barycentreSweeps(t) {
  for (let pass = 0; pass < 24; pass++) {
    const up = pass % 2 === 0;
    for (const g of up ? t.gens : t.youngestFirst) {
      const row = t.rows.get(g);
      const wish = row.map((id, i) => {
        let s = 0, c = 0;
        for (const v of t.neighbours.get(id)) {
          const gv = t.gen(v);
          if (up ? gv < g : gv > g) { s += t.x.get(v); c++; }
        }
        return { id, at: c ? s / c : t.x.get(id), i };
      });
      wish.sort((a, b) => a.at - b.at || a.i - b.i);
      const next = wish.map(w => w.id);
      t.rows.set(g, next);
      packRow(t, next);
    }
  }
}

// Phase 4: pairs of same-generation parents sharing a child, with their children and home priority.
function coParentPairs(t, parentLists, anchor) {
  const inTree = id => t.neighbours.has(id);
  const distance = new Map();
  if (inTree(anchor)) {
    distance.set(anchor, 0);
    const queue = [anchor];
    for (let i = 0; i < queue.length; i++) {
      const d = distance.get(queue[i]);
      if (d > 14) continue;
      for (const p of parentLists.get(queue[i]) || []) {
        if (!distance.has(p)) { distance.set(p, d + 1); queue.push(p); }
      }
    }
  }
  const byKey = new Map();
  for (const child of t.members) {
    const parents = parentLists.get(child);
    if (!parents || parents.length !== 2) continue;
    const [a, b] = parents;
    if (t.gen(a) !== t.gen(b)) continue;
    const key = a < b ? a + '\u0001' + b : b + '\u0001' + a;
    let pair = byKey.get(key);
    if (!pair) {
      pair = { a, b, gen: t.gen(a), children: [], priority: Infinity };
      byKey.set(key, pair);
    }
    pair.children.push(child);
    if (distance.has(child)) pair.priority = Math.min(pair.priority, distance.get(child));
  }
  const byGen = new Map();
  for (const pair of byKey.values()) {
    if (!byGen.has(pair.gen)) byGen.set(pair.gen, []);
    byGen.get(pair.gen).push(pair);
  }
  return byGen;
}

function pairCompare(a, b) {
  if (a.priority < b.priority) return -1;
  if (a.priority > b.priority) return 1;
  return b.children.length - a.children.length;
}

// Phase 5, five passes (even ones youngest row first, odd ones oldest first) over rows of three or more:
// the co-parent pairs of the row, best ranked and closest first, become pair units aimed at their children
// (0.86 of the children's mean x, 0.14 of their own centre); everyone else is a single unit drawn toward
// its forest neighbours in other generations. Units are sorted by aim and laid side by side, pairs 0.59 of
// the row gap wide and 1.43 row gaps between units, the whole row centred on 0.
function coupleAwareOrder(t, pairs, parentLists) {
  for (let pass = 0; pass < 5; pass++) {
    for (const g of pass % 2 === 0 ? t.youngestFirst : t.gens) {
      const row = t.rows.get(g);
      if (row.length < 3) continue;
      const position = new Map(row.map((id, i) => [id, i]));
      const x = id => t.x.get(id);
      const candidates = (pairs.get(g) || []).filter(p => position.has(p.a) && position.has(p.b));
      candidates.sort((p, q) => pairCompare(p, q) || Math.abs(x(p.a) - x(p.b)) - Math.abs(x(q.a) - x(q.b)));
      const taken = new Set();
      const units = [];
      for (const p of candidates) {
        if (taken.has(p.a) || taken.has(p.b)) continue;
        taken.add(p.a);
        taken.add(p.b);
        const centre = (x(p.a) + x(p.b)) / 2;
        const kids = p.children.filter(c => t.gen(c) !== g).map(x);
        const below = kids.length ? meanValue(kids) : centre;
        units.push({ people: partnerSides(t, p, parentLists), target: 0.86 * below + 0.14 * centre,
          order: Math.min(position.get(p.a), position.get(p.b)) });
      }
      for (const id of row) {
        if (taken.has(id)) continue;
        const near = t.neighbours.get(id).filter(v => t.gen(v) !== g).map(x);
        const pull = near.length ? meanValue(near) : x(id);
        units.push({ people: [id], target: 0.35 * x(id) + 0.65 * pull, order: position.get(id) });
      }
      units.sort((a, b) => a.target - b.target || a.order - b.order);
      const gap = rowSpacing(t.n, row.length);
      const pairGap = 0.59 * gap, unitGap = 1.43 * gap;
      const centres = [];
      units.forEach((u, i) => {
        const width = u.people.length === 2 ? pairGap : 0;
        if (i === 0) centres.push(width / 2);
        else {
          const before = units[i - 1].people.length === 2 ? pairGap : 0;
          centres.push(centres[i - 1] + before / 2 + unitGap + width / 2);
        }
      });
      const shift = -(centres[0] + centres[centres.length - 1]) / 2;
      const order = [];
      units.forEach((u, i) => {
        const c = centres[i] + shift;
        if (u.people.length === 2) {
          t.x.set(u.people[0], c - pairGap / 2);
          t.x.set(u.people[1], c + pairGap / 2);
        } else {
          t.x.set(u.people[0], c);
        }
        order.push(...u.people);
      });
      t.rows.set(g, order);
    }
  }
}

// Left and right partner: by the x of their own parents when those differ by more than 12, else a man
// before a woman, else by current x (the pair's first partner on a tie).
function partnerSides(t, pair, parentLists) {
  const origin = id => {
    const xs = (parentLists.get(id) || []).filter(p => t.gen(p) < t.gen(id) && t.x.has(p)).map(p => t.x.get(p));
    return xs.length ? meanValue(xs) : null;
  };
  const oa = origin(pair.a), ob = origin(pair.b);
  if (oa !== null && ob !== null && Math.abs(oa - ob) > 12) return oa < ob ? [pair.a, pair.b] : [pair.b, pair.a];
  const male = id => String((persons.get(id) || {}).sex || '').toUpperCase() === 'M';
  const ma = male(pair.a), mb = male(pair.b);
  if (ma && !mb) return [pair.a, pair.b];
  if (mb && !ma) return [pair.b, pair.a];
  return t.x.get(pair.b) < t.x.get(pair.a) ? [pair.b, pair.a] : [pair.a, pair.b];
}

// Phase 6: parent-record neighbours one generation apart, and per row the matched partners as frozen pairs.
function refinementUnits(t, pairs, records) {
  const parentNeighbours = new Map();
  for (const id of t.members) parentNeighbours.set(id, []);
  for (const [a, b] of records) {
    if (Math.abs(t.gen(a) - t.gen(b)) !== 1) continue;
    parentNeighbours.get(a).push(b);
    parentNeighbours.get(b).push(a);
  }
  t.parentNeighbours = parentNeighbours;
  t.units = new Map();
  for (const g of t.gens) {
    const row = t.rows.get(g);
    const inRow = new Set(row);
    const partner = new Map();
    const ranked = (pairs.get(g) || []).filter(p => inRow.has(p.a) && inRow.has(p.b)).sort(pairCompare);
    for (const p of ranked) {
      if (partner.has(p.a) || partner.has(p.b)) continue;
      partner.set(p.a, p.b);
      partner.set(p.b, p.a);
    }
    const done = new Set();
    const units = [];
    for (const id of row) {
      if (done.has(id)) continue;
      done.add(id);
      const mate = partner.get(id);
      if (mate !== undefined && !done.has(mate)) {
        done.add(mate);
        const centre = (t.x.get(id) + t.x.get(mate)) / 2;
        const unit = unitWithNeighbours(t, g, { people: [id, mate], offsets: [-180, 180], half: 175, centre });
        moveUnit(t, unit, centre);
        units.push(unit);
      } else {
        units.push(unitWithNeighbours(t, g, { people: [id], offsets: [0], half: 0, centre: t.x.get(id) }));
      }
    }
    t.units.set(g, units);
  }
}

// The parent-record neighbours of a unit's people (with repetition), all of them and by the generation
// above and below; they never change during the refinement.
function unitWithNeighbours(t, g, unit) {
  unit.near = [];
  unit.above = [];
  unit.below = [];
  for (const id of unit.people) {
    for (const v of t.parentNeighbours.get(id)) {
      unit.near.push(v);
      if (t.gen(v) === g - 1) unit.above.push(v);
      else if (t.gen(v) === g + 1) unit.below.push(v);
    }
  }
  return unit;
}

function moveUnit(t, unit, centre) {
  unit.centre = centre;
  for (let i = 0; i < unit.people.length; i++) t.x.set(unit.people[i], centre + unit.offsets[i]);
}

function projectRow(t, units, targets, weights) {
  const centres = projectRankUnits(units, targets, weights);
  units.forEach((u, i) => moveUnit(t, u, centres[i]));
}

// Crossings of the lines to the generations above and below, now and after exchanging A and B.
function swapPenalty(t, a, b) {
  let now = 0, after = 0;
  for (const side of ['above', 'below']) {
    const xb = b[side].map(v => t.x.get(v));
    for (const va of a[side]) {
      const u = t.x.get(va);
      for (const v of xb) {
        if (u > v + 1) now++;
        else if (u < v - 1) after++;
      }
    }
  }
  return { now, after };
}

// Phase 8: even sweeps youngest row first, odd sweeps oldest first; stop after a sweep without swaps.
function crossingSwaps(t) {
  for (let sweep = 0; sweep < 9; sweep++) {
    let swapped = false;
    for (const g of sweep % 2 === 0 ? t.youngestFirst : t.gens) {
      const units = t.units.get(g);
      if (units.length < 2) continue;
      for (let i = 0; i + 1 < units.length; i++) {
        const a = units[i], b = units[i + 1];
        const { now, after } = swapPenalty(t, a, b);
        if (now <= after) continue;
        const d = b.centre - a.centre;
        moveUnit(t, a, a.centre + d);
        moveUnit(t, b, b.centre - d);
        units[i] = b;
        units[i + 1] = a;
        swapped = true;
      }
      projectRow(t, units, units.map(u => u.centre), units.map(() => 1));
    }
    if (!swapped) break;
  }
}

// Phase 9: each unit drawn toward the mean x of its parent-record neighbours, weighted by how many it has.
function relaxUnits(t) {
  for (let pass = 0; pass < 36; pass++) {
    for (const g of pass % 2 === 0 ? t.youngestFirst : t.gens) {
      const units = t.units.get(g);
      const targets = [], weights = [];
      for (const u of units) {
        let own = 0;
        for (const id of u.people) own += t.x.get(id);
        own /= u.people.length;
        if (u.near.length) {
          let sum = 0;
          for (const v of u.near) sum += t.x.get(v);
          targets.push(0.38 * own + 0.62 * sum / u.near.length);
          weights.push(1.7 + 0.18 * Math.min(4, u.near.length));
        } else {
          targets.push(own);
          weights.push(0.9);
        }
      }
      projectRow(t, units, targets, weights);
    }
  }
}

// Phase 10: y of every generation, the tree's root generation at 0.
function generationHeights(t) {
  const y = new Map([[0, 0]]);
  const size = g => (t.rows.get(g) || []).length;
  const first = t.gens[0], last = t.gens[t.gens.length - 1];
  for (let g = -1; g >= first; g--) {
    y.set(g, y.get(g + 1) - verticalGap(t.n, Math.max(size(g), size(g + 1)), g, g + 1));
  }
  for (let g = 1; g <= last; g++) {
    y.set(g, y.get(g - 1) + verticalGap(t.n, Math.max(size(g), size(g - 1)), g - 1, g));
  }
  return y;
}
