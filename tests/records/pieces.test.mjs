// Large trees in IndexedDB: the record is kept as its JSON text in pieces (runs of people and links stored
// apart from the head), a save writes only the pieces that changed, and no reading ever gives half a tree.
// Restarts are relaunches of the browser on the same profile.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { DIRECTORY_KEY, treeKey, readStorage, deleteStored, openLibrary, person, treeRecord } from './storage.helpers.mjs';

const app = useApp();

// Adds `count` people in a line of parent links to the open tree, as an import would, and saves.
const grow = (count, prefix = 'Person') => app.run(async ([count, prefix]) => {
  bulkImport = true;
  try {
    let last = null;
    for (let i = 0; i < count; i++) {
      const id = addPerson({ name: `${prefix} ${i}`, birth: String(1700 + (i % 300)), birthPlace: 'Springfield' });
      if (last) addEdge(last, id, 'parent');
      last = id;
    }
  } finally {
    bulkImport = false;
  }
  update();
  await save();
  return currentTreeId;
}, [count, prefix]);

const pieceKeys = async id => (await readStorage(app, [])).dbKeys.filter(k => k.startsWith(treeKey(id) + '#')).sort();

// The stored record's people and links as text, against the tree in the page.
async function storedMatchesPage(id) {
  const { values } = await readStorage(app, [treeKey(id)]);
  const page = await app.run(() => [JSON.stringify(storedPersons(persons)), JSON.stringify(edges)]);
  return [JSON.stringify(values[treeKey(id)].db.persons) === page[0], JSON.stringify(values[treeKey(id)].db.edges) === page[1]];
}

test('a large tree is stored in pieces; an edit rewrites only the piece that changed; a restart opens it whole', async () => {
  const id = await grow(2600);
  const before = await pieceKeys(id);
  assert.ok(before.length >= 4, `people and links are stored in runs (${before.length} pieces)`);
  assert.deepEqual(await storedMatchesPage(id), [true, true]);

  await app.run(async () => {
    [...persons.values()][1500].name = 'Renamed in the middle';
    update();
    await save();
  });
  const after = await pieceKeys(id);
  assert.equal(after.length, before.length);
  assert.equal(after.filter(k => !before.includes(k)).length, 1, 'one new piece');
  assert.equal(before.filter(k => !after.includes(k)).length, 1, 'the piece it replaces is gone');
  assert.deepEqual(await storedMatchesPage(id), [true, true]);

  await app.relaunch();
  assert.deepEqual(await app.run(() => [currentTreeId, persons.size, edges.length, [...persons.values()][1500].name]),
    [id, 2600, 2599, 'Renamed in the middle']);
});

test('a change that no save request announced is in the next save all the same', async () => {
  const id = await app.eval('currentTreeId');
  await app.run(async () => {
    [...persons.values()][5].name = 'Changed quietly';
    await save();
  });
  const { values } = await readStorage(app, [treeKey(id)]);
  assert.equal(Object.values(values[treeKey(id)].db.persons)[5].name, 'Changed quietly');
});

test('a record whose stored piece is missing opens from its localStorage copy, never as half a tree', async () => {
  const id = await app.eval('currentTreeId');
  const pieces = await pieceKeys(id);
  await deleteStored(app, [pieces[0]]);
  app.expectConsole(/could not read|IndexedDB could not read/i);
  await app.relaunch();
  assert.deepEqual(await app.run(() => [currentTreeId, persons.size, edges.length]), [id, 2600, 2599]);
});

test('deleting a tree, or the whole library, removes its pieces', async () => {
  await openLibrary(app, [
    { id: 'tree-one', name: 'First family', record: treeRecord([person('A', 'Ann')]) },
    { id: 'tree-two', name: 'Second family', record: treeRecord([person('C', 'Cat')]) },
  ]);
  await grow(1500, 'One');
  assert.ok((await pieceKeys('tree-one')).length > 0);
  await app.run(() => showHome());
  app.answer(true);
  await app.click('[data-tree-delete="tree-one"]');
  await app.page.waitForFunction(() => currentTreeId === 'tree-two');
  assert.deepEqual((await readStorage(app, [])).dbKeys.filter(k => k.startsWith(treeKey('tree-one'))), []);

  await grow(1500, 'Two');
  assert.ok((await pieceKeys('tree-two')).length > 0);
  assert.equal(await app.run(() => deleteAllSavedFamilyTrees()), true);
  assert.deepEqual((await readStorage(app, [])).dbKeys, [DIRECTORY_KEY]);
});
