// Deleting one person and unlinking one relationship: the confirmation box, every entry point (panel
// button, Delete key, wheel), what stays in the tree, the view state afterwards, the unlink dialog, undo.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogTitle, closeDialog, showPerson, panelButton } from './people.mjs';

const app = useApp();

function setTree(people, links = [], view = {}) {
  return app.run(({ people, links, view }) => {
    replaceFamily(new Map(people.map(([id, d]) => [id, { id, name: id, ...d }])),
      links.map(([a, b, type]) => ({ a, b, type, source: 'manual' })));
    setViewState({ focus: people[0][0], rootPersonId: people[0][0], selected: people[0][0], expanded: [], ...view });
    update();
  }, { people, links, view });
}

const tree = () => app.run(() => JSON.stringify([[...persons.entries()], edges]));
const state = () => app.run(() => ({ people: [...persons.keys()], links: edges.map(e => [e.a, e.b, e.type]), focus, selected,
  root: rootPersonId }));
const settled = () => app.page.waitForFunction(() => !klnHistory.pending && !klnPositionFreeze);

// Mum and Dad with their children Kid and Kat; Zoe is in another part of the tree with her husband Yan.
const FAMILY = [[['zoe', {}], ['yan', {}], ['mum', { name: 'Mum Smith' }], ['dad', {}], ['kid', {}], ['kat', {}]],
  [['zoe', 'yan', 'spouse'], ['mum', 'dad', 'spouse'], ['mum', 'kid', 'parent'], ['dad', 'kid', 'parent'], ['mum', 'kat', 'parent'],
    ['dad', 'kat', 'parent']]];

const CONFIRM = 'Delete ONLY Mum Smith?\n\nThis removes this profile and its direct relationship links. Their spouse, parents, ' +
  'siblings, children and all other relatives are NOT deleted.';

async function focusGraph() {
  await app.page.locator('#tree').focus();
}

// Each entry point asks the same question; declining changes nothing and shows nothing.
const ENTRY_POINTS = [
  ['panel button', async () => { await showPerson(app, 'mum'); await panelButton(app, 'Delete person').click(); }],
  ['Delete key', async () => { await app.run(() => { selected = 'mum'; }); await focusGraph(); await app.page.keyboard.press('Delete'); }],
  ['wheel', async () => { await app.call('showOrbMenu', 'mum', null); await app.click('.orb-wheel-action[data-act="delete"]'); }],
];

for (const [name, act] of ENTRY_POINTS) {
  test(`delete from the ${name}: declining keeps everything; accepting removes only that person and its links`, async () => {
    await setTree(...FAMILY, { rootPersonId: 'zoe', focus: 'kid', selected: 'kid' });
    const before = await tree();
    await app.run(() => { $('toast').textContent = ''; });
    app.answer(false);
    await act();
    assert.deepEqual(app.dialogs.map(d => [d.type, d.message]), [['confirm', CONFIRM]]);
    assert.equal(await tree(), before);
    assert.equal(await app.text('#toast'), '');
    await settled();
    app.answer(true);
    await act();
    await expectToast(app, 'Deleted only Mum Smith. All other 5 profiles are kept.');
    assert.deepEqual(await state(), { people: ['zoe', 'yan', 'dad', 'kid', 'kat'],
      links: [['zoe', 'yan', 'spouse'], ['dad', 'kid', 'parent'], ['dad', 'kat', 'parent']], focus: 'kid', selected: 'kid', root: 'zoe' });
    assert.equal(await app.run(() => $('orbMenu').classList.contains('hidden')), true);
    await settled();
    await app.click('#klnUndoBtn');
    await expectToast(app, 'Undid the previous family-tree edit.');
    assert.equal(await tree(), before);
  });
}

test('deleting the home person: the first remaining person becomes home, focus and selection follow', async () => {
  for (const [view, want] of [
    [{ rootPersonId: 'mum', focus: 'mum', selected: 'mum' }, { focus: 'zoe', selected: 'zoe', root: 'zoe' }],
    [{ rootPersonId: 'mum', focus: 'kid', selected: 'mum' }, { focus: 'kid', selected: 'kid', root: 'zoe' }],
    [{ rootPersonId: 'dad', focus: 'mum', selected: 'kat' }, { focus: 'dad', selected: 'kat', root: 'dad' }],
  ]) {
    await setTree(...FAMILY, view);
    app.answer(true);
    assert.equal(await app.call('deletePerson', 'mum'), true);
    const s = await state();
    assert.deepEqual({ focus: s.focus, selected: s.selected, root: s.root }, want, JSON.stringify(view));
  }
});

test('deleting the only person empties the tree; a missing person asks nothing; counts use digit grouping', async () => {
  await setTree([['solo', { name: '' }]]);
  assert.equal(await app.call('deletePerson', 'ghost'), false);
  assert.equal(app.dialogs.length, 0);
  app.answer(true);
  assert.equal(await app.call('deletePerson', 'solo'), true);
  assert.match(app.dialogs[0].message, /^Delete ONLY this person\?/);
  await expectToast(app, 'Deleted only this person. All other 0 profiles are kept.');
  assert.deepEqual(await state(), { people: [], links: [], focus: null, selected: null, root: null });

  await app.run(() => {
    const people = new Map();
    for (let i = 0; i < 1235; i++) people.set('q' + i, { id: 'q' + i, name: 'Q ' + i });
    replaceFamily(people, []);
    setViewState({ focus: 'q0', rootPersonId: 'q0', selected: 'q0' });
    update();
  });
  app.answer(true);
  await app.call('deletePerson', 'q7');
  await expectToast(app, 'Deleted only Q 7. All other 1,234 profiles are kept.');
});

test('the Delete key inside a text field or with a dialog open deletes nothing', async () => {
  await setTree(...FAMILY, { selected: 'kid' });
  await app.click('#search');
  await app.page.keyboard.press('Delete');
  await app.call('openWheelUnlink', 'kid');
  await app.page.locator('#tree').dispatchEvent('keydown', { key: 'Delete' });
  await app.page.keyboard.press('Delete');
  assert.equal(app.dialogs.length, 0);
  assert.equal(await app.run(() => persons.has('kid')), true);
  await closeDialog(app);
});

test('unlink: the list of relationships, removing exactly the chosen one, and undo', async () => {
  await setTree([['me', {}], ['pal', {}], ['dad', {}], ['kid', {}], ['sis', {}], ['lone', {}]],
    [['me', 'pal', 'spouse'], ['dad', 'me', 'parent'], ['me', 'kid', 'parent'], ['me', 'sis', 'sibling'], ['me', 'pal', 'parent']]);
  await app.call('openWheelUnlink', 'lone');
  await expectToast(app, 'No direct connections to unlink.');
  assert.equal(await dialogTitle(app), null);

  await settled();
  const before = await tree();
  await app.call('showOrbMenu', 'me', null);
  await app.click('.orb-wheel-action[data-act="unlink"]');
  assert.deepEqual(await app.run(() => ({
    title: $('modalTitle').textContent, text: document.querySelector('.modalbody p').textContent,
    entries: [...$('wheelUnlinkEdge').options].map(o => [o.value, o.textContent]), save: $('modalSave').textContent,
  })), {
    title: 'Unlink one relationship', text: "Choose the relationship to remove from me. Neither person's profile will be deleted.",
    entries: [['0', 'Spouse / partner · pal'], ['1', 'Parent · dad'], ['2', 'Child · kid'], ['3', 'Sibling · sis'], ['4', 'Child · pal']],
    save: 'Unlink relationship',
  });
  await app.page.locator('#wheelUnlinkEdge').selectOption('4');
  await app.click('#modalSave');
  await expectToast(app, 'Relationship unlinked. Both profiles remain.');
  assert.equal(await dialogTitle(app), null);
  assert.deepEqual((await state()).links, [['me', 'pal', 'spouse'], ['dad', 'me', 'parent'], ['me', 'kid', 'parent'], ['me', 'sis', 'sibling']]);
  assert.equal((await state()).people.length, 6);
  await settled();
  await app.click('#klnUndoBtn');
  assert.equal(await tree(), before);
});

test('unlinking the only link of a child keeps both people and puts the child on the workbench', async () => {
  await setTree([['mum', {}], ['kid', {}]], [['mum', 'kid', 'parent']]);
  await app.run(() => klnSetShowUnlinked(true));
  await app.call('openWheelUnlink', 'kid');
  await app.click('#modalSave');
  await expectToast(app, 'Relationship unlinked. Both profiles remain.');
  assert.deepEqual(await state(), { people: ['mum', 'kid'], links: [], focus: 'mum', selected: 'mum', root: 'mum' });
  assert.deepEqual(await app.run(() => [klnIsUnlinked('kid'), displayed().includes('kid')]), [true, true]);
});

test('unlink refuses a position that is not a whole number in the list, or whose record no longer involves the person', async () => {
  for (const value of ['1.5', '-1', '9', 'x', '', '2']) {
    await setTree([['me', {}], ['pal', {}], ['x', {}], ['y', {}]], [['me', 'pal', 'spouse'], ['x', 'me', 'parent'], ['x', 'y', 'spouse']]);
    const before = await tree();
    await app.call('openWheelUnlink', 'me');
    await app.run(v => { $('wheelUnlinkEdge').options[0].value = v; $('wheelUnlinkEdge').value = v; }, value);
    await app.click('#modalSave');
    assert.equal(await tree(), before, value);
    assert.equal(await dialogTitle(app), 'Unlink one relationship');
    await closeDialog(app);
  }
});
