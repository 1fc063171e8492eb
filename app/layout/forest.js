// Tidy forest: the non-duplicating spanning forest of a family group that the layout, the link painter,
// the link count and the line colours share. Every person is reached once, by the first route a
// breadth-first search finds; later records that reach the same person (pedigree collapse, a second parent,
// a cousin marriage) stay in the records but are not forest edges.
// Owns: tidyCache, LAYOUT_COLLATOR, NO_BIRTH_YEAR.

let tidyCache = { key: '', forest: null };

// Locale comparison of names and ids, as String.prototype.localeCompare does it, without its per-call cost.
const LAYOUT_COLLATOR = new Intl.Collator();
// Sort position of a person without a four-digit run in the birth text: after everyone with one.
const NO_BIRTH_YEAR = 100000;

function scaffoldLinkKey(a, b) {
  return a + '>' + b;
}

function siblingLinkKey(a, b) {
  return 'S:' + (a < b ? a + '|' + b : b + '|' + a);
}

function emptyForest() {
  return { groups: [], links: new Set(), connections: [], children: new Map(), parent: new Map(),
    steps: new Map(), depth: new Map(), generation: new Map(), branch: new Map(), groupFor: new Map() };
}

function birthYearKey(person) {
  const m = String((person && person.birth) || '').match(/\d{4}/);
  return m ? Number(m[0]) : NO_BIRTH_YEAR;
}

// Neighbour entries of every valid person (by position in `valid`) over the parent and sibling records
// between valid people, each list sorted: parents first, then children, then siblings; then birth year,
// name and id. An entry is {to, record, priority, step}.
function forestNeighbours(valid, at) {
  const lists = new Array(valid.length);
  const add = (i, entry) => {
    const list = lists[i];
    if (list) list.push(entry); else lists[i] = [entry];
  };
  for (const e of edges) {
    if (!e || (e.type !== 'parent' && e.type !== 'sibling')) continue;
    const a = at.get(e.a), b = at.get(e.b);
    if (a === undefined || b === undefined) continue;
    if (e.type === 'parent') {
      add(a, { to: b, record: e, priority: 1, step: 1 });
      add(b, { to: a, record: e, priority: 0, step: -1 });
    } else {
      add(a, { to: b, record: e, priority: 3, step: 0 });
      add(b, { to: a, record: e, priority: 3, step: 0 });
    }
  }
  const year = new Float64Array(valid.length).fill(NaN);
  const name = new Array(valid.length);
  const yearOf = i => {
    if (Number.isNaN(year[i])) {
      const p = persons.get(valid[i]);
      year[i] = birthYearKey(p);
      name[i] = String((p && p.name) || '');
    }
    return year[i];
  };
  const order = (a, b) => {
    if (a.priority !== b.priority) return a.priority - b.priority;
    const ya = yearOf(a.to), yb = yearOf(b.to);
    if (ya !== yb) return ya - yb;
    return LAYOUT_COLLATOR.compare(name[a.to], name[b.to]) || LAYOUT_COLLATOR.compare(valid[a.to], valid[b.to]);
  };
  for (const list of lists) if (list && list.length > 1) list.sort(order);
  return lists;
}

function tidyForest(ids, anchor = focus) {
  const valid = [];
  let anchored = false;
  for (const id of ids) {
    if (!persons.has(id)) continue;
    valid.push(id);
    if (id === anchor) anchored = true;
  }
  if (!valid.length) return emptyForest();
  const home = anchored ? anchor : valid[0];
  const key = [currentTreeId || '', home, edges.length, valid.length, valid[0], valid[valid.length - 1],
    viewScope, expanded.size].join('|');
  if (tidyCache.key === key && tidyCache.forest) return tidyCache.forest;
  // Positions in `valid` (the first one of an id listed twice), made only when the forest is grown.
  const at = new Map();
  for (let i = 0; i < valid.length; i++) if (!at.has(valid[i])) at.set(valid[i], i);
  const forest = growForest(valid, at, home);
  tidyCache = { key, forest };
  return forest;
}

// Breadth-first trees seeded at the home person, then at every valid id in the given order. The search runs
// on positions in `valid` and writes the forest's maps once at the end.
function growForest(valid, at, home) {
  const n = valid.length;
  const neighbours = forestNeighbours(valid, at);
  const seen = new Uint8Array(n);
  const from = new Int32Array(n).fill(-1);
  const step = new Int8Array(n), depth = new Int32Array(n), generation = new Int32Array(n), branch = new Int32Array(n);
  const tree = new Int32Array(n);
  const forest = emptyForest();
  const order = new Int32Array(n);
  const firstKid = new Int32Array(n).fill(-1), nextKid = new Int32Array(n).fill(-1);
  let placed = 0;
  const seeds = [at.get(home)];
  for (let i = 0; i < n; i++) seeds.push(at.get(valid[i]));
  for (const seed of seeds) {
    if (seen[seed]) continue;
    const t = forest.groups.length;
    const first = placed;
    seen[seed] = 1;
    branch[seed] = seed;
    tree[seed] = t;
    order[placed++] = seed;
    for (let q = first; q < placed; q++) {
      const u = order[q];
      const list = neighbours[u];
      if (!list) continue;
      let kids = null, lastKid = -1;
      for (const entry of list) {
        const v = entry.to;
        if (seen[v]) continue;
        seen[v] = 1;
        from[v] = u;
        step[v] = entry.step;
        depth[v] = depth[u] + 1;
        generation[v] = generation[u] + entry.step;
        branch[v] = u === seed ? v : branch[u];
        tree[v] = t;
        order[placed++] = v;
        const r = entry.record;
        const key = entry.step === 0 ? siblingLinkKey(r.a, r.b) : scaffoldLinkKey(r.a, r.b);
        forest.links.add(key);
        forest.connections.push({ a: valid[u], b: valid[v], key, type: entry.step === 0 ? 'sibling' : 'parent' });
        (kids || (kids = [])).push(valid[v]);
        if (lastKid < 0) firstKid[u] = v; else nextKid[lastKid] = v;
        lastKid = v;
      }
      if (kids) forest.children.set(valid[u], kids);
    }
    const members = new Array(placed - first);
    for (let q = first; q < placed; q++) members[q - first] = valid[order[q]];
    forest.groups.push({ root: valid[seed], members, walkStart: first });
  }
  for (let q = 0; q < placed; q++) {
    const i = order[q], id = valid[i];
    if (from[i] >= 0) {
      forest.parent.set(id, valid[from[i]]);
      forest.steps.set(id, step[i]);
    }
    forest.depth.set(id, depth[i]);
    forest.generation.set(id, generation[i]);
    forest.branch.set(id, valid[branch[i]]);
    forest.groupFor.set(id, tree[i]);
  }
  // The search itself, by position in `valid`, for arrangements that walk large trees: breadth-first
  // `order` (each group's members from its walkStart), depth, generation, and forest children as a first
  // child and next sibling per position.
  forest.walk = { ids: valid, order, depth, generation, firstKid, nextKid };
  return forest;
}

// Parent lists of the forest's people (parent records in list order, both ends in one forest tree),
// used by the arrangements.
function forestParentLists(forest) {
  const lists = new Map();
  for (const e of edges) {
    if (!e || e.type !== 'parent') continue;
    const ga = forest.groupFor.get(e.a);
    if (ga === undefined || ga !== forest.groupFor.get(e.b)) continue;
    const list = lists.get(e.b);
    if (!list) lists.set(e.b, [e.a]);
    else if (!list.includes(e.a)) list.push(e.a);
  }
  return lists;
}
