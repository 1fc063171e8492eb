// Search: the header search (ranking, accent- and punctuation-free matching, keys, the result list) and the
// existing-profile picker of the relationship dialogs (matching, order, exclusion, choice, counts).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, closeDialog, stub } from './people.mjs';

const app = useApp();

const dropShown = () => app.run(() => !$('searchdrop').classList.contains('hidden'));
const entries = () => app.run(() => [...$('searchdrop').querySelectorAll('[data-person]')].map(b =>
  [b.querySelector('b').textContent, b.querySelector('small').textContent]));

async function search(text) {
  await app.fill('#search', '');
  await app.type('#search', text);
}

test('accents and punctuation do not matter; ranks 100, 75, 55 in that order, ties in tree order', async () => {
  await app.build([
    { name: 'Zoë Anne Brontë', birth: '1820', death: '1849', birthPlace: 'Thornton' },
    { name: 'Jean-Luc Picard', birth: '2305', residence: 'La Barre' },
    { name: 'Anne Zoe', death: '1900' },
    { name: 'Zoe Anne', key: 'exact' },
    { name: 'José  O\'Brien' },
    'Zoe Annette',
  ]);
  await search('zoe anne');
  assert.equal(await dropShown(), true);
  assert.equal(await app.textContent('#searchdrop .search-head'), 'PEOPLE IN YOUR TREE');
  assert.deepEqual((await entries()).map(e => e[0]), ['Zoe Anne', 'Zoë Anne Brontë', 'Zoe Annette', 'Anne Zoe']);
  assert.deepEqual((await entries())[1], ['Zoë Anne Brontë', '1820–1849 · Thornton']);
  assert.deepEqual((await entries())[3], ['Anne Zoe', '?–1900 · ']);
  assert.deepEqual(await app.run(() => [...$('searchdrop').querySelectorAll('.search-chip')].map(c => c.textContent)),
    ['Open', 'Open', 'Open', 'Open']);
  for (const [typed, found] of [['jean luc', 'Jean-Luc Picard'], ['JOSE O BRIEN', 'José  O\'Brien'],
    ['josé o’brien', 'José  O\'Brien'], ['picard jean', 'Jean-Luc Picard']]) {
    await search(typed);
    assert.deepEqual((await entries()).map(e => e[0]), [found], typed);
  }
  assert.deepEqual((await entries())[0], ['Jean-Luc Picard', '2305–? · La Barre']);
});

test('a query of punctuation only hides the list; no match shows the grey entry', async () => {
  await app.build(['Ann Lee']);
  await search('ann');
  assert.equal(await dropShown(), true);
  await search('-- ,.');
  assert.equal(await dropShown(), false);
  await search('zzz');
  assert.equal(await dropShown(), true);
  assert.equal(await app.textContent('#searchdrop .search-none'),
    'No matches in this tree. Try a different name or import another GEDCOM.');
  assert.deepEqual(await entries(), []);
});

test('at most 30 entries; 30 exact matches come before names that only begin with the query', async () => {
  const people = [];
  for (let i = 0; i < 40; i++) people.push(`Sam Hill ${i}`);
  for (let i = 0; i < 35; i++) people.push('Sam Hill');
  await app.build(people);
  await search('sam hill');
  const names = (await entries()).map(e => e[0]);
  assert.equal(names.length, 30);
  assert.ok(names.every(n => n === 'Sam Hill'));
});

test('Enter and "Find" open the first entry, clicking an entry opens it, Escape and outside clicks hide the list', async () => {
  const ids = await app.build(['Alma First', 'Alma Second', 'Bert Other']);
  const focusing = await stub(app, 'centerOnPerson');
  await search('alma');
  await app.press('Enter', '#search');
  assert.deepEqual(await focusing.calls(), [[ids['Alma First']]]);
  assert.equal(await dropShown(), false);

  await search('alma s');
  await app.click('#searchGo');
  await search('bert');
  await app.page.locator('#searchdrop [data-person]').first().click();
  assert.deepEqual((await focusing.calls()).slice(1), [[ids['Alma Second']], [ids['Bert Other']]]);
  assert.equal(await dropShown(), false);

  await search('alma');
  await app.press('Escape', '#search');
  assert.equal(await dropShown(), false);
  await search('alma');
  await app.click('#sideBody');
  assert.equal(await dropShown(), false);

  await search('nobody here');
  await app.press('Enter', '#search');
  await expectToast(app, 'No matches in your tree yet. Import a GEDCOM or add a person.');
  await app.fill('#search', '');
  await app.click('#searchGo');
  await expectToast(app, 'No matches in your tree yet. Import a GEDCOM or add a person.');
  assert.equal((await focusing.calls()).length, 3);
  await focusing.restore();
});

test('opening a result selects the person and shows them in the panel', async () => {
  const ids = await app.build(['Nora Found', 'Someone Else']);
  await search('nora');
  await app.press('Enter', '#search');
  assert.equal(await app.eval('selected'), ids['Nora Found']);
  assert.equal(await app.textContent('#sideBody h2'), 'Nora Found');
});

test('a renamed person is found under the new name', async () => {
  const ids = await app.build(['Old Name']);
  await search('old');
  assert.equal((await entries()).length, 1);
  await app.run(id => { persons.get(id).name = 'Fresh Label'; }, ids['Old Name']);
  await search('old');
  assert.equal((await entries()).length, 0);
  await search('fresh');
  assert.equal((await entries()).length, 1);
});

test('people removed, added or replaced since the last search are found as they are now', async () => {
  const ids = await app.build(['Ola A', 'Ola B', 'Ola C', 'Ola D']);
  await search('ola');
  assert.deepEqual((await entries()).map(e => e[0]), ['Ola A', 'Ola B', 'Ola C', 'Ola D']);
  await app.run(id => { persons.delete(id); addPerson({ name: 'Ola E' }); }, ids['Ola B']);
  await search('ola');
  assert.deepEqual((await entries()).map(e => e[0]), ['Ola A', 'Ola C', 'Ola D', 'Ola E']);
  await app.run(() => { replaceFamily([['x1', { id: 'x1', name: 'Ola Z' }]], []); update(); });
  await search('ola');
  assert.deepEqual((await entries()).map(e => e[0]), ['Ola Z']);
});

// The picker in a dialog of its own, wired as the relationship dialogs wire it.
async function openPicker(exclude) {
  await app.run(exclude => {
    modal('Picker', klnSearchHTML('tp', 'Find an existing test profile'), 'Close', closeModal);
    window.__read = klnSetupSearch('tp', exclude);
  }, exclude);
}
const picker = () => app.run(() => ({
  buttons: [...$('tpChoices').querySelectorAll('.kln-profile-result')].map(b => b.textContent),
  options: [...$('tpResult').options].map(o => o.textContent),
  picked: $('tpPicked').textContent, count: $('tpCount').textContent, read: window.__read(),
}));

test('picker markup: label, placeholder, list box, hidden list, picked and count lines', async () => {
  await app.build(['Any One']);
  const markup = await app.call('klnSearchHTML', 'tp', 'Find an existing test profile');
  assert.ok(markup.includes('Search to find a saved profile.'));
  await openPicker([]);
  const r = await app.run(() => ({
    label: document.querySelector('label[for="tpInput"]').textContent, type: $('tpInput').type,
    auto: $('tpInput').getAttribute('autocomplete'), placeholder: $('tpInput').placeholder,
    list: [$('tpChoices').getAttribute('role'), $('tpChoices').getAttribute('aria-label')],
    hidden: [$('tpResult').getAttribute('aria-label'), $('tpResult').size, $('tpResult').offsetWidth <= 1],
    live: $('tpPicked').getAttribute('aria-live'),
  }));
  assert.deepEqual(r, { label: 'Find an existing test profile', type: 'search', auto: 'off',
    placeholder: 'Search by name or birth year', list: ['listbox', 'Matching existing profiles'],
    hidden: ['Search results for Find an existing test profile', 5, true], live: 'polite' });
  assert.deepEqual(await picker(), { buttons: [], options: [], picked: 'No profile chosen',
    count: 'Enter a name to search existing profiles.', read: '' });
  await closeDialog(app);
});

test('picker: a year lists everyone born then, names starting with the term first, then by name and birth', async () => {
  const ids = await app.build([
    { name: 'Zed 1850 Boat', birth: '1901' }, { name: 'Carl', birth: '3 MAR 1850', death: '1920' },
    { name: 'Abe', birth: '1850' }, { name: 'Abe', birth: '1849', birthPlace: 'Town 1850' },
    { name: '1850 Club', birth: '' }, { name: '', birth: '1850', key: 'blank' }, { name: 'Dora', birth: '1851' }]);
  await openPicker([]);
  await app.fill('#tpInput', '1850');
  const r = await picker();
  assert.deepEqual(r.buttons, ['1850 Club Date unknown', 'Abe 1849', 'Abe 1850', 'Carl 3 MAR 1850 – 1920',
    'Unknown ancestor 1850', 'Zed 1850 Boat 1901']);
  assert.deepEqual(r.options, ['1850 Club · date unknown', 'Abe · 1849', 'Abe · 1850', 'Carl · 3 MAR 1850',
    'Unknown ancestor · 1850', 'Zed 1850 Boat · 1901']);
  assert.equal(r.count, '6 matching profiles');
  await app.run(id => { persons.get(id).name = ''; }, ids.blank);
  await app.fill('#tpInput', ' 1850 ');
  assert.equal((await picker()).buttons[1], 'Unnamed 1850');
  await app.fill('#tpInput', 'CARL');
  assert.deepEqual(await picker(), { buttons: ['Carl 3 MAR 1850 – 1920'], options: ['Carl · 3 MAR 1850'],
    picked: 'No profile chosen', count: '1 matching profile', read: '' });
  await closeDialog(app);
});

test('picker: choosing marks the button, the hidden list and the picked line; typing again forgets the choice', async () => {
  const ids = await app.build([{ name: 'Pia One', birth: '1900' }, { name: 'Pia Two' }]);
  await openPicker([]);
  await app.fill('#tpInput', 'pia');
  await app.page.locator('#tpChoices .kln-profile-result', { hasText: 'Pia Two' }).click();
  const state = () => app.run(() => [...$('tpChoices').querySelectorAll('.kln-profile-result')].map(b =>
    [b.classList.contains('chosen'), b.getAttribute('aria-selected')]));
  assert.deepEqual(await state(), [[false, 'false'], [true, 'true']]);
  assert.equal((await picker()).picked, 'Selected: Pia Two · date unknown');
  assert.equal(await app.eval('$("tpResult").value'), ids['Pia Two']);
  assert.equal((await picker()).read, ids['Pia Two']);
  await app.page.locator('#tpResult').selectOption(ids['Pia One']);
  assert.deepEqual(await state(), [[true, 'true'], [false, 'false']]);
  assert.equal((await picker()).picked, 'Selected: Pia One · 1900');
  assert.equal((await picker()).read, ids['Pia One']);
  await app.type('#tpInput', ' ');
  assert.equal((await picker()).picked, 'No profile chosen');
  assert.equal((await picker()).read, '');
  await closeDialog(app);
});

test('picker: the excluded person is never listed and never accepted', async () => {
  const ids = await app.build(['Xena Base', 'Xena Other']);
  await openPicker([ids['Xena Base']]);
  await app.fill('#tpInput', 'xena');
  assert.deepEqual((await picker()).buttons, ['Xena Other Date unknown']);
  await app.run(id => {
    $('tpChoices').insertAdjacentHTML('beforeend', '<button class="kln-profile-result" data-kln-person="' + id + '">x</button>');
    $('tpResult').insertAdjacentHTML('beforeend', '<option value="' + id + '">x</option>');
  }, ids['Xena Base']);
  await app.page.locator('#tpChoices .kln-profile-result').last().click();
  assert.equal((await picker()).read, '');
  await app.page.locator('#tpResult').selectOption(ids['Xena Base']);
  assert.equal((await picker()).picked, 'No profile chosen');
  assert.equal((await picker()).read, '');
  await closeDialog(app);
});

test('picker counts: 41 matches show 40, with the grouping of the locale; a missing block reads nothing', async () => {
  const people = [];
  for (let i = 0; i < 1041; i++) people.push({ name: `Count ${String(i).padStart(4, '0')}` });
  await app.build(people);
  await openPicker([]);
  await app.fill('#tpInput', 'count 00');
  assert.equal((await picker()).buttons.length, 40);
  assert.equal((await picker()).count, '100 matching profiles · showing first 40');
  await app.fill('#tpInput', 'count 000');
  assert.equal((await picker()).count, '10 matching profiles');
  await app.fill('#tpInput', 'count');
  assert.equal((await picker()).count, '1,041 matching profiles · showing first 40');
  assert.deepEqual((await picker()).buttons.slice(0, 2), ['Count 0000 Date unknown', 'Count 0001 Date unknown']);
  await app.run(() => { $('tpResult').remove(); window.__read = klnSetupSearch('tp', []); });
  assert.equal(await app.eval('window.__read()'), '');
  await closeDialog(app);
  const people41 = [];
  for (let i = 0; i < 41; i++) people41.push(`Forty ${i}`);
  await app.build(people41);
  await openPicker([]);
  await app.fill('#tpInput', 'forty');
  assert.equal((await picker()).count, '41 matching profiles · showing first 40');
  await closeDialog(app);
});
