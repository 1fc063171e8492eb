// Graph hooks: the graph's calls into features that live in other files (orb styles, family colours,
// line handles, the family wheel, the orbit dial, portraits, deleting, the navigator, placement), each
// with the plain behaviour that applies while that feature is absent from the document.
// Owns: frameLineageColours, plainForestCache.

// The lineage colours of the active family for the current frame (id → colour), or null.
let frameLineageColours = null;
let plainForestCache = { key: null, forest: null };

function personOrbStyle(person) {
  return orbStyleOf(person);
}

function monochromeLine() {
  return typeof MONOCHROME_LINE === 'string' ? MONOCHROME_LINE : '#9ce3e7';
}

function colouredBranchesOn() {
  if (typeof coloredBranchesEnabled === 'boolean') return coloredBranchesEnabled;
  if (typeof coloredBranches === 'boolean') return coloredBranches;
  return true;
}

// Refreshes the colours in use once per frame, so that the lines and orbs of one frame share a palette.
function refreshFrameColours() {
  frameLineageColours = null;
  if (typeof refreshVisibleLineageColors === 'function') {
    refreshVisibleLineageColors();
    if (visibleLineageColors && visibleLineageColors.key) frameLineageColours = visibleLineageColors.colors;
    return;
  }
  if (typeof cachedLineageColors !== 'function') return;
  const home = activeRootPersonId();
  if (!home) return;
  const colours = cachedLineageColors(familyForest(connectedPeople(home), home));
  if (colours instanceof Map) frameLineageColours = colours;
}

// A person's line colour in the detailed renderer: lineage colour, else a soft teal.
function lineColourOf(id) {
  if (!colouredBranchesOn()) return monochromeLine();
  return (frameLineageColours && frameLineageColours.get(id)) || '#8edbd0';
}

function familyColourOf(id) {
  if (typeof familyColor === 'function') return familyColor(id);
  return (frameLineageColours && frameLineageColours.get(id)) || '#71e6d7';
}

// A person's line colour in the dense overview: family colour, or the single gentle colour.
function denseLineColourOf(id) {
  if (typeof familyLineColor === 'function') return familyLineColor(id);
  return colouredBranchesOn() ? familyColourOf(id) : monochromeLine();
}

// The orb colour from the style already read for this orb (the same result as orbTint).
function orbTintOf(id, person, root, style) {
  if (style && style.color) return style.color;
  return root ? ORB_HOME_GOLD : familyColourOf(id);
}

function paintOrbEffect(g, id, s, r, colour, style, now) {
  drawOrbFx(g, id, s, r, colour, style, now);
}

// The spanning forest of a family: the shared one when the layout provides it, else a plain breadth-first
// forest over parent and sibling records (parents first, then children, then siblings).
function familyForest(ids, anchor) {
  if (typeof tidyForest === 'function') return tidyForest(ids, anchor);
  const key = [currentEdgeIndex(), persons.size, ids.length, ids[0], ids[ids.length - 1], anchor];
  if (plainForestCache.key && key.every((v, i) => v === plainForestCache.key[i])) return plainForestCache.forest;
  plainForestCache = { key, forest: plainForest(ids, anchor) };
  return plainForestCache.forest;
}

function plainForest(ids, anchor) {
  const valid = ids.filter(id => persons.has(id));
  const inside = new Set(valid);
  const forest = { groups: [], links: new Set(), connections: [], children: new Map(), parent: new Map(),
    steps: new Map(), depth: new Map(), generation: new Map() };
  const index = currentEdgeIndex();
  const neighbours = id => {
    const out = [];
    for (const p of index.parents.get(id) || []) out.push([p, p + '>' + id, -1, 'parent']);
    for (const c of index.children.get(id) || []) out.push([c, id + '>' + c, 1, 'parent']);
    for (const s of index.siblings.get(id) || []) out.push([s, 'S:' + [id, s].sort().join('|'), 0, 'sibling']);
    return out;
  };
  const seeds = inside.has(anchor) ? [anchor, ...valid] : valid;
  for (const seed of seeds) {
    if (forest.depth.has(seed)) continue;
    const members = [seed];
    forest.depth.set(seed, 0);
    forest.generation.set(seed, 0);
    for (let i = 0; i < members.length; i++) {
      const u = members[i];
      for (const [v, key, step, type] of neighbours(u)) {
        if (!inside.has(v) || forest.depth.has(v)) continue;
        forest.depth.set(v, forest.depth.get(u) + 1);
        forest.generation.set(v, forest.generation.get(u) + step);
        forest.parent.set(v, u);
        forest.steps.set(v, step);
        if (!forest.children.has(u)) forest.children.set(u, []);
        forest.children.get(u).push(v);
        forest.links.add(key);
        forest.connections.push({ a: u, b: v, key, type });
        members.push(v);
      }
    }
    forest.groups.push({ root: seed, members });
  }
  return forest;
}

function linesEditing() {
  return typeof editFamilyBranches === 'boolean' && editFamilyBranches;
}

// A junction or bend point moved by its stored handle offset (and registered as a handle while editing).
function adjustedPoint(point, ids, part, anchor) {
  return typeof adjustBranchPoint === 'function' ? adjustBranchPoint(point, ids, part, anchor) : point;
}

function handleOffset(ids, part) {
  return typeof branchControlOffset === 'function' ? branchControlOffset(ids, part) : { x: 0, y: 0, z: 0 };
}

function handleNear(x, y) {
  return typeof nearestBranchControl === 'function' ? nearestBranchControl(x, y) : null;
}

function storeHandleOffset(ids, part, next) {
  if (typeof moveBranchControl === 'function') moveBranchControl(ids, part, next);
}

function clearHandleHits() {
  if (typeof branchHandleHits !== 'undefined' && Array.isArray(branchHandleHits)) branchHandleHits.length = 0;
}

function paintHandles(g) {
  if (typeof drawBranchHandles === 'function') drawBranchHandles(g);
}

function closeFamilyWheel() {
  if (typeof hideOrbMenu === 'function') hideOrbMenu();
  else if (typeof closeOrbMenu === 'function') closeOrbMenu();
}

function openFamilyWheel(id, pos) {
  if (typeof showOrbMenu === 'function') showOrbMenu(id, pos);
}

function familyWheelOpen() {
  const menu = $('orbMenu');
  return !!menu && !menu.classList.contains('hidden');
}

function closeOrbitDial() {
  if (typeof close3DOrbitMenu === 'function') close3DOrbitMenu();
}

function openOrbitDial(id, screen) {
  if (typeof open3DOrbitMenu === 'function') open3DOrbitMenu(id, screen);
}

function openPortraitEditor(id) {
  editPhoto(id);
}

function deleteProfile(id) {
  if (typeof deletePerson === 'function') deletePerson(id);
}

function portraitFullscreenPending() {
  return portraitFullscreenRestore;
}

function dropPortraitFullscreenRestore() {
  clearPortraitFullscreenRestore();
}

function showNavigator(ids, layout) {
  if (typeof drawTreeNavigator === 'function') drawTreeNavigator(ids, layout);
}

// True when the person exists and has no relationship record at all.
function personUnlinked(id) {
  if (typeof klnIsUnlinked === 'function') return klnIsUnlinked(id);
  if (!persons.has(id)) return false;
  const index = currentEdgeIndex();
  return !['parents', 'children', 'spouses', 'siblings'].some(kind => (index[kind].get(id) || []).length);
}

// Stores a 3D offset set by hand (dragging); the person counts as placed by the user.
function storeOffset3D(id, offset) {
  if (typeof set3DOffset === 'function') { set3DOffset(id, offset); return; }
  const person = persons.get(id);
  if (!person) return;
  person.orbOffset3D = { x: finiteNumber(offset.x), y: finiteNumber(offset.y), z: finiteNumber(offset.z) };
  person.klnUserMovedOrb = true;
}
