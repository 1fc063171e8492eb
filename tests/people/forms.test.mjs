// Person forms: the full form (new person, new relative, editing), the parent choices, the quick child
// dialog, the links and roles that new relatives get, and the Enter key of person forms.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogOpen, dialogTitle, closeDialog, showPerson, panelButton, dialogButton, record,
  parentLinks, linksBetween } from './people.mjs';

const app = useApp();

const FORM = [['Full name', 'pfName'], ['Privacy / status', 'pfPrivacy'], ['Birth date (or year)', 'pfBirth'],
  ['Death date (or year)', 'pfDeath'], ['Birthplace', 'pfBirthPlace'], ['Death place', 'pfDeathPlace'],
  ['Residence', 'pfResidence'], ['Occupation / work', 'pfOccupation'], ['Sex (optional)', 'pfSex'],
  ['Portrait URL', 'pfPhoto'], ['Life story (facts only)', 'pfBio'], ['Research notes / family stories', 'pfNotes']];

const optionTexts = id => app.run(id => [...$(id).options].map(o => o.textContent), id);
const personByName = name => app.run(name => [...persons.values()].find(p => p.name === name) || null, name);
const nameOf = id => app.run(id => persons.get(id).name, id);

// Opens the form from the panel's button for `id` (or "New person" without one), fills the name and saves.
async function addRelative(id, button, name, fill = async () => {}) {
  if (id) {
    await showPerson(app, id);
    await panelButton(app, button).click();
  } else {
    await app.click('#addBtn');
  }
  await app.fill('#pfName', name);
  await fill();
  await app.click('#modalSave');
  return personByName(name);
}

test('"New person": the twelve fields in order, focus on the name, every typed value saved', async () => {
  await app.emptyTree();
  app.expectConsole(/ERR_NAME_NOT_RESOLVED/);   // the panel then shows the typed portrait address
  await app.click('#addBtn');
  assert.equal(await dialogTitle(app), 'Add person');
  const r = await app.run(() => ({
    fields: [...$('modalLayer').querySelectorAll('input, select, textarea')].map(el =>
      [el.closest('label').firstChild.textContent, el.id]),
    focused: document.activeElement.id, save: $('modalSave').textContent, placeholder: $('pfName').placeholder,
    mark: $('modalLayer').dataset.profileForm, areas: [$('pfBio').rows, $('pfNotes').rows],
  }));
  assert.deepEqual(r.fields, FORM);
  assert.deepEqual([r.focused, r.save, r.placeholder, r.mark, r.areas], ['pfName', 'Add to tree', 'First middle surname', 'yes', [3, 3]]);
  assert.deepEqual(await optionTexts('pfPrivacy'), ['Unknown', 'Deceased', 'Living (private)']);
  assert.deepEqual(await optionTexts('pfSex'), ['Unknown / not recorded', 'Female', 'Male', 'Other / unspecified']);
  assert.equal(await app.eval('$("pfPrivacy").value'), 'unknown');

  await app.click('#modalSave');
  await expectToast(app, 'Please enter a name.');
  assert.equal(await dialogOpen(app), true);
  const typed = { pfName: ' Ada Byron ', pfBirth: '10 DEC 1815', pfDeath: '1852', pfBirthPlace: 'London',
    pfDeathPlace: 'Marylebone', pfResidence: 'Ockham', pfOccupation: 'Mathematician', pfPhoto: 'https://example.com/a.jpg',
    pfBio: 'Wrote notes.', pfNotes: 'Line one' };
  for (const [id, text] of Object.entries(typed)) await app.type(`#${id}`, text);
  await app.page.locator('#pfPrivacy').selectOption('deceased');
  await app.page.locator('#pfSex').selectOption('F');
  await app.click('#modalSave');
  await expectToast(app, 'Profile saved.');
  assert.equal(await dialogOpen(app), false);
  const p = await personByName('Ada Byron');
  assert.deepEqual([p.birth, p.death, p.birthPlace, p.deathPlace, p.residence, p.occupation, p.photo, p.bio, p.notes,
    p.privacy, p.sex], ['10 DEC 1815', '1852', 'London', 'Marylebone', 'Ockham', 'Mathematician',
    'https://example.com/a.jpg', 'Wrote notes.', 'Line one', 'deceased', 'F']);
  assert.deepEqual(await app.run(() => [selected, focus, edges.length]), [p.id, p.id, 0]);
  assert.equal(await app.textContent('#sideBody h2'), 'Ada Byron');
});

test('editing: the form holds the values; saving replaces them and changes no link', async () => {
  const photo = 'data:image/png;base64,iVBORw0KGgo=';
  const ids = await app.build([{ name: 'Edith Old', key: 'E', birth: '1900', sex: 'X', privacy: 'living', photo,
    notes: 'a\nb' }, 'Spouse'], [['E', 'Spouse', 'spouse']]);
  await showPerson(app, ids.E);
  await panelButton(app, 'Edit profile').click();
  assert.equal(await dialogTitle(app), 'Edit ancestor');
  assert.deepEqual(await app.run(() => [$('modalSave').textContent, $('pfName').value, $('pfSex').value,
    $('pfPrivacy').value, $('pfPhoto').value, $('pfNotes').value, $('modalLayer').querySelectorAll('.kln-block').length]),
  ['Save changes', 'Edith Old', 'X', 'living', photo, 'a\nb', 0]);
  await app.fill('#pfName', 'Edith New');
  await app.fill('#pfBirth', '');
  await app.fill('#pfPhoto', '');
  await app.click('#modalSave');
  await expectToast(app, 'Profile saved.');
  const p = await record(app, ids.E);
  assert.deepEqual([p.name, p.birth, p.photo, p.sex, p.notes], ['Edith New', '', '', 'X', 'a\nb']);
  assert.deepEqual(await app.run(() => [persons.size, edges.length]), [2, 1]);
});

test('titles and notes of the relative forms', async () => {
  const ids = await app.build(['Ref Person']);
  for (const [rel, title] of [['parent', 'Add parent'], ['child', 'Add child'], ['spouse', 'Add spouse'], ['sibling', 'Add sibling']]) {
    await app.call('openPersonModal', null, rel, ids['Ref Person']);
    assert.equal(await dialogTitle(app), title);
    assert.equal(await app.run(() => $('modalLayer').querySelector('.modalbody').lastElementChild.textContent),
      `Will be linked as ${rel} to Ref Person.`);
  }
  await app.run(() => setViewState({ selected: null }));
  await app.call('openPersonModal', null, 'parent', 'ghost');
  assert.equal(await app.run(() => $('modalLayer').querySelector('.modalbody').lastElementChild.textContent),
    'Will be linked as parent to the selected person.');
  await closeDialog(app);
});

test('new parents: father then mother with the sex of the role, a third without a role, sex never overrides', async () => {
  const ids = await app.build(['Young One']);
  const first = await addRelative(ids['Young One'], '+ Parent', 'First Parent');
  const second = await addRelative(ids['Young One'], '+ Parent', 'Second Parent');
  const third = await addRelative(ids['Young One'], '+ Parent', 'Third Parent');
  assert.deepEqual(await parentLinks(app, ids['Young One']), [{ a: first.id, role: 'father' },
    { a: second.id, role: 'mother' }, { a: third.id, role: null }]);
  assert.deepEqual([(await record(app, first.id)).sex, (await record(app, second.id)).sex, (await record(app, third.id)).sex],
    ['M', 'F', '']);
  assert.equal(await app.eval('selected'), third.id);

  const other = await app.build(['Other Young']);
  const mum = await addRelative(other['Other Young'], '+ Parent', 'Female First',
    () => app.page.locator('#pfSex').selectOption('F'));
  assert.deepEqual(await parentLinks(app, other['Other Young']), [{ a: mum.id, role: 'father' }]);
  assert.equal((await record(app, mum.id)).sex, 'F');
});

test('second-parent choice list of a new child', async () => {
  const ids = await app.build(['Anna', 'Spouse A', 'Spouse B', 'Co Parent', 'Kid', 'Bystander'],
    [['Anna', 'Spouse A', 'spouse'], ['Spouse B', 'Anna', 'spouse'], ['Anna', 'Kid', 'parent'], ['Co Parent', 'Kid', 'parent']]);
  await showPerson(app, ids.Anna);
  await panelButton(app, '+ Child').click();
  await dialogButton(app, 'More profile details').click();
  const r = await app.run(() => ({
    label: $('choosePartner').closest('label').firstChild.textContent,
    options: [...$('choosePartner').children].map(o => o.tagName === 'OPTGROUP'
      ? [o.label, [...o.children].map(x => x.textContent)] : o.textContent),
    value: $('choosePartner').value,
    heading: $('modalLayer').querySelector('.kln-block h3').textContent,
  }));
  assert.deepEqual(r, { label: 'Second parent / spouse for this child', value: '',
    heading: 'Connect both parents (one partner is suggested automatically)',
    options: ['Only Anna (one known parent)', 'Spouse A · partner', 'Spouse B · partner', 'Co Parent · partner',
      ['Other existing people', ['Kid', 'Bystander']], '+ Create another parent / spouse'] });
  assert.equal(await app.visible('#newPartnerName'), false);
  await app.page.locator('#choosePartner').selectOption('new');
  assert.equal(await app.visible('#newPartnerName'), true);
  assert.equal(await app.eval('$("newPartnerName").placeholder'), 'Full name');
  await app.page.locator('#choosePartner').selectOption('');
  assert.equal(await app.visible('#newPartnerName'), false);
  await closeDialog(app);
});

test('new child: the single spouse is suggested; "Only" gives one parent; a new second parent is created', async () => {
  const ids = await app.build(['Pam', 'Sam'], [['Pam', 'Sam', 'spouse']]);
  await showPerson(app, ids.Pam);
  await app.call('openPersonModal', null, 'child', ids.Pam);
  assert.deepEqual(await app.run(() => [$('choosePartner').value, $('choosePartner').selectedOptions[0].textContent]),
    [ids.Sam, 'Sam · suggested second parent']);
  await app.fill('#pfName', 'Both Kid');
  await app.click('#modalSave');
  const both = await personByName('Both Kid');
  assert.deepEqual((await parentLinks(app, both.id)).map(l => l.a), [ids.Pam, ids.Sam]);

  const one = await addRelative(null, null, 'x').catch(() => null);
  if (one) await app.run(id => { persons.delete(id); rebuildEdgeIndex(); update(); }, one.id);
  await app.call('openPersonModal', null, 'child', ids.Pam);
  await app.fill('#pfName', 'Single Kid');
  await app.page.locator('#choosePartner').selectOption('');
  await app.click('#modalSave');
  assert.deepEqual((await parentLinks(app, (await personByName('Single Kid')).id)).map(l => l.a), [ids.Pam]);

  await app.call('openPersonModal', null, 'child', ids.Pam);
  await app.fill('#pfName', 'Third Kid');
  await app.page.locator('#choosePartner').selectOption('new');
  await app.click('#modalSave');
  await expectToast(app, 'Enter the second parent’s name, or choose one known parent.');
  assert.equal(await dialogOpen(app), true);
  await app.fill('#newPartnerName', 'Newcomer');
  const before = await app.eval('persons.size');
  await app.click('#modalSave');
  assert.equal(await app.eval('persons.size'), before + 2);
  const kid = await personByName('Third Kid'), partner = await personByName('Newcomer');
  assert.deepEqual((await parentLinks(app, kid.id)).map(l => l.a), [ids.Pam, partner.id]);
  assert.deepEqual(await linksBetween(app, ids.Pam, partner.id), ['spouse']);
  assert.equal(await app.eval('selected'), kid.id);
});

test('sibling parent choices: summary, pre-selections, tags and the new-parent row', async () => {
  const ids = await app.build([{ name: 'Mum', key: 'Mum', sex: 'F' }, { name: 'Dad', key: 'Dad', sex: 'M' },
    'Me', 'Step', 'Loner', 'Half'],
  [['Mum', 'Me', 'parent'], ['Dad', 'Me', 'parent'], ['Dad', 'Step', 'spouse'], ['Step', 'Half', 'parent'], ['Dad', 'Half', 'parent']]);
  await showPerson(app, ids.Me);
  await panelButton(app, '+ Sibling').click();
  const r = await app.run(() => ({
    summary: $('modalLayer').querySelector('.kln-summary').textContent,
    a: [...$('siblingParentA').options].map(o => o.textContent), aValue: $('siblingParentA').value,
    b: [...$('siblingParentB').options].map(o => o.textContent), bValue: $('siblingParentB').value,
    share: [$('shareSiblingParent').checked, $('shareSiblingParent').closest('label').textContent.trim()],
  }));
  assert.equal(r.summary, 'Both recorded parents will be inherited automatically. Change these choices only if the new ' +
    'person is a half-sibling or has different recorded parents.');
  assert.deepEqual(r.a, ['Not specified', 'Dad · recorded parent', 'Mum · recorded parent', 'Step', 'Loner', 'Half']);
  assert.deepEqual(r.b, ['Not specified', 'Step · possible co-parent', 'Dad · recorded parent', 'Mum · recorded parent',
    'Loner', 'Half', '+ Create a new second parent']);
  assert.deepEqual([r.aValue, r.bValue], [ids.Dad, ids.Mum]);
  assert.deepEqual(r.share, [true, 'Also connect the chosen second parent to Me when a parent is missing (full siblings).']);
  assert.equal(await app.visible('#newSiblingParentName'), false);
  await app.page.locator('#siblingParentB').selectOption('new');
  assert.equal(await app.visible('#newSiblingParentName'), true);
  await app.fill('#pfName', 'Nameless Parent Sib');
  await app.click('#modalSave');
  await expectToast(app, 'Enter a name for the new second parent, or select Not specified.');
  await closeDialog(app);
  for (const [who, text] of [['Half', 'One recorded parent'], ['Loner', 'No recorded parents: you can link existing ' +
    'parents or keep a direct sibling connection.']]) {
    if (who === 'Half') await app.run(([s, h]) => { edges.splice(edges.findIndex(e => e.a === s && e.b === h), 1); }, [ids.Step, ids.Half]);
    await app.call('openPersonModal', null, 'sibling', ids[who]);
    assert.ok((await app.textContent('#modalLayer .kln-summary')).startsWith(text), who);
  }
  await closeDialog(app);
});

test('new siblings: inherited parents and roles, explicit sibling links, shared second parents', async () => {
  const cases = [
    // [title, people, links, roles to set, form choices {a, b, newName, share}, expected parents of the new sibling
    //  as [name, role], expected parents of the reference, sibling link recorded]
    ['two recorded parents, defaults kept', [{ name: 'Dad', sex: 'M' }, { name: 'Mum', sex: 'F' }],
      [['Dad', 'Ref', 'parent'], ['Mum', 'Ref', 'parent']], [], {},
      [['Dad', 'father'], ['Mum', 'mother']], ['Dad', 'Mum'], false],
    ['no parents, nothing specified', ['Some One'], [], [], {}, [], [], true],
    ['no parents, an existing person second, shared', ['Some One'], [], [], { b: 'Some One' },
      [['Some One', 'mother']], ['Some One'], false],
    ['no parents, an existing person second, not shared', ['Some One'], [], [], { b: 'Some One', share: false },
      [['Some One', 'mother']], [], true],
    ['only a mother, mother first and a new second parent', [{ name: 'Mum', sex: 'F' }], [['Mum', 'Ref', 'parent']],
      [['Mum', 'mother']], { a: 'Mum', b: 'new', newName: 'New Dad' },
      [['Mum', 'mother'], ['New Dad', 'father']], ['Mum', 'New Dad'], false],
    ['one recorded parent kept alone: a half sibling', [{ name: 'Dad', sex: 'M' }, { name: 'Mum', sex: 'F' }],
      [['Dad', 'Ref', 'parent'], ['Mum', 'Ref', 'parent']], [], { b: '' },
      [['Dad', 'father']], ['Dad', 'Mum'], false],
  ];
  for (const [title, people, links, roles, choice, expected, refParents, siblingLink] of cases) {
    const ids = await app.build([{ name: 'Ref', key: 'Ref' }, ...people], links);
    for (const [p, role] of roles) await app.call('setParentRole', ids[p], ids.Ref, role);
    const sib = await addRelative(ids.Ref, '+ Sibling', 'New Sib', async () => {
      if ('a' in choice) await app.page.locator('#siblingParentA').selectOption(choice.a === 'new' ? 'new' : ids[choice.a] || '');
      if ('b' in choice) await app.page.locator('#siblingParentB').selectOption(choice.b === 'new' ? 'new' : ids[choice.b] || '');
      if (choice.newName) await app.fill('#newSiblingParentName', choice.newName);
      if (choice.share === false) await app.click('#shareSiblingParent');
    });
    const got = await app.run(id => edges.filter(e => e.type === 'parent' && e.b === id)
      .map(e => [persons.get(e.a).name, parentRoleFor(id, e.a)]), sib.id);
    assert.deepEqual(got, expected, title);
    assert.deepEqual(await app.run(id => parentsOf(id).map(p => persons.get(p).name), ids.Ref), refParents, title);
    assert.equal((await linksBetween(app, ids.Ref, sib.id)).includes('sibling'), siblingLink, title);
    if (choice.newName) {
      const created = await personByName(choice.newName);
      assert.equal(created.sex, 'M', title);
      assert.equal(await app.run(([r, p]) => parentRoleFor(r, p), [ids.Ref, created.id]), 'father', title);
    }
  }
});

test('new spouse: a spouse link to the reference', async () => {
  const ids = await app.build(['Wed One']);
  const spouse = await addRelative(ids['Wed One'], '+ Spouse', 'Wed Two');
  assert.deepEqual(await linksBetween(app, ids['Wed One'], spouse.id), ['spouse']);
  assert.equal(await app.textContent('#modalLayer'), '');
});

test('Enter saves a person form from any field, text areas and the picker included; Shift+Enter makes a line', async () => {
  const ids = await app.build(['Enter Ref']);
  await app.click('#addBtn');
  await app.fill('#pfName', 'Keyed In');
  await app.click('#pfNotes');
  await app.page.keyboard.type('one');
  await app.page.keyboard.press('Shift+Enter');
  await app.page.keyboard.type('two');
  assert.equal(await app.eval('$("pfNotes").value'), 'one\ntwo');
  await app.page.keyboard.press('Enter');
  await expectToast(app, 'Profile saved.');
  assert.equal((await personByName('Keyed In')).notes, 'one\ntwo');
  assert.equal(await app.run(() => $('modalLayer').dataset.profileForm), undefined, 'the mark goes with the dialog');

  for (const field of ['#pfBirth', '#pfSex', '#klnSpouseSearchInput']) {
    await app.call('openPersonModal', null, 'spouse', ids['Enter Ref']);
    await app.fill('#pfName', `Via ${field}`);
    await app.press('Enter', field);
    assert.equal(await dialogOpen(app), false, field);
    assert.ok(await personByName(`Via ${field}`), field);
  }
  // Enter on a button presses that button, not the save button.
  await app.click('#addBtn');
  await app.fill('#pfName', 'Not Saved');
  await app.press('Enter', '#modalLayer .modalfoot button.ghost');
  assert.equal(await dialogOpen(app), false);
  assert.equal(await personByName('Not Saved'), null);
  // An empty name keeps the form open.
  await app.click('#addBtn');
  await app.press('Enter', '#pfBio');
  await expectToast(app, 'Please enter a name.');
  assert.equal(await dialogOpen(app), true);
  await closeDialog(app);
});

test('Enter does not save the quick child dialog or other dialogs', async () => {
  const ids = await app.build(['Someone Else', 'Quick Parent']);
  const size = await app.eval('persons.size');
  await app.call('openQuickChildDialog', ids['Quick Parent']);
  await app.fill('#quickChildName', 'Not By Enter');
  await app.press('Enter', '#quickChildName');
  assert.equal(await dialogTitle(app), 'Add child');
  assert.equal(await app.run(() => $('modalLayer').dataset.profileForm), undefined);
  await app.call('openLinkModal');
  await app.press('Enter', '#linkRel');
  assert.equal(await dialogTitle(app), 'Link an existing person');
  await closeDialog(app);
  assert.equal(await app.eval('persons.size'), size);
});

test('quick child dialog: notes by the number of partners, refusals, roles from the parents\' sex', async () => {
  await app.emptyTree();
  await app.call('openQuickChildDialog', null);
  await expectToast(app, 'Select a parent first.');
  assert.equal(await dialogOpen(app), false);
  const ids = await app.build([{ name: 'Papa', key: 'P', sex: 'm' }, { name: 'Mama', key: 'M', sex: 'F' },
    { name: 'Other', key: 'O' }, { name: 'Solo', key: 'S' }], [['P', 'M', 'spouse'], ['P', 'O', 'spouse']]);
  for (const [key, note] of [['M', 'A known spouse or co-parent is suggested. You can change it before adding the child.'],
    ['P', 'Select which spouse or co-parent belongs to this child.'],
    ['S', 'No second parent is recorded. You can add the child with one parent, select someone already in the tree, or create another parent.']]) {
    await app.call('openQuickChildDialog', ids[key]);
    assert.equal(await app.textContent('#modalLayer .modalbody p'), note, key);
  }
  await closeDialog(app);
  await showPerson(app, ids.M);
  await panelButton(app, '+ Child').click();
  const r = await app.run(() => [document.activeElement.id, $('quickChildName').placeholder, $('quickChildPartner').value,
    $('modalSave').textContent, $('klnFindExistingInput').closest('.kln-picker').querySelector('label').textContent,
    [...$('modalLayer').querySelectorAll('.kln-note')].map(p => p.textContent).join()]);
  assert.deepEqual(r, ['quickChildName', 'Full name', ids.P, 'Add child', 'Find an existing child profile',
    'The selected person, Mama, is always the first recorded parent. Choosing another parent records both links.']);
  await app.click('#modalSave');
  await expectToast(app, 'Enter the child’s name.');
  await app.fill('#quickChildName', 'Baby');
  await app.page.locator('#quickChildPartner').selectOption('new');
  assert.equal(await app.visible('#quickChildPartnerNew'), true);
  await app.click('#modalSave');
  await expectToast(app, 'Enter the second parent’s name, or choose one known parent.');
  await app.run(id => { $('quickChildPartner').insertAdjacentHTML('beforeend', `<option value="${id}">self</option>`); }, ids.M);
  await app.page.locator('#quickChildPartner').selectOption(ids.M);
  await app.click('#modalSave');
  await expectToast(app, 'Choose a valid second parent.');
  assert.equal(await dialogOpen(app), true);
  await app.page.locator('#quickChildPartner').selectOption(ids.P);
  await app.click('#modalSave');
  await expectToast(app, 'Added Baby to Mama’s family.');
  const baby = await personByName('Baby');
  assert.deepEqual(await parentLinks(app, baby.id), [{ a: ids.M, role: 'mother' }, { a: ids.P, role: 'father' }]);
  assert.equal(await app.eval('selected'), baby.id);
  assert.deepEqual([baby.birth, baby.sex, baby.privacy], ['', '', 'unknown']);
});

test('"More profile details" carries the name and the second-parent choice into the full form', async () => {
  const ids = await app.build(['Carrier', 'Partner'], [['Carrier', 'Partner', 'spouse']]);
  await app.call('openQuickChildDialog', ids.Carrier);
  await app.fill('#quickChildName', 'Carried Kid');
  await app.page.locator('#quickChildPartner').selectOption('new');
  await app.fill('#quickChildPartnerNew', 'Another Parent');
  await dialogButton(app, 'More profile details').click();
  assert.equal(await dialogTitle(app), 'Add child');
  assert.deepEqual(await app.run(() => [$('pfName').value, $('choosePartner').value, $('newPartnerName').value,
    $('newPartnerName').closest('label').hidden, $('modalLayer').dataset.profileForm]),
  ['Carried Kid', 'new', 'Another Parent', false, 'yes']);
  await app.fill('#pfBirth', '2001');
  await app.click('#modalSave');
  const kid = await personByName('Carried Kid');
  assert.equal(kid.birth, '2001');
  assert.deepEqual((await parentLinks(app, kid.id)).map(l => l.a), [ids.Carrier, (await personByName('Another Parent')).id]);
});

test('person form child picker: needs a choice, connects with the chosen second parent', async () => {
  const ids = await app.build(['Pop', 'Mom', 'Stray'], [['Pop', 'Mom', 'spouse']]);
  await app.call('openPersonModal', null, 'child', ids.Pop);
  assert.equal(await app.run(() => document.querySelector('label[for="klnDetailedChildInput"]').textContent),
    'Find existing child instead');
  await dialogButton(app, 'Connect selected existing child').click();
  await expectToast(app, 'Choose an existing child first.');
  assert.equal(await dialogOpen(app), true);
  await app.fill('#klnDetailedChildInput', 'pop');
  assert.equal(await app.run(() => $('klnDetailedChildChoices').children.length), 0);
  await app.fill('#klnDetailedChildInput', 'stray');
  await app.page.locator('#klnDetailedChildChoices .kln-profile-result').first().click();
  await dialogButton(app, 'Connect selected existing child').click();
  await expectToast(app, 'Existing child connected: Stray');
  assert.equal(await dialogOpen(app), false);
  assert.deepEqual((await parentLinks(app, ids.Stray)).map(l => l.a), [ids.Pop, ids.Mom]);
  assert.equal(await app.eval('selected'), ids.Stray);
});

test('createRelatedPerson: missing people or an unknown relation link nothing', async () => {
  const ids = await app.build(['Ra', 'Rb']);
  for (const args of [[ids.Ra, 'parent', 'ghost'], ['ghost', 'parent', ids.Ra], [ids.Ra, 'cousin', ids.Rb],
    [ids.Ra, 'parent', ids.Ra]])
    assert.equal(await app.call('createRelatedPerson', ...args), false, args.join());
  assert.equal(await app.eval('edges.length'), 0);
  assert.equal(await app.call('createRelatedPerson', ids.Ra, 'parent', ids.Rb, { parentRole: 'mother' }), true);
  assert.deepEqual(await parentLinks(app, ids.Rb), [{ a: ids.Ra, role: 'mother' }]);
  assert.equal(await app.call('createRelatedPerson', ids.Ra, 'parent', ids.Rb), false, 'a duplicate is skipped');
});
