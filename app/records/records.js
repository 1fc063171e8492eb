// Family records: the person map and relationship list, the only two ways records enter them, the derived
// family views (siblings, family group) and the father/mother role rules.
// Owns: persons, edges, edgeIndex.

let persons = new Map();
let edges = [];

const EDGE_TYPES = ['parent', 'spouse', 'sibling'];

const PERSON_TEXT_FIELDS = ['name', 'birth', 'death', 'sex', 'birthPlace', 'deathPlace', 'residence',
  'occupation', 'bio', 'notes', 'photo'];

// Lookups derived from `edges`: relatives of each person by kind, in list order (which also answer the
// duplicate test). The index notices a replaced or resized list by itself and rebuilds; code that
// rewrites the ends of records in place calls rebuildEdgeIndex().
let edgeIndex = null;

function emptyEdgeIndex() {
  return { list: edges, length: 0, parentLinks: new Map(), parents: new Map(),
    children: new Map(), spouses: new Map(), siblings: new Map() };
}

// Whether a record of this type already joins a and b (either way round for spouses and siblings).
function hasEdge(index, a, b, type) {
  const list = (type === 'parent' ? index.children : type === 'spouse' ? index.spouses : index.siblings).get(a);
  return !!list && list.includes(b);
}

function pushTo(map, id, value) {
  const list = map.get(id);
  if (list) list.push(value); else map.set(id, [value]);
}

function indexEdge(index, e) {
  if (e.type === 'parent') {
    pushTo(index.parentLinks, e.b, e);
    pushTo(index.parents, e.b, e.a);
    pushTo(index.children, e.a, e.b);
  } else if (e.type === 'spouse' || e.type === 'sibling') {
    const map = e.type === 'spouse' ? index.spouses : index.siblings;
    pushTo(map, e.a, e.b);
    pushTo(map, e.b, e.a);
  }
}

function rebuildEdgeIndex() {
  edgeIndex = emptyEdgeIndex();
  for (const e of edges) if (e) indexEdge(edgeIndex, e);
  edgeIndex.length = edges.length;
  return edgeIndex;
}

function currentEdgeIndex() {
  if (!edgeIndex || edgeIndex.list !== edges || edgeIndex.length !== edges.length) rebuildEdgeIndex();
  return edgeIndex;
}

// A person map from a stored value: a Map, a list of [id, record] pairs, or a keyed object.
function personMapFrom(value) {
  if (value instanceof Map) return new Map(value);
  if (Array.isArray(value)) return new Map(value.filter(pair => Array.isArray(pair) && pair.length === 2));
  if (value && typeof value === 'object') return new Map(Object.entries(value));
  return new Map();
}

// Replaces the open tree wholesale (open, restore, undo, clear), dropping links whose ends are missing or
// equal.
function replaceFamily(people, links) {
  persons = personMapFrom(people);
  edges = (Array.isArray(links) ? links : []).filter(e =>
    e && typeof e === 'object' && persons.has(e.a) && persons.has(e.b) && e.a !== e.b);
  rebuildEdgeIndex();
}

function relativesIn(map, id) {
  return (currentEdgeIndex()[map].get(id) || []).slice();
}

function addPerson(d = {}) {
  klnCaptureExistingOrbPositions();
  let id = uid();
  while (persons.has(id)) id = uid();
  const p = { id };
  for (const f of PERSON_TEXT_FIELDS) {
    const v = d[f];
    p[f] = v === undefined || v === null || v === '' ? (f === 'name' ? 'Unknown ancestor' : '') : v;
    if (f === 'photo') {
      // Field order of the record: events, sources, external and privacy follow the photo.
      p.events = Array.isArray(d.events) ? d.events : [];
      p.sources = Array.isArray(d.sources) ? d.sources : [];
      p.external = d.external && typeof d.external === 'object' && !Array.isArray(d.external) ? d.external : {};
      p.privacy = d.privacy === undefined || d.privacy === null || d.privacy === '' ? 'unknown' : d.privacy;
    }
  }
  persons.set(id, p);
  adoptNewPerson(id);
  if (!bulkImport) update();
  return id;
}

// True when `descendant` can be reached from `ancestor` by walking down parent links. Both directions are
// searched a step at a time so the cost follows the smaller of the two family branches.
function isDescendant(descendant, ancestor) {
  const index = currentEdgeIndex();
  // Someone without children has no descendants, and someone without parents descends from nobody: the
  // usual case of a new link, answered without a search.
  if (!index.children.has(ancestor) || !index.parents.has(descendant)) return false;
  const down = [ancestor], up = [descendant];
  const seenDown = new Set(down), seenUp = new Set(up);
  while (down.length && up.length) {
    const fromDown = down.length <= up.length;
    const stack = fromDown ? down : up;
    const id = stack.pop();
    const next = (fromDown ? index.children : index.parents).get(id);
    if (!next) continue;
    const seen = fromDown ? seenDown : seenUp;
    const other = fromDown ? seenUp : seenDown;
    for (const n of next) {
      if (other.has(n)) return true;
      if (!seen.has(n)) { seen.add(n); stack.push(n); }
    }
  }
  return false;
}

function addEdge(a, b, type, source = 'manual') {
  if (!persons.has(a) || !persons.has(b) || a === b) return false;
  if (!EDGE_TYPES.includes(type)) return false;
  if (type === 'parent' && isDescendant(a, b)) return false;
  const index = currentEdgeIndex();
  if (hasEdge(index, a, b, type)) return false;
  klnCaptureExistingOrbPositions();
  const e = { a, b, type, source };
  edges.push(e);
  indexEdge(index, e);
  index.length = edges.length;
  markFamilyLayoutStale();
  expanded.add(a);
  expanded.add(b);
  if (!bulkImport) scheduleSave();
  return true;
}

// Every link added or removed changes connectivity, layouts and line neighbourhoods.
function markFamilyLayoutStale() {
  connectivityCache.key = '';
  localLayoutCache.key = '';
  singleLayoutCache.key = '';
  branchState.key = '';
  tidyCache.key = '';
}

function parentsOf(id) {
  return relativesIn('parents', id);
}

function childrenOf(id) {
  return relativesIn('children', id);
}

function spousesOf(id) {
  return relativesIn('spouses', id);
}

function getSiblings(id) {
  if (!persons.has(id)) return [];
  const out = new Set(relativesIn('siblings', id));
  for (const parent of parentsOf(id)) for (const child of childrenOf(parent)) out.add(child);
  out.delete(id);
  return [...out].filter(s => persons.has(s));
}

function linkSibling(a, b) {
  const parents = parentsOf(a);
  let added = false;
  if (parents.length) {
    for (const parent of parents) added = addEdge(parent, b, 'parent') || added;
  } else {
    added = addEdge(a, b, 'sibling');
  }
  return added || getSiblings(a).includes(b);
}

function familyGroup(id) {
  return { parents: parentsOf(id), children: childrenOf(id), siblings: getSiblings(id), spouses: spousesOf(id) };
}

function parentRecords(child) {
  return currentEdgeIndex().parentLinks.get(child) || [];
}

function parentRoleFor(child, parent) {
  const records = parentRecords(child);
  const record = records.find(e => e.a === parent);
  if (!record) return null;
  if (record.role === 'father' || record.role === 'mother') return record.role;
  const sex = String((persons.get(parent) || {}).sex || '').toUpperCase();
  if (sex === 'M') return 'father';
  if (sex === 'F') return 'mother';
  const position = records.indexOf(record);
  return position === 0 ? 'father' : position === 1 ? 'mother' : null;
}

function setParentRole(parent, child, role, setNewSex = false) {
  if (role !== 'father' && role !== 'mother') return false;
  const record = parentRecords(child).find(e => e.a === parent);
  if (!record) return false;
  record.role = role;
  const p = persons.get(parent);
  if (setNewSex && p && !p.sex) p.sex = role === 'father' ? 'M' : 'F';
  branchState.key = '';
  lineageColorMemo.key = '';
  visibleLineageColors.key = '';
  tidyCache.key = '';
  singleLayoutCache.key = '';
  if (!bulkImport) scheduleSave();
  return true;
}

function nextParentRole(child) {
  const roles = parentsOf(child).map(p => parentRoleFor(child, p));
  if (!roles.includes('father')) return 'father';
  if (!roles.includes('mother')) return 'mother';
  return null;
}
