// Households and spouse placement: the household layout of simple descendant families, and the two spouse
// steps that run on the visible people after the group arrangement (isolated partners beside their spouse,
// distant partners pulled to their household). Neither step moves a person the user placed by hand.
// Owns: COUPLE_HALF, SATELLITE_STEP, MAIN_BRANCH, G2_GAP, G3_GAP, Y1, Y2, G3_START, G3_TIER.

const COUPLE_HALF = 143;
const SATELLITE_STEP = 252;
const MAIN_BRANCH = 10300;
const G2_GAP = 1140;
const G3_GAP = 790;
const Y1 = 1080;
const Y2 = 2480;
const G3_START = 4080;
const G3_TIER = 1350;

// The descendants of `home` with their primary parents and generations, or null when a child is reached
// twice (two descent routes).
function descentWalk(home, children) {
  const generation = new Map([[home, 0]]);
  const primary = new Map();
  const order = [home];
  for (let i = 0; i < order.length; i++) {
    const u = order[i];
    for (const c of children.get(u) || []) {
      if (generation.has(c)) return null;
      generation.set(c, generation.get(u) + 1);
      primary.set(c, u);
      order.push(c);
    }
  }
  return { generation, primary, order };
}

// The household layout: every couple one household, each first-generation branch its own wide lane, the
// grandchildren's households in one row and the great-grandchildren's stacked in tiers with corridors.
// Checks first, any failure giving null: 55 to 1,200 listed people including home; one descent route to
// every descendant; at least 50 descendants making at least 0.34 of the list; no outside partner married
// to two descendants; nobody listed who is neither a descendant nor a partner of one; no more than three
// generations below home. Then each household is laid out by `layoutRow` from its centre: the person on
// the side of its sex, the first partner opposite, later partners alternating further out.

function descendantCoupleLayout(visibleIds, home) {
  if (visibleIds.length < 55 || visibleIds.length > 1200) return null;
  const listed = new Set(visibleIds);
  if (!listed.has(home)) return null;
  const children = new Map(), partners = new Map();
  const push = (map, k, v) => { const l = map.get(k); if (l) l.push(v); else map.set(k, [v]); };
  for (const e of edges) {
    if (!e || !listed.has(e.a) || !listed.has(e.b)) continue;
    if (e.type === 'parent') push(children, e.a, e.b);
    else if (e.type === 'spouse') { push(partners, e.a, e.b); push(partners, e.b, e.a); }
  }
  const walk = descentWalk(home, children);
  if (!walk) return null;
  const { generation, primary, order } = walk;
  if (order.length < 50 || order.length < 0.34 * visibleIds.length) return null;
  const spouses = new Map(), marriedTo = new Map();
  for (const d of order) {
    const own = [];
    for (const p of partners.get(d) || []) {
      if (generation.has(p) || own.includes(p)) continue;
      if (marriedTo.has(p) && marriedTo.get(p) !== d) return null;
      marriedTo.set(p, d);
      own.push(p);
    }
    spouses.set(d, own);
  }
  for (const id of listed) if (!generation.has(id) && !marriedTo.has(id)) return null;
  for (const d of order) if (generation.get(d) > 3) return null;
  const position = new Map(visibleIds.map((id, i) => [id, i]));
  const kids = new Map();
  for (const d of order) if (primary.has(d)) push(kids, primary.get(d), d);
  for (const list of kids.values()) list.sort((a, b) => position.get(a) - position.get(b));

  const layout = new Map();
  const centre = new Map();
  const layoutRow = (id, cx, y, gen, route) => {
    const main = String((persons.get(id) || {}).sex || '').toUpperCase() === 'F' ? 1 : -1;
    const point = { x: cx + main * COUPLE_HALF, y, z: 12 * gen, gen };
    if (route) point.familyRoute = route;
    layout.set(id, point);
    (spouses.get(id) || []).forEach((s, i) => {
      const side = i % 2 === 1 ? -main : main;
      const x = i === 0 ? cx - main * COUPLE_HALF : cx + side * (COUPLE_HALF + Math.ceil(i / 2) * SATELLITE_STEP);
      layout.set(s, { x, y, z: 12 * gen + 12 + 2 * i, gen });
    });
    centre.set(id, cx);
  };
  layoutRow(home, 0, 0, 0, null);
  for (const d of order) {
    if (d === home) continue;
    const parent = primary.get(d), gen = generation.get(d);
    const siblings = kids.get(parent);
    const i = siblings.indexOf(d), n = siblings.length;
    const slot = i - (n - 1) / 2;
    if (gen === 1) {
      layoutRow(d, slot * MAIN_BRANCH, Y1, 1, null);
    } else if (gen === 2) {
      layoutRow(d, centre.get(parent) + slot * G2_GAP, Y2, 2, null);
    } else {
      const grand = primary.get(parent);
      const tier = kids.get(grand).indexOf(parent);
      const cx = centre.get(parent), y = G3_START + tier * G3_TIER;
      layoutRow(d, cx + slot * G3_GAP, y, 3, {
        householdId: parent, centerX: cx, laneX: cx + (n - 1) * G3_GAP / 2 + COUPLE_HALF + 245, familyTier: tier,
        turnY: Y2 + 760 - 80 * tier, startY: Y2 + 940 - 80 * tier, landingY: y - 235, childRowY: y, gen: 3,
      });
    }
  }
  return layout;
}

// A bucket grid over a layout map for "is anyone within dx and dy of this point" tests; `move` keeps it
// current when a person gets a new point.
function pointGrid(placed, cellX, cellY) {
  const cells = new Map();
  const keyOf = (i, j) => i * 67108864 + Math.max(-33554431, Math.min(33554431, j));
  const cellOf = p => [Math.floor(p.x / cellX), Math.floor(p.y / cellY)];
  const add = (id, p) => {
    const [i, j] = cellOf(p);
    const k = keyOf(i, j);
    const list = cells.get(k);
    if (list) list.push(id); else cells.set(k, [id]);
  };
  const remove = (id, p) => {
    const list = cells.get(keyOf(...cellOf(p)));
    const at = list ? list.indexOf(id) : -1;
    if (at >= 0) list.splice(at, 1);
  };
  for (const [id, p] of placed) add(id, p);
  return {
    move(id, from, to) { remove(id, from); add(id, to); },
    // Calls visit(id, point) for everyone who might stand within one cell of p.
    near(p, visit) {
      const [i, j] = cellOf(p);
      for (let a = i - 1; a <= i + 1; a++) for (let b = j - 1; b <= j + 1; b++) {
        const list = cells.get(keyOf(a, b));
        if (list) for (const id of list) visit(id, placed.get(id));
      }
    },
  };
}

const planeDistance = (p, q) => Math.hypot(p.x - q.x, p.y - q.y);

// Leaf-partner step: a visible partner with no parent record and exactly one spouse is moved beside that
// spouse, to the first trial slot no other orb crowds (less than 175 away in x and 118 in y).
function pullLeafPartners(placed, root) {
  const index = currentEdgeIndex();
  const parentEnd = id => index.parents.has(id) || index.children.has(id);
  const spouseOf = new Map();
  const candidates = [];
  for (const id of placed.keys()) {
    if (id === root || parentEnd(id)) continue;
    const spouses = new Set(index.spouses.get(id) || []);
    if (spouses.size !== 1) continue;
    spouseOf.set(id, spouses.values().next().value);
    candidates.push(id);
  }
  if (!candidates.length) return;
  candidates.sort(LAYOUT_COLLATOR.compare);
  const grid = pointGrid(placed, 175, 118);
  for (const id of candidates) {
    const spouse = spouseOf.get(id);
    const s = placed.get(spouse);
    if (!s || (!parentEnd(spouse) && spouse !== root) || klnHasUserMovedOrb(id)) continue;
    const own = placed.get(id);
    if (planeDistance(own, s) < 355) continue;
    const trial = freeLeafSlot(placed, grid, id, s);
    if (trial) {
      grid.move(id, own, trial);
      placed.set(id, trial);
    }
  }
}

function freeLeafSlot(placed, grid, id, s) {
  const own = placed.get(id);
  for (const dy of [0, -155, 155, -315, 315]) {
    for (const dx of [190, -190, 350, -350, 510, -510, 680, -680]) {
      const trial = { ...own, x: s.x + dx, y: s.y + dy, z: finite(s.z) + (dx < 0 ? -26 : 26) };
      let crowded = false;
      grid.near(trial, (other, p) => {
        if (!crowded && other !== id && Math.abs(p.x - trial.x) < 175 && Math.abs(p.y - trial.y) < 118) crowded = true;
      });
      if (!crowded) return trial;
    }
  }
  return null;
}

// Spouse pull: a partner standing more than 640 from a hub (a person with spouses) moves to the least
// crowded of 30 sites around the hub, nearest first. Hubs with more marriages, the root and better linked
// people go first; a partner with more marriages than the hub keeps its place for its own turn.
function bringSpousesCloser(placed, ids, root) {
  if (placed.size < 2 || ids.length > 1400) return placed;
  const inside = new Set(ids);
  const spouses = new Map(), degree = new Map();
  for (const e of edges) {
    if (!e || !inside.has(e.a) || !inside.has(e.b)) continue;
    if (e.type === 'parent') {
      degree.set(e.a, (degree.get(e.a) || 0) + 1);
      degree.set(e.b, (degree.get(e.b) || 0) + 1);
    } else if (e.type === 'spouse') {
      if (!spouses.has(e.a)) spouses.set(e.a, new Set());
      if (!spouses.has(e.b)) spouses.set(e.b, new Set());
      spouses.get(e.a).add(e.b);
      spouses.get(e.b).add(e.a);
    }
  }
  const hubs = [...spouses.keys()].sort((a, b) =>
    spouses.get(b).size - spouses.get(a).size || (b === root) - (a === root) ||
    (degree.get(b) || 0) - (degree.get(a) || 0) || LAYOUT_COLLATOR.compare(a, b));
  const grid = pointGrid(placed, 170, 125);
  const seen = new Set();
  for (const hub of hubs) {
    if (!placed.has(hub)) continue;
    for (const spouse of spouses.get(hub)) {
      if (!placed.has(spouse)) continue;
      const pair = hub < spouse ? hub + '\u0001' + spouse : spouse + '\u0001' + hub;
      if (seen.has(pair)) continue;
      seen.add(pair);
      const anchor = placed.get(hub), old = placed.get(spouse);
      if (klnHasUserMovedOrb(spouse) || spouse === root || spouses.get(spouse).size > spouses.get(hub).size) continue;
      if (planeDistance(old, anchor) <= 640) continue;
      const site = bestSpouseSite(placed, grid, hub, spouse);
      const hz = finite(anchor.z);
      const moved = { ...old, x: site.x, y: site.y, z: hz + (finite(old.z) >= hz ? 24 : -24) };
      grid.move(spouse, old, moved);
      placed.set(spouse, moved);
    }
  }
  return placed;
}

function bestSpouseSite(placed, grid, hub, spouse) {
  const anchor = placed.get(hub);
  const side = placed.get(spouse).x >= anchor.x ? 1 : -1;
  let best = null, bestScore = Infinity;
  for (const m of [215, 395, 550]) {
    for (const d of [side, -side]) {
      for (const dy of [0, -145, 145, -275, 275]) {
        const site = { x: anchor.x + m * d, y: anchor.y + dy };
        let crowd = 0;
        grid.near(site, (other, p) => {
          if (other === spouse || other === hub) return;
          const ax = Math.abs(p.x - site.x);
          if (ax < 170 && Math.abs(p.y - site.y) < 125) crowd += 9000 + 8 * (170 - ax);
        });
        const score = crowd + 0.26 * planeDistance(site, anchor) + 0.2 * Math.abs(dy);
        if (score < bestScore) { best = site; bestScore = score; }
        if (crowd === 0) return best;
      }
    }
  }
  return best;
}
