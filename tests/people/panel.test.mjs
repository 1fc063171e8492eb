// Person details panel: the three tabs drawn from the record, the generated life story and timeline, the
// historical context, inline editing, sources and the entry points to the relationship dialogs.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogTitle, closeDialog, showPerson, stub, panelButton, record } from './people.mjs';

const app = useApp();

const body = () => app.run(() => $('sideBody').innerText);
// Label/value pairs of the panel's rows, in order.
const rows = () => app.run(() => [...$('sideBody').querySelectorAll('dt')].map(dt =>
  [dt.textContent, dt.nextElementSibling.textContent]));

test('without a selected person every tab shows the welcome content and its two buttons work', async () => {
  await app.emptyTree();
  for (const tab of ['profile', 'timeline', 'sources']) {
    await app.click(`#side .tab[data-tab="${tab}"]`);
    const text = await body();
    for (const part of ['✧', 'Your Family Explorer', 'Select a person to see their biography, relatives, timeline and ' +
      'sources. Import a GEDCOM or start with a new person.', '+ Add person', 'Import GEDCOM',
      'Your family tree is local to this browser. Download regular backups to protect your research.'])
      assert.ok(text.includes(part), `${tab}: ${part}`);
    assert.equal(await app.exists('#sideBody .edit-side'), false);
    assert.deepEqual(await app.run(() => [...document.querySelectorAll('#side .tab.active')].map(b => b.dataset.tab)), [tab]);
  }
  await app.click('#side .tab[data-tab="profile"]');
  await panelButton(app, '+ Add person').click();
  assert.equal(await dialogTitle(app), 'Add person');
  await closeDialog(app);
  const importer = await stub(app, 'triggerImport');
  await panelButton(app, 'Import GEDCOM').click();
  // The first import of a profile may be preceded by the import notice.
  const notice = app.page.locator('.kln-gedcom-notice-continue');
  if (await notice.count() && await notice.isVisible()) await notice.click();
  assert.equal((await importer.calls()).length, 1);
  await importer.restore();
});

test('profile tab: status tag, name, life span, details rows and relatives in list order', async () => {
  const ids = await app.build([
    { name: 'Mara Quint', key: 'M', birth: '1842', birthPlace: 'Cork', occupation: 'Weaver', privacy: 'living' },
    'Father Quint', 'Mother Quint', 'Sib Quint', 'Half Quint', 'Spouse One', 'Spouse Two', 'Child B', 'Child A'],
  [['Father Quint', 'M', 'parent'], ['Mother Quint', 'M', 'parent'], ['Father Quint', 'Sib Quint', 'parent'],
    ['Mother Quint', 'Half Quint', 'parent'], ['M', 'Spouse Two', 'spouse'], ['Spouse One', 'M', 'spouse'],
    ['M', 'Child B', 'parent'], ['M', 'Child A', 'parent']]);
  await showPerson(app, ids.M);
  const text = await body();
  assert.ok(text.includes('Living · private by default'));
  assert.equal(await app.textContent('#sideBody h2'), 'Mara Quint');
  assert.equal(await app.textContent('#sideBody .pp-life'), '1842 — ?');
  assert.equal(await app.textContent('#sideBody .pp-monogram'), 'MQ');
  assert.ok(text.includes('· visual group'));
  assert.equal(await app.run(() => $('sideBody').querySelector('.pp-branch').title),
    'Color groups are visual neighborhoods, not independent genealogical proof');
  assert.deepEqual(await rows(), [
    ['Born', '1842'], ['Birthplace', 'Cork'], ['Died', 'Not recorded'], ['Death place', 'Not recorded'],
    ['Residence', 'Not recorded'], ['Occupation', 'Weaver'],
    ['Parents', 'Father Quint, Mother Quint'], ['Siblings', 'Sib Quint, Half Quint'],
    ['Spouses', 'Spouse Two, Spouse One'], ['Children', 'Child B, Child A']]);
  const buttons = await app.run(() => [...$('sideBody').querySelectorAll('button')].map(b => b.textContent));
  assert.deepEqual(buttons.slice(0, 8), ['Edit profile', 'Center tree', 'Add / change picture', '+ Parent', '+ Sibling',
    '+ Spouse', '+ Child', 'Link existing']);
  assert.deepEqual(buttons.slice(8, 10), ['Review duplicates / merge', 'Delete person']);
  const lone = await app.build(['Lone Person']);
  await showPerson(app, lone['Lone Person']);
  assert.deepEqual((await rows()).slice(6).map(r => r[1]), ['Not linked', 'Not linked', 'Not linked', 'Not linked']);
  assert.ok((await body()).includes('Status unverified'));
  assert.equal(await app.textContent('#sideBody .pp-life'), '? — ?');
});

test('a relative\'s name selects that person without moving the camera', async () => {
  const ids = await app.build(['Pat Parent', 'Kim Child'], [['Pat Parent', 'Kim Child', 'parent']]);
  await showPerson(app, ids['Kim Child']);
  const camera = () => app.run(() => [zoom, shiftX, shiftY]);
  const before = await camera();
  await app.page.locator('#sideBody a.pp-link', { hasText: 'Pat Parent' }).click();
  assert.equal(await app.eval('selected'), ids['Pat Parent']);
  assert.equal(await app.textContent('#sideBody h2'), 'Pat Parent');
  assert.deepEqual(await camera(), before);
});

for (const [privacy, tag] of [['living', 'Living · private by default'], ['deceased', 'Deceased'],
  ['unknown', 'Status unverified'], ['LIVING', 'Status unverified'], ['constructor', 'Status unverified']])
  test(`status tag for privacy "${privacy}"`, async () => {
    const ids = await app.build([{ name: 'Tag Person', privacy }]);
    await showPerson(app, ids['Tag Person']);
    assert.equal(await app.textContent('#sideBody .pp-status'), tag);
  });

test('initials come from the first two words', async () => {
  for (const [name, mono] of [['Ada', 'A'], ['ada lovelace byron', 'AL'], ['  ', '?'], ['', '?'],
    ['émile zola', 'ÉZ'], ['Mary-Ann  de la Cruz', 'MD'], [null, '?']])
    assert.equal(await app.call('initials', name), mono, String(name));
});

test('life story: generated sentences unless a story is recorded; notes box only with notes', async () => {
  const cases = [
    [{ name: 'Only Name' }, 'Only Name is recorded in the family tree.'],
    [{ name: 'Ann', birth: 'ABT 1790', birthPlace: 'York', occupation: 'Smith', residence: 'Leeds', death: '1850',
      deathPlace: 'Hull' },
    'Ann was born ABT 1790 in York. Recorded occupation: Smith. Recorded residence: Leeds. Recorded death: 1850 in Hull.'],
    [{ name: 'Bo', birth: '1900', deathPlace: 'Oslo' }, 'Bo was born 1900.'],
    [{ name: 'Cy', birthPlace: 'Rome', death: '1901' }, 'Cy is recorded in the family tree. Recorded death: 1901.'],
    [{ name: 'Di', birth: '1900', bio: 'Her own words.' }, 'Her own words.'],
  ];
  for (const [input, story] of cases) {
    const ids = await app.build([{ ...input, key: 'P' }]);
    await showPerson(app, ids.P);
    assert.equal(await app.textContent('#sideBody .pp-story'), story, input.name);
    assert.equal(await app.exists('#sideBody .pp-notes'), false);
  }
  const ids = await app.build([{ name: 'Noted', notes: 'Line one\nLine two', key: 'N' }]);
  await showPerson(app, ids.N);
  assert.deepEqual(await app.run(() => [...$('sideBody').querySelector('.pp-notes').children].map(e => e.innerText)),
    ['Research notes', 'Line one\nLine two']);
});

test('timeline tab: personal facts in fixed order, never sorted by date', async () => {
  const cases = [
    [{ name: 'Only Name' }, []],
    [{ name: 'Full', birth: '1900', birthPlace: 'Lyon', residence: 'Paris', occupation: 'Baker', death: '1850',
      deathPlace: 'Nice', events: [{ when: '1890', text: 'Moved' }, { when: '', text: '' }, { text: 'Undated' }] },
    [['1900', 'Born in Lyon'], ['Date unconfirmed', 'Residence recorded: Paris'],
      ['Date unconfirmed', 'Occupation recorded: Baker'], ['1890', 'Moved'], ['Date unknown', ''],
      ['Date unknown', 'Undated'], ['1850', 'Died in Nice']]],
    [{ name: 'Month', birth: 'MAY', death: 'JUN' }, [['MAY', 'Born'], ['JUN', 'Died']]],
  ];
  for (const [input, entries] of cases) {
    const ids = await app.build([{ ...input, key: 'P' }]);
    await showPerson(app, ids.P, 'timeline');
    const shown = await app.run(() => [...$('sideBody').querySelectorAll('.pp-timeline li')].map(li =>
      [li.querySelector('.pp-when').textContent, li.querySelector('.pp-what').textContent]));
    assert.deepEqual(shown, entries, input.name);
    const text = await body();
    assert.ok(text.includes('Life & historical context') && text.includes('BIOGRAPHICAL TIMELINE') &&
      text.includes('CONTEXT DURING THEIR LIFETIME'));
    assert.equal(text.includes('Add dates to begin the timeline.'), entries.length === 0);
    assert.ok(text.includes('These are general historical events, not automatically verified experiences of this ' +
      'person. Check historical sources before using them in their biography.'));
  }
});

test('historical context: every event that overlaps the life, years from the dates\' first year', async () => {
  const cases = [
    ['12 MAY 1842', '', ['Great Famine in Ireland', 'American Civil War', 'Major transatlantic migration era',
      'First World War', 'Influenza pandemic', 'Great Depression', 'Second World War', 'Apollo 11 Moon landing',
      'Fall of the Berlin Wall', 'September 11 attacks', 'COVID-19 pandemic']],
    ['1850', '1851', ['Great Famine in Ireland']],
    ['MAY', '1950', []],
    ['c.1789', 'about 1804', ['French Revolution begins', 'Haitian independence']],
    ['1700', '1775', ['American Revolutionary War']],
    ['2027', '', []],
    ['1914', 'unknown', ['Major transatlantic migration era', 'First World War', 'Influenza pandemic', 'Great Depression',
      'Second World War', 'Apollo 11 Moon landing', 'Fall of the Berlin Wall', 'September 11 attacks', 'COVID-19 pandemic']],
  ];
  for (const [birth, death, titles] of cases) {
    const rows = await app.call('historyContext', { name: 'X', birth, death });
    assert.deepEqual(rows.map(r => r.title), titles, `${birth}–${death}`);
  }
  const ids = await app.build([{ name: 'War Time', birth: '1913', death: '1919', key: 'W' }]);
  await showPerson(app, ids.W, 'timeline');
  const shown = await app.run(() => [...$('sideBody').querySelectorAll('.pp-context li')].map(li => li.innerText));
  assert.deepEqual(shown, [
    '1880–1914 · Historical context only\nMajor transatlantic migration era\nLarge-scale migration reshapes communities in the Americas and Europe.',
    '1914–1918 · Historical context only\nFirst World War\nGlobal conflict centered in Europe, with broad international effects.',
    '1918–1920 · Historical context only\nInfluenza pandemic\nA global influenza pandemic affects societies worldwide.']);
  const none = await app.build([{ name: 'No Year', birth: 'MAY', key: 'N' }]);
  await showPerson(app, none.N, 'timeline');
  assert.ok((await body()).includes('Add a birth year to view historical events.'));
  assert.equal((await app.call('historyContext', { birth: '1969' })).find(r => r.title.startsWith('Apollo')).date, '1969');
});

test('inline edit box: fields filled from the record, saved by the button, Enter or refused without a name', async () => {
  const ids = await app.build([{ name: 'Edit Me', birth: '1800', birthPlace: 'Bath', notes: 'old', key: 'E' }]);
  await showPerson(app, ids.E);
  assert.equal(await app.run(() => $('sideBody').querySelector('.edit-side').open), false);
  assert.equal(await app.textContent('#sideBody .edit-side summary'), '✎ Edit profile information here');
  await app.click('#sideBody .edit-side summary');
  const fields = await app.run(() => [...$('sideBody').querySelectorAll('[data-inline]')].map(el =>
    [el.closest('label').firstChild.textContent, el.dataset.inline, el.tagName, el.value]));
  assert.deepEqual(fields, [['Full name', 'name', 'INPUT', 'Edit Me'], ['Birth date', 'birth', 'INPUT', '1800'],
    ['Birthplace', 'birthPlace', 'INPUT', 'Bath'], ['Death date', 'death', 'INPUT', ''],
    ['Death place', 'deathPlace', 'INPUT', ''], ['Residence', 'residence', 'INPUT', ''],
    ['Occupation', 'occupation', 'INPUT', ''], ['Life story', 'bio', 'TEXTAREA', ''],
    ['Research notes', 'notes', 'TEXTAREA', 'old']]);
  assert.ok((await body()).includes('Enter saves a field · Shift+Enter makes a new line in a note.'));

  // Shift+Enter makes a line break in a note; Enter in the note saves the whole box.
  await app.fill('[data-inline="birth"]', '  ');
  await app.fill('[data-inline="occupation"]', '  Miller ');
  await app.click('[data-inline="notes"]');
  await app.page.keyboard.press('End');
  await app.page.keyboard.press('Shift+Enter');
  await app.page.keyboard.type('second');
  assert.equal(await app.run(() => $('sideBody').querySelector('[data-inline="notes"]').value), 'old\nsecond');
  await app.page.keyboard.press('Enter');
  await expectToast(app, 'Profile saved.');
  const p = await record(app, ids.E);
  assert.deepEqual([p.birth, p.occupation, p.notes, p.birthPlace], ['', 'Miller', 'old\nsecond', 'Bath']);
  assert.equal(await app.run(() => $('sideBody').querySelector('.edit-side').open), false, 'redrawn collapsed');

  // Enter in a one-line field saves too; an emptied name is refused and nothing is written.
  await app.click('#sideBody .edit-side summary');
  await app.fill('[data-inline="residence"]', 'Wells');
  await app.press('Enter', '[data-inline="residence"]');
  assert.equal((await record(app, ids.E)).residence, 'Wells');
  await app.click('#sideBody .edit-side summary');
  await app.fill('[data-inline="name"]', '   ');
  await app.fill('[data-inline="death"]', '1870');
  await panelButton(app, 'Save changes').click();
  await expectToast(app, 'Please enter a name.');
  assert.deepEqual([(await record(app, ids.E)).name, (await record(app, ids.E)).death], ['Edit Me', '']);
});

test('sources: added from the form, unsafe links dropped, removed by position', async () => {
  const ids = await app.build([{ name: 'Cited', key: 'C' }]);
  await showPerson(app, ids.C, 'sources');
  const text = await body();
  for (const part of ['Evidence & sources', 'No sources recorded yet.', 'ADD A SOURCE', 'A relationship should be ' +
    'supported by records whenever possible. Imported claims are leads until verified.'])
    assert.ok(text.includes(part), part);
  assert.deepEqual(await app.run(() => ['srcTitle', 'srcUrl', 'srcDetail'].map(id => $(id).placeholder)),
    ['1900 US Census, birth certificate…', 'https://…', 'Name, residence, date, citation, uncertainty…']);

  await app.fill('#srcUrl', 'https://example.org/a');
  await app.page.locator('#sideBody button', { hasText: '+ Save source' }).click();
  await expectToast(app, 'Enter a source title.');
  assert.deepEqual((await record(app, ids.C)).sources, []);

  const entries = [['Census', ' https://Example.org/census?x=1 ', 'Lists the family'],
    ['Census', 'javascript:alert(1)', 'second with the same title'],
    ['Letter', 'data:text/html,<script>alert(1)</script>', ''], ['Register', 'ftp://archive.example/reg', 'ftp']];
  for (const [title, url, detail] of entries) {
    await app.fill('#srcTitle', title);
    await app.fill('#srcUrl', url);
    await app.fill('#srcDetail', detail);
    await app.page.locator('#sideBody button', { hasText: '+ Save source' }).click();
    await expectToast(app, 'Source saved to this person.');
  }
  assert.deepEqual((await record(app, ids.C)).sources, [
    { title: 'Census', url: 'https://example.org/census?x=1', detail: 'Lists the family' },
    { title: 'Census', url: '', detail: 'second with the same title' },
    { title: 'Letter', url: '', detail: '' }, { title: 'Register', url: '', detail: 'ftp' }]);
  const links = await app.run(() => [...$('sideBody').querySelectorAll('.pp-source a')].map(a =>
    [a.textContent, a.getAttribute('href'), a.target, a.rel]));
  assert.deepEqual(links, [['Open document ↗', 'https://example.org/census?x=1', '_blank', 'noopener noreferrer']]);

  // Removing the second entry removes exactly that one, not the first with the same title; no question asked.
  await app.page.locator('#sideBody .pp-source').nth(1).getByRole('button', { name: 'Remove' }).click();
  assert.deepEqual((await record(app, ids.C)).sources.map(s => s.detail), ['Lists the family', '', 'ftp']);
  assert.equal(app.dialogs.length, 0);
  await app.call('removeSource', 7);
  await app.call('removeSource', -1);
  assert.equal((await record(app, ids.C)).sources.length, 3);
});

test('a stored source with an unsafe or missing address shows no link, and an empty title reads Untitled source', async () => {
  const ids = await app.build([{ name: 'Old', key: 'O', sources: [{ title: '', url: 'javascript:alert(1)', detail: 'x' },
    { title: 'T', url: 'http://ok.example/' }, 'not an entry'] }]);
  await showPerson(app, ids.O, 'sources');
  const shown = await app.run(() => [...$('sideBody').querySelectorAll('.pp-source')].map(s =>
    [s.querySelector('b').textContent, s.querySelectorAll('a').length]));
  assert.deepEqual(shown, [['Untitled source', 0], ['T', 1], ['Untitled source', 0]]);
});

test('portrait: a usable address shows the image over the initials; a broken one hides itself; unsafe ones are not used', async () => {
  const pixel = 'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=';
  for (const [photo, shown] of [[pixel, true], ['data:image/png;base64,AAAA', false],
    ['javascript:alert(1)', null], ['data:image/svg+xml;base64,PHN2Zz4=', null], ['', null]]) {
    const ids = await app.build([{ name: 'Pic Ture', key: 'P', photo }]);
    await showPerson(app, ids.P);
    if (shown === null) {
      assert.equal(await app.exists('#sideBody .pp-portrait img'), false, photo);
    } else {
      await app.page.waitForFunction(() => { const i = $('sideBody').querySelector('.pp-portrait img'); return i.complete; });
      await app.frames(2);
      assert.equal(await app.run(() => $('sideBody').querySelector('.pp-portrait img').hidden), !shown, photo);
      assert.equal(await app.run(() => $('sideBody').querySelector('.pp-portrait img').alt), 'Portrait');
    }
    assert.equal(await app.textContent('#sideBody .pp-monogram'), 'PT');
  }
});

test('entry points: each button opens its dialog or action for the selected person', async () => {
  const ids = await app.build(['Base Person', 'Other Person']);
  await showPerson(app, ids['Base Person']);
  for (const [button, title] of [['Edit profile', 'Edit ancestor'], ['+ Parent', 'Add parent'],
    ['+ Sibling', 'Add sibling'], ['+ Spouse', 'Add spouse'], ['+ Child', 'Add child'],
    ['Link existing', 'Link an existing person'], ['Review duplicates / merge', 'Merge profiles — review before combining']]) {
    await panelButton(app, button).click();
    assert.equal(await dialogTitle(app), title, button);
    await closeDialog(app);
  }
  for (const [button, name] of [['Center tree', 'centerOnPerson'], ['Add / change picture', 'choosePortrait']]) {
    const s = await stub(app, name);
    await panelButton(app, button).click();
    assert.deepEqual(await s.calls(), [[ids['Base Person']]], button);
    await s.restore();
  }
});

test('"Delete person" asks first; declining keeps everything, accepting removes only that person', async () => {
  const ids = await app.build(['Keep Parent', 'Gone Child', 'Other Parent'],
    [['Keep Parent', 'Gone Child', 'parent'], ['Other Parent', 'Gone Child', 'parent'], ['Keep Parent', 'Other Parent', 'spouse']]);
  await showPerson(app, ids['Gone Child']);
  app.answer(false);
  await panelButton(app, 'Delete person').click();
  assert.equal(app.dialogs[0].message, 'Delete ONLY Gone Child?\n\nThis removes this profile and its direct relationship ' +
    'links. Their spouse, parents, siblings, children and all other relatives are NOT deleted.');
  assert.deepEqual(await app.run(() => [persons.size, edges.length]), [3, 3]);
  app.answer(true);
  await panelButton(app, 'Delete person').click();
  await expectToast(app, 'Deleted only Gone Child. All other 2 profiles are kept.');
  assert.deepEqual(await app.run(() => [persons.size, edges.map(e => e.type)]), [2, ['spouse']]);
  assert.notEqual(await app.eval('selected'), ids['Gone Child']);
});

test('"Add / change picture" opens the picture chooser and the editor, and saving stores a square JPEG', async () => {
  const ids = await app.build([{ name: 'Photo Person', key: 'P' }]);
  await showPerson(app, ids.P);
  const png = Buffer.from(await app.run(() => {
    const c = document.createElement('canvas');
    c.width = 40; c.height = 20;
    c.getContext('2d').fillRect(0, 0, 40, 20);
    return c.toDataURL('image/png').split(',')[1];
  }), 'base64');
  const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'), panelButton(app, 'Add / change picture').click()]);
  await chooser.setFiles({ name: 'face.png', mimeType: 'image/png', buffer: png });
  await app.page.waitForFunction(() => !!photoEditState);
  await app.click('#modalSave');
  await app.page.waitForFunction(id => persons.get(id).photo !== '', ids.P);
  const photo = (await record(app, ids.P)).photo;
  assert.match(photo, /^data:image\/jpeg;base64,/);
  assert.deepEqual(await app.run(src => new Promise(done => {
    const i = new Image(); i.onload = () => done([i.width, i.height]); i.src = src;
  }), photo), [360, 360]);
  assert.equal(await app.exists('#sideBody .pp-portrait img'), true);
});

test('the close button and tab buttons', async () => {
  const ids = await app.build([{ name: 'Tabbed', key: 'T' }]);
  await app.call('selectPerson', ids.T);
  await app.run(() => $('side').classList.add('open'));
  await app.click('#sideClose');
  assert.equal(await app.run(() => $('side').classList.contains('open')), false);
  await app.call('tab', 'sources');
  assert.equal(await app.eval('activeTab'), 'sources');
  await app.call('tab', 'nonsense');
  assert.equal(await app.eval('activeTab'), 'sources');
  await app.click('#side .tab[data-tab="profile"]');
  assert.equal(await app.eval('activeTab'), 'profile');
});
