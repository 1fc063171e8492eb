// Tree storage: the IndexedDB database with its localStorage mirror, two-store reads and writes, the
// stored library directory, and deleting stored trees. Tree records themselves: treestore.js.
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
// lacks is not looked for there. readStored gives a tree record kept as text (or in pieces) as its text.
// Tree records kept as JSON text are given parsed.
async function readRecord(key) {
  const { value } = await readStored(key);
  return typeof value === 'string' ? parseStoredText(value, key) : value;
}

async function readStored(key) {
  try {
    const value = await storeTransaction('readonly', (store, done, guard) => getTreeValue(store, key, done, guard));
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
    await storeTransaction('readwrite', store => {
      store.delete(treeKey(id));
      store.delete(pieceRange(treeKey(id)));
    });
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
