// Visible family: connected groups, step distances, ancestors, the spouse pass, the visible set, the header
// counts, the generation slider, the descendants switch and the return to the home person.
// Owns: viewScope, pedigreeMode, generationDepth, includeDescendants, generationMax, connectivityCache,
// homeDepthCache, visibleBaseCache, VISIBLE_LINK_FOREST_ABOVE.

let viewScope = 'connected';
let pedigreeMode = 'tidy';
let generationDepth = 999;
let includeDescendants = true;
let generationMax = 1;
// Connected groups of the whole tree. Besides the fields other code reads (key, components, index) the
// record carries the neighbour lists it was built from (`graph`), so step searches reuse them.
let connectivityCache = { key: '', components: [], index: new Map(), graph: null };
// Step distances from the home person inside its group, for the connectivity record they were found in.
let homeDepthCache = { connectivity: null, home: null, depths: new Map() };
// The visible set before staging, for the records, home person and generation settings it was made from.
let visibleBaseCache = { key: null, base: [] };

// Above this many visible people the link count follows the tidy forest instead of every parent record.
const VISIBLE_LINK_FOREST_ABOVE = 1200;

// The effective home person: the stored home when that person exists, else the focus person, else none.
function effectiveHome() {
  if (rootPersonId && persons.has(rootPersonId)) return rootPersonId;
  if (focus && persons.has(focus)) return focus;
  return null;
}

function activeRootPersonId() {
  if (rootPersonId && persons.has(rootPersonId)) return rootPersonId;
  if (focus && persons.has(focus)) return focus;
  return selected;
}

function lastPersonId() {
  let last = '';
  for (const id of persons.keys()) last = id;
  return last;
}

function connectivityKey() {
  const first = persons.size ? persons.keys().next().value : '';
  return [currentTreeId || '', persons.size, first, lastPersonId(), edges.length].join(':');
}

// Undirected neighbour lists of every person over every relationship record whose two ends exist, in
// record order, as compressed arrays: the neighbours of person i are next[start[i]] … next[start[i+1]-1].
function relationGraph() {
  const ids = [...persons.keys()];
  const at = new Map();
  ids.forEach((id, i) => at.set(id, i));
  const start = new Int32Array(ids.length + 1);
  for (const e of edges) {
    if (!e) continue;
    const a = at.get(e.a), b = at.get(e.b);
    if (a === undefined || b === undefined) continue;
    start[a + 1]++;
    start[b + 1]++;
  }
  for (let i = 0; i < ids.length; i++) start[i + 1] += start[i];
  const fill = start.slice(0, ids.length);
  const next = new Int32Array(start[ids.length]);
  for (const e of edges) {
    if (!e) continue;
    const a = at.get(e.a), b = at.get(e.b);
    if (a === undefined || b === undefined) continue;
    next[fill[a]++] = b;
    next[fill[b]++] = a;
  }
  return { ids, at, start, next };
}

// Connected groups, largest first (equal sizes in discovery order), each in breadth-first order from the
// earliest-inserted person not yet reached.
function getConnectivity() {
  const key = connectivityKey();
  if (connectivityCache.key === key) return connectivityCache;
  const graph = relationGraph();
  const { ids, start, next } = graph;
  const seen = new Uint8Array(ids.length);
  const found = [];
  const queue = new Int32Array(ids.length);
  for (let seed = 0; seed < ids.length; seed++) {
    if (seen[seed]) continue;
    let head = 0, tail = 0;
    queue[tail++] = seed;
    seen[seed] = 1;
    while (head < tail) {
      const u = queue[head++];
      for (let k = start[u]; k < start[u + 1]; k++) {
        const v = next[k];
        if (!seen[v]) { seen[v] = 1; queue[tail++] = v; }
      }
    }
    const members = new Array(tail);
    for (let i = 0; i < tail; i++) members[i] = ids[queue[i]];
    found.push({ members, order: found.length });
  }
  found.sort((a, b) => b.members.length - a.members.length || a.order - b.order);
  const components = found.map(c => c.members);
  const index = new Map();
  components.forEach((group, i) => { for (const id of group) index.set(id, i); });
  connectivityCache = { key, components, index, graph };
  return connectivityCache;
}

// The cached group of `start`, shared with the cache: callers must not change it.
function connectedGroup(start) {
  if (!start || !persons.has(start)) return [];
  const c = getConnectivity();
  const i = c.index.get(start);
  return i === undefined ? [] : c.components[i];
}

function connectedPeople(start) {
  return connectedGroup(start).slice();
}

function connectedDepths(root, all) {
  const depths = new Map();
  const { graph } = getConnectivity();
  const r = graph.at.get(root);
  if (r === undefined) return depths;
  const inside = new Uint8Array(graph.ids.length);
  for (const id of all) {
    const i = graph.at.get(id);
    if (i !== undefined) inside[i] = 1;
  }
  if (!inside[r]) return depths;
  const dist = new Int32Array(graph.ids.length).fill(-1);
  const queue = new Int32Array(graph.ids.length);
  let head = 0, tail = 0;
  queue[tail++] = r;
  dist[r] = 0;
  while (head < tail) {
    const u = queue[head++];
    depths.set(graph.ids[u], dist[u]);
    for (let k = graph.start[u]; k < graph.start[u + 1]; k++) {
      const v = graph.next[k];
      if (inside[v] && dist[v] < 0) { dist[v] = dist[u] + 1; queue[tail++] = v; }
    }
  }
  return depths;
}

// Step distances from the home person over its whole group, kept until the groups are recomputed.
function homeDepths(home) {
  const c = getConnectivity();
  if (homeDepthCache.connectivity !== c || homeDepthCache.home !== home) {
    homeDepthCache = { connectivity: c, home, depths: connectedDepths(home, connectedGroup(home)) };
  }
  return homeDepthCache.depths;
}

function ancestryPeople(anchor, levels = Infinity) {
  if (!anchor || !persons.has(anchor)) return [];
  const parents = currentEdgeIndex().parents;
  const depth = new Map([[anchor, 0]]);
  const out = [anchor];
  for (let i = 0; i < out.length; i++) {
    const d = depth.get(out[i]);
    if (!(d < levels)) continue;
    for (const p of parents.get(out[i]) || []) {
      if (persons.has(p) && !depth.has(p)) { depth.set(p, d + 1); out.push(p); }
    }
  }
  return out;
}

// One pass over the spouse records in stored order; a spouse added during the pass counts as visible for
// the records after it.
function withVisibleSpouses(baseIds) {
  const shown = new Set(baseIds);
  const extra = [];
  for (const e of edges) {
    if (!e || e.type !== 'spouse') continue;
    if (shown.has(e.a)) {
      if (!shown.has(e.b) && persons.has(e.b)) { shown.add(e.b); extra.push(e.b); }
    } else if (shown.has(e.b) && persons.has(e.a)) {
      shown.add(e.a);
      extra.push(e.a);
    }
  }
  return extra.length ? baseIds.concat(extra) : baseIds.slice();
}

function depthLimit() {
  return Number.isFinite(generationDepth) ? generationDepth : 999;
}

// The visible set before staging. Every relationship edit, merge, deletion, import and restore empties the
// connectivity key, so a new connectivity record (or a new person map or list) means the records changed.
function visibleBase(home) {
  const c = getConnectivity();
  const max = depthLimit();
  const key = visibleBaseCache.key;
  if (key && key.connectivity === c && key.persons === persons && key.edges === edges &&
      key.length === edges.length && key.home === home && key.max === max &&
      key.descendants === includeDescendants && key.generationMax === generationMax) {
    return visibleBaseCache.base;
  }
  let base;
  if (!includeDescendants) {
    base = withVisibleSpouses(ancestryPeople(home, max));
  } else if (max >= generationMax) {
    base = withVisibleSpouses(connectedGroup(home));
  } else {
    const depths = homeDepths(home);
    base = withVisibleSpouses(connectedGroup(home).filter(id => depths.has(id) && depths.get(id) <= max));
  }
  visibleBaseCache = {
    key: { connectivity: c, persons, edges, length: edges.length, home, max, descendants: includeDescendants,
      generationMax },
    base,
  };
  return base;
}

function displayed() {
  const home = effectiveHome();
  const base = home ? visibleBase(home) : [];
  return klnStageUnlinked(base.slice());
}

// Parent records with both ends shown; above the threshold, the forest connections plus the other parent
// records that touch the selected person.
function visibleLinkCount(ids) {
  let n = 0;
  if (ids.length <= VISIBLE_LINK_FOREST_ABOVE) {
    const shown = new Set(ids);
    for (const e of edges) if (e && e.type === 'parent' && shown.has(e.a) && shown.has(e.b)) n++;
    return n;
  }
  // The forest is grown over the shown people: each of its connections joins two of them, and it holds
  // every shown person.
  const forest = tidyForest(ids, rootPersonId || focus);
  const shown = forest.depth;
  n = forest.connections.length;
  for (const e of edges) {
    // Only links touching the selected person can count, so only those are looked up in the forest.
    if (!e || e.type !== 'parent' || (e.a !== selected && e.b !== selected)) continue;
    if (!shown.has(e.a) || !shown.has(e.b) || forestHasParentLink(forest, e.a, e.b)) continue;
    n++;
  }
  return n;
}

function updateStats() {
  const ids = displayed();
  $('nodeCount').textContent = String(ids.length);
  $('totalCount').textContent = String(persons.size);
  $('linkCount').textContent = String(visibleLinkCount(ids));
  // The command bar's count follows every refresh too, not only the generation controls: a person added
  // or deleted changes it.
  $('simplePersonCount').textContent = ids.length.toLocaleString() + ' people shown';
}

function refreshGenerationControls(reset = false) {
  const previousMax = generationMax;
  const showingAll = depthLimit() >= previousMax;
  const home = effectiveHome();
  let max = 1;
  if (home) for (const d of homeDepths(home).values()) if (d > max) max = d;
  generationMax = max;
  if (reset || showingAll || !(generationDepth <= generationMax)) generationDepth = generationMax;
  generationDepth = Math.min(generationMax, Math.max(1, generationDepth));
  const all = generationDepth >= generationMax;
  const range = $('generationRange');
  range.max = String(generationMax);
  range.value = String(generationDepth);
  range.title = all ? 'All ' + generationMax + ' generation steps' : generationDepth + ' generation steps';
  $('showDescendants').checked = includeDescendants;
  $('generationNumber').textContent = all ? 'All' : String(generationDepth);
  $('simplePersonCount').textContent = displayed().length.toLocaleString() + ' people shown';
}

// The start-up and tree-opening view: the connected family in the tidy pedigree.
function forceConnectedView() {
  viewScope = 'connected';
  pedigreeMode = 'tidy';
  $('familyScope').value = viewScope;
  $('pedigreeMode').value = pedigreeMode;
}

// For loaders that keep another stored scope (a restored backup); applying the scope sets "connected" again.
function setViewScope(scope) {
  viewScope = typeof scope === 'string' && scope ? scope : 'connected';
  $('familyScope').value = viewScope;
}

// For loaders and the import: a stored depth that is not a finite number means all steps; only a stored
// false hides descendants.
function restoreGenerationSettings(depth, descendants) {
  generationDepth = typeof depth === 'number' && Number.isFinite(depth) ? depth : 999;
  includeDescendants = descendants !== false;
}

function applyFamilyScope(scope, saveChanges = true) {
  viewScope = 'connected';
  $('familyScope').value = viewScope;
  refreshGenerationControls(false);
  setViewState({ expanded: displayed() });
  renderNeeded = true;
  if (saveChanges) {
    update();
    scheduleSave();
  } else {
    updateStats();
  }
}

// The generation slider while it moves: 0 or a value that is not a number counts as 1.
function setGenerationDepth(value) {
  const n = Number(value);
  generationDepth = n && !Number.isNaN(n) ? n : 1;
  applyFamilyScope('connected', false);
  renderNeeded = true;
}

function setIncludeDescendants(on) {
  includeDescendants = !!on;
  applyFamilyScope('connected', true);
}

function revealAll() {
  applyFamilyScope('connected', true);
}

function returnToRoot() {
  if (!rootPersonId || !persons.has(rootPersonId)) {
    setViewState({ rootPersonId: focus && persons.has(focus) ? focus : firstPersonId() });
  }
  const home = rootPersonId;
  if (!home) {
    toast('Add or import a family member first.');
    return;
  }
  closeOrbMenu();
  setViewState({ focus: home, selected: home });
  expanded.add(home);
  refreshGenerationControls(false);
  update();
  centerCameraOn(home);
  toast('Returned to your home person: ' + persons.get(home).name);
}
