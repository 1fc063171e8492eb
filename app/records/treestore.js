// Tree records in the two stores: reading the newer of the two copies, the checked write of a tree with
// its directory entry (a revision number and the id of its edit state in both, so that no window writes
// over a newer edit state it has not seen; the windows file decides what happens then), the unchecked
// write of a closing page, and the localStorage copy of a record.
// Owns: no state.

// A tree record, or null. The localStorage copy wins over the IndexedDB record when it carries a later
// revision: a save that IndexedDB refused (full, broken for a while, a window closing) reached only the
// mirror, and opening the older IndexedDB record would silently drop it.
async function readTreeRecord(id) {
  const key = treeKey(id);
  const { value, from } = await readStored(key);
  if (from === 'local') return value;
  const text = localText(key);
  if (text === null || peekRevision(text) <= (value ? storedRevision(value) : -1)) return value;
  try {
    return JSON.parse(text);
  } catch (e) {
    return value;
  }
}

// The localStorage copy of a record: its JSON text when shorter than the limit. A longer record removes
// an older copy, which would otherwise be read as the tree if IndexedDB failed later. `parts`, when given,
// are the JSON texts of the record's people and links as the edit history last read them; they make the
// text without serialising the tree again, and tell at once when it is too long.
function mirrorRecord(key, obj, parts = null) {
  const text = parts ? recordTextWith(obj, parts, LOCAL_MIRROR_LIMIT) : jsonWithin(obj, LOCAL_MIRROR_LIMIT);
  if (text === null) {
    localRemove(key);
    return false;
  }
  return localWrite(key, text);
}

// JSON.stringify(record) with the given texts standing for its people and links; null when not shorter
// than `limit`.
function recordTextWith(record, parts, limit) {
  if (parts.persons.length + parts.edges.length >= limit) return null;
  const members = [];
  for (const name of Object.keys(record)) {
    const text = name === 'persons' ? parts.persons : name === 'edges' ? parts.edges : JSON.stringify(record[name]);
    if (text !== undefined) members.push(JSON.stringify(name) + ':' + text);
  }
  const text = '{' + members.join(',') + '}';
  return text.length < limit ? text : null;
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
  let plan = null;
  try {
    plan = await storeTransaction('readwrite', (store, done, guard) => {
      const request = store.get(DIRECTORY_KEY);
      request.onsuccess = guard(() => {
        const list = Array.isArray(request.result) ? validEntries(request.result) : null;
        const decided = planTreeWrite(id, data, claim, list);
        if (!decided.conflict) {
          store.put(decided.record, treeKey(id));
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
  const mirrored = mirrorRecord(treeKey(id), plan.record, claim.parts);
  if (!inDatabase && !mirrored) keepPreviousRevision(plan);
  localWrite(DIRECTORY_KEY, JSON.stringify(plan.list));
  return { ...plan, stored: inDatabase || mirrored };
}

// The same write for a page that is closing: no read first (its answer would come too late), the
// IndexedDB transaction committed at once, the localStorage copy written synchronously.
function writeTreeBlind(id, data, claim) {
  const plan = planTreeWrite(id, data, { ...claim, force: true }, readLocalDirectory());
  if (openedDatabase) {
    try {
      const tx = openedDatabase.transaction(WORKSPACE_STORE, 'readwrite');
      const store = tx.objectStore(WORKSPACE_STORE);
      store.put(plan.record, treeKey(id));
      store.put(plan.list, DIRECTORY_KEY);
      if (tx.commit) tx.commit();
    } catch (e) {
      console.warn('IndexedDB did not take the tree ' + id + ' while the page closed:', e);
    }
  }
  mirrorRecord(treeKey(id), plan.record, claim.parts);
  localWrite(DIRECTORY_KEY, JSON.stringify(plan.list));
  return plan;
}
