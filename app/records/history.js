// Edit history: undo and redo of changes to the people and links of the open tree. The history watches
// save requests instead of being told about edits: each request marks a newer state as waiting, and 360 ms
// after the last request of a burst that state is read (one serialisation of the tree) and, when its edit
// key differs from the recorded one, becomes a step. Reading the state when the burst ends rather than at
// every request gives the same steps (every change is followed by a request) at a fraction of the cost on
// large trees. Undo and redo read a waiting state first.
// A state is kept as its snapshot text; its edit key is the JSON text of [persons, edges], held as its two
// parts (the JSON texts of the people and of the links), which are the very texts inside the snapshot, so
// one serialisation serves snapshot, key and comparison.
// Owns: klnHistory, KLN_HISTORY_CAP, KLN_HISTORY_BYTES.

const KLN_HISTORY_CAP = 12;
const KLN_HISTORY_BYTES = 48 * 1024 * 1024;
const KLN_HISTORY_DELAY = 360;

// tree, base, key, pending, undo, redo, timer, restoring: as the history's record describes them;
// pending is {snapshot, key, parts} once read, or {snapshot: null} while the waiting state is unread.
// parts: the key parts of base.
let klnHistory = { tree: null, base: null, key: '', parts: null, pending: null, undo: [], redo: [], timer: null,
  restoring: false };

function klnJSON(value) {
  return JSON.stringify(value === undefined ? null : value);
}

// The current state: snapshot text, key text and key parts, from one serialisation of people and links.
function klnEditState() {
  const people = JSON.stringify(storedPersons(persons));
  const links = JSON.stringify(edges);
  const snapshot = '{"persons":' + people + ',"edges":' + links + ',"focus":' + klnJSON(focus) +
    ',"rootPersonId":' + klnJSON(rootPersonId) + ',"selected":' + klnJSON(selected) +
    ',"expanded":' + JSON.stringify([...expanded]) + '}';
  return { snapshot, key: '[' + people + ',' + links + ']', parts: { persons: people, edges: links } };
}

function klnEditSnapshot() {
  return klnEditState().snapshot;
}

function klnEditKey(snapshot) {
  const data = JSON.parse(snapshot);
  return JSON.stringify([data.persons, data.edges]);
}

function klnSameParts(a, b) {
  return !!a && !!b && a.persons === b.persons && a.edges === b.edges;
}

function klnResetEditHistory() {
  clearTimeout(klnHistory.timer);
  const state = currentTreeId ? klnEditState() : null;
  Object.assign(klnHistory, { tree: currentTreeId || null, base: state && state.snapshot, key: state ? state.key : '',
    parts: state && state.parts, pending: null, undo: [], redo: [], timer: null });
  klnHistoryButtons();
}

function klnQueueHistoryMutation() {
  if (!currentTreeId || klnHistory.restoring) return;
  if (klnHistory.tree !== currentTreeId || klnHistory.base === null) {
    klnResetEditHistory();
    return;
  }
  klnHistory.pending = { snapshot: null, key: null, parts: null };
  clearTimeout(klnHistory.timer);
  klnHistory.timer = setTimeout(klnCommitHistory, KLN_HISTORY_DELAY);
}

// Reads a waiting state; one equal to the recorded state is dropped.
function klnReadPending() {
  const p = klnHistory.pending;
  if (!p || p.snapshot !== null) return;
  const state = klnEditState();
  klnHistory.pending = klnSameParts(state.parts, klnHistory.parts) ? null : state;
}

function klnCommitHistory() {
  clearTimeout(klnHistory.timer);
  klnHistory.timer = null;
  klnReadPending();
  const p = klnHistory.pending;
  klnHistory.pending = null;
  if (!p || klnSameParts(p.parts, klnHistory.parts)) return;
  klnHistory.undo.push(klnHistory.base);
  klnTrimHistory(klnHistory.undo);
  Object.assign(klnHistory, { base: p.snapshot, key: p.key, parts: p.parts });
  klnHistory.redo.length = 0;
  klnHistoryButtons();
}

function klnTrimHistory(list) {
  while (list.length > KLN_HISTORY_CAP) list.shift();
  let size = list.reduce((sum, s) => sum + s.length, 0);
  while (size > KLN_HISTORY_BYTES && list.length > 1) size -= list.shift().length;
}

function klnUndo() {
  klnStep('undo', 'redo', 'Nothing to undo.', 'Undid the previous family-tree edit.');
}

function klnRedo() {
  klnStep('redo', 'undo', 'Nothing to redo.', 'Reapplied the last undone edit.');
}

// Undo and redo alike: a waiting edit is committed first (so a redo after a fresh edit finds nothing), the
// newest snapshot of one list becomes the recorded state and the current one moves onto the other.
function klnStep(fromList, toList, emptyMessage, doneMessage) {
  if (klnHistory.tree !== currentTreeId) klnResetEditHistory();
  klnCommitHistory();
  const from = klnHistory[fromList], to = klnHistory[toList];
  if (!from.length) {
    toast(emptyMessage);
    return;
  }
  const snapshot = from.pop();
  to.push(klnHistory.base);
  klnTrimHistory(to);
  klnRestoreEditSnapshot(snapshot);
  // The key is read from the tree as applied (the same as the snapshot's unless it held broken links), so
  // that the history's texts always describe the open tree.
  const applied = klnEditState();
  Object.assign(klnHistory, { base: snapshot, key: applied.key, parts: applied.parts });
  klnHistoryButtons();
  toast(doneMessage);
}

// Makes a snapshot the open tree: people and links (without links whose ends are missing or equal), home,
// focus and selection falling back to existing people, every derived cache stale. Its save request is kept
// from the history, and the result is stored 80 ms later. Returns the parsed snapshot.
function klnRestoreEditSnapshot(snapshot) {
  klnCancelPositionCapture();
  let data;
  try {
    data = JSON.parse(snapshot);
  } catch (e) {
    console.warn('An edit-history step could not be read:', e);
    data = {};
  }
  if (!data || typeof data !== 'object') data = {};
  klnHistory.restoring = true;
  try {
    replaceFamily(storedPersonMap(data), data.edges);
    const named = v => (typeof v === 'string' && persons.has(v) ? v : null);
    const root = named(data.rootPersonId) || firstPersonId();
    const front = named(data.focus) || root;
    setViewState({ rootPersonId: root, focus: front, selected: named(data.selected) || front,
      expanded: (Array.isArray(data.expanded) ? data.expanded : []).filter(named) });
    for (const cache of [tidyCache, connectivityCache, localLayoutCache, singleLayoutCache, branchState,
      coupleTreeCache, lineageColorMemo, visibleLineageColors]) cache.key = '';
    portraitCache.clear();
    closeFamilyWheel();
    if (modalOpen()) closeModal();
    renderNeeded = true;
    refreshGenerationControls(false);
    update();
  } finally {
    klnHistory.restoring = false;
  }
  saveSoon(80);
  return data;
}

// The history moves with its tree when the open tree is kept under a new id.
function klnMoveHistoryTo(id) {
  klnHistory.tree = id;
}

// Edit-key parts of the open tree as it stands (a waiting state is read now), or null without a history.
function klnCurrentEditParts() {
  if (!currentTreeId || klnHistory.tree !== currentTreeId || !klnHistory.parts) return null;
  klnReadPending();
  return klnHistory.pending ? klnHistory.pending.parts : klnHistory.parts;
}

function klnHistoryButtons() {
  const undo = $('klnUndoBtn'), redo = $('klnRedoBtn');
  undo.disabled = !klnHistory.undo.length;
  redo.disabled = !klnHistory.redo.length;
  undo.title = 'Undo genealogy edit (Ctrl+Z) · ' + klnHistory.undo.length + ' available';
  redo.title = 'Redo genealogy edit (Ctrl+Y / Ctrl+Shift+Z) · ' + klnHistory.redo.length + ' available';
}

function klnTypingTarget(t) {
  if (!t || !t.closest) return false;
  return !!t.isContentEditable ||
    !!t.closest('input, textarea, select, [contenteditable]:not([contenteditable="false"]), [role="textbox"]');
}

function klnInstallUndoRedo() {
  onClick('klnUndoBtn', klnUndo);
  onClick('klnRedoBtn', klnRedo);
  document.addEventListener('keydown', e => {
    if (!(e.ctrlKey || e.metaKey) || e.altKey || e.isComposing) return;
    if (klnTypingTarget(e.target) || modalOpen() || libraryShown()) return;
    const key = /^[a-z]$/i.test(e.key) ? e.key.toLowerCase() : { KeyZ: 'z', KeyY: 'y' }[e.code];
    const undo = key === 'z' && !e.shiftKey;
    if (!undo && key !== 'y' && key !== 'z') return;
    e.preventDefault();
    e.stopImmediatePropagation();
    if (undo) klnUndo(); else klnRedo();
  }, true);
  klnHistoryButtons();
}
