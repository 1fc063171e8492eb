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

// The first run of four digits in the birth text as a number (a scan instead of a regular expression:
// the forest reads it for every person).
function birthYearKey(person) {
  const birth = person && person.birth;
  if (!birth) return NO_BIRTH_YEAR;
  const text = typeof birth === 'string' ? birth : String(birth);
  for (let i = 0, run = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    if (c < 48 || c > 57) run = 0;
    else if (++run === 4) return Number(text.slice(i - 3, i + 1));
  }
  return NO_BIRTH_YEAR;
}

// Neighbour lists of every valid person (by position in `valid`) over the parent and sibling records
// between valid people, as one flat list: person i's neighbours are entries start[i] to start[i + 1], each
// with the neighbour's position `to`, the record's index in `edges` and the `step` to it (-1 parent, 1
// child, 0 sibling). Each list is sorted: parents first, then children, then siblings; then birth year,
// name and id; records in list order on a tie.
function forestNeighbours(valid, at) {
  const n = valid.length;
  const start = new Int32Array(n + 1);
  // The records that count, with their ends' positions: [record index, a, b, is parent] each.
  const found = new Int32Array(4 * edges.length);
  let m = 0;
  for (let r = 0; r < edges.length; r++) {
    const e = edges[r];
    if (!e || (e.type !== 'parent' && e.type !== 'sibling')) continue;
    const a = at.get(e.a), b = at.get(e.b);
    if (a === undefined || b === undefined) continue;
    found[4 * m] = r; found[4 * m + 1] = a; found[4 * m + 2] = b; found[4 * m + 3] = e.type === 'parent' ? 1 : 0;
    m++;
    start[a + 1]++; start[b + 1]++;
  }
  for (let i = 0; i < n; i++) start[i + 1] += start[i];
  const next = start.slice(0, n);
  const to = new Int32Array(2 * m), record = new Int32Array(2 * m), step = new Int8Array(2 * m);
  const put = (i, j, r, s) => { const k = next[i]++; to[k] = j; record[k] = r; step[k] = s; };
  for (let f = 0; f < 4 * m; f += 4) {
    const r = found[f], a = found[f + 1], b = found[f + 2];
    if (found[f + 3]) { put(a, b, r, 1); put(b, a, r, -1); } else { put(a, b, r, 0); put(b, a, r, 0); }
  }
  // Birth years of the people in some list of two or more; names only where years tie.
  const year = new Float64Array(n), name = new Array(n);
  for (let i = 0; i < n; i++) {
    if (start[i + 1] - start[i] < 2) continue;
    for (let k = start[i]; k < start[i + 1]; k++) {
      const j = to[k];
      if (year[j] === 0) year[j] = birthYearKey(persons.get(valid[j])) + 1;
    }
  }
  const nameOf = i => {
    if (name[i] === undefined) { const p = persons.get(valid[i]); name[i] = String((p && p.name) || ''); }
    return name[i];
  };
  const priority = s => (s < 0 ? 0 : s > 0 ? 1 : 3);
  // Whether entry j belongs after entry k (years are kept one higher, so that 0 marks one not read yet).
  const after = (j, k) => {
    if (step[j] !== step[k]) return priority(step[j]) > priority(step[k]);
    const yj = year[to[j]], yk = year[to[k]];
    if (yj !== yk) return yj > yk;
    return (LAYOUT_COLLATOR.compare(nameOf(to[j]), nameOf(to[k])) || LAYOUT_COLLATOR.compare(valid[to[j]], valid[to[k]])) > 0;
  };
  const lists = [to, record, step];
  for (let i = 0; i < n; i++) sortFlatEntries(start[i], start[i + 1], after, lists);
  return { start, to, record, step };
}

// Sorts entries [from, end) of parallel flat arrays (`lists`) so that entry j comes after entry k when
// after(j, k), keeping ties in order: insertion for the short lists of most people, the built-in stable sort
// for the long ones (a person with hundreds of children). `after` reads the entries where they stood.
function sortFlatEntries(from, end, after, lists) {
  if (end - from < 2) return;
  const order = [];
  for (let k = from; k < end; k++) order.push(k);
  if (end - from <= 16) {
    for (let i = 1; i < order.length; i++) {
      const e = order[i];
      let j = i - 1;
      while (j >= 0 && after(order[j], e)) { order[j + 1] = order[j]; j--; }
      order[j + 1] = e;
    }
  } else {
    order.sort((j, k) => (after(j, k) ? 1 : after(k, j) ? -1 : 0));
  }
  for (const list of lists) {
    const values = order.map(k => list[k]);
    for (let k = from; k < end; k++) list[k] = values[k - from];
  }
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
      let kids = null, lastKid = -1;
      for (let k = neighbours.start[u], end = neighbours.start[u + 1]; k < end; k++) {
        const v = neighbours.to[k];
        if (seen[v]) continue;
        const s = neighbours.step[k];
        seen[v] = 1;
        from[v] = u;
        step[v] = s;
        depth[v] = depth[u] + 1;
        generation[v] = generation[u] + s;
        branch[v] = u === seed ? v : branch[u];
        tree[v] = t;
        order[placed++] = v;
        const r = edges[neighbours.record[k]];
        const key = s === 0 ? siblingLinkKey(r.a, r.b) : scaffoldLinkKey(r.a, r.b);
        forest.connections.push({ a: valid[u], b: valid[v], key, type: s === 0 ? 'sibling' : 'parent' });
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
  // The per-person fields read the search's arrays through `at` instead of being copied into maps of every
  // person (most readers ask for a few people, and a large family would pay for the copies at every
  // change); the link keys are gathered when first asked for.
  const reached = i => from[i] >= 0;
  forest.parent = forestField(valid, at, order, placed, i => valid[from[i]], reached);
  forest.steps = forestField(valid, at, order, placed, i => step[i], reached);
  forest.depth = forestField(valid, at, order, placed, i => depth[i]);
  forest.generation = forestField(valid, at, order, placed, i => generation[i]);
  forest.branch = forestField(valid, at, order, placed, i => valid[branch[i]]);
  forest.groupFor = forestField(valid, at, order, placed, i => tree[i]);
  let links = null;
  Object.defineProperty(forest, 'links', {
    enumerable: true,
    get() {
      if (!links) links = new Set(forest.connections.map(c => c.key));
      return links;
    },
  });
  // The search itself, by position in `valid`, for arrangements that walk large trees: breadth-first
  // `order` (each group's members from its walkStart), depth, generation, and forest children as a first
  // child and next sibling per position.
  forest.walk = { ids: valid, order, depth, generation, firstKid, nextKid };
  return forest;
}

// A read-only map of the forest's people (id → value at the person's position in `valid`) with the reading
// methods of a Map; it iterates in the breadth-first order of the search. `has(i)` leaves out positions
// without a value (the roots have no parent).
function forestField(valid, at, order, placed, value, has = () => true) {
  const position = id => {
    const i = at.get(id);
    return i !== undefined && has(i) ? i : -1;
  };
  function* entries() {
    for (let q = 0; q < placed; q++) if (has(order[q])) yield [valid[order[q]], value(order[q])];
  }
  let size = -1;
  return {
    get(id) { const i = position(id); return i < 0 ? undefined : value(i); },
    has(id) { return position(id) >= 0; },
    get size() {
      if (size < 0) { size = 0; for (let q = 0; q < placed; q++) if (has(order[q])) size++; }
      return size;
    },
    entries,
    [Symbol.iterator]: entries,
    *keys() { for (const [id] of entries()) yield id; },
    *values() { for (const [, v] of entries()) yield v; },
    forEach(fn, self) { for (const [id, v] of entries()) fn.call(self, v, id, this); },
  };
}

// Whether the forest reaches one end of the parent record `parent` → `child` from the other through it.
function forestHasParentLink(forest, parent, child) {
  return (forest.parent.get(child) === parent && forest.steps.get(child) === 1) ||
    (forest.parent.get(parent) === child && forest.steps.get(parent) === -1);
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
