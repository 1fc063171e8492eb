// Tree storage: the IndexedDB database with its localStorage mirror, two-store reads and writes, and the
// stored library directory. A tree record and its directory entry are written in one IndexedDB
// transaction that first checks which edit state the store holds, so that no window writes over a newer
// version it has not seen (the windows file decides what happens then).
// Owns: DIRECTORY_KEY, STORAGE, TREE_KEY_PREFIX, LOCAL_MIRROR_LIMIT, treeDirectory, workspaceDatabase,
// openedDatabase.

const DIRECTORY_KEY = 'sollary_genealogy_directory_v3';
const STORAGE = 'sollary_genealogy_workspace_v1';
const TREE_KEY_PREFIX = 'sollary-tree-';
const WORKSPACE_DB_NAME = 'SollaryGenealogyStorage';
const WORKSPACE_STORE = 'trees';
const LOCAL_MIRROR_LIMIT = 3500000;
// An open request that neither succeeds nor fails (a deletion elsewhere holding it back) counts as failed.
const WORKSPACE_DB_OPEN_LIMIT = 6000;

let treeDirectory = [];
let workspaceDatabase = null;
let openedDatabase = null;

function treeKey(id) {
  return TREE_KEY_PREFIX + id;
}

function setDirectory(list) {
  treeDirectory = list;
}

// Entries that are not objects, or whose id or name is not text, are dropped; other fields are kept.
function validEntries(list) {
  return list.filter(e => e && typeof e === 'object' && !Array.isArray(e) &&
    typeof e.id === 'string' && typeof e.name === 'string');
}

// The database, opened once per page: every later call gets the same database or the same failure. A
// failure always says "Storage unavailable" so that callers can tell an unopenable store from a failed
// operation. Another page asking to upgrade or delete the database makes this page let go of it.
function workspaceDB() {
  if (!workspaceDatabase) {
    workspaceDatabase = openWorkspaceDB();
    workspaceDatabase.catch(() => {});
  }
  return workspaceDatabase;
}

function openWorkspaceDB() {
  return new Promise((resolve, reject) => {
    let factory = null;
    try { factory = window.indexedDB || null; } catch (e) { factory = null; }
    if (!factory) { reject(new Error('IndexedDB unavailable')); return; }
    let settled = false;
    const fail = why => {
      if (settled) return;
      settled = true;
      clearTimeout(limit);
      reject(new Error('Storage unavailable' + (why ? ': ' + why : '')));
    };
    const limit = setTimeout(() => fail('the database did not open'), WORKSPACE_DB_OPEN_LIMIT);
    let request;
    try {
      request = factory.open(WORKSPACE_DB_NAME, 1);
    } catch (e) {
      fail(e && e.message);
      return;
    }
    request.onupgradeneeded = () => {
      const db = request.result;
      if (!db.objectStoreNames.contains(WORKSPACE_STORE)) db.createObjectStore(WORKSPACE_STORE);
    };
    request.onsuccess = () => {
      const db = request.result;
      if (settled) { db.close(); return; }
      settled = true;
      clearTimeout(limit);
      db.onversionchange = () => db.close();
      openedDatabase = db;
      resolve(db);
    };
    request.onerror = () => fail(request.error && request.error.message);
  });
}

// Runs `body(store, tx)` in one transaction on `trees`; resolves with what the body's `done(value)` gave
// once the transaction has completed, and rejects when it fails or aborts. Errors inside request callbacks
// are caught here: an uncaught one would abort the transaction and reach the console as a page error.
async function storeTransaction(mode, body) {
  const db = await workspaceDB();
  return new Promise((resolve, reject) => {
    let tx;
    try {
      tx = db.transaction(WORKSPACE_STORE, mode);
    } catch (e) {
      reject(e);
      return;
    }
    let result, failure = null;
    const guard = fn => (...args) => {
      try {
        fn(...args);
      } catch (e) {
        failure = failure || e;
        try { tx.abort(); } catch (ignored) { /* already finished */ }
      }
    };
    tx.oncomplete = () => resolve(result);
    tx.onabort = () => reject(failure || tx.error || new Error('Transaction aborted'));
    guard(body)(tx.objectStore(WORKSPACE_STORE), value => { result = value; }, guard);
  });
}

function localRead(key) {
  try {
    const text = localStorage.getItem(key);
    return text === null ? null : JSON.parse(text);
  } catch (e) {
    console.warn('Could not read ' + key + ' from localStorage:', e);
    return null;
  }
}

function localText(key) {
  try {
    return localStorage.getItem(key);
  } catch (e) {
    return null;
  }
}

// Stores text under key; false when localStorage refuses it (blocked, full).
function localWrite(key, text) {
  try {
    localStorage.setItem(key, text);
    return true;
  } catch (e) {
    console.warn('localStorage did not take ' + key + ':', e);
    return false;
  }
}

function localRemove(key) {
  try {
    localStorage.removeItem(key);
    return true;
  } catch (e) {
    console.warn('Could not remove ' + key + ' from localStorage:', e);
    return false;
  }
}

// The record under key, or null. localStorage is read only when IndexedDB fails; a key that IndexedDB
// lacks is not looked for there.
async function readRecord(key) {
  return (await readStored(key)).value;
}

async function readStored(key) {
  try {
    const value = await storeTransaction('readonly', (store, done, guard) => {
      const request = store.get(key);
      request.onsuccess = guard(() => done(request.result === undefined ? null : request.result));
    });
    return { value, from: 'db' };
  } catch (e) {
    console.warn('IndexedDB could not read ' + key + ', using localStorage:', e);
    return { value: localRead(key), from: 'local' };
  }
}

// Writes a record to both stores, IndexedDB first; yes when either took it.
async function writeRecord(key, obj) {
  let written = false;
  try {
    await storeTransaction('readwrite', store => { store.put(obj, key); });
    written = true;
  } catch (e) {
    console.warn('IndexedDB did not take ' + key + ':', e);
  }
  return mirrorRecord(key, obj) || written;
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

async function readDirectory() {
  const stored = await readRecord(DIRECTORY_KEY);
  return Array.isArray(stored) ? validEntries(stored) : null;
}

// Applies `change(list)` to the stored directory (read and written in one IndexedDB transaction, so that
// entries other windows added meanwhile are kept), mirrors the result and makes it the library. When no
// directory is stored, the change applies to the library in memory.
async function changeDirectory(change) {
  const fromMemory = () => treeDirectory.map(e => ({ ...e }));
  let list = null;
  try {
    list = await storeTransaction('readwrite', (store, done, guard) => {
      const request = store.get(DIRECTORY_KEY);
      request.onsuccess = guard(() => {
        const next = Array.isArray(request.result) ? validEntries(request.result) : fromMemory();
        change(next);
        store.put(next, DIRECTORY_KEY);
        done(next);
      });
    });
  } catch (e) {
    console.warn('IndexedDB did not take the library directory:', e);
  }
  if (!list) {
    const stored = localRead(DIRECTORY_KEY);
    list = Array.isArray(stored) ? validEntries(stored) : fromMemory();
    change(list);
  }
  localWrite(DIRECTORY_KEY, JSON.stringify(list));
  setDirectory(list);
  announceLibraryChange({ kind: 'directory' });
  return list;
}

// Deletes one tree record from both stores; a failed IndexedDB deletion is logged only.
async function deleteTreeRecord(id) {
  try {
    await storeTransaction('readwrite', store => { store.delete(treeKey(id)); });
  } catch (e) {
    console.warn('IndexedDB could not delete ' + treeKey(id) + ':', e);
  }
  localRemove(treeKey(id));
}

// The IndexedDB half of deleting the library: every tree record (also of trees missing from the
// directory) and the legacy record go, the directory becomes an empty list, all in one transaction.
async function deleteAllStoredTrees() {
  const db = await workspaceDB();
  return new Promise((resolve, reject) => {
    let tx;
    try {
      tx = db.transaction(WORKSPACE_STORE, 'readwrite');
    } catch (e) {
      reject(e);
      return;
    }
    const store = tx.objectStore(WORKSPACE_STORE);
    const cursor = store.openKeyCursor();
    const abort = () => {
      try { tx.abort(); } catch (e) { /* already finished */ }
    };
    cursor.onsuccess = () => {
      try {
        const c = cursor.result;
        if (!c) { store.put([], DIRECTORY_KEY); return; }
        const key = c.primaryKey;
        if (typeof key === 'string' && (key.startsWith(TREE_KEY_PREFIX) || key === STORAGE)) store.delete(key);
        c.continue();
      } catch (e) {
        console.warn('Deleting saved trees stopped:', e);
        abort();
      }
    };
    cursor.onerror = abort;
    tx.oncomplete = () => resolve(true);
    tx.onerror = () => reject(tx.error || new Error('Unable to delete saved trees'));
    tx.onabort = () => reject(tx.error || new Error('Delete interrupted'));
  });
}

// The localStorage half: tree records and the legacy record, last key first, then an empty directory.
function deleteAllLocalTrees() {
  try {
    for (let i = localStorage.length - 1; i >= 0; i--) {
      const key = localStorage.key(i);
      if (key !== null && (key.startsWith(TREE_KEY_PREFIX) || key === STORAGE)) localStorage.removeItem(key);
    }
    localStorage.setItem(DIRECTORY_KEY, '[]');
    return true;
  } catch (e) {
    console.warn('localStorage could not be cleared:', e);
    return false;
  }
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
