// Edit history: undo and redo of changes to the people and links of the open tree. The history watches
// save requests instead of being told about edits: each request marks a newer state as waiting, and 360 ms
// after the last request of a burst that state is read (one reading of the tree) and, when its edit
// key differs from the recorded one, becomes a step. Reading the state when the burst ends rather than at
// every request gives the same steps (every change is followed by a request) at a fraction of the cost on
// large trees. Undo and redo read a waiting state first.
// A state is kept as its snapshot: the texts of its people and links (recordtext.js) and the JSON text of
// the rest. The texts are made incrementally, only the people and links that changed since the last
// reading being serialised again, and kept in runs of records that the snapshots of a tree share; the
// snapshot's JSON text is put together only when a step is applied. The edit key, the JSON text of
// [persons, edges], is held as its two parts, the texts of the people and of the links, and compared run
// by run.
// Owns: klnHistory, KLN_HISTORY_CAP, KLN_HISTORY_BYTES.

const KLN_HISTORY_CAP = 12;
const KLN_HISTORY_BYTES = 48 * 1024 * 1024;
const KLN_HISTORY_DELAY = 360;

// tree, base, key, pending, undo, redo, timer, restoring: as the history's record describes them; base
// and the lists hold snapshots ({persons, edges, rest, length}: record texts, the JSON text after them and
// the length of the whole JSON text); key is {persons, edges}, the two parts of base's edit key; pending
// is {snapshot, key} once read, or {snapshot: null} while the waiting state is unread.
let klnHistory = { tree: null, base: null, key: null, pending: null, undo: [], redo: [], timer: null,
  restoring: false };

function klnJSON(value) {
  return JSON.stringify(value === undefined ? null : value);
}

// The current state: its snapshot and edit key, from one (incremental) reading of people and links.
function klnEditState() {
  const people = peopleTexts(persons);
  const links = linkTexts(edges);
  const rest = ',"focus":' + klnJSON(focus) + ',"rootPersonId":' + klnJSON(rootPersonId) + ',"selected":' +
    klnJSON(selected) + ',"expanded":' + JSON.stringify([...expanded]) + '}';
  const length = '{"persons":'.length + people.length + ',"edges":'.length + links.length + rest.length;
  return { snapshot: { persons: people, edges: links, rest, length }, key: { persons: people, edges: links } };
}

// The JSON text of a snapshot (a snapshot given as text is its own).
function klnSnapshotText(snapshot) {
  if (typeof snapshot === 'string') return snapshot;
  return '{"persons":' + recordListText(snapshot.persons) + ',"edges":' + recordListText(snapshot.edges) +
    snapshot.rest;
}

function klnEditSnapshot() {
  return klnSnapshotText(klnEditState().snapshot);
}

function klnEditKey(snapshot) {
  const data = JSON.parse(klnSnapshotText(snapshot));
  return JSON.stringify([data.persons, data.edges]);
}

function klnSameParts(a, b) {
  return !!a && !!b && sameRecordTexts(a.persons, b.persons) && sameRecordTexts(a.edges, b.edges);
}

function klnResetEditHistory() {
  clearTimeout(klnHistory.timer);
  const state = currentTreeId ? klnEditState() : null;
  Object.assign(klnHistory, { tree: currentTreeId || null, base: state && state.snapshot, key: state && state.key,
    pending: null, undo: [], redo: [], timer: null });
  klnHistoryButtons();
}

function klnQueueHistoryMutation() {
  if (!currentTreeId || klnHistory.restoring) return;
  if (klnHistory.tree !== currentTreeId || klnHistory.base === null) {
    klnResetEditHistory();
    return;
  }
  klnHistory.pending = { snapshot: null, key: null };
  clearTimeout(klnHistory.timer);
  klnHistory.timer = setTimeout(klnCommitHistory, KLN_HISTORY_DELAY);
}

// Reads a waiting state; one equal to the recorded state is dropped.
function klnReadPending() {
  const p = klnHistory.pending;
  if (!p || p.snapshot !== null) return;
  const state = klnEditState();
  klnHistory.pending = klnSameParts(state.key, klnHistory.key) ? null : state;
}

function klnCommitHistory() {
  clearTimeout(klnHistory.timer);
  klnHistory.timer = null;
  klnReadPending();
  const p = klnHistory.pending;
  klnHistory.pending = null;
  if (!p || klnSameParts(p.key, klnHistory.key)) return;
  klnHistory.undo.push(klnHistory.base);
  klnTrimHistory(klnHistory.undo);
  Object.assign(klnHistory, { base: p.snapshot, key: p.key });
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
  Object.assign(klnHistory, { base: snapshot, key: applied.key });
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
    data = JSON.parse(klnSnapshotText(snapshot));
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

// Edit-key parts of the open tree as it stands now, or null without a history. The tree is read afresh
// (cheap: only changed records are serialised again), so that a save stores exactly the tree in memory
// even when a change has not been offered yet; such a change becomes the waiting state. Texts equal to
// ones the history holds are given as those.
function klnCurrentEditParts() {
  if (!currentTreeId || klnHistory.tree !== currentTreeId || !klnHistory.key) return null;
  const state = klnEditState();
  const p = klnHistory.pending;
  if (p && p.snapshot !== null && klnSameParts(p.key, state.key)) return p.key;
  if (klnSameParts(state.key, klnHistory.key)) {
    klnHistory.pending = null;
    return klnHistory.key;
  }
  klnHistory.pending = state;
  if (!klnHistory.timer) klnHistory.timer = setTimeout(klnCommitHistory, KLN_HISTORY_DELAY);
  return state.key;
}

// Edit-key parts of the state the history last recorded.
function klnRecordedParts() {
  return klnHistory.tree === currentTreeId ? klnHistory.key : null;
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
