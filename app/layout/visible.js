// Visible family: connected groups, step distances, the visible set, the header counts and the
// generation controls. This version shows the home person's whole connected group with its spouses.
// Owns: viewScope, pedigreeMode, generationDepth, includeDescendants, generationMax, connectivityCache.

let viewScope = 'connected';
let pedigreeMode = 'tidy';
let generationDepth = 999;
let includeDescendants = true;
let generationMax = 1;
let connectivityCache = { key: '', components: [], index: new Map() };

function treeCacheKey() {
  const first = persons.size ? persons.keys().next().value : '';
  let last = '';
  for (const id of persons.keys()) last = id;
  return [currentTreeId, persons.size, edges.length, first, last].join('|');
}

function neighboursOf(id) {
  const index = currentEdgeIndex();
  return [...(index.parents.get(id) || []), ...(index.children.get(id) || []),
    ...(index.spouses.get(id) || []), ...(index.siblings.get(id) || [])];
}

function getConnectivity() {
  const key = treeCacheKey();
  if (connectivityCache.key === key) return connectivityCache;
  const components = [];
  const seen = new Set();
  for (const start of persons.keys()) {
    if (seen.has(start)) continue;
    const group = [start];
    seen.add(start);
    for (let i = 0; i < group.length; i++) {
      for (const n of neighboursOf(group[i])) {
        if (!seen.has(n) && persons.has(n)) { seen.add(n); group.push(n); }
      }
    }
    components.push(group);
  }
  components.sort((a, b) => b.length - a.length);
  const index = new Map();
  components.forEach((group, i) => group.forEach(id => index.set(id, i)));
  connectivityCache = { key, components, index };
  return connectivityCache;
}

function connectedPeople(start) {
  if (!start || !persons.has(start)) return [];
  const c = getConnectivity();
  return c.components[c.index.get(start)].slice();
}

function connectedDepths(root, all) {
  const inside = new Set(all);
  const depths = new Map();
  if (!inside.has(root)) return depths;
  depths.set(root, 0);
  const queue = [root];
  for (let i = 0; i < queue.length; i++) {
    const d = depths.get(queue[i]);
    for (const n of neighboursOf(queue[i])) {
      if (inside.has(n) && !depths.has(n)) { depths.set(n, d + 1); queue.push(n); }
    }
  }
  return depths;
}

function activeRootPersonId() {
  if (rootPersonId && persons.has(rootPersonId)) return rootPersonId;
  if (focus && persons.has(focus)) return focus;
  return selected;
}

function displayed() {
  const home = activeRootPersonId();
  return home && persons.has(home) ? connectedPeople(home) : [];
}

function visibleLinkCount(ids) {
  const shown = new Set(ids);
  let n = 0;
  for (const e of edges) if (e.type !== 'sibling' && shown.has(e.a) && shown.has(e.b)) n++;
  return n;
}

function updateStats() {
  const ids = displayed();
  $('nodeCount').textContent = countText(ids.length);
  $('totalCount').textContent = countText(persons.size);
  $('linkCount').textContent = countText(visibleLinkCount(ids));
}

function refreshGenerationControls(reset = false) {
  const home = activeRootPersonId();
  const group = home ? connectedPeople(home) : [];
  const depths = home ? connectedDepths(home, group) : new Map();
  generationMax = Math.max(1, ...depths.values());
  if (!Number.isFinite(generationDepth)) generationDepth = 999;
  if (reset) generationDepth = 999;
  const range = $('generationRange');
  range.max = String(generationMax);
  range.value = String(Math.min(generationDepth, generationMax));
  $('generationNumber').textContent = generationDepth >= generationMax ? 'All' : String(generationDepth);
  $('showDescendants').checked = includeDescendants;
  $('simplePersonCount').textContent = countText(group.length) + ' in connected family';
}

// The start-up and tree-opening view: the connected family in the tidy pedigree.
function forceConnectedView() {
  viewScope = 'connected';
  pedigreeMode = 'tidy';
  $('familyScope').value = viewScope;
  $('pedigreeMode').value = pedigreeMode;
}

function applyFamilyScope(scope, saveChanges = true) {
  forceConnectedView();
  refreshGenerationControls(false);
  renderNeeded = true;
  if (saveChanges) update(); else updateStats();
}

function setGenerationDepth(value) {
  generationDepth = value > 0 ? value : 1;
  applyFamilyScope('connected', false);
}

function setIncludeDescendants(on) {
  includeDescendants = on;
  applyFamilyScope('connected', true);
}

function revealAll() {
  applyFamilyScope('connected', true);
}

function returnToRoot() {
  const home = activeRootPersonId();
  if (!home) return;
  selectPerson(home);
  update();
}
