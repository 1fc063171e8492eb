// A browser profile whose site storage is blocked (the browser's content setting for cookies and site
// data): neither IndexedDB nor localStorage works. The document still starts with one tree in memory, tells
// the user at every save, and refuses to report a deletion it could not do.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { relaunchWithStorageBlocked, waitForToast, passStartScreens } from './storage.helpers.mjs';

const app = useApp({ open: false, setup: async app => {
  await relaunchWithStorageBlocked(app);
  await passStartScreens(app);
} });

test('start-up without any storage: one empty "My family tree" in memory under the library overlay', async () => {
  assert.equal(await app.eval('localStorage.length').catch(e => 'blocked'), 'blocked', 'storage really is blocked');
  assert.equal(await app.visible('#homeOverlay'), true);
  assert.deepEqual(await app.run(() => [treeDirectory.map(t => [t.name, t.count]), typeof currentTreeId, persons.size]),
    [[['My family tree', 0]], 'string', 0]);
});

test('every save tells the user; the tree stays in memory', async () => {
  await app.closeLibrary();
  for (const name of ['Ann', 'Bob']) {
    // Each person is one edit of its own: the history joins changes closer than its delay (the points the
    // next paint stores among them), so the test waits until the step is recorded.
    await app.run(name => { addPerson({ name }); update(); }, name);
    await app.frames(2);
    await app.page.waitForFunction(() => !klnHistory.pending && !klnHistory.timer);
    await app.run(() => { $('toast').textContent = ''; });
    await app.call('save');
    assert.equal(await app.textContent('#saveIndicator'), '⚠ Back up this tree');
    await waitForToast(app, 'Browser storage was unavailable. Download a JSON backup to protect your work.');
  }
  assert.deepEqual(await app.run(() => [...persons.values()].map(p => p.name)), ['Ann', 'Bob']);
  // Undo keeps working on the tree in memory.
  await app.click('#klnUndoBtn');
  assert.deepEqual(await app.run(() => [...persons.values()].map(p => p.name)), ['Ann']);
});

test('"Delete all trees" that could clear neither store says so and keeps the library', async () => {
  await app.call('showHome');
  await app.click('#deleteAllTreesBtn');
  await app.click('#modalSave');
  await waitForToast(app, 'Browser storage could not be cleared. Please try again.');
  assert.deepEqual(await app.run(() => [$('modalSave').textContent, $('modalSave').disabled, treeDirectory.length]),
    ['YES', false, 1]);
  await app.click('#modalCancel');
});
