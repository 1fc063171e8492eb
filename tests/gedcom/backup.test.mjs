// JSON backup and restore: the dialog, the backup file, restoring through the file chooser (cameras, settings,
// order of people, older offsets), refusals and failures, and undo after a restore.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { nextToast } from './helpers.mjs';

const app = useApp();

const NOT_A_BACKUP = 'Restore failed: This is not a Kinloom backup.';

async function openBackupDialog() {
  await app.click('#toolsBtn');
  await app.page.getByRole('button', { name: 'Full backup / restore (JSON)' }).click();
}

// Downloads a backup through the dialog and returns {name, text, data}.
async function downloadBackup() {
  await openBackupDialog();
  const file = await app.download(() => app.page.getByRole('button', { name: 'Download full backup' }).click());
  await app.call('closeModal');
  const text = file.bytes.toString('utf8');
  return { name: file.name, text, data: JSON.parse(text) };
}

// Restores `content` (an object, or text as it is) through "Restore a backup" and its file chooser; returns
// the toast, or null when none came (the user refused the replacement).
async function restore(content) {
  await openBackupDialog();
  const text = typeof content === 'string' ? content : JSON.stringify(content, null, 2);
  await app.run(() => { $('toast').textContent = ''; });
  const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'),
    app.page.getByRole('button', { name: 'Restore a backup' }).click()]);
  await chooser.setFiles({ name: 'Kinloom_Backup.json', mimeType: 'application/json', buffer: Buffer.from(text) });
  await app.page.waitForFunction(() => $('toast').textContent !== '', null, { timeout: 3000 }).catch(() => {});
  await app.call('closeModal');
  return (await app.text('#toast')) || null;
}

// A tree with fixed ids: people [id, fields] and links [a, b, type].
function setTree(people, links = [], view = {}) {
  return app.run(({ people, links, view }) => {
    replaceFamily(new Map(people.map(([id, d]) => [id, { id, name: id, ...d }])),
      links.map(([a, b, type]) => ({ a, b, type, source: 'manual' })));
    setViewState({ focus: null, rootPersonId: null, selected: null, expanded: [], ...view });
    update();
  }, { people, links, view });
}

const state = () => app.run(() => ({
  ids: [...persons.keys()], names: [...persons.values()].map(p => p.name),
  links: edges.map(e => [e.a, e.b, e.type]), focus, rootPersonId, selected, expanded: [...expanded].sort(),
  viewScope, lineMode, pedigreeMode, generationDepth, includeDescendants, mode3,
  camera2, camera3, live: { zoom, shiftX, shiftY }, subtitle: $('branchSub').textContent,
}));

test('the backup dialog', async () => {
  await openBackupDialog();
  const d = await app.run(() => ({
    title: $('modalTitle').textContent,
    body: $('modalLayer').querySelector('.modalbody').innerText.replace(/\s+/g, ' ').trim(),
    bold: [...$('modalLayer').querySelectorAll('.modalbody strong')].map(b => b.textContent),
    buttons: [...$('modalLayer').querySelectorAll('button')].map(b => b.textContent),
    primary: $('backupDownload').classList.contains('primary'),
  }));
  assert.equal(d.title, 'Save and restore your tree');
  assert.equal(d.body, 'JSON backup preserves pictures, orb positions, notes, and family relationships. GEDCOM ' +
    'transfers names, dates, and core family links to other programs. Download full backup Restore a backup ' +
    'Export GEDCOM This is an offline app. Browser storage can be deleted by browser settings or by moving the ' +
    'HTML to a different location. Download backups often. GEDCOM 5.5.1 may omit portraits, custom sibling ' +
    'links, and orb positions; JSON backs those up.');
  assert.deepEqual(d.bold, ['JSON backup', 'GEDCOM']);
  assert.deepEqual(d.buttons, ['Download full backup', 'Restore a backup', 'Export GEDCOM', 'Cancel', 'Close']);
  assert.equal(d.primary, true);
  await setTree([]);
  const file = await app.download(() => app.page.getByRole('button', { name: 'Export GEDCOM' }).click());
  assert.equal(file.name, 'Kinloom_Tree.ged', 'the dialog exports even an empty tree');
  await app.click('#modalSave');
  assert.equal(await app.run(() => $('modalLayer').className), 'hidden');
});

test('the backup file: format label and export time in front of the stored tree record', async () => {
  await setTree([['a', { name: 'Ann', photo: 'data:image/png;base64,AAAA', orbOffset2D: { x: 5, y: 6 } }],
    ['b', { name: 'Bo' }]], [['a', 'b', 'spouse']], { focus: 'a' });
  const before = Date.now();
  const { name, text, data } = await downloadBackup();
  assert.equal(name, 'Kinloom_Backup.json');
  assert.deepEqual(Object.keys(data).slice(0, 2), ['format', 'exported']);
  assert.equal(data.format, 'Kinloom v1');
  assert.match(data.exported, /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$/);
  assert.ok(Math.abs(Date.parse(data.exported) - before) < 60000);
  const record = await app.run(() => JSON.parse(JSON.stringify(treeData())));
  assert.deepEqual(Object.keys(data).slice(2), Object.keys(record));
  assert.deepEqual({ ...data, format: undefined, exported: undefined }, { ...record, format: undefined, exported: undefined });
  assert.equal(text, JSON.stringify(data, null, 2), 'indented by two spaces');
  assert.deepEqual(data.persons.a.orbOffset2D, { x: 5, y: 6 });
});

test('a backup made and restored at once reproduces the tree, cameras and settings; the view opens in 2D', async () => {
  await setTree([['p1', { name: 'Ann' }], ['p2', { name: 'Bo' }], ['p3', { name: 'Cy' }]],
    [['p1', 'p2', 'spouse'], ['p1', 'p3', 'parent']], { focus: 'p2', rootPersonId: 'p1', selected: 'p3' });
  await app.run(() => {
    restoreGenerationSettings(2, false);
    modeSwitch(true);
    setCameraFields({ zoom: 0.7, shiftX: 12, shiftY: -30, rotation: 1.1, tilt: 0.4 });
    modeSwitch(false);
    setCameraFields({ zoom: 1.6, shiftX: -44, shiftY: 18 });
  });
  const { data } = await downloadBackup();
  const before = await state();
  await setTree([['zz', { name: 'Someone else' }]]);
  await app.run(() => { restoreGenerationSettings(999, true); modeSwitch(true); });
  app.answer(true);
  assert.equal(await restore(data), 'Restored 3 people from backup.');
  assert.deepEqual(app.dialogs.map(d => d.message),
    ['Replace your current tree with this backup? Download a backup of the current tree first.']);
  const after = await state();
  for (const key of ['ids', 'names', 'links', 'focus', 'rootPersonId', 'selected', 'camera2', 'generationDepth'])
    assert.deepEqual(after[key], before[key], key);
  assert.equal(after.includeDescendants, false);
  assert.deepEqual([after.camera3.zoom, after.camera3.rotation, after.camera3.tilt], [0.7, 1.1, 0.4]);
  assert.equal(after.mode3, false);
  assert.deepEqual(after.live, { zoom: 1.6, shiftX: -44, shiftY: 18 });
  assert.equal(await app.run(() => $('mode2').classList.contains('active')), true);
  assert.deepEqual([after.lineMode, after.pedigreeMode], ['shared', 'tidy']);
});

test('restoring into an empty tree asks nothing; refusing the replacement changes nothing', async () => {
  const backup = { persons: { x: { id: 'x', name: 'Xena' } }, edges: [] };
  await setTree([]);
  assert.equal(await restore(backup), 'Restored 1 people from backup.');
  assert.deepEqual(app.dialogs, []);
  await setTree([['keep', { name: 'Keep' }]]);
  app.answer(false);
  assert.equal(await restore(backup), null);
  assert.equal(app.dialogs.length, 1);
  assert.deepEqual((await state()).names, ['Keep']);
});

test('people keep their order, integer-like ids included, through backup and restore', async () => {
  await setTree([['10', { name: 'Ten' }], ['2', { name: 'Two' }], ['b', { name: 'Bee' }], ['1', { name: 'One' }]],
    [['10', '2', 'parent'], ['b', '1', 'sibling']]);
  const { text } = await downloadBackup();
  await setTree([]);
  await restore(text);
  assert.deepEqual((await state()).ids, ['10', '2', 'b', '1']);
  // A backup whose people are an object is read in the order of its text.
  const record = (id, name) => `"${id}": {"id": "${id}", "name": "${name}", "nested": {"9": {"x": "1"}}}`;
  await setTree([]);
  await restore(`{"format": "Kinloom v1", "persons": {"a": 1, "z": {}}, "persons": {${record('10', 'Ten')}, ` +
    `${record('2', 'Two')}, ${record('b', 'Bee')}, ${record('1', 'One')}}, "edges": [], "x": {"persons": {"3": {}}}}`);
  assert.deepEqual((await state()).ids, ['10', '2', 'b', '1']);
  await setTree([]);
  await restore({ persons: [['3', { name: 'Three' }], ['1', { name: 'One' }], ['bad', null]], edges: [['3', '1']] });
  assert.deepEqual((await state()).names, ['Three', 'One']);
});

test('references to missing people are dropped or fall back to the first person', async () => {
  await setTree([]);
  await restore({
    persons: { a: { id: 'a', name: 'Ann' }, b: { id: 'b', name: 'Bo' }, broken: 'not a record', nil: null },
    edges: [{ a: 'a', b: 'b', type: 'spouse' }, { a: 'a', b: 'ghost', type: 'parent' }, { a: 'b', b: 'b', type: 'sibling' },
      { a: 'a', b: 'broken', type: 'sibling' }, null, 'text'],
    focus: 'ghost', rootPersonId: 'ghost', selected: 'b', expanded: ['ghost', 'b', 7],
    generationDepth: 'deep', includeDescendants: 0, viewScope: 'somewhere',
  });
  const s = await state();
  assert.deepEqual(s.names, ['Ann', 'Bo']);
  assert.deepEqual(s.links, [['a', 'b', 'spouse']]);
  assert.deepEqual([s.focus, s.rootPersonId, s.selected, s.expanded], ['a', 'a', 'b', ['a', 'b']]);
  assert.deepEqual([s.includeDescendants, s.viewScope], [true, 'connected']);
  assert.ok(s.generationDepth >= 1);
});

test('a stored scope is kept until the scope is next applied', async () => {
  await setTree([]);
  await restore({ persons: { a: { id: 'a', name: 'Ann' } }, edges: [], viewScope: 'ancestors' });
  const s = await state();
  assert.deepEqual([s.viewScope, s.subtitle], ['ancestors', 'Complete ancestral pedigree · shared ancestors appear once']);
  assert.equal(await app.run(() => $('familyScope').value), 'ancestors');
});

test('older backups: 3D offsets become world offsets once, older 2D offsets are copied', async () => {
  const person = (id, extra) => ({ id, name: id, orbOffset3D: { x: 100, y: 0, z: 9 }, ...extra });
  const cases = [
    [{ rotation: 0, tilt: 0.32 }, { x: 100, y: 0, z: 0 }],
    [{ rotation: Math.PI / 2, tilt: 0.32 }, { x: 0, y: 0, z: -100 }],
    [{ rotation: 0, tilt: Math.PI / 2 }, { x: 100, y: 0, z: 0 }],
  ];
  for (const [camera3, expected] of cases) {
    await setTree([]);
    await restore({ persons: { a: person('a', { orbOffset: { x: 3, y: 4 } }), b: person('b', { orbOffset3D: { x: 'q', y: 10 } }) },
      edges: [], camera3 });
    const r = await app.run(() => [persons.get('a').orbOffset3D, persons.get('a').orbOffset2D, persons.get('b').orbOffset3D]);
    for (const k of ['x', 'y', 'z']) assert.ok(Math.abs(r[0][k] - expected[k]) < 1e-9, `${k}: ${r[0][k]}`);
    assert.deepEqual(r[1], { x: 3, y: 4 });
    const pitch = camera3.tilt, yaw = camera3.rotation;
    assert.ok(Math.abs(r[2].y - 10 * Math.cos(pitch)) < 1e-9);
    assert.ok(Math.abs(r[2].x - (-10 * Math.sin(pitch)) * Math.sin(yaw)) < 1e-9);
  }
  // The next backup carries worldOffsets3D and converts nothing again.
  const { data } = await downloadBackup();
  assert.equal(data.worldOffsets3D, true);
  const offset = data.persons.a.orbOffset3D;
  await setTree([]);
  await restore(data);
  assert.deepEqual(await app.run(() => persons.get('a').orbOffset3D), offset);
  // A legacy per-formation 3D camera stands in for camera3.
  await setTree([]);
  await restore({ persons: { a: person('a') }, edges: [], camera3: { rotation: 1 },
    camera3ByFormation: { generations: { zoom: 2, shiftX: 0, shiftY: 0, rotation: 0, tilt: 0.32 } } });
  const r = await app.run(() => [camera3.zoom, persons.get('a').orbOffset3D]);
  assert.equal(r[0], 2);
  assert.ok(Math.abs(r[1].x - 100) < 1e-9 && Math.abs(r[1].z) < 1e-9);
});

test('a legacy workspace record restores too', async () => {
  await setTree([]);
  assert.equal(await restore({ version: 2, persons: { p1: { id: 'p1', name: 'Old' }, p2: { id: 'p2', name: 'Timer' } },
    edges: [{ a: 'p1', b: 'p2', type: 'parent' }], focus: 'p2', selected: 'p2', expanded: ['p1'] }),
  'Restored 2 people from backup.');
  const s = await state();
  assert.deepEqual([s.names, s.focus, s.rootPersonId, s.links], [['Old', 'Timer'], 'p2', 'p2', [['p1', 'p2', 'parent']]]);
});

test('files that are not backups fail with the reason and leave the tree unchanged', async () => {
  await setTree([['keep', { name: 'Keep' }]]);
  for (const [content, message] of [
    ['[1, 2]', NOT_A_BACKUP],
    ['{"persons": {}}', NOT_A_BACKUP],
    ['{"edges": []}', NOT_A_BACKUP],
    ['{"persons": "many", "edges": []}', NOT_A_BACKUP],
    ['{"persons": 0, "edges": []}', NOT_A_BACKUP],
    ['{"persons": {}, "edges": {}}', NOT_A_BACKUP],
    ['null', NOT_A_BACKUP],
    ['not json at all', /^Restore failed: .*JSON/],
    ['{"persons": {', /^Restore failed: .*JSON/],
  ]) {
    const toast = await restore(content);
    if (typeof message === 'string') assert.equal(toast, message, content);
    else assert.match(toast, message, content);
    assert.deepEqual((await state()).names, ['Keep'], content);
  }
  assert.deepEqual(app.dialogs, [], 'no confirmation before the file is known to be a backup');
});

test('an empty map restores an empty tree', async () => {
  await setTree([['gone', { name: 'Gone' }]]);
  app.answer(true);
  assert.equal(await restore({ persons: {}, edges: [] }), 'Restored 0 people from backup.');
  assert.equal(await app.eval('persons.size'), 0);
});

test('undo right after a restore brings back the tree as it was before', async () => {
  await setTree([['a', { name: 'Before' }]]);
  await app.page.waitForTimeout(600);
  app.answer(true);
  await restore({ persons: { b: { id: 'b', name: 'After' } }, edges: [] });
  await app.page.waitForTimeout(600);
  await app.click('#klnUndoBtn');
  await app.page.waitForFunction(() => persons.size === 1 && persons.has('a'));
  assert.deepEqual((await state()).names, ['Before']);
});
