// Hostile input through the person forms, the panel and the searches: every text shows as itself, nothing
// runs, no unsafe address is used, and no text pushes the panel, the result list or a dialog out of shape.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, closeDialog, showPerson, panelButton, dialogButton } from './people.mjs';

const app = useApp();

const LONG_WORD = 'W'.repeat(2000);
const HOSTILE = [
  ['markup', '<img src=x onerror="window.__pwned=1"><script>window.__pwned=2</script><b>bold</b>'],
  ['closing tags', '</textarea></label></select></option><svg onload=window.__pwned=3>'],
  ['quotes', `O'Brien "Jr" \`tick\` &amp; &lt;`],
  ['attribute break', `" autofocus onfocus="window.__pwned=4" x="`],
  ['javascript address', 'javascript:window.__pwned=5'],
  ['data address', 'data:text/html,<script>window.__pwned=6</script>'],
  ['very long word', LONG_WORD],
  ['very long words', 'Maximiliana '.repeat(120).trim()],
  ['right to left', 'محمد بن عبد الله \u202Eevil\u202C שרה'],
  ['combining marks', 'Z\u0334\u0321\u0322\u0347\u032Ea\u0336l\u0338g\u0335o\u0336 ' + 'e\u0301\u0302\u0303'.repeat(150)],
];
const TEXT_FIELDS = ['pfName', 'pfBirth', 'pfDeath', 'pfBirthPlace', 'pfDeathPlace', 'pfResidence', 'pfOccupation',
  'pfPhoto', 'pfBio', 'pfNotes'];
const RECORD_FIELDS = ['name', 'birth', 'death', 'birthPlace', 'deathPlace', 'residence', 'occupation', 'photo', 'bio', 'notes'];

// Nothing ran and nothing the page did not make itself appeared.
const injected = () => app.run(() => ({
  pwned: window.__pwned,
  foreign: document.querySelectorAll('img[src="x"], [onerror], [onload], [onfocus], svg, iframe, object, embed').length,
  bold: [...document.querySelectorAll('b')].filter(b => b.textContent === 'bold').length,
  unsafe: [...document.querySelectorAll('[href], [src]')].filter(el =>
    /^\s*(javascript|data:text)/i.test(el.getAttribute('href') || el.getAttribute('src') || '')).length,
  scripts: [...document.scripts].filter(s => s.textContent.includes('__pwned')).length,
}));
const CLEAN = { pwned: undefined, foreign: 0, bold: 0, unsafe: 0, scripts: 0 };

// Elements of `selector` that stick out of it sideways, and whether it scrolls sideways itself.
const overflow = selector => app.run(selector => {
  const box = document.querySelector(selector);
  const outer = box.getBoundingClientRect();
  const out = [...box.querySelectorAll('*')].filter(el => {
    const r = el.getBoundingClientRect();
    return r.width > 0 && (r.left < outer.left - 1 || r.right > outer.right + 1);
  }).map(el => el.tagName + '.' + el.className);
  return { out: out.slice(0, 5), scrolls: box.scrollWidth > box.clientWidth + 1, width: Math.round(outer.width) };
}, selector);

async function assertPanelShape(label) {
  const side = await overflow('#side');
  assert.deepEqual(side, { out: [], scrolls: false, width: 365 }, label);
  assert.equal((await overflow('#sideBody')).scrolls, false, label);
}

for (const [label, text] of HOSTILE)
  test(`hostile ${label}: the person form, every panel tab and the header search show it as text`, async () => {
    await app.build(['Plain Relative']);
    await app.click('#addBtn');
    for (const id of TEXT_FIELDS) await app.fill(`#${id}`, text);
    await app.click('#modalSave');
    await expectToast(app, 'Profile saved.');
    const id = await app.eval('selected');
    const p = await app.run(id => persons.get(id), id);
    for (const f of RECORD_FIELDS) assert.equal(p[f], text.trim(), `${label}: ${f}`);
    await app.run(([a, b]) => { addEdge(a, b, 'spouse'); update(); }, [await app.run(() => persons.keys().next().value), id]);

    // Profile: heading, rows, story, notes, the inline box holding the exact text.
    await showPerson(app, id);
    assert.equal(await app.textContent('#sideBody .pp-name'), text.trim());
    assert.equal(await app.textContent('#sideBody .pp-notes p'), text.trim());
    assert.equal(await app.textContent('#sideBody .pp-story'), text.trim());
    assert.equal(await app.exists('#sideBody .pp-portrait img'), false, 'no portrait from an unusable address');
    assert.deepEqual(await app.run(() => [...$('sideBody').querySelectorAll('[data-inline]')].map(el => el.value)),
      Array(9).fill(text.trim()));
    await app.click('#sideBody .edit-side summary');
    await assertPanelShape(`${label}: profile`);
    await panelButton(app, 'Save changes').click();
    await expectToast(app, 'Profile saved.');
    assert.equal(await app.run(id => persons.get(id).notes, id), text.trim(), 'saved back unchanged');

    // Timeline and sources, the source typed into the form with the hostile text as title, address and detail.
    await app.click('#side .tab[data-tab="timeline"]');
    assert.equal(await app.run(() => $('sideBody').querySelector('.pp-timeline li .pp-when').textContent), text.trim());
    await assertPanelShape(`${label}: timeline`);
    await app.click('#side .tab[data-tab="sources"]');
    for (const f of ['srcTitle', 'srcUrl', 'srcDetail']) await app.fill(`#${f}`, text);
    await app.page.locator('#sideBody button', { hasText: '+ Save source' }).click();
    assert.equal(await app.textContent('#sideBody .pp-source b'), text.trim());
    assert.equal(await app.exists('#sideBody .pp-source a'), false);
    await assertPanelShape(`${label}: sources`);

    // The relative's row of the other person links the hostile name, and the link selects it.
    const other = await app.run(() => persons.keys().next().value);
    await showPerson(app, other);
    await app.page.locator('#sideBody a.pp-link').first().click();
    assert.equal(await app.eval('selected'), id);
    await showPerson(app, other);
    await assertPanelShape(`${label}: relative row`);

    // Header search with the hostile text typed in, and the edit form filled back from the record.
    await app.fill('#search', text);
    const drop = await app.run(() => !$('searchdrop').classList.contains('hidden'));
    if (drop) {
      assert.deepEqual((await overflow('#searchdrop')).out, [], label);
      assert.equal((await overflow('#searchdrop')).scrolls, false, label);
      const names = await app.run(() => [...$('searchdrop').querySelectorAll('[data-person] b')].map(b => b.textContent));
      assert.ok(names.includes(text.trim()), `${label}: found by its own name`);
    }
    await app.press('Escape', '#search');
    await app.call('openPersonModal', id);
    assert.deepEqual(await app.run(ids => ids.map(i => $(i).value), TEXT_FIELDS), Array(TEXT_FIELDS.length).fill(text.trim()));
    assert.deepEqual((await overflow('#modalLayer .modal')).out, [], label);
    await closeDialog(app);
    await app.page.waitForTimeout(50);
    assert.deepEqual(await injected(), CLEAN);
  });

test('hostile person ids and names in every choice list, picker and dialog', async () => {
  const evilId = '"><img src=x onerror=window.__pwned=7>';
  await app.run(evilId => {
    replaceFamily([[evilId, { id: evilId, name: '<b>bold</b>', birth: '"1900"', birthPlace: '<i>x</i>', sources: [], events: [] }],
      ['p2', { id: 'p2', name: `Base "quoted" <Person>`, sources: [], events: [] }],
      ['p3', { id: 'p3', name: 'محمد \u202Eevil', sources: [], events: [] }]],
    [{ a: 'p2', b: evilId, type: 'spouse' }, { a: 'p2', b: 'p3', type: 'parent' }]);
    setViewState({ focus: 'p2', selected: 'p2', rootPersonId: 'p2' });
    update();
  }, evilId);
  await showPerson(app, 'p2');
  await app.page.locator('#sideBody a.pp-link', { hasText: '<b>bold</b>' }).click();
  assert.equal(await app.eval('selected'), evilId);
  await showPerson(app, 'p2');

  await panelButton(app, 'Link existing').click();
  assert.deepEqual(await app.run(() => [...$('linkTo').options].map(o => [o.value, o.textContent])),
    [[evilId, '<b>bold</b> ("1900")'], ['p3', 'محمد \u202Eevil (?)']]);
  await closeDialog(app);

  await panelButton(app, '+ Child').click();
  assert.deepEqual(await app.run(() => [...$('quickChildPartner').options].map(o => o.value)), ['', evilId, 'p3', 'new']);
  assert.equal(await app.run(() => $('quickChildPartner').value), evilId);
  await app.fill('#klnFindExistingInput', '<');
  await app.page.locator('#klnFindExistingChoices .kln-profile-result').first().click();
  assert.equal(await app.textContent('#klnFindExistingPicked'), 'Selected: <b>bold</b> · "1900"');
  assert.deepEqual((await overflow('#modalLayer .modal')).out, []);
  await dialogButton(app, 'More profile details').click();
  assert.equal(await app.run(() => $('choosePartner').value), evilId);
  await closeDialog(app);

  await panelButton(app, '+ Sibling').click();
  assert.deepEqual(await app.run(() => [...$('siblingParentB').options].map(o => o.value)), ['', evilId, 'p3', 'new']);
  await closeDialog(app);
  await app.fill('#search', 'bold');
  await app.page.locator('#searchdrop [data-person]').first().click();
  assert.equal(await app.eval('selected'), evilId);
  assert.deepEqual(await injected(), CLEAN);
});

test('names isolated from each other: a right-to-left override in one name does not reorder the row', async () => {
  const ids = await app.build(['Kid', '\u202Eevil override', 'Second Parent'],
    [['\u202Eevil override', 'Kid', 'parent'], ['Second Parent', 'Kid', 'parent']]);
  await showPerson(app, ids.Kid);
  const [first, second] = await app.run(() => [...$('sideBody').querySelectorAll('a.pp-link')].slice(0, 2)
    .map(a => a.getBoundingClientRect().left));
  assert.ok(first < second, `${first} < ${second}`);
  await app.fill('#search', 'e');
  const lines = await app.run(() => [...$('searchdrop').querySelectorAll('[data-person] b')].map(b => b.getBoundingClientRect().top));
  assert.deepEqual(lines, [...lines].sort((a, b) => a - b));
  await app.press('Escape', '#search');
});
