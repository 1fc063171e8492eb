// Saving and opening trees: the stored tree record, the save indicator, start-up with the migration of the
// older single-tree workspace, opening a tree with the conversion of older records, and the empty page
// left when no tree is open.
// Owns: currentTreeId, libraryReady, saveChain, savesRunning, lastSaveTimer, quickSaveTimer,
// quickSavePending, saveFailed.

let currentTreeId = null;
let libraryReady = false;
let saveChain = Promise.resolve();
let savesRunning = 0;
// The save timer that was current when the last save began: a different one means a newer request.
let lastSaveTimer = null;
let quickSaveTimer = null;
let quickSavePending = false;
let saveFailed = false;

const INTEGER_LIKE_ID = /^(0|[1-9]\d{0,9})$/;

function newTreeId() {
  return 'tree-' + Date.now().toString(36) + Math.random().toString(36).slice(2, 5);
}

function setSaveIndicator(text) {
  $('saveIndicator').textContent = text;
}

function directoryEntry(id) {
  return treeDirectory.find(t => t.id === id) || null;
}

// The people as stored: a keyed object, the form every reader knows; but an object puts integer-like keys
// ("2", "10") first whatever order the map had, so a tree with such ids stores a list of [id, record]
// pairs instead, which keeps its order through JSON and structured clones alike.
function storedPersons(map) {
  return storedAsPairs(map) ? [...map] : Object.fromEntries(map);
}

function storedAsPairs(map) {
  for (const id of map.keys()) {
    const c = id.charCodeAt(0);
    if (c >= 48 && c <= 57 && INTEGER_LIKE_ID.test(id) && Number(id) < 4294967295) return true;
  }
  return false;
}

// The people of a stored record in their stored order; entries that are not person records are dropped.
function storedPersonMap(record) {
  const stored = record.persons;
  const people = new Map();
  const keep = (id, p) => {
    if (p && typeof p === 'object' && !Array.isArray(p)) people.set(String(id), p);
  };
  if (stored && typeof stored === 'object' && !Array.isArray(stored) && !(stored instanceof Map)) {
    for (const id of Object.keys(stored)) keep(id, stored[id]);
  } else {
    for (const [id, p] of personMapFrom(stored)) keep(id, p);
  }
  return people;
}

// The stored tree record, version 6. The live camera goes into the saved camera of the active view first.
function treeData() {
  return treeDataWith(currentView());
}

// `parts`, when given, are the texts of the people and links (recordtext.js) that a save writes in their
// place; the record then holds null for the people instead of copying the map for nothing.
function treeDataWith(view, parts = null) {
  return { version: 6, worldOffsets3D: true, persons: parts ? null : storedPersons(persons), edges, ...view };
}

// The fields of the record besides the people and links, in the record's order.
function currentView() {
  keepCamera();
  return { focus, rootPersonId, selected, expanded: [...expanded], lineMode, viewScope, pedigreeMode,
    generationDepth, includeDescendants, camera2, camera3 };
}

// True while a save request has not been written yet: a newer save timer, the quick timer after an undo,
// or a save that neither store took.
function savePending() {
  return saveFailed || quickSavePending || saveTimer !== lastSaveTimer;
}

// Replaces the pending save by one `ms` from now (undo and redo store their result quickly).
function saveSoon(ms) {
  clearTimeout(saveTimer);
  clearTimeout(quickSaveTimer);
  quickSavePending = true;
  quickSaveTimer = setTimeout(save, ms);
}

function cancelPendingSave() {
  clearTimeout(saveTimer);
  clearTimeout(quickSaveTimer);
  quickSavePending = false;
  lastSaveTimer = saveTimer;
}

// Stores the open tree and its directory entry. Saves run one after another, so each one knows what the
// previous one stored.
function save() {
  return queueSave('ask');
}

function queueSave(mode) {
  const run = saveChain.then(() => saveOpenTree(mode));
  saveChain = run;
  return run;
}

async function saveOpenTree(mode) {
  quickSavePending = false;
  lastSaveTimer = saveTimer;
  if (libraryDeleting || !currentTreeId) return;
  savesRunning++;
  try {
    await writeOpenTree(mode);
  } catch (e) {
    console.warn('Saving the family tree failed:', e);
    reportSave(false);
  } finally {
    savesRunning--;
  }
}

// One save: nothing when this window has no edits of its own and another window stored newer ones
// (writing would only put an older tree over them), nor when neither the people and links nor the view
// changed since the tree was last stored; otherwise a checked write, and when the check finds edits of
// another window, the user's choice (or, unattended, the choice that loses nothing).
async function writeOpenTree(mode) {
  const id = currentTreeId;
  const parts = klnCurrentEditParts();
  const edited = treeEdited(parts);
  if (!edited && treeStale()) return;
  const view = currentView();
  if (!edited && !saveFailed && treeUnchanged(view)) {
    reportSave(true);
    return;
  }
  const data = treeDataWith(view, parts);
  const claim = treeClaim(id, data, edited, parts);
  let outcome = await writeTreeState(id, data, claim);
  if (outcome.conflict) {
    const choice = conflictChoice(outcome.conflict, mode);
    if (choice === 'later') { lastSaveTimer = null; return; }
    if (choice === 'drop') { await followDeletion(); return; }
    if (choice === 'copy') { await forkOpenTree(data, parts); return; }
    outcome = await writeTreeState(id, data, { ...claim, force: true });
  }
  finishSave(id, outcome, claim);
}

function finishSave(id, outcome, claim) {
  setDirectory(outcome.list);
  if (outcome.stored) noteTreeSaved(id, outcome, claim);
  if (currentTreeId === id) reportSave(outcome.stored);
}

function reportSave(stored) {
  saveFailed = !stored;
  if (stored) {
    const entry = directoryEntry(currentTreeId);
    setSaveIndicator('● Saved · ' + (entry ? entry.name : 'Tree'));
  } else {
    setSaveIndicator('⚠ Back up this tree');
    toast('Browser storage was unavailable. Download a JSON backup to protect your work.');
  }
}

// Start-up: the stored library, or, when none was ever stored, one tree made from the older single-tree
// workspace; then the first tree opens.
async function load() {
  const stored = await readRecord(DIRECTORY_KEY);
  if (Array.isArray(stored)) setDirectory(validEntries(stored));
  else await migrateWorkspace();
  libraryReady = true;
  if (treeDirectory.length) await openTree(treeDirectory[0].id, false);
  else clearActiveFamilyAfterDelete();
}

// An older version kept one workspace under STORAGE. It is also looked for in localStorage when
// IndexedDB has no copy: versions before the database kept it there alone, and skipping it would leave
// the user's family behind.
async function migrateWorkspace() {
  let legacy = await readRecord(STORAGE);
  if (legacy === null) legacy = localRead(STORAGE);
  const record = legacy && typeof legacy === 'object' && !Array.isArray(legacy) ? legacy : null;
  const count = record ? personMapFrom(record.persons).size : 0;
  const entry = { id: 'tree-' + Date.now().toString(36), name: count ? 'Recovered family tree' : 'My family tree',
    count, updated: Date.now() };
  setDirectory([entry]);
  await writeRecord(DIRECTORY_KEY, treeDirectory);
  if (record && record.persons !== undefined && record.persons !== null) await writeRecord(treeKey(entry.id), record);
}

// Makes a stored tree the open tree. A missing or unreadable record opens as an empty tree; references to
// missing people fall back to the first person; the view opens in 2D, connected, with the stored cameras
// and generation settings; offsets of older records are converted.
async function openTree(id, saveBefore = true) {
  klnCancelPositionCapture();
  if (saveBefore && currentTreeId) await save();
  const found = await readTreeRecord(id);
  const record = found && typeof found === 'object' && !Array.isArray(found) ? found : {};
  currentTreeId = id;
  replaceFamily(storedPersonMap(record), record.edges);
  const named = v => (typeof v === 'string' && persons.has(v) ? v : null);
  const first = named(record.focus) || firstPersonId();
  const open = (Array.isArray(record.expanded) ? record.expanded : []).filter(named);
  if (first) open.push(first);
  setViewState({ focus: first, rootPersonId: named(record.rootPersonId) || first,
    selected: named(record.selected) || first, expanded: open });
  setLineMode('shared');
  forceConnectedView();
  restoreGenerationSettings(record.generationDepth, record.includeDescendants);
  singleLayoutCache.key = '';
  loadTreeCameras(record);
  if (!record.worldOffsets3D) convertScreenOffsets();
  copyOlderOffsets();
  portraitCache.clear();
  hideHome();
  refreshGenerationControls(false);
  klnResetEditHistory();
  syncOpenedTree(id, found);
  update();
  return true;
}

function copyOlderOffsets() {
  for (const p of persons.values()) {
    const old = p.orbOffset;
    if (old && typeof old === 'object' && (p.orbOffset2D === undefined || p.orbOffset2D === null)) p.orbOffset2D = { ...old };
  }
}

function offsetNumber(v) {
  const n = typeof v === 'number' || (typeof v === 'string' && v.trim() !== '') ? Number(v) : NaN;
  return Number.isFinite(n) ? n : 0;
}

// Records without `worldOffsets3D` hold 3D offsets in the screen plane of their 3D camera; they become
// world offsets by turning them through that camera's pitch and yaw. The old depth is discarded.
function convertScreenOffsets() {
  const finiteOr = (v, d) => (typeof v === 'number' && Number.isFinite(v) ? v : d);
  const yaw = finiteOr(camera3 && camera3.rotation, 0.28);
  const pitch = finiteOr(camera3 && camera3.tilt, 0.32);
  for (const p of persons.values()) {
    const old = p.orbOffset3D;
    if (old === undefined || old === null) continue;
    const dx = offsetNumber(old.x), dy = offsetNumber(old.y);
    const x = dx, z = -dy * Math.sin(pitch);
    p.orbOffset3D = { x: x * Math.cos(yaw) + z * Math.sin(yaw), y: dy * Math.cos(pitch),
      z: -x * Math.sin(yaw) + z * Math.cos(yaw) };
  }
}

// The page with no open tree, after the library was emptied or its last tree went elsewhere.
function clearActiveFamilyAfterDelete() {
  klnCancelPositionCapture();
  currentTreeId = null;
  replaceFamily(new Map(), []);
  setViewState({ focus: null, selected: null, rootPersonId: null, expanded: [] });
  portraitCache.clear();
  localLayoutCache.key = '';
  tidyCache.key = '';
  singleLayoutCache.key = '';
  setSaveIndicator('● No family trees');
  klnResetEditHistory();
  syncOpenedTree(null, null);
  update();
  renderNeeded = true;
}

// Another tree takes the open tree's place under a new id (a copy that keeps this window's version).
function adoptTreeId(id) {
  currentTreeId = id;
}

// Closing the open tree before it is deleted, so that no save writes it back.
function closeOpenTree() {
  cancelPendingSave();
  currentTreeId = null;
}
