// Several windows of one browser profile, and closing a window. A second launch opens a second window on
// the same storage, so every stored tree carries a revision number and the id of its edit state (`editId`,
// new whenever people or links changed). Each window remembers which stored edit state its open tree
// comes from; a save checks the store first (treestore.js) and never writes over an edit state this window
// has not seen without asking. Saves and library changes are announced on a broadcast channel, so the
// window that falls behind learns of it at once and tells the user. A save still waiting on its timer is
// written when the page is hidden or closed.
// Owns: treeSync, libraryChannel, LIBRARY_CHANNEL.

const LIBRARY_CHANNEL = 'kinloom-library';

// tree: the open tree this describes; entry: its library entry as last seen (a tree deleted elsewhere is
// put back with it); revision, editId: the stored state the open tree comes from;
// parts: its edit key (people and links) as last stored or opened; view: the rest of the record as last
// stored or opened (null when the stored record lacks something); listed: it had a library entry;
// behind: another window stored other edits since; lost: this window's stored state was replaced by a
// window that had not seen it; deleted: another window deleted the tree; askLater: a hidden page found a
// conflict and asks once it is shown again.
let treeSync = emptyTreeSync(null);
let libraryChannel = openLibraryChannel();

function emptyTreeSync(tree) {
  return { tree, entry: null, revision: 0, editId: null, parts: null, view: null, listed: false, behind: false,
    lost: false, deleted: false, askLater: false };
}

function newEditId() {
  return 'e' + Date.now().toString(36) + Math.random().toString(36).slice(2, 8);
}

function openLibraryChannel() {
  addEventListener('pagehide', flushOnClose);
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'hidden') flushOnHide();
    else if (treeSync.askLater) { treeSync.askLater = false; save(); }
  });
  try {
    const channel = new BroadcastChannel(LIBRARY_CHANNEL);
    channel.onmessage = e => onLibraryMessage(e.data);
    return channel;
  } catch (e) {
    console.warn('Windows of this browser cannot tell each other about saves:', e);
    return null;
  }
}

function announceLibraryChange(message) {
  try {
    if (libraryChannel) libraryChannel.postMessage(message);
  } catch (e) {
    console.warn('Could not tell other windows about a library change:', e);
  }
}

// After opening: the state read is the stored state. A record that is missing, of an older version or
// still holding screen-plane 3D offsets is written at the next save even without changes.
function syncOpenedTree(id, record) {
  treeSync = emptyTreeSync(id);
  if (!id) return;
  treeSync.revision = storedRevision(record);
  treeSync.editId = record && typeof record.editId === 'string' ? record.editId : null;
  treeSync.parts = klnRecordedParts();
  const current = record && record.version === 6 && record.worldOffsets3D === true;
  treeSync.view = current ? viewKeyOf(currentView()) : null;
  treeSync.listed = !!directoryEntry(id);
  rememberEntry();
}

function viewKeyOf(view) {
  return JSON.stringify(view);
}

// True when the view fields are as last stored or opened (the people and links are checked apart).
function treeUnchanged(view) {
  return treeSync.tree === currentTreeId && treeSync.view !== null && treeSync.view === viewKeyOf(view);
}

// The open tree's library entry, as last seen; it outlives a deletion by another window.
function knownEntry() {
  return directoryEntry(currentTreeId) || (treeSync.tree === currentTreeId ? treeSync.entry : null);
}

function rememberEntry() {
  const entry = directoryEntry(treeSync.tree);
  if (entry) treeSync.entry = { ...entry };
}



// True when the open tree's people or links differ from what this window last stored or opened.
function treeEdited(parts) {
  if (treeSync.tree !== currentTreeId || treeSync.lost) return true;
  return !klnSameParts(parts, treeSync.parts);
}

function treeStale() {
  return treeSync.tree === currentTreeId && (treeSync.behind || treeSync.deleted);
}

function treeClaim(id, data, edited, parts) {
  const entry = id === currentTreeId ? knownEntry() : directoryEntry(id);
  return { revision: treeSync.revision, base: treeSync.editId, editId: edited ? newEditId() : treeSync.editId,
    listed: treeSync.listed, count: persons.size, entry: entry && { ...entry }, parts, view: viewOfData(data),
    force: false };
}

function viewOfData(data) {
  const { focus, rootPersonId, selected, expanded, lineMode, viewScope, pedigreeMode, generationDepth,
    includeDescendants, camera2, camera3 } = data;
  return viewKeyOf({ focus, rootPersonId, selected, expanded, lineMode, viewScope, pedigreeMode, generationDepth,
    includeDescendants, camera2, camera3 });
}

function noteTreeSaved(id, outcome, claim) {
  announceLibraryChange({ kind: 'saved', tree: id, revision: outcome.revision, editId: claim.editId,
    base: outcome.replaced });
  if (treeSync.tree !== id) return;
  Object.assign(treeSync, { revision: outcome.revision, editId: claim.editId, parts: claim.parts, view: claim.view,
    listed: true, behind: false, lost: false, deleted: false });
  rememberEntry();
}

function openTreeName() {
  const entry = knownEntry();
  return entry ? entry.name : 'This family tree';
}

// What to do when the store holds edits of another window: asked in a shown page; a hidden page asks
// when it is shown again (a closing page keeps both versions without asking: flushOnClose).
function conflictChoice(kind, mode) {
  if (mode === 'quiet') {
    treeSync.askLater = true;
    if (kind === 'deleted') treeSync.deleted = true; else treeSync.behind = true;
    return 'later';
  }
  const name = openTreeName();
  if (kind === 'deleted') {
    return confirm('“' + name + '” was deleted in another Kinloom window.\n\nPress OK to keep this window’s ' +
      'version in your library, or Cancel to let it go.') ? 'restore' : 'drop';
  }
  return confirm('“' + name + '” was changed and saved in another Kinloom window after this window opened ' +
    'it.\n\nPress OK to save this window’s version over those changes, or Cancel to keep both: this ' +
    'window’s version is then saved as a new tree, “' + name + ' (copy)”.') ? 'overwrite' : 'copy';
}

function forkClaim(data, parts) {
  const id = newTreeId();
  const entry = { id, name: openTreeName() + ' (copy)', count: persons.size,
    updated: Date.now() };
  return { id, claim: { revision: 0, base: null, editId: newEditId(), listed: false, count: entry.count, entry,
    parts, view: viewOfData(data), force: true } };
}

// Keeps this window's version as a new tree beside the one another window changed, and goes on with it.
async function forkOpenTree(data, parts) {
  const { id, claim } = forkClaim(data, parts);
  const original = openTreeName();
  const outcome = await writeTreeState(id, data, claim);
  takeForkedTree(id, outcome, claim);
  if (outcome.stored) toast('Saved this window’s version as “' + claim.entry.name + '”. The other window’s ' +
    'changes stay in “' + original + '”.');
}

function takeForkedTree(id, outcome, claim) {
  adoptTreeId(id);
  klnMoveHistoryTo(id);
  treeSync = emptyTreeSync(id);
  setDirectory(outcome.list);
  if (outcome.stored) noteTreeSaved(id, outcome, claim);
  reportSave(outcome.stored);
}

// The user let a tree go that another window deleted: show what remains.
async function followDeletion() {
  cancelPendingSave();
  const list = (await readDirectory()) || [];
  setDirectory(list);
  if (list.length) await openTree(list[0].id, false);
  else clearActiveFamilyAfterDelete();
  if (!$('homeOverlay').classList.contains('hidden')) renderTreeLibrary();
}

function onLibraryMessage(m) {
  if (!m || typeof m !== 'object' || !libraryReady) return;
  if (m.kind === 'saved' && m.tree === currentTreeId && treeSync.tree === currentTreeId &&
      m.editId !== treeSync.editId) {
    if (!treeSync.behind && m.base !== treeSync.editId) treeSync.lost = true;
    if (!treeSync.behind) toast('This family tree was just saved in another Kinloom window. Open it again ' +
      'from the library to see those changes; this window asks before it saves over them.');
    treeSync.behind = true;
  }
  if (m.kind === 'saved' || m.kind === 'directory') refreshLibraryList();
}

// Takes the library as another window left it; notices when the open tree was deleted there.
async function refreshLibraryList() {
  const list = await readDirectory();
  if (!list || libraryDeleting) return;
  setDirectory(list);
  rememberEntry();
  if (currentTreeId && treeSync.tree === currentTreeId && treeSync.listed && !treeSync.deleted &&
      !list.some(e => e.id === currentTreeId)) {
    treeSync.deleted = true;
    toast('This family tree was deleted in another Kinloom window. This window asks before it saves it again.');
  }
  if (!$('homeOverlay').classList.contains('hidden')) renderTreeLibrary();
}

// A hidden page may never be shown again: a waiting save is written now, without questions.
function flushOnHide() {
  if (!currentTreeId || libraryDeleting || !savePending()) return;
  cancelPendingSave();
  queueSave('quiet');
}

// A closing page cannot wait for the store to answer: the write starts at once, checked only against
// what this window knows (announcements and the localStorage directory), and a conflict keeps both.
function flushOnClose() {
  if (!currentTreeId || libraryDeleting || !(savePending() || savesRunning)) return;
  cancelPendingSave();
  try {
    const parts = klnCurrentEditParts();
    const edited = treeEdited(parts);
    if (!edited && treeStale()) return;
    const view = currentView();
    if (!edited && !saveFailed && treeUnchanged(view)) return;
    const data = treeDataWith(view, parts);
    const claim = treeClaim(currentTreeId, data, edited, parts);
    const check = treeSync.behind || treeSync.lost ? { conflict: 'changed' }
      : planTreeWrite(currentTreeId, data, claim, readLocalDirectory());
    const write = check.conflict === 'changed' ? forkClaim(data, parts) : { id: currentTreeId, claim };
    const plan = writeTreeBlind(write.id, data, write.claim);
    announceLibraryChange({ kind: 'saved', tree: write.id, revision: plan.revision, editId: write.claim.editId,
      base: plan.replaced });
  } catch (e) {
    console.warn('The closing window could not save its tree:', e);
  }
}
