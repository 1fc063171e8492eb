// Two windows of one browser profile (a second launch opens a second window) and closing a window: a save
// waiting on its timer is written when the window closes, a window learns of another's saves and never
// writes an older tree over a newer one without asking, and library changes of one window reach the other.
import { test, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import {
  DIRECTORY_KEY, treeKey, readStorage, openWindow, closeWindow, waitForToast, person, treeRecord, openLibrary,
} from './storage.helpers.mjs';

const app = useApp();
let other = null;

afterEach(async () => {
  if (other && !other.page.isClosed()) await closeWindow(other);
  other = null;
});

const SAVED_ELSEWHERE = 'This family tree was just saved in another Kinloom window. Open it again from the ' +
  'library to see those changes; this window asks before it saves over them.';
const DELETED_ELSEWHERE = 'This family tree was deleted in another Kinloom window. This window asks before it saves it again.';

// The first window on a library of one or two trees, and a second window on the same first tree.
async function twoWindows(trees = [{ id: 'tree-shared', name: 'Shared', record: treeRecord([person('A', 'Ann'), person('B', 'Bob')]) }]) {
  await openLibrary(app, trees);
  await app.call('save');
  other = await openWindow(app);
  await other.call('save');
  await app.page.waitForTimeout(200);
  return other;
}

const rename = (win, id, name) => win.run(([id, name]) => { persons.get(id).name = name; update(); }, [id, name]);
const stored = async (win, id = 'tree-shared') => (await readStorage(win, [treeKey(id)])).values[treeKey(id)].db;
const names = win => win.run(() => [...persons.values()].map(p => p.name));

test('a save still waiting on its timer is written when the window closes', async () => {
  const b = await twoWindows();
  await rename(b, 'A', 'Written on close');
  await closeWindow(b);
  await app.page.waitForTimeout(300);
  assert.equal((await stored(app)).persons.A.name, 'Written on close');
});

test('a hidden page writes its waiting save at once', async () => {
  await openLibrary(app, [{ id: 'tree-hide', name: 'Hide', record: treeRecord([person('A', 'Ann')]) }]);
  await app.call('save');
  await rename(app, 'A', 'Written when hidden');
  const save = await app.countCalls('save');
  try {
    // What the page does when it becomes hidden; the write needs no timer.
    await app.run(async () => { flushOnHide(); await saveChain; });
    assert.equal((await stored(app, 'tree-hide')).persons.A.name, 'Written when hidden');
    await app.page.waitForTimeout(700);
    assert.equal(await save.count(), 0, 'the waiting timer was cancelled');
  } finally {
    await save.restore();
  }
});

test('the window that is behind is told, and its saves without edits of its own leave the newer tree alone', async () => {
  const b = await twoWindows();
  await rename(app, 'A', 'Newer from the first window');
  await app.call('save');
  await waitForToast(b, SAVED_ELSEWHERE);
  // A camera move in the second window asks for a save; it has no edits, so nothing is written.
  await b.run(() => { shiftX += 50; keepCamera(); scheduleSave(); });
  await b.call('save');
  assert.deepEqual(b.dialogs, []);
  assert.equal((await stored(app)).persons.A.name, 'Newer from the first window');
  // Opening the tree again from the library shows the newer version.
  await b.call('openTree', 'tree-shared');
  assert.deepEqual(await names(b), ['Newer from the first window', 'Bob']);
});

test('the window that is behind asks before saving its edit; OK writes its version, and the other window is told', async () => {
  const b = await twoWindows();
  await rename(app, 'A', 'From the first window');
  await app.call('save');
  await waitForToast(b, SAVED_ELSEWHERE);
  await rename(b, 'B', 'From the second window');
  b.answer(true);
  await b.call('save');
  assert.deepEqual(b.dialogs.map(d => [d.type, d.message]), [['confirm', '“Shared” was changed and saved in another ' +
    'Kinloom window after this window opened it.\n\nPress OK to save this window’s version over those changes, or ' +
    'Cancel to keep both: this window’s version is then saved as a new tree, “Shared (copy)”.']]);
  const record = await stored(app);
  assert.deepEqual([record.persons.A.name, record.persons.B.name], ['Ann', 'From the second window']);
  assert.equal(await b.textContent('#saveIndicator'), '● Saved · Shared');
  await waitForToast(app, SAVED_ELSEWHERE);
  // The first window is behind now: its next edit asks in turn.
  await rename(app, 'A', 'Again from the first');
  app.answer(false);
  await app.call('save');
  assert.equal(app.dialogs.length, 1);
  assert.equal(await app.eval('treeDirectory.map(t => t.name).join()'), 'Shared,Shared (copy)');
});

test('Cancel keeps both: this window’s version becomes a new tree, the other window’s stays', async () => {
  const b = await twoWindows();
  await rename(app, 'A', 'First window');
  await app.call('save');
  await waitForToast(b, SAVED_ELSEWHERE);
  await rename(b, 'A', 'Second window');
  b.answer(false);
  await b.call('save');
  const r = await b.run(() => ({ tree: currentTreeId, directory: treeDirectory.map(t => t.name), indicator: $('saveIndicator').textContent }));
  assert.notEqual(r.tree, 'tree-shared');
  assert.deepEqual(r.directory, ['Shared', 'Shared (copy)']);
  assert.equal(r.indicator, '● Saved · Shared (copy)');
  await waitForToast(b, 'Saved this window’s version as “Shared (copy)”. The other window’s changes stay in “Shared”.');
  assert.equal((await stored(app)).persons.A.name, 'First window');
  assert.equal((await stored(app, r.tree)).persons.A.name, 'Second window');
  const { values } = await readStorage(app, [DIRECTORY_KEY]);
  assert.deepEqual(values[DIRECTORY_KEY].db.map(e => e.name), ['Shared', 'Shared (copy)']);
  // The first window's library shows the copy too, and the second goes on saving the copy without questions.
  await app.page.waitForFunction(() => treeDirectory.length === 2);
  await rename(b, 'B', 'Later');
  await b.call('save');
  assert.equal(b.dialogs.length, 1);
  assert.equal((await stored(app, r.tree)).persons.B.name, 'Later');
});

test('a window closing while behind with edits keeps its version as a copy', async () => {
  const b = await twoWindows();
  await rename(app, 'A', 'First window');
  await app.call('save');
  await waitForToast(b, SAVED_ELSEWHERE);
  await rename(b, 'A', 'Closing window');
  await closeWindow(b);
  await app.page.waitForFunction(() => treeDirectory.length === 2);
  const copy = await app.eval('treeDirectory[1]');
  assert.equal(copy.name, 'Shared (copy)');
  assert.equal((await stored(app)).persons.A.name, 'First window');
  assert.equal((await stored(app, copy.id)).persons.A.name, 'Closing window');
});

const deletionCases = [
  ['OK keeps it in the library', true, ['Other', 'Shared'], 'tree-shared'],
  ['Cancel lets it go', false, ['Other'], 'tree-other'],
];
for (const [what, answer, library, open] of deletionCases)
  test(`a tree deleted in another window: the window showing it is told and asks before saving it; ${what}`, async () => {
    const b = await twoWindows([
      { id: 'tree-shared', name: 'Shared', record: treeRecord([person('A', 'Ann')]) },
      { id: 'tree-other', name: 'Other', record: treeRecord([person('O', 'Otto')]) },
    ]);
    await app.call('openTree', 'tree-other');
    app.answer(true);
    await app.call('deleteTree', 'tree-shared');
    await waitForToast(b, DELETED_ELSEWHERE);
    await rename(b, 'A', 'Still here');
    b.answer(answer);
    await b.call('save');
    assert.deepEqual(b.dialogs.map(d => d.message), ['“Shared” was deleted in another Kinloom window.\n\nPress OK to ' +
      'keep this window’s version in your library, or Cancel to let it go.']);
    const { values, dbKeys } = await readStorage(app, [DIRECTORY_KEY]);
    assert.deepEqual(values[DIRECTORY_KEY].db.map(e => e.name), library);
    assert.equal(dbKeys.includes(treeKey('tree-shared')), answer);
    assert.equal(await b.eval('currentTreeId'), open);
    await app.page.waitForFunction(n => treeDirectory.length === n, library.length);
  });

test('library changes of one window reach the other, and saving one tree keeps the trees the other added', async () => {
  const b = await twoWindows();
  app.answer('Made in the first window');
  await app.run(() => { window.openPersonModal = () => {}; });
  await app.call('createTree');
  await b.page.waitForFunction(() => treeDirectory.length === 2);
  await rename(b, 'A', 'Saved in the second window');
  await b.call('save');
  const { values } = await readStorage(app, [DIRECTORY_KEY]);
  assert.deepEqual(values[DIRECTORY_KEY].db.map(e => e.name), ['Shared', 'Made in the first window']);
  assert.deepEqual(b.dialogs, [], 'saving a tree the other window did not change asks nothing');
  // A rename in the second window shows in the first window's list.
  await b.call('showHome');
  b.answer('Renamed there');
  await b.click('[data-tree-rename="tree-shared"]');
  await app.page.waitForFunction(() => treeDirectory[0].name === 'Renamed there');
  await app.call('showHome');
  await app.page.waitForFunction(() => document.querySelector('#treeLibrary h3').textContent === 'Renamed there');
});
