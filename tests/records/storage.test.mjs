// Tree storage: what reaches IndexedDB and localStorage, start-up with and without a stored library, the
// migration of the older single-tree workspace, opening records of every age, and the failures of either
// store. Restarts are relaunches of the browser on the same profile; failures are real (a database left at
// a newer version, a database deleted from another page, a full localStorage).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import {
  DIRECTORY_KEY, LEGACY_KEY, treeKey, wipeStorage, seedStorage, breakDatabase, readStorage, deleteDatabaseFromElsewhere,
  waitForToast, person, treeRecord, entry, openLibrary, passStartScreens,
} from './storage.helpers.mjs';

const app = useApp({ enter: false });

const state = () => app.run(() => ({
  tree: currentTreeId, names: [...persons.values()].map(p => p.name), edges: edges.length, focus, rootPersonId,
  selected, expanded: [...expanded].sort(), directory: treeDirectory.map(t => [t.name, t.count]),
}));

test('first start on a clean browser: one empty "My family tree", opened under the library overlay', async () => {
  assert.equal(await app.visible('#homeOverlay'), true);
  const s = await state();
  assert.deepEqual(s.directory, [['My family tree', 0]]);
  assert.match(s.tree, /^tree-[0-9a-z]+$/);
  assert.deepEqual(s.names, []);
  assert.equal(await app.page.locator('#treeLibrary .tree-entry').count(), 1);
  assert.match(await app.text('#treeLibrary .tree-entry .meta'), /^0 people · Updated \d+\/\d+\/\d{4}$/);
  const stored = await readStorage(app, [DIRECTORY_KEY]);
  assert.deepEqual(stored.values[DIRECTORY_KEY].db.map(e => e.name), ['My family tree']);
  assert.deepEqual(stored.values[DIRECTORY_KEY].local.map(e => e.name), ['My family tree']);
});

test('a save writes the version 6 record and the directory to both stores, and a restart opens it again', async () => {
  await app.enter();
  const ids = await app.build(['Ada', 'Ben', 'Cid'], [['Ada', 'Ben', 'spouse'], ['Ada', 'Cid', 'parent']]);
  await app.run(id => { selected = id; camera3 = { zoom: 2, shiftX: 5, shiftY: 6, rotation: 1, tilt: 0.5 }; }, ids.Cid);
  await app.call('save');
  assert.equal(await app.textContent('#saveIndicator'), '● Saved · My family tree');
  const tree = await app.eval('currentTreeId');
  const { values } = await readStorage(app, [treeKey(tree), DIRECTORY_KEY]);
  const record = values[treeKey(tree)];
  for (const copy of [record.db, record.local]) {
    assert.deepEqual(Object.keys(copy).filter(k => !['revision', 'editId'].includes(k)), ['version', 'worldOffsets3D',
      'persons', 'edges', 'focus', 'rootPersonId', 'selected', 'expanded', 'lineMode', 'viewScope', 'pedigreeMode',
      'generationDepth', 'includeDescendants', 'camera2', 'camera3']);
    assert.equal(copy.version, 6);
    assert.equal(copy.worldOffsets3D, true);
    assert.deepEqual(Object.keys(copy.persons), [ids.Ada, ids.Ben, ids.Cid]);
    assert.equal(copy.edges.length, 2);
    assert.equal(copy.selected, ids.Cid);
  }
  assert.deepEqual(record.db, record.local);
  for (const list of [values[DIRECTORY_KEY].db, values[DIRECTORY_KEY].local])
    assert.deepEqual(list.map(e => [e.id, e.name, e.count]), [[tree, 'My family tree', 3]]);

  await app.relaunch();
  const s = await state();
  assert.equal(s.tree, tree);
  assert.deepEqual(s.names, ['Ada', 'Ben', 'Cid']);
  assert.equal(s.selected, ids.Cid);
  assert.equal(await app.text('#treeLibrary .tree-entry .meta').then(t => t.split(' · ')[0]), '3 people');
  assert.deepEqual(await app.eval('[camera3.zoom, camera3.rotation, mode3]'), [2, 1, false]);
});

test('first start with only the older workspace: "Recovered family tree" holding it, offsets converted on opening',
  async () => {
    await wipeStorage(app);
    const people = Array.from({ length: 12 }, (_, i) => person('L' + i, 'Legacy ' + i));
    people[0].orbOffset3D = { x: 100, y: 0 };
    people[1].orbOffset = { x: 7, y: 8 };
    const legacy = { version: 2, persons: Object.fromEntries(people.map(p => [p.id, p])), edges: [], focus: 'L3',
      selected: 'L4', expanded: ['L3'] };
    await seedStorage(app, { db: [[LEGACY_KEY, legacy]], local: [[LEGACY_KEY, legacy]] });
    await app.open();
    const s = await state();
    assert.deepEqual(s.directory, [['Recovered family tree', 12]]);
    assert.match(s.tree, /^tree-[0-9a-z]+$/);
    assert.deepEqual([s.names.length, s.focus, s.rootPersonId, s.selected], [12, 'L3', 'L3', 'L4']);
    const [p0, p1] = await app.run(() => [persons.get('L0'), persons.get('L1')]);
    // The legacy camera is missing: the default 3D angles 0.28 and 0.32 turn the screen-plane offset.
    assert.ok(Math.abs(p0.orbOffset3D.x - 100 * Math.cos(0.28)) < 1e-9);
    assert.equal(p0.orbOffset3D.y, 0);
    assert.ok(Math.abs(p0.orbOffset3D.z + 100 * Math.sin(0.28)) < 1e-9);
    assert.deepEqual(p1.orbOffset2D, { x: 7, y: 8 });
    await app.call('save');
    const { values } = await readStorage(app, [treeKey(s.tree), LEGACY_KEY]);
    const stored = values[treeKey(s.tree)].db;
    assert.deepEqual(Object.keys(stored.persons), people.map(p => p.id));
    assert.equal(stored.worldOffsets3D, true, 'the next save marks the converted offsets');
    assert.deepEqual(values[LEGACY_KEY].db, legacy, 'the legacy record itself is left alone');
  });

const migrationCases = [
  ['kept only in localStorage (older versions without the database)', { local: true }, 'Recovered family tree', 2],
  ['without people', { db: true, people: 0 }, 'My family tree', 0],
];
for (const [what, where, name, count] of migrationCases)
  test(`migration of an older workspace ${what}`, async () => {
    await wipeStorage(app);
    const people = Array.from({ length: where.people ?? 2 }, (_, i) => person('M' + i, 'Old ' + i));
    const legacy = { version: 2, persons: Object.fromEntries(people.map(p => [p.id, p])), edges: [] };
    await seedStorage(app, { db: where.db ? [[LEGACY_KEY, legacy]] : [], local: where.local ? [[LEGACY_KEY, legacy]] : [] });
    await app.open();
    const s = await state();
    assert.deepEqual(s.directory, [[name, count]]);
    assert.equal(s.names.length, count);
  });

// Records as older versions or damaged copies hold them; each opens with the repairs of the loader.
const openCases = [
  ['a focus naming a deleted person: the first person becomes focus, root and selection',
    { focus: 'gone', rootPersonId: 'gone', selected: 'gone' },
    s => assert.deepEqual([s.focus, s.rootPersonId, s.selected], ['A', 'A', 'A'])],
  ['no generation settings: all generations, descendants included',
    { generationDepth: undefined, includeDescendants: undefined },
    s => assert.deepEqual([s.allGenerations, s.includeDescendants], ['All', true])],
  ['descendants stored as false stay hidden; a depth that is no number means all',
    { includeDescendants: false, generationDepth: 'x' },
    s => assert.deepEqual([s.allGenerations, s.includeDescendants], ['All', false])],
  ['links whose ends are missing or equal are dropped; unknown expanded ids are dropped, focus added',
    { edges: [{ a: 'A', b: 'B', type: 'spouse', source: 'manual' }, { a: 'A', b: 'Z', type: 'parent' },
      { a: 'B', b: 'B', type: 'sibling' }], expanded: ['B', 'Z'], focus: 'B' },
    s => assert.deepEqual([s.edges, s.expanded], [1, ['B']])],
  ['stored scope, line mode and pedigree mode are ignored', { viewScope: 'ancestors', lineMode: 'separate', pedigreeMode: 'all' },
    s => assert.deepEqual([s.viewScope, s.lineMode, s.pedigreeMode], ['connected', 'shared', 'tidy'])],
  ['no cameras: both take the plain default and the 2D view opens', { camera2: undefined, camera3: undefined },
    s => assert.deepEqual([s.camera2, s.camera3, s.mode3],
      [{ zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 }, { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 }, false])],
  ['an older per-formation 3D camera stands in for camera3', { camera3ByFormation: { generations: { zoom: 3, shiftX: 0, shiftY: 0, rotation: 2, tilt: 0.1 } } },
    s => assert.deepEqual([s.camera3.zoom, s.camera3.rotation], [3, 2])],
];
for (const [what, overrides, check] of openCases)
  test(`opening a record with ${what}`, async () => {
    const record = treeRecord([person('A', 'Ann'), person('B', 'Bea'), person('C', 'Cy')], overrides);
    await openLibrary(app, [{ id: 'tree-open', name: 'Open me', record }]);
    check(await app.run(() => ({ focus, rootPersonId, selected, edges: edges.length, expanded: [...expanded],
      generationDepth, includeDescendants, allGenerations: $('generationNumber').textContent, viewScope, lineMode, pedigreeMode, camera2, camera3, mode3 })));
  });

// 3D offsets of records without worldOffsets3D are screen-plane offsets of their 3D camera.
const offsetCases = [
  ['rotation 0, tilt 0.32', { rotation: 0, tilt: 0.32 }, { x: 100, y: 0 }, false, { x: 100, y: 0, z: 0 }],
  ['rotation π/2, tilt 0.32', { rotation: Math.PI / 2, tilt: 0.32 }, { x: 100, y: 0 }, false, { x: 0, y: 0, z: -100 }],
  ['a vertical offset under tilt 0.5', { rotation: 0, tilt: 0.5 }, { x: 0, y: 10, z: 99 }, false,
    { x: 0, y: 10 * Math.cos(0.5), z: -10 * Math.sin(0.5) }],
  ['text numbers and garbage', { rotation: 0, tilt: 0 }, { x: '5', y: 'abc' }, false, { x: 5, y: 0, z: 0 }],
  ['a record marked worldOffsets3D keeps it', { rotation: 1, tilt: 1 }, { x: 100, y: 0, z: 3 }, true, { x: 100, y: 0, z: 3 }],
];
for (const [what, camera3, offset, world, expected] of offsetCases)
  test(`opening converts a 3D offset: ${what}`, async () => {
    const record = treeRecord([person('A', 'Ann', { orbOffset3D: offset, orbOffset: { x: 1, y: 2 } })],
      { worldOffsets3D: world || undefined, camera3: { zoom: 1, shiftX: 0, shiftY: 0, ...camera3 } });
    await openLibrary(app, [{ id: 'tree-offsets', name: 'Offsets', record }]);
    const p = await app.run(() => persons.get('A'));
    for (const axis of ['x', 'y', 'z']) assert.ok(Math.abs(p.orbOffset3D[axis] - expected[axis]) < 1e-9,
      `${axis}: ${p.orbOffset3D[axis]} ≠ ${expected[axis]}`);
    assert.deepEqual(p.orbOffset2D, { x: 1, y: 2 });
    // The conversion happens once: the next save marks the record.
    await app.call('save');
    const { values } = await readStorage(app, [treeKey('tree-offsets')]);
    assert.equal(values[treeKey('tree-offsets')].db.worldOffsets3D, true);
  });

test('a tree of 3,500,000 characters or more goes to IndexedDB alone and its older localStorage copy goes', async () => {
  const small = treeRecord([person('A', 'Ann')]);
  await openLibrary(app, [{ id: 'tree-big', name: 'Big', record: small }]);
  const before = await readStorage(app, [treeKey('tree-big')]);
  assert.ok(before.values[treeKey('tree-big')].local, 'the small tree has its copy');
  await app.run(() => { persons.get('A').notes = 'x'.repeat(3500000); update(); });
  await app.call('save');
  const after = await readStorage(app, [treeKey('tree-big')]);
  assert.equal(after.values[treeKey('tree-big')].db.persons.A.notes.length, 3500000);
  assert.equal(after.values[treeKey('tree-big')].local, null);
  assert.equal(await app.textContent('#saveIndicator'), '● Saved · Big');
});

test('a localStorage copy saved later than the IndexedDB record (the database refused that save) is opened', async () => {
  const older = treeRecord([person('A', 'Old Ann')], { revision: 3, editId: 'e-old' });
  const newer = { version: 6, revision: 4, editId: 'e-new', ...treeRecord([person('A', 'New Ann'), person('B', 'Bea')]) };
  await wipeStorage(app);
  await seedStorage(app, { db: [[DIRECTORY_KEY, [entry('tree-r', 'Revisions', 1)]], [treeKey('tree-r'), older]],
    local: [[DIRECTORY_KEY, [entry('tree-r', 'Revisions', 2)]], [treeKey('tree-r'), newer]] });
  await app.open();
  assert.deepEqual((await state()).names, ['New Ann', 'Bea']);
  // And the other way round: an older localStorage copy is ignored.
  await seedStorage(app, { db: [[treeKey('tree-r'), { ...newer, revision: 9 }]], local: [[treeKey('tree-r'), older]] });
  await app.open();
  assert.deepEqual((await state()).names, ['New Ann', 'Bea']);
});

test('with IndexedDB unopenable, trees below the limit save, load and switch through localStorage', async () => {
  await wipeStorage(app);
  await breakDatabase(app);
  await app.open();
  await app.enter();
  assert.deepEqual((await state()).directory, [['My family tree', 0]]);
  await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
  await app.call('save');
  assert.equal(await app.textContent('#saveIndicator'), '● Saved · My family tree');
  const first = await app.eval('currentTreeId');
  app.answer('Second');
  await app.run(() => { window.openPersonModal = () => {}; });
  await app.call('createTree');
  await app.build(['Cy']);
  await app.call('save');
  await app.relaunch();
  const s = await state();
  assert.deepEqual(s.directory, [['My family tree', 2], ['Second', 1]]);
  assert.equal(s.tree, first);
  assert.deepEqual(s.names, ['Ann', 'Bob']);
  const { dbKeys, localKeys } = await readStorage(app, []);
  assert.deepEqual(dbKeys, [], 'nothing reached the database');
  assert.ok(localKeys.includes(treeKey(first)));
  const second = await app.eval('treeDirectory[1].id');
  await passStartScreens(app);
  await app.click(`[data-tree-open="${second}"]`);
  await app.page.locator('#homeOverlay').waitFor({ state: 'hidden' });
  assert.deepEqual((await state()).names, ['Cy']);
});

test('with IndexedDB failing and a damaged localStorage copy, the tree opens empty', async () => {
  await wipeStorage(app);
  await breakDatabase(app);
  await seedStorage(app, { local: [[DIRECTORY_KEY, [entry('tree-bad', 'Damaged')]], [treeKey('tree-bad'), '{"persons": {']] });
  await app.open();
  const s = await state();
  assert.deepEqual([s.tree, s.names, s.directory], ['tree-bad', [], [['Damaged', 0]]]);
});

test('a database deleted by another page while the document runs: saves go on to localStorage', async () => {
  await openLibrary(app, [{ id: 'tree-lost', name: 'Kept', record: treeRecord([person('A', 'Ann')]) }]);
  assert.equal(await deleteDatabaseFromElsewhere(app), 'deleted');
  await app.run(() => { persons.get('A').name = 'Ann Renamed'; update(); });
  await app.call('save');
  assert.equal(await app.textContent('#saveIndicator'), '● Saved · Kept');
  const { values } = await readStorage(app, [treeKey('tree-lost')]);
  assert.equal(values[treeKey('tree-lost')].local.persons.A.name, 'Ann Renamed');
});

test('when neither store takes the tree it stays in memory, the user is told at every save, and a later save writes it',
  async () => {
    await wipeStorage(app);
    await breakDatabase(app);
    await app.open();
    await app.enter();
    // localStorage is filled to the brim by something else.
    const filler = await app.run(() => {
      let chunk = 'f'.repeat(1 << 20), n = 0;
      try { for (;; n++) localStorage.setItem('filler-' + n, chunk); } catch (e) { /* full */ }
      for (let size = 1 << 19; size > 64; size >>= 1) {
        try { localStorage.setItem('filler-tail-' + size, 'f'.repeat(size)); } catch (e) { /* full */ }
      }
      return n;
    });
    assert.ok(filler > 0);
    for (const name of ['Ann', 'Bob']) {
      await app.run(name => { addPerson({ name: name + ' '.repeat(20000) + '.' }); }, name);
      await app.call('save');
      assert.equal(await app.textContent('#saveIndicator'), '⚠ Back up this tree');
      await waitForToast(app, 'Browser storage was unavailable. Download a JSON backup to protect your work.');
      await app.run(() => { $('toast').textContent = ''; });
    }
    assert.equal(await app.eval('persons.size'), 2, 'the tree stays in memory');
    await app.run(() => { for (const k of Object.keys(localStorage)) if (k.startsWith('filler-')) localStorage.removeItem(k); });
    await app.call('save');
    assert.equal(await app.textContent('#saveIndicator'), '● Saved · My family tree');
    const tree = await app.eval('currentTreeId');
    const { values } = await readStorage(app, [treeKey(tree)]);
    assert.equal(Object.keys(values[treeKey(tree)].local.persons).length, 2);
  });
