// The family library overlay: its texts and controls, creating, opening, renaming and deleting trees, and
// deleting the whole library with its confirmation dialog and failures. Driven through the real buttons,
// prompts and confirmation boxes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import {
  DIRECTORY_KEY, LEGACY_KEY, treeKey, readStorage, deleteDatabaseFromElsewhere, breakDatabase, wipeStorage,
  waitForToast, person, treeRecord, openLibrary, passStartScreens,
} from './storage.helpers.mjs';

const app = useApp();

const library = () => app.run(() => treeDirectory.map(t => t.name));
const shown = () => app.visible('#homeOverlay');

async function twoTrees() {
  await openLibrary(app, [
    { id: 'tree-one', name: 'First family', record: treeRecord([person('A', 'Ann'), person('B', 'Bob')]) },
    { id: 'tree-two', name: 'Second family', record: treeRecord([person('C', 'Cat')]) },
  ]);
}

async function showLibrary() {
  await app.click('#homeBrand');
  await app.page.locator('#homeOverlay').waitFor({ state: 'visible' });
}

test('the overlay: texts and controls in order, one card per tree with its count and date', async () => {
  await twoTrees();
  await showLibrary();
  const texts = await app.run(() => {
    const card = $('homeOverlay').querySelector('.home-card');
    return [...card.children].map(el => el.id === 'homeActions'
      ? [...el.querySelectorAll(':scope > button')].map(b => b.textContent) : el.id || el.textContent.trim());
  });
  assert.deepEqual(texts, ['KINLOOM · YOUR FAMILY LIBRARY', 'homeTitle',
    'Open a saved tree, create a new one, or bring in a GEDCOM. Each tree has its own photos, relatives, layout and view settings.',
    ['+ New family tree', '⇧ Import GEDCOM into a new tree', '↻ Refresh list', 'Continue editing', 'Delete all trees'],
    'treeLibrary', 'Stored in this browser · Download JSON backups regularly to protect your research.']);
  assert.equal(await app.textContent('#homeTitle'), 'Every family has a universe.');
  assert.equal(await app.page.getAttribute('#deleteAllTreesBtn', 'title'), 'Delete every saved Kinloom family tree in this browser');
  const cards = await app.run(() => [...document.querySelectorAll('#treeLibrary .tree-entry')].map(c =>
    [c.querySelector('h3').textContent, c.querySelector('.meta').textContent, [...c.querySelectorAll('button')].map(b => b.textContent)]));
  // The open tree was saved after opening (today); the other keeps its stored time.
  const days = await app.run(() => treeDirectory.map(t => new Date(t.updated).toLocaleDateString()));
  assert.equal(days[1], await app.eval(`new Date(${Date.UTC(2024, 4, 1)}).toLocaleDateString()`));
  assert.deepEqual(cards, [
    ['First family', '2 people · Updated ' + days[0], ['Open tree', 'Rename', 'Delete']],
    ['Second family', '1 people · Updated ' + days[1], ['Open tree', 'Rename', 'Delete']],
  ]);
  await app.click('#homeClose');
  assert.equal(await shown(), false);
});

test('names and counts in the list are text, and counts use the digit grouping', async () => {
  await openLibrary(app, [{ id: 'tree-x', name: '<img src=x onerror="window.__pwned=1">', record: treeRecord([]) }]);
  await app.run(() => { treeDirectory[0].count = 12345; renderTreeLibrary(); });
  assert.equal(await app.textContent('#treeLibrary h3'), '<img src=x onerror="window.__pwned=1">');
  assert.match(await app.textContent('#treeLibrary .meta'), /^12,345 people · /);
  assert.equal(await app.eval('window.__pwned'), undefined);
});

test('the brand button (click, Enter) saves the open tree and then shows the library', async () => {
  await twoTrees();
  for (const how of ['click', 'Enter', ' ']) {
    await app.run(() => { persons.get('A').name = 'Ann ' + Date.now(); update(); });
    const name = await app.eval("persons.get('A').name");
    if (how === 'click') await app.click('#homeBrand');
    else await app.press(how, '#homeBrand');
    await app.page.locator('#homeOverlay').waitFor({ state: 'visible' });
    await app.page.waitForFunction(n => $('saveIndicator').textContent === '● Saved · First family', name);
    const { values } = await readStorage(app, [treeKey('tree-one')]);
    assert.equal(values[treeKey('tree-one')].db.persons.A.name, name, `saved before showing (${how})`);
    await app.click('#homeClose');
  }
});

test('"Open tree" saves the open tree first, opens the chosen one and hides the overlay', async () => {
  await twoTrees();
  await app.run(() => { persons.get('A').name = 'Ann changed'; update(); });
  await showLibrary();
  await app.click('[data-tree-open="tree-two"]');
  await app.page.locator('#homeOverlay').waitFor({ state: 'hidden' });
  assert.deepEqual(await app.run(() => [currentTreeId, [...persons.values()].map(p => p.name)]), ['tree-two', ['Cat']]);
  const { values } = await readStorage(app, [treeKey('tree-one')]);
  assert.equal(values[treeKey('tree-one')].db.persons.A.name, 'Ann changed');
});

const createCases = [
  ['"+ New family tree" with a name', '#newTreeBtn', '  Smiths  ', 'My family tree', 'Smiths'],
  ['a blank name', '#newTreeBtn', '   ', 'My family tree', 'Untitled family tree'],
];
for (const [what, button, answer, offered, name] of createCases)
  test(`creating a tree: ${what}`, async () => {
    await twoTrees();
    await app.run(() => { persons.get('A').name = 'Ann before'; update(); });
    await showLibrary();
    app.answer(answer);
    await app.click(button);
    await app.page.locator('#modalLayer .modal').waitFor();
    assert.deepEqual(app.dialogs.map(d => [d.type, d.message, d.defaultValue]),
      [['prompt', 'Name your new family tree:', offered]]);
    assert.equal(await shown(), false, 'the overlay closes and the person form opens');
    const s = await app.run(() => [treeDirectory.map(t => [t.name, t.count]), persons.size, currentTreeId === treeDirectory[2].id]);
    assert.deepEqual(s, [[['First family', 2], ['Second family', 1], [name, 0]], 0, true]);
    const { values } = await readStorage(app, [treeKey('tree-one'), DIRECTORY_KEY]);
    assert.equal(values[treeKey('tree-one')].db.persons.A.name, 'Ann before', 'the open tree was saved first');
    assert.deepEqual(values[DIRECTORY_KEY].db.map(e => e.name), ['First family', 'Second family', name]);
    await app.press('Escape');
  });

test('creating a tree: cancelling the prompt changes nothing', async () => {
  await twoTrees();
  await showLibrary();
  app.answer(null);
  await app.click('#newTreeBtn');
  await app.page.waitForTimeout(200);
  assert.deepEqual(await library(), ['First family', 'Second family']);
  assert.equal(await app.eval('currentTreeId'), 'tree-one');
  assert.equal(await shown(), true);
});

test('"⇧ Import GEDCOM into a new tree" names the tree "Imported family tree" by default and asks for the file', async () => {
  await twoTrees();
  await app.run(() => { localStorage.setItem('kinloom:gedcom-import-notice:v1', 'accepted'); window.klnGedcomAdvisory.accepted = true; });
  await showLibrary();
  app.answer(true);
  const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'), app.click('#importNewTreeBtn')]);
  assert.equal(chooser.element ? await chooser.element().getAttribute('id') : 'importFile', 'importFile');
  assert.deepEqual(app.dialogs.map(d => [d.message, d.defaultValue]), [['Name your new family tree:', 'Imported family tree']]);
  assert.deepEqual(await library(), ['First family', 'Second family', 'Imported family tree']);
  assert.equal(await app.eval('persons.size'), 0);
});

const renameCases = [
  ['a new name, trimmed', '  Renamed  ', 'Renamed'],
  ['a blank name changes nothing', '  ', 'Second family'],
  ['cancel changes nothing', null, 'Second family'],
];
for (const [what, answer, name] of renameCases)
  test(`renaming a tree that is not open: ${what}`, async () => {
    await twoTrees();
    await showLibrary();
    app.answer(answer);
    await app.click('[data-tree-rename="tree-two"]');
    await app.page.waitForFunction(n => document.querySelectorAll('#treeLibrary h3')[1].textContent === n, name);
    assert.deepEqual(app.dialogs.map(d => [d.type, d.message, d.defaultValue]), [['prompt', 'Rename family tree:', 'Second family']]);
    const { values } = await readStorage(app, [DIRECTORY_KEY]);
    assert.deepEqual(values[DIRECTORY_KEY].db.map(e => e.name), ['First family', name]);
  });

test('renaming the open tree saves it: the save indicator shows the new name', async () => {
  await twoTrees();
  await showLibrary();
  app.answer('Ones');
  await app.click('[data-tree-rename="tree-one"]');
  await app.page.waitForFunction(() => $('saveIndicator').textContent === '● Saved · Ones');
  assert.equal(await app.textContent('#treeLibrary h3'), 'Ones');
});

test('deleting the only tree is refused with a toast', async () => {
  await openLibrary(app, [{ id: 'tree-only', name: 'Only', record: treeRecord([person('A', 'Ann')]) }]);
  await showLibrary();
  await app.click('[data-tree-delete="tree-only"]');
  await waitForToast(app, 'Keep at least one family tree. You can clear it from Tools instead.');
  assert.deepEqual(app.dialogs, []);
  assert.deepEqual(await library(), ['Only']);
});

test('deleting a tree asks first; refused, nothing changes', async () => {
  await twoTrees();
  await showLibrary();
  app.answer(false);
  await app.click('[data-tree-delete="tree-two"]');
  await app.page.waitForTimeout(200);
  assert.deepEqual(app.dialogs.map(d => [d.type, d.message]),
    [['confirm', 'Permanently delete "Second family" from this browser? Export its backup first.']]);
  assert.deepEqual(await library(), ['First family', 'Second family']);
});

test('deleting the open tree removes it from both stores and opens the first remaining one without saving', async () => {
  await twoTrees();
  await app.run(() => { persons.get('A').name = 'Unsaved edit'; update(); });
  await showLibrary();
  app.answer(true);
  await app.click('[data-tree-delete="tree-one"]');
  await app.page.waitForFunction(() => currentTreeId === 'tree-two');
  await app.page.waitForTimeout(700); // longer than the save debounce: the deleted tree must not come back
  assert.deepEqual(await library(), ['Second family']);
  assert.deepEqual(await app.run(() => [...persons.values()].map(p => p.name)), ['Cat']);
  const { values, localKeys, dbKeys } = await readStorage(app, [DIRECTORY_KEY]);
  assert.ok(!dbKeys.includes(treeKey('tree-one')) && !localKeys.includes(treeKey('tree-one')));
  assert.deepEqual(values[DIRECTORY_KEY].db.map(e => e.id), ['tree-two']);
  assert.deepEqual(values[DIRECTORY_KEY].local.map(e => e.id), ['tree-two']);
  assert.equal(await shown(), false, 'opening the remaining tree closes the overlay');
  assert.equal(await app.page.locator('#treeLibrary .tree-entry').count(), 1);
});

async function openDeleteAll() {
  await showLibrary();
  await app.click('#deleteAllTreesBtn');
  await app.page.locator('#modalLayer .modal').waitFor();
}

test('"Delete all trees": the dialog, NO keeps everything', async () => {
  await twoTrees();
  await openDeleteAll();
  const d = await app.run(() => ({
    title: $('modalTitle').textContent,
    box: [...document.querySelectorAll('.modalbody .danger-box p')].map(p => p.textContent),
    bold: document.querySelector('.modalbody .danger-box b').textContent,
    after: document.querySelector('.modalbody > p').textContent,
    yes: [$('modalSave').textContent, $('modalSave').className, $('modalSave').getAttribute('aria-label')],
    no: [$('modalCancel').textContent, $('modalCancel').getAttribute('aria-label')],
    foot: document.querySelector('.modalfoot').className,
  }));
  assert.deepEqual(d, {
    title: 'Delete all family trees?',
    box: ['Are you sure?', 'You are about to permanently delete 2 family trees (3 listed people), including their saved portraits and orb settings.'],
    bold: '2',
    after: 'This cannot be undone. Save a JSON backup first if you want to keep any of these trees.',
    yes: ['YES', 'primary danger-confirm', 'Yes, permanently delete every saved family tree'],
    no: ['NO', 'No, keep my trees'],
    foot: 'modalfoot sollary-delete-yesno',
  });
  await app.click('#modalCancel');
  assert.deepEqual(await library(), ['First family', 'Second family']);
});

test('"Delete all trees" YES: every stored tree and the older workspace go, other settings stay; a restart keeps it empty',
  async () => {
    await twoTrees();
    await app.run(() => {
      localStorage.setItem('sollary-tree-orphan', '{}');
      localStorage.setItem('sollary_genealogy_workspace_v1', JSON.stringify({ version: 2, persons: { L: { id: 'L', name: 'Legacy' } }, edges: [] }));
      localStorage.setItem('sollary-genealogy-colored-branches', '0');
    });
    await openDeleteAll();
    await app.click('#modalSave');
    await waitForToast(app, 'All family trees deleted. Your library is now empty.');
    assert.equal(await app.eval('modalOpen()'), false);
    assert.equal(await shown(), true);
    assert.equal(await app.textContent('#treeLibrary'), 'No family trees remain. Create a new tree or import a GEDCOM to begin.');
    assert.deepEqual(await app.run(() => [$('homeClose').disabled, $('deleteAllTreesBtn').disabled]), [true, true]);
    assert.deepEqual(await app.run(() => [currentTreeId, persons.size, focus, $('saveIndicator').textContent]),
      [null, 0, null, '● No family trees']);
    await app.page.waitForTimeout(600);
    const { values, dbKeys, localKeys } = await readStorage(app, [DIRECTORY_KEY]);
    assert.deepEqual(dbKeys, [DIRECTORY_KEY]);
    assert.deepEqual(localKeys.filter(k => k.startsWith('sollary-tree-') || k === LEGACY_KEY), []);
    assert.ok(localKeys.includes('sollary-genealogy-colored-branches'), 'preferences are not part of the library');
    assert.deepEqual([values[DIRECTORY_KEY].db, values[DIRECTORY_KEY].local], [[], []]);

    await app.relaunch();
    await passStartScreens(app);
    assert.deepEqual(await library(), []);
    assert.equal(await app.textContent('#treeLibrary'), 'No family trees remain. Create a new tree or import a GEDCOM to begin.');
    assert.deepEqual(await app.run(() => [$('homeClose').disabled, $('deleteAllTreesBtn').disabled, currentTreeId]), [true, true, null]);
    // The disabled button aside, the command itself refuses an empty library.
    await app.call('confirmDeleteAllTrees');
    await waitForToast(app, 'There are no family trees to delete.');
    assert.equal(await app.eval('modalOpen()'), false);
    // A new tree fills the emptied library again.
    app.answer('Fresh');
    await app.click('#newTreeBtn');
    await app.page.locator('#modalLayer .modal').waitFor();
    await app.press('Escape');
    assert.deepEqual(await library(), ['Fresh']);
  });

test('"Delete all trees" when the database fails mid-way: nothing is removed and YES comes back', async () => {
  await twoTrees();
  await openDeleteAll();
  assert.equal(await deleteDatabaseFromElsewhere(app), 'deleted');
  await app.click('#modalSave');
  await waitForToast(app, 'Deletion could not finish. No trees were removed from the library list.');
  assert.deepEqual(await app.run(() => [$('modalSave').textContent, $('modalSave').disabled]), ['YES', false]);
  assert.deepEqual(await library(), ['First family', 'Second family']);
  const { localKeys } = await readStorage(app, []);
  assert.ok(localKeys.includes(treeKey('tree-one')) && localKeys.includes(treeKey('tree-two')));
  await app.click('#modalCancel');
});

test('"Delete all trees" with IndexedDB unopenable clears localStorage and succeeds', async () => {
  await wipeStorage(app);
  await breakDatabase(app);
  await app.open();
  await app.enter();
  await app.build(['Ann']);
  await app.call('save');
  await openDeleteAll();
  await app.click('#modalSave');
  await waitForToast(app, 'All family trees deleted. Your library is now empty.');
  const { localKeys } = await readStorage(app, []);
  assert.deepEqual(localKeys.filter(k => k.startsWith('sollary-tree-') || k === LEGACY_KEY), []);
});
