// Linking existing people: the plain link dialog, and the reviewed operations with their refusals, parent
// roles and common ending, through the pickers of the real dialogs.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogOpen, dialogTitle, closeDialog, showPerson, panelButton, dialogButton, parentLinks,
  linksBetween } from './people.mjs';

const app = useApp();

// G is a parent of P, P of K; S is P's spouse; X stands alone.
const FAMILY = [['Gran', 'Pa', 'Kid', 'Sue', 'Xavier'], [['Gran', 'Pa', 'parent'], ['Pa', 'Kid', 'parent'], ['Pa', 'Sue', 'spouse']]];

test('plain link dialog: nothing without a selection, a toast when nobody else exists, the lists', async () => {
  await app.emptyTree();
  await app.call('openLinkModal');
  assert.equal(await dialogOpen(app), false);
  const one = await app.build([{ name: 'Solo', key: 'S' }]);
  await showPerson(app, one.S);
  await panelButton(app, 'Link existing').click();
  await expectToast(app, 'Add another person first.');
  assert.equal(await dialogOpen(app), false);

  const ids = await app.build([{ name: 'Me', key: 'M' }, { name: 'Ann', birth: '1900' }, 'Bob']);
  await showPerson(app, ids.M);
  await panelButton(app, 'Link existing').click();
  assert.equal(await dialogTitle(app), 'Link an existing person');
  const r = await app.run(() => ({
    text: $('modalLayer').querySelector('.modalbody p').textContent,
    people: [...$('linkTo').options].map(o => o.textContent),
    relations: [...$('linkRel').options].map(o => [o.value, o.textContent]),
    save: $('modalSave').textContent,
  }));
  assert.deepEqual(r, { text: 'Choose a relationship to Me. Check your evidence before linking.',
    people: ['Ann (1900)', 'Bob (?)'], save: 'Link people', relations: [
      ['parent', 'Selected person is parent of chosen person'], ['child', 'Selected person is child of chosen person'],
      ['spouse', 'Spouses / partners'], ['sibling', 'Siblings (share parents if known)']] });
  await closeDialog(app);
});

const plainCases = [
  // [selected, chosen, relation, message, links between selected and chosen afterwards]
  ['Pa', 'Xavier', 'parent', 'People linked.', ['parent>']],
  ['Pa', 'Xavier', 'child', 'People linked.', ['parent<']],
  ['Pa', 'Xavier', 'spouse', 'People linked.', ['spouse']],
  ['Pa', 'Sue', 'spouse', 'Already linked or invalid connection.', ['spouse']],
  ['Pa', 'Gran', 'parent', 'Already linked or invalid connection.', ['parent<']],
  ['Kid', 'Gran', 'parent', 'Already linked or invalid connection.', []],
  ['Gran', 'Kid', 'parent', 'People linked.', ['parent>']],
  ['Xavier', 'Sue', 'sibling', 'People linked.', ['sibling']],
  ['Kid', 'Xavier', 'sibling', 'People linked.', []],
];
for (const [sel, other, relation, message, links] of plainCases)
  test(`plain link: ${sel} ${relation} of ${other} → ${message}`, async () => {
    const ids = await app.build(...FAMILY);
    await showPerson(app, ids[sel]);
    await panelButton(app, 'Link existing').click();
    await app.page.locator('#linkTo').selectOption(ids[other]);
    await app.page.locator('#linkRel').selectOption(relation);
    await app.click('#modalSave');
    await expectToast(app, message);
    assert.equal(await dialogOpen(app), false);
    assert.deepEqual(await linksBetween(app, ids[sel], ids[other]), links);
    if (relation === 'sibling' && sel === 'Kid') assert.deepEqual((await parentLinks(app, ids.Xavier)).map(l => l.a), [ids.Pa]);
  });

test('plain link: a child can get a third parent and no role is set', async () => {
  const ids = await app.build(['One', 'Two', 'Three', 'Child'], [['One', 'Child', 'parent'], ['Two', 'Child', 'parent']]);
  await showPerson(app, ids.Three);
  await panelButton(app, 'Link existing').click();
  await app.page.locator('#linkTo').selectOption(ids.Child);
  await app.click('#modalSave');
  await expectToast(app, 'People linked.');
  assert.deepEqual(await parentLinks(app, ids.Child), [{ a: ids.One, role: null }, { a: ids.Two, role: null },
    { a: ids.Three, role: null }]);
});

test('parent validation: refusals in order, nothing changed', async () => {
  const ids = await app.build([...FAMILY[0], 'Two Parents', 'Mum', 'Dad'],
    [...FAMILY[1], ['Mum', 'Two Parents', 'parent'], ['Dad', 'Two Parents', 'parent']]);
  const cases = [
    ['Pa', 'Pa', 'Choose two different valid profiles.'],
    ['Pa', 'nobody', 'Choose two different valid profiles.'],
    ['Gran', 'Pa', 'That parent-child connection already exists.'],
    ['Xavier', 'Two Parents', 'Two Parents already has two recorded parents. Review their relationships first.'],
    ['Kid', 'Gran', 'This would create an impossible parent-child ancestry cycle.'],
    ['Pa', 'Gran', 'This would create an impossible parent-child ancestry cycle.'],
    ['Xavier', 'Kid', ''],
  ];
  const before = await app.eval('edges.length');
  for (const [parent, child, message] of cases)
    assert.equal(await app.call('klnParentValidation', ids[parent] || parent, ids[child] || child), message, `${parent}→${child}`);
  assert.equal(await app.eval('edges.length'), before);
});

test('reviewed parent: roles from the given role, the sex, or the next free role, never twice the same', async () => {
  const cases = [
    // [existing parents of the child as [sex, role], new parent's sex, given role, expected role of the new link]
    [[], '', '', 'father'],
    [[['', 'father']], '', '', 'mother'],
    [[], 'F', '', 'mother'],
    [[], 'm', '', 'father'],
    [[['', 'father']], '', 'father', 'mother'],
    [[['M', 'mother']], 'F', '', 'father'],
    [[], '', 'mother', 'mother'],
  ];
  for (const [existing, sex, role, expected] of cases) {
    const people = [{ name: 'Child', key: 'C' }, { name: 'New', key: 'N', sex }];
    existing.forEach(([s], i) => people.push({ name: `Old ${i}`, key: `O${i}`, sex: s }));
    const ids = await app.build(people, existing.map((_, i) => [`O${i}`, 'C', 'parent']));
    for (const [i, [, r]] of existing.entries()) await app.call('setParentRole', ids[`O${i}`], ids.C, r);
    assert.equal(await app.call('klnAddReviewedParent', ids.N, ids.C, role), '');
    assert.equal((await parentLinks(app, ids.C)).at(-1).role, expected, JSON.stringify([existing, sex, role]));
  }
});

test('attach existing child: refusals before anything changes, then the links', async () => {
  const cases = [
    // [parent, child, partner, new name, message, parents of the child afterwards]
    ['nobody', 'Kid', '', '', 'Choose a valid child.', ['Pa']],
    ['Sue', 'Kid', 'Sue', '', 'Choose a valid second parent.', ['Pa']],
    ['Sue', 'Kid', 'Kid', '', 'Choose a valid second parent.', ['Pa']],
    ['Sue', 'Kid', 'ghost', '', 'Choose a valid second parent.', ['Pa']],
    ['Sue', 'Kid', 'Xavier', '', 'This child already has too many recorded parents for the chosen connection.', ['Pa']],
    ['Sue', 'Kid', 'new', 'Newbie', 'This child already has too many recorded parents for the chosen connection.', ['Pa']],
    ['Kid', 'Gran', '', '', 'This would create an impossible parent-child ancestry cycle.', []],
    ['Xavier', 'Gran', 'Kid', '', 'This would create an impossible parent-child ancestry cycle.', []],
    ['Xavier', 'Gran', 'new', '  ', 'Enter the new second parent’s name.', []],
    ['Sue', 'Kid', '', '', '', ['Pa', 'Sue']],
    ['Sue', 'Kid', 'Pa', '', '', ['Pa', 'Sue']],
    ['Pa', 'Kid', '', '', 'The selected people are already connected as parents of this child.', ['Pa']],
    ['Xavier', 'Gran', 'new', ' Nova ', '', ['Xavier', 'Nova']],
  ];
  for (const [parent, child, partner, name, message, after] of cases) {
    const ids = await app.build(...FAMILY);
    const count = await app.eval('persons.size');
    const got = await app.call('klnAttachExistingChild', ids[parent] || parent, ids[child] || child,
      ids[partner] || partner, name);
    assert.equal(got, message, JSON.stringify([parent, child, partner, name]));
    const names = await app.run(c => parentsOf(c).map(p => persons.get(p).name), ids[child]);
    assert.deepEqual(names, after, JSON.stringify([parent, child, partner]));
    if (message) assert.equal(await app.eval('persons.size'), count, 'no person created by a refusal');
  }
  // Both chosen people already parents: refused, but the couple's spouse link is recorded.
  const ids = await app.build(['Mum', 'Dad', 'Baby'], [['Mum', 'Baby', 'parent'], ['Dad', 'Baby', 'parent']]);
  assert.equal(await app.call('klnAttachExistingChild', ids.Mum, ids.Baby, ids.Dad, ''),
    'The selected people are already connected as parents of this child.');
  assert.deepEqual(await linksBetween(app, ids.Mum, ids.Dad), ['spouse']);
  // A new partner becomes the spouse of the parent and the second parent with the free role.
  const fresh = await app.build([{ name: 'Ma', key: 'M', sex: 'F' }, 'Tot']);
  assert.equal(await app.call('klnAttachExistingChild', fresh.M, fresh.Tot, 'new', 'Pop'), '');
  const links = await parentLinks(app, fresh.Tot);
  assert.deepEqual(links.map(l => l.role), ['mother', 'father']);
  assert.deepEqual(await linksBetween(app, fresh.M, links[1].a), ['spouse']);
});

test('quick child dialog picker: connects an existing child with the chosen second parent', async () => {
  const ids = await app.build(['Papa', 'Mama', 'Found Child', 'Other'], [['Papa', 'Mama', 'spouse']]);
  await showPerson(app, ids.Papa);
  await panelButton(app, '+ Child').click();
  await dialogButton(app, 'Connect selected existing child').click();
  await expectToast(app, 'Choose a matching existing profile first.');
  await app.fill('#klnFindExistingInput', 'papa');
  assert.equal(await app.run(() => $('klnFindExistingChoices').children.length), 0, 'the parent is not offered');
  await app.fill('#klnFindExistingInput', 'found');
  await app.page.locator('#klnFindExistingChoices .kln-profile-result').first().click();
  await dialogButton(app, 'Connect selected existing child').click();
  await expectToast(app, 'Connected existing child profile: Found Child');
  assert.equal(await dialogOpen(app), false);
  assert.equal(await app.eval('selected'), ids['Found Child']);
  assert.deepEqual((await parentLinks(app, ids['Found Child'])).map(l => l.a), [ids.Papa, ids.Mama]);
  assert.equal(await app.textContent('#sideBody h2'), 'Found Child');
});

test('quick child dialog picker: a refusal is a toast and the dialog stays open', async () => {
  const ids = await app.build(...FAMILY);
  await showPerson(app, ids.Kid);
  await panelButton(app, '+ Child').click();
  await app.fill('#klnFindExistingInput', 'gran');
  await app.page.locator('#klnFindExistingChoices .kln-profile-result').first().click();
  await dialogButton(app, 'Connect selected existing child').click();
  await expectToast(app, 'This would create an impossible parent-child ancestry cycle.');
  assert.equal(await dialogTitle(app), 'Add child');
  await closeDialog(app);
});

test('spouse picker of the person form: connects, refuses an existing spouse', async () => {
  const ids = await app.build(...FAMILY);
  await showPerson(app, ids.Pa);
  await panelButton(app, '+ Spouse').click();
  await app.fill('#klnSpouseSearchInput', 'sue');
  await app.page.locator('#klnSpouseSearchChoices .kln-profile-result').first().click();
  await dialogButton(app, 'Connect selected existing spouse').click();
  await expectToast(app, 'These two people are already spouses.');
  assert.equal(await dialogTitle(app), 'Add spouse');
  await app.fill('#klnSpouseSearchInput', 'xav');
  await app.page.locator('#klnSpouseSearchChoices .kln-profile-result').first().click();
  await dialogButton(app, 'Connect selected existing spouse').click();
  await expectToast(app, 'Connected existing spouse profile: Xavier');
  assert.equal(await dialogOpen(app), false);
  assert.deepEqual(await linksBetween(app, ids.Pa, ids.Xavier), ['spouse']);
  assert.equal(await app.eval('selected'), ids.Xavier);
});

test('parent picker: the role chosen in the dialog, a third parent refused', async () => {
  const ids = await app.build([{ name: 'Child', key: 'C' }, { name: 'Dad', key: 'D' }, { name: 'Other', key: 'O' },
    { name: 'Third', key: 'T' }], [['D', 'C', 'parent']]);
  await app.call('setParentRole', ids.D, ids.C, 'father');
  const pick = async (name, role) => {
    await app.run(([base, role]) => {
      modal('Add parents', klnSearchHTML('klnFindExisting', 'Find an existing parent profile') +
        '<select id="klnExistingParentRole"><option value="' + role + '">' + role + '</option></select>' +
        '<button type="button" id="klnFindExistingLink">Link</button>', 'Close', closeModal);
      klnQuickRelationSearch(base, 'parent');
    }, [ids.C, role]);
    await app.fill('#klnFindExistingInput', name);
    await app.page.locator('#klnFindExistingChoices .kln-profile-result').first().click();
    await app.click('#klnFindExistingLink');
  };
  await pick('other', 'father');
  await expectToast(app, 'Connected existing parent profile: Other');
  assert.deepEqual(await parentLinks(app, ids.C), [{ a: ids.D, role: 'father' }, { a: ids.O, role: 'mother' }]);
  await pick('third', '');
  await expectToast(app, 'Child already has two recorded parents. Review their relationships first.');
  assert.equal(await dialogOpen(app), true);
  await closeDialog(app);
});

test('the common ending selects the person, empties the layout caches and refreshes', async () => {
  const ids = await app.build(['Ending One', 'Ending Two']);
  await app.run(() => modal('Any', '<p>x</p>', 'OK', closeModal));
  const r = await app.run(id => {
    for (const c of [singleLayoutCache, coupleTreeCache, connectivityCache, tidyCache]) c.key = 'stale';
    klnAfterRelink('Done it.', id);
    // The refresh may fill a cache again at once, for the tree as it is now.
    return [selected, [singleLayoutCache, coupleTreeCache, connectivityCache, tidyCache].map(c => c.key === 'stale')];
  }, ids['Ending Two']);
  assert.deepEqual(r, [ids['Ending Two'], [false, false, false, false]]);
  assert.equal(await dialogOpen(app), false);
  await expectToast(app, 'Done it.');
  await app.call('klnAfterRelink', 'Gone.', 'nobody');
  assert.equal(await app.eval('selected'), ids['Ending Two']);
});
