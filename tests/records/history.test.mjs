// Edit history: which changes become undo steps (360 ms coalescing, under a stopped clock), undo and redo
// through the real buttons and Ctrl+Z / Ctrl+Y / Ctrl+Shift+Z, the two caps, and applying a snapshot.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ setup: app => app.pauseClock() });

const history = () => app.run(() => ({
  undo: klnHistory.undo.length, redo: klnHistory.redo.length,
  buttons: [$('klnUndoBtn').disabled, $('klnRedoBtn').disabled, $('klnUndoBtn').title, $('klnRedoBtn').title],
}));
const names = () => app.run(() => [...persons.values()].map(p => p.name));
const toast = () => app.textContent('#toast');

// A family with an empty history, as right after opening it.
async function start(people = ['Ann'], links = []) {
  const ids = await app.build(people, links);
  await app.tick(600);
  await app.call('klnResetEditHistory');
  await app.run(() => document.activeElement && document.activeElement.blur());
  return ids;
}

const rename = (id, name) => app.run(([id, name]) => { persons.get(id).name = name; update(); }, [id, name]);

test('the buttons: disabled with their titles while empty, enabled with the count after an edit', async () => {
  const { Ann } = await start();
  assert.deepEqual((await history()).buttons, [true, true, 'Undo genealogy edit (Ctrl+Z) · 0 available',
    'Redo genealogy edit (Ctrl+Y / Ctrl+Shift+Z) · 0 available']);
  await rename(Ann, 'Anne');
  await app.tick(359);
  assert.equal((await history()).undo, 0, 'not yet: the burst may go on');
  await app.tick(1);
  assert.deepEqual((await history()).buttons, [false, true, 'Undo genealogy edit (Ctrl+Z) · 1 available',
    'Redo genealogy edit (Ctrl+Y / Ctrl+Shift+Z) · 0 available']);
  await app.click('#klnUndoBtn');
  assert.deepEqual(await names(), ['Ann']);
  assert.equal(await toast(), 'Undid the previous family-tree edit.');
  assert.deepEqual((await history()).buttons, [true, false, 'Undo genealogy edit (Ctrl+Z) · 0 available',
    'Redo genealogy edit (Ctrl+Y / Ctrl+Shift+Z) · 1 available']);
  await app.click('#klnRedoBtn');
  assert.deepEqual(await names(), ['Anne']);
  assert.equal(await toast(), 'Reapplied the last undone edit.');
});

test('adding a relative through the person form (a person and a link) is one step; Undo removes both', async () => {
  const { Ann } = await start();
  await app.call('openPersonModal', null, 'child', Ann);
  await app.fill('#pfName', 'Kid');
  await app.click('#modalSave');
  await app.tick(400);
  assert.deepEqual(await names(), ['Ann', 'Kid']);
  assert.ok(await app.eval('edges.length') >= 1);
  assert.equal((await history()).undo, 1);
  await app.click('#klnUndoBtn');
  assert.deepEqual([await names(), await app.eval('edges.length')], [['Ann'], 0]);
});

const spacingCases = [[1000, 2], [100, 1], [359, 1], [361, 2]];
for (const [gap, steps] of spacingCases)
  test(`two edits ${gap} ms apart make ${steps} step${steps > 1 ? 's' : ''}`, async () => {
    const { Ann } = await start();
    await rename(Ann, 'One');
    await app.tick(gap);
    await rename(Ann, 'Two');
    await app.tick(1000);
    assert.equal((await history()).undo, steps);
  });

test('a value changed and changed back within 360 ms leaves no step', async () => {
  const { Ann } = await start();
  await rename(Ann, 'Other');
  await app.tick(200);
  await rename(Ann, 'Ann');
  await app.tick(1000);
  assert.deepEqual(await history(), { undo: 0, redo: 0, buttons: [true, true,
    'Undo genealogy edit (Ctrl+Z) · 0 available', 'Redo genealogy edit (Ctrl+Y / Ctrl+Shift+Z) · 0 available'] });
});

test('selecting, panning, zooming and switching between 2D and 3D never enable Undo', async () => {
  const ids = await start(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
  await app.tick(100);
  await app.run(id => selectPerson(id), ids.Bob);
  const box = await app.page.locator('#tree').boundingBox();
  await app.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await app.page.mouse.wheel(0, -300);
  await app.page.focus('#tree');
  await app.page.keyboard.down('ArrowLeft');
  await app.tick(300);
  await app.page.keyboard.up('ArrowLeft');
  await app.click('#mode3');
  await app.tick(100);
  await app.click('#mode2');
  await app.run(() => { shiftX += 40; zoom *= 1.2; keepCamera(); scheduleSave(); });
  await app.tick(2000);
  assert.equal((await history()).undo, 0);
  assert.equal(await app.page.locator('#klnUndoBtn').isDisabled(), true);
});

test('moving an orb is undoable: Undo puts it back', async () => {
  const { Ann } = await start();
  await app.run(id => {
    persons.get(id).orbOffset2D = { x: 120, y: -40 };
    persons.get(id).klnUserMovedOrb = true;
    scheduleSave();
  }, Ann);
  await app.tick(400);
  await app.press('Control+z');
  assert.deepEqual(await app.run(id => [persons.get(id).orbOffset2D, persons.get(id).klnUserMovedOrb], Ann), [undefined, undefined]);
});

test('after 13 edits only the last 12 can be undone; the thirteenth Ctrl+Z says "Nothing to undo."', async () => {
  const { Ann } = await start();
  for (let i = 1; i <= 13; i++) {
    await rename(Ann, 'Name ' + i);
    await app.tick(400);
  }
  assert.equal((await history()).undo, 12);
  for (let i = 0; i < 12; i++) await app.press('Control+z');
  assert.deepEqual(await names(), ['Name 1']);
  await app.press('Control+z');
  assert.equal(await toast(), 'Nothing to undo.');
  assert.deepEqual(await names(), ['Name 1']);
});

test('an edit followed at once by Ctrl+Z is undone, not lost', async () => {
  const { Ann } = await start();
  await rename(Ann, 'Quick');
  await app.tick(50);
  await app.press('Control+z');
  assert.deepEqual(await names(), ['Ann']);
  await app.press('Control+y');
  assert.deepEqual(await names(), ['Quick']);
});

test('redo by Ctrl+Y and Ctrl+Shift+Z; after undo and a new edit, redo finds "Nothing to redo."', async () => {
  const { Ann } = await start();
  for (const name of ['B', 'C']) { await rename(Ann, name); await app.tick(400); }
  await app.press('Control+z');
  await app.press('Control+z');
  await app.press('Control+Shift+Z');
  assert.deepEqual(await names(), ['B']);
  await app.press('Control+z');
  await rename(Ann, 'New');
  await app.press('Control+y');
  assert.equal(await toast(), 'Nothing to redo.');
  assert.deepEqual(await names(), ['New']);
  assert.equal((await history()).undo, 1);
});

// Keys that belong to something else than the tree.
const ignoredCases = [
  ['typed in the search field', async () => { await app.click('#search'); }, async () => { await app.fill('#search', ''); }],
  ['typed in a dialog field', async () => { await app.call('openPersonModal'); await app.click('#pfName'); }, async () => { await app.call('closeModal'); }],
  ['pressed with a dialog open', async () => { await app.call('showSettings'); }, async () => { await app.call('closeModal'); }],
  ['pressed over the library overlay', async () => { await app.call('showHome'); }, async () => { await app.call('hideHome'); }],
  ['pressed with Alt held too', async () => {}, async () => {}, 'Control+Alt+z'],
];
for (const [what, before, after, key = 'Control+z'] of ignoredCases)
  test(`Ctrl+Z ${what} does not undo the tree`, async () => {
    const { Ann } = await start();
    await rename(Ann, 'Edited');
    await app.tick(400);
    await before();
    await app.press(key);
    await after();
    assert.deepEqual(await names(), ['Edited']);
    assert.equal((await history()).undo, 1);
  });

test('switching to another tree and back empties the history', async () => {
  const { Ann } = await start();
  await rename(Ann, 'Edited');
  await app.tick(400);
  const first = await app.eval('currentTreeId');
  app.answer('Other tree');
  await app.run(() => { window.openPersonModal = () => {}; });
  const created = app.call('createTree');
  await created;
  assert.equal((await history()).undo, 0);
  await app.call('openTree', first);
  assert.deepEqual(await history(), { undo: 0, redo: 0, buttons: [true, true,
    'Undo genealogy edit (Ctrl+Z) · 0 available', 'Redo genealogy edit (Ctrl+Y / Ctrl+Shift+Z) · 0 available'] });
  assert.deepEqual(await names(), ['Edited']);
  await app.call('hideHome');
});

test('a snapshot is applied with links to missing people dropped and a missing focus replaced by the root', async () => {
  await start(['Ann']);
  const r = await app.run(() => {
    const snapshot = JSON.stringify({
      persons: { R: { id: 'R', name: 'Root' }, S: { id: 'S', name: 'Sel' } },
      edges: [{ a: 'R', b: 'S', type: 'spouse' }, { a: 'R', b: 'gone', type: 'parent' }, { a: 'S', b: 'S', type: 'sibling' }],
      focus: 'gone', rootPersonId: 'R', selected: 'S', expanded: ['S', 'gone'],
    });
    klnRestoreEditSnapshot(snapshot);
    return { focus, rootPersonId, selected, expanded: [...expanded], edges: edges.length, restoring: klnHistory.restoring };
  });
  assert.deepEqual(r, { focus: 'R', rootPersonId: 'R', selected: 'S', expanded: ['S'], edges: 1, restoring: false });
});

test('an undo is stored 80 ms later', async () => {
  const { Ann } = await start();
  await rename(Ann, 'Edited');
  await app.tick(1000);
  const save = await app.countCalls('save');
  try {
    await app.press('Control+z');
    await app.tick(79);
    assert.equal(await save.count(), 0);
    await app.tick(1);
    assert.equal(await save.count(), 1);
    await app.tick(1000);
    assert.equal(await save.count(), 1);
  } finally {
    await save.restore();
  }
});

test('snapshot and edit key: the snapshot lists persons, edges, focus, rootPersonId, selected, expanded; the key is [persons, edges]',
  async () => {
    await start(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
    const r = await app.run(() => {
      const snapshot = klnEditSnapshot();
      const data = JSON.parse(snapshot);
      return { fields: Object.keys(data), key: klnEditKey(snapshot) === JSON.stringify([data.persons, data.edges]),
        recorded: klnEditKey(klnHistory.base) === klnEditKey(snapshot), expanded: Array.isArray(data.expanded) };
    });
    assert.deepEqual(r, { fields: ['persons', 'edges', 'focus', 'rootPersonId', 'selected', 'expanded'], key: true,
      recorded: true, expanded: true });
  });

// Trimming: at most 12 snapshots, and together at most 50,331,648 characters, oldest first, never the last.
const trimCases = [
  ['13 short snapshots keep the newest 12', Array.from({ length: 13 }, (_, i) => ['s' + i, 1]), 12, 's1'],
  ['three of 20 MiB exceed the size cap: the oldest goes', [['a', 20], ['b', 20], ['c', 20]], 2, 'b'],
  ['one of 60 MiB alone stays', [['big', 60]], 1, 'big'],
  ['48 MiB exactly fits', [['a', 24], ['b', 24]], 2, 'a'],
];
for (const [what, items, length, oldest] of trimCases)
  test(`klnTrimHistory: ${what}`, async () => {
    const r = await app.run(items => {
      const list = items.map(([tag, mib]) => tag + ' '.repeat(mib === 1 ? 0 : mib * 1024 * 1024 - tag.length));
      klnTrimHistory(list);
      return [list.length, list[0].trim()];
    }, items);
    assert.deepEqual(r, [length, oldest]);
  });
