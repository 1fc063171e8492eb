// Helpers for the tests of tree storage, the library and the windows of one profile: reaching the profile's
// browser storage directly (IndexedDB and localStorage of the file:// origin that the document uses), making
// it fail for real, and opening a second window of the same browser.
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { App } from '../harness.mjs';

export const DB = 'SollaryGenealogyStorage';
export const DIRECTORY_KEY = 'sollary_genealogy_directory_v3';
export const LEGACY_KEY = 'sollary_genealogy_workspace_v1';
export const treeKey = id => 'sollary-tree-' + id;

// A page of the same origin as the document without the application in it (every file:// page shares one
// storage origin), so that storage can be prepared before the application starts.
function plainPageUrl(app) {
  const file = path.join(app.dir, 'plain.html');
  if (!fs.existsSync(file)) fs.writeFileSync(file, '<!doctype html><meta charset="utf-8"><title>plain</title>');
  return pathToFileURL(file).href;
}

// Page-side storage access, run through page.evaluate: opens the database at its current version.
async function storageOp({ op, entries, keys, version }) {
  const openDb = v => new Promise((resolve, reject) => {
    const q = v ? indexedDB.open('SollaryGenealogyStorage', v) : indexedDB.open('SollaryGenealogyStorage');
    q.onupgradeneeded = () => {
      if (!q.result.objectStoreNames.contains('trees')) q.result.createObjectStore('trees');
    };
    q.onsuccess = () => resolve(q.result);
    q.onerror = () => reject(q.error);
  });
  const done = tx => new Promise((resolve, reject) => {
    tx.oncomplete = resolve;
    tx.onabort = () => reject(tx.error);
  });
  if (op === 'wipe') {
    localStorage.clear();
    await new Promise(resolve => {
      const q = indexedDB.deleteDatabase('SollaryGenealogyStorage');
      q.onsuccess = q.onerror = resolve;
    });
    return true;
  }
  if (op === 'version') {
    const db = await openDb(version);
    db.close();
    return db.version;
  }
  if (op === 'put') {
    for (const [k, v] of entries.local || []) localStorage.setItem(k, typeof v === 'string' ? v : JSON.stringify(v));
    if (!(entries.db || []).length) return true;
    const db = await openDb();
    const tx = db.transaction('trees', 'readwrite');
    for (const [k, v] of entries.db) tx.objectStore('trees').put(v, k);
    await done(tx);
    db.close();
    return true;
  }
  if (op === 'get') {
    const out = {};
    let db = null;
    try { db = await openDb(); } catch (e) { db = null; }
    for (const k of keys) {
      let fromDb;
      if (db && db.objectStoreNames.contains('trees')) {
        const get = key => new Promise(resolve => {
          const r = db.transaction('trees').objectStore('trees').get(key);
          r.onsuccess = () => resolve(r.result);
          r.onerror = () => resolve('read failed');
        });
        fromDb = await get(k);
        // A tree record is stored as its JSON text, cut into pieces: a head {revision, pieces} whose pieces
        // are texts or {key} of texts stored apart; joined, they are the record's text.
        if (fromDb && typeof fromDb === 'object' && Array.isArray(fromDb.pieces)) {
          const texts = [];
          for (const piece of fromDb.pieces) texts.push(typeof piece === 'string' ? piece : await get(piece.key));
          fromDb = texts.join('');
        }
        if (typeof fromDb === 'string' && fromDb !== 'read failed') fromDb = JSON.parse(fromDb);
      }
      const text = localStorage.getItem(k);
      out[k] = { db: fromDb === undefined ? null : fromDb, local: text === null ? null : JSON.parse(text) };
    }
    const allKeys = db && db.objectStoreNames.contains('trees') ? await new Promise(resolve => {
      const r = db.transaction('trees').objectStore('trees').getAllKeys();
      r.onsuccess = () => resolve(r.result);
    }) : [];
    if (db) db.close();
    return { values: out, dbKeys: allKeys, localKeys: Object.keys(localStorage).sort() };
  }
  if (op === 'delete') {
    const db = await openDb();
    const tx = db.transaction('trees', 'readwrite');
    for (const k of keys) tx.objectStore('trees').delete(k);
    await done(tx);
    db.close();
    return true;
  }
  throw new Error('unknown storage op ' + op);
}

// Leaves the document for a plain page of its origin (closing the application's database connection) and
// runs a storage operation there.
async function onPlainPage(app, arg) {
  await app.page.goto(plainPageUrl(app));
  return app.page.evaluate(storageOp, arg);
}

// Empties the profile's storage, as on a browser that never ran the document. The document is left.
export const wipeStorage = app => onPlainPage(app, { op: 'wipe' });

// Stores values before the document starts: {db: [[key, value]], local: [[key, value or text]]}.
export const seedStorage = (app, entries) => onPlainPage(app, { op: 'put', entries });

// Leaves the database at a later version than the document's: the document's open at version 1 then fails
// with the browser's VersionError, a real unopenable IndexedDB, while localStorage keeps working.
export const breakDatabase = app => onPlainPage(app, { op: 'version', version: 2 });

// Reads keys from both stores while the document stays open (a second connection to the database):
// {values: {key: {db, local}}, dbKeys, localKeys}.
export const readStorage = (app, keys) => app.page.evaluate(storageOp, { op: 'get', keys });

// Deletes keys from IndexedDB while the document stays open (a second connection).
export const deleteStored = (app, keys) => app.page.evaluate(storageOp, { op: 'delete', keys });

// Deletes the database from another page while the document has it open: the document is asked to let go
// (versionchange) and from then on every IndexedDB operation of the page fails.
export async function deleteDatabaseFromElsewhere(app) {
  const page = await app.context.newPage();
  try {
    await page.goto(plainPageUrl(app));
    return await page.evaluate(() => new Promise(resolve => {
      const q = indexedDB.deleteDatabase('SollaryGenealogyStorage');
      q.onsuccess = () => resolve('deleted');
      q.onerror = () => resolve('failed');
    }));
  } finally {
    await page.close();
  }
}

// Blocks all site storage for the profile through the browser's content settings (the cookie setting,
// which also governs IndexedDB and localStorage), then starts the browser again on it.
export async function relaunchWithStorageBlocked(app) {
  await app.context.close();
  const file = path.join(app.profile, 'Default', 'Preferences');
  fs.mkdirSync(path.dirname(file), { recursive: true });
  const prefs = fs.existsSync(file) ? JSON.parse(fs.readFileSync(file, 'utf8')) : {};
  prefs.profile = prefs.profile || {};
  prefs.profile.default_content_setting_values = { ...(prefs.profile.default_content_setting_values || {}), cookies: 2 };
  fs.writeFileSync(file, JSON.stringify(prefs));
  await app.launch();
  await app.open();
  return app;
}

// A second window of the same browser and profile, with the document open and the start screens left. Its
// page is closed with `closeWindow`; the browser belongs to the first app.
export async function openWindow(app) {
  const other = new App(app.options);
  other.dir = app.dir;
  other.context = app.context;
  other.page = await app.context.newPage();
  other.page.setDefaultTimeout(app.options.timeout || 10000);
  other.watch(other.page);
  await other.open();
  await other.enter();
  return other;
}

export const closeWindow = other => other.page.close({ runBeforeUnload: false });

// Waits until the save indicator reads `text` (a save has finished).
export const indicator = (app, text, timeout = 15000) =>
  app.page.waitForFunction(t => $('saveIndicator').textContent === t, text, { timeout });

export const toastText = app => app.page.evaluate(() => $('toast').textContent);

export const waitForToast = (app, text, timeout = 15000) =>
  app.page.waitForFunction(t => $('toast').textContent === t, text, { timeout });

// A person record as the document stores it.
export const person = (id, name, extra = {}) => ({ id, name, birth: '', death: '', sex: '', birthPlace: '',
  deathPlace: '', residence: '', occupation: '', bio: '', notes: '', photo: '', events: [], sources: [],
  external: {}, privacy: 'unknown', ...extra });

// A stored tree record (version 6 unless the overrides say otherwise) holding `people`.
export function treeRecord(people, overrides = {}) {
  const map = {};
  for (const p of people) map[p.id] = p;
  return { version: 6, worldOffsets3D: true, persons: map, edges: [], focus: people[0] ? people[0].id : null,
    rootPersonId: people[0] ? people[0].id : null, selected: people[0] ? people[0].id : null, expanded: [],
    lineMode: 'shared', viewScope: 'connected', pedigreeMode: 'tidy', generationDepth: 999,
    includeDescendants: true, camera2: { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 },
    camera3: { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.12, tilt: 0.16 }, ...overrides };
}

export const entry = (id, name, count = 0) => ({ id, name, count, updated: Date.UTC(2024, 4, 1) });

// Seeds a library of trees ({id, name, record}) in both stores and opens the document on it.
export async function openLibrary(app, trees, { wipe = true } = {}) {
  if (wipe) await wipeStorage(app);
  const directory = trees.map(t => entry(t.id, t.name, Object.keys(t.record.persons || {}).length));
  const db = [[DIRECTORY_KEY, directory], ...trees.map(t => [treeKey(t.id), t.record])];
  await seedStorage(app, { db, local: db });
  await app.open();
  await app.enter();
}

// Leaves the studio card and the launch screen as a user does, keeping the library overlay open.
export async function passStartScreens(app) {
  const splash = app.page.locator('.kln-studio-splash');
  if (await splash.count() && await splash.first().isVisible()) {
    await app.page.keyboard.press('Enter');
    await splash.first().waitFor({ state: 'hidden', timeout: 3000 }).catch(() => {});
  }
  const launch = app.page.locator('#sollaryLaunch');
  if (await launch.isVisible()) {
    await launch.getByRole('button', { name: /Start Exploring/ }).click();
    await launch.waitFor({ state: 'hidden' });
  }
}
