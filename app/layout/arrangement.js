// Family layout: base points of the visible people. The home person's whole connected group is arranged
// once and cached; the visible set only filters it, so the generation slider never rearranges anybody.
// Unlinked people get points on the workbench grid beside the home person.
// Owns: singleLayoutCache, coupleTreeCache, klnNearbySpouseCache, localLayoutCache, lastLayoutCall,
// PEDIGREE_LAYOUT_VERSION, CONNECTED_ARRANGEMENT_LIMIT.

// Version of the arrangement; stored bases written by another version are arranged again.
const PEDIGREE_LAYOUT_VERSION = 20;
// Groups up to this size get the connected pedigree arrangement, larger ones the general arrangement.
const CONNECTED_ARRANGEMENT_LIMIT = 1200;

// Household layout of the home group, or null when the group does not qualify.
let coupleTreeCache = { key: '', value: null };
// Arrangement of the home person's whole group.
let singleLayoutCache = { key: '', layout: null };
// The group arrangement after the spouse steps, for one visible set.
let klnNearbySpouseCache = { key: '', layout: null };
// The last result of buildLayout that added workbench points, with the group layout it was made from.
let localLayoutCache = { key: '', group: null, layout: null };
// The last call of buildLayout: its ids (a copy), what its result was made from, and the result. Painting
// asks for the same visible set many times a frame; an equal list over unchanged records and caches gets
// the same map without sorting the people into group and workbench again.
let lastLayoutCall = { ids: null, result: null, state: null };

function klnInvalidatePositionLayoutCaches() {
  singleLayoutCache.key = '';
  coupleTreeCache.key = '';
  klnNearbySpouseCache.key = '';
  localLayoutCache.key = '';
  lastLayoutCall = { ids: null, result: null, state: null };
}

function smartArrangement(ids, anchor = focus, scope = viewScope) {
  const forest = tidyForest(ids, anchor);
  if (!forest.groups.length) return new Map();
  if (scope === 'connected' && ids.length <= CONNECTED_ARRANGEMENT_LIMIT) {
    const layout = organizedConnectedLayout(forest, anchor);
    if (layout) return layout;
  }
  return generalArrangement(forest, ids.length, scope, anchor);
}

// Everything a result of buildLayout depends on besides its ids; any change means computing again.
function layoutState(root, c) {
  return [root, c, currentTreeId, persons, edges, edges.length, singleLayoutCache.key, singleLayoutCache.layout,
    coupleTreeCache.key, coupleTreeCache.value, klnNearbySpouseCache.key, klnNearbySpouseCache.layout,
    localLayoutCache.key, localLayoutCache.layout, klnShowUnlinked];
}

function sameList(a, b) {
  if (!a || a.length !== b.length) return false;
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
}

function buildLayout(ids) {
  const root = effectiveHome();
  const c = getConnectivity();
  const last = lastLayoutCall;
  if (last.state && sameList(last.ids, ids)) {
    const state = layoutState(root, c);
    if (state.every((v, i) => v === last.state[i])) return last.result;
  }
  const result = freshLayout(ids, root, c);
  lastLayoutCall = { ids: ids.slice(), result, state: layoutState(root, c) };
  return result;
}

function freshLayout(ids, root, c) {
  const group = root ? c.index.get(root) : undefined;
  const core = [], isolated = [];
  const staged = new Set();
  for (const id of ids) {
    if (group !== undefined && c.index.get(id) === group) core.push(id);
    else if (!staged.has(id) && klnIsUnlinked(id)) { staged.add(id); isolated.push(id); }
  }
  const layout = groupLayout(core, root);
  if (!isolated.length) return layout;
  const key = root + '\u0001' + isolated.join('\u0001');
  if (localLayoutCache.key === key && localLayoutCache.group === layout) return localLayoutCache.layout;
  const out = new Map(layout);
  const anchor = layout.get(root) || { x: 0, y: 0, z: 0 };
  isolated.forEach((id, i) => {
    const column = i % 5, row = Math.floor(i / 5);
    out.set(id, { x: anchor.x + 340 + 205 * column, y: anchor.y + 240 + 180 * row, z: finite(anchor.z), gen: 0 });
  });
  localLayoutCache.key = key;
  localLayoutCache.group = layout;
  localLayoutCache.layout = out;
  return out;
}

// The group layout of the visible members of the home group: the household layout when the group is a
// simple descendant family, else the cached group arrangement moved by the two spouse steps.
function groupLayout(core, root) {
  if (!core.length) return new Map();
  const all = connectedGroup(root);
  const tree = currentTreeId || '';
  const first = all[0], last = all[all.length - 1];
  // A group holds both ends of every spouse record that touches it, so adding its spouses never grows it.
  const householdKey = [tree, root, all.length, all.length, edges.length, first, last].join('|');
  if (coupleTreeCache.key !== householdKey) {
    coupleTreeCache.value = all.length >= 55 && all.length <= 1200
      ? descendantCoupleLayout(withVisibleSpouses(all), root) : null;
    coupleTreeCache.key = householdKey;
  }
  if (coupleTreeCache.value) {
    const out = new Map();
    for (const id of core) {
      const p = coupleTreeCache.value.get(id);
      if (p) out.set(id, p);
    }
    return out;
  }
  const singleKey = [tree, root, all.length, edges.length, first, last, PEDIGREE_LAYOUT_VERSION].join('|');
  if (singleLayoutCache.key !== singleKey) {
    singleLayoutCache.layout = smartArrangement(all, root, 'connected');
    singleLayoutCache.key = singleKey;
  }
  const nearbyKey = [tree, singleKey, root, core.length, core[0], core[core.length - 1]].join('|');
  if (klnNearbySpouseCache.key === nearbyKey && klnNearbySpouseCache.layout) return klnNearbySpouseCache.layout;
  const placed = new Map();
  for (const id of core) {
    const p = singleLayoutCache.layout.get(id);
    if (p) placed.set(id, p);
  }
  pullLeafPartners(placed, root);
  bringSpousesCloser(placed, core, root);
  klnNearbySpouseCache.key = nearbyKey;
  klnNearbySpouseCache.layout = placed;
  return placed;
}
