// Tree records in the two stores: reading the newer of the two copies, the checked write of a tree with
// its directory entry (a revision number and the id of its edit state in both, so that no window writes
// over a newer edit state it has not seen; the windows file decides what happens then), the unchecked
// write of a closing page, and the localStorage copy of a record.
// Both stores hold a tree record as its JSON text (IndexedDB in pieces: treepieces.js). The text is put
// together from the texts of the people and links that the edit history already made (recordtext.js), so
// a save serialises only what changed. Records stored as objects (by earlier versions) are read as well.
// Owns: no state.

// A tree record, or null. The localStorage copy wins over the IndexedDB record when it carries a later
// revision: a save that IndexedDB refused (full, broken for a while, a window closing) reached only the
// mirror, and opening the older IndexedDB record would silently drop it.
async function readTreeRecord(id) {
  const key = treeKey(id);
  const { value, from } = await readStored(key);
  if (from === 'local') return value;
  const stored = typeof value === 'string' ? parseStoredText(value, key) : value;
  const revision = typeof value === 'string' ? Math.max(0, peekRevision(value)) : stored ? storedRevision(stored) : -1;
  const text = localText(key);
  if (text === null || peekRevision(text) <= revision) return stored;
  try {
    return JSON.parse(text);
  } catch (e) {
    return stored;
  }
}

// A record stored as JSON text, or null when the text does not parse.
function parseStoredText(text, key) {
  try {
    return JSON.parse(text);
  } catch (e) {
    console.warn('The stored record ' + key + ' could not be read:', e);
    return null;
  }
}

// The localStorage copy of a record: its JSON text when shorter than the limit. A longer record removes
// an older copy, which would otherwise be read as the tree if IndexedDB failed later.
function mirrorRecord(key, obj) {
  return mirrorText(key, jsonWithin(obj, LOCAL_MIRROR_LIMIT));
}

// Stores a record's text (null: too long) as its localStorage copy.
function mirrorText(key, text) {
  if (text === null || text.length >= LOCAL_MIRROR_LIMIT) {
    localRemove(key);
    return false;
  }
  return localWrite(key, text);
}

// JSON.stringify(value) when the text is shorter than `limit`, else null. A tree record is written member
// by member, people one at a time, so that a large tree stops as soon as it passes the limit instead of
// being serialised whole only to be thrown away.
function jsonWithin(value, limit) {
  if (!value || typeof value !== 'object' || Array.isArray(value)) {
    const text = JSON.stringify(value);
    return text !== undefined && text.length < limit ? text : null;
  }
  const parts = [];
  let size = 2;
  const add = text => {
    parts.push(text);
    size += text.length + 1;
    return size < limit + 1;
  };
  for (const name of Object.keys(value)) {
    const member = value[name];
    let text;
    if (name === 'persons' && member && typeof member === 'object' && !Array.isArray(member)) {
      text = jsonObjectWithin(member, limit - size);
    } else if (name === 'edges' && Array.isArray(member)) {
      text = jsonListWithin(member, limit - size);
    } else {
      text = JSON.stringify(member);
      if (text === undefined) continue;
    }
    if (text === null || !add(JSON.stringify(name) + ':' + text)) return null;
  }
  const text = '{' + parts.join(',') + '}';
  return text.length < limit ? text : null;
}

function jsonObjectWithin(obj, room) {
  const parts = [];
  let size = 2;
  for (const key of Object.keys(obj)) {
    const text = JSON.stringify(obj[key]);
    if (text === undefined) continue;
    const member = JSON.stringify(key) + ':' + text;
    size += member.length + 1;
    if (size > room) return null;
    parts.push(member);
  }
  return '{' + parts.join(',') + '}';
}

function jsonListWithin(list, room) {
  const parts = [];
  let size = 2;
  for (let i = 0; i < list.length; i += 2000) {
    const text = JSON.stringify(list.slice(i, i + 2000));
    size += text.length - 1;
    if (size > room) return null;
    parts.push(text.slice(1, -1));
  }
  return '[' + parts.filter(Boolean).join(',') + ']';
}

// The revision written at the head of a stored record's JSON text, read without parsing the rest.
function peekRevision(text) {
  const m = /^\{"version":[^,{}]{0,20},"revision":(\d+),/.exec(text.slice(0, 80));
  return m ? Number(m[1]) : -1;
}

function storedRevision(record) {
  return record && typeof record === 'object' && Number.isFinite(record.revision) ? record.revision : 0;
}

function readLocalDirectory() {
  const stored = localRead(DIRECTORY_KEY);
  return Array.isArray(stored) ? validEntries(stored) : null;
}

// Decides a tree write against the stored directory `list` (null when none is stored). `claim` says what
// the writing window's tree comes from: {revision, base (editId it comes from), editId (of this write),
// listed, count, entry, force}. Without `force`, the write is refused as "changed" when the stored entry
// holds another edit state at least as new, and as "deleted" when a stored list lacks a tree the window
// had seen listed. Otherwise the record gets the next revision and the entry its count, time, revision and
// edit id (the entry is added from `claim.entry` when the list lacks it).
function planTreeWrite(id, data, claim, list) {
  const stored = list ? list.find(e => e.id === id) || null : null;
  const storedEdit = stored && typeof stored.editId === 'string' ? stored.editId : null;
  const storedRev = stored && Number.isFinite(stored.revision) ? stored.revision : 0;
  if (!claim.force) {
    if (list && !stored && claim.listed) return { conflict: 'deleted' };
    if (stored && storedEdit !== claim.base && storedRev >= claim.revision) return { conflict: 'changed' };
  }
  const revision = Math.max(storedRev, claim.revision) + 1;
  const record = Object.assign({ version: 6, revision, editId: claim.editId }, data);
  const next = list ? list : treeDirectory.map(e => ({ ...e }));
  let entry = next.find(e => e.id === id);
  if (!entry && claim.entry) next.push(entry = { ...claim.entry });
  const previous = entry && { revision: entry.revision, editId: entry.editId };
  if (entry) Object.assign(entry, { count: claim.count, updated: Date.now(), revision, editId: claim.editId });
  return { conflict: null, record, list: next, revision, replaced: storedEdit, entry, previous };
}

// A record that no store took leaves the revision and edit id of its directory entry as they were.
function keepPreviousRevision(plan) {
  if (!plan.entry) return;
  for (const field of ['revision', 'editId']) {
    if (plan.previous[field] === undefined) delete plan.entry[field];
    else plan.entry[field] = plan.previous[field];
  }
}

// Writes a tree record and its directory entry in both stores, after checking the stored entry in the same
// IndexedDB transaction (planTreeWrite). When IndexedDB fails, the localStorage directory is checked
// instead. Result: the plan ({conflict, record, list, revision, replaced}) and `stored`, yes when either
// store took the record.
async function writeTreeState(id, data, claim) {
  let plan = null, form = null;
  try {
    plan = await storeTransaction('readwrite', (store, done, guard) => {
      const request = store.get(DIRECTORY_KEY);
      request.onsuccess = guard(() => {
        const list = Array.isArray(request.result) ? validEntries(request.result) : null;
        const decided = planTreeWrite(id, data, claim, list);
        if (!decided.conflict) {
          form = piecedTree(treeKey(id), decided.record, claim.parts);
          putPiecedTree(store, treeKey(id), form, guard);
          store.put(decided.list, DIRECTORY_KEY);
        }
        done(decided);
      });
    });
  } catch (e) {
    console.warn('IndexedDB did not take the tree ' + id + ':', e);
  }
  const inDatabase = !!plan && !plan.conflict;
  if (!plan) plan = planTreeWrite(id, data, claim, readLocalDirectory());
  if (plan.conflict) return { ...plan, stored: false };
  if (!inDatabase) form = piecedTree(treeKey(id), plan.record, claim.parts);
  const mirrored = mirrorText(treeKey(id), piecedText(form, LOCAL_MIRROR_LIMIT));
  if (!inDatabase && !mirrored) keepPreviousRevision(plan);
  localWrite(DIRECTORY_KEY, JSON.stringify(plan.list));
  return { ...plan, stored: inDatabase || mirrored };
}

// The same write for a page that is closing: no read first (its answer would come too late), the
// IndexedDB transaction committed at once, the localStorage copy written synchronously.
function writeTreeBlind(id, data, claim) {
  const plan = planTreeWrite(id, data, { ...claim, force: true }, readLocalDirectory());
  const form = piecedTree(treeKey(id), plan.record, claim.parts);
  if (openedDatabase) {
    try {
      const tx = openedDatabase.transaction(WORKSPACE_STORE, 'readwrite');
      const store = tx.objectStore(WORKSPACE_STORE);
      putPiecedTreeBlind(store, treeKey(id), form);
      store.put(plan.list, DIRECTORY_KEY);
      if (tx.commit) tx.commit();
    } catch (e) {
      console.warn('IndexedDB did not take the tree ' + id + ' while the page closed:', e);
    }
  }
  mirrorText(treeKey(id), piecedText(form, LOCAL_MIRROR_LIMIT));
  localWrite(DIRECTORY_KEY, JSON.stringify(plan.list));
  return plan;
}
