// Adding people: the sixteen-field record with its defaults, view state of a new person, insertion order.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ enter: false });

const FIELDS = ['id', 'name', 'birth', 'death', 'sex', 'birthPlace', 'deathPlace', 'residence', 'occupation',
  'bio', 'notes', 'photo', 'events', 'sources', 'external', 'privacy'];

const EMPTY_PERSON = { name: 'Unknown ancestor', birth: '', death: '', sex: '', birthPlace: '', deathPlace: '',
  residence: '', occupation: '', bio: '', notes: '', photo: '', events: [], sources: [], external: {},
  privacy: 'unknown' };

const FULL_INPUT = { name: 'Ada Byron', birth: '10 DEC 1815', death: '27 NOV 1852', sex: 'F',
  birthPlace: 'London', deathPlace: 'Marylebone', residence: 'Ockham', occupation: 'Mathematician',
  bio: 'Wrote the first program.', notes: 'Line one\nLine two', photo: 'data:image/png;base64,iVBORw0KGgo=',
  events: [{ when: '1835', text: 'Married' }], sources: [{ title: 'Register', url: '', detail: 'p. 4' }],
  external: { ref: 'A1' }, privacy: 'deceased' };

// Adds one person to an empty tree and returns the record, the id and the view state afterwards.
function addToEmptyTree(input, noArgument = false) {
  return app.run(({ input, noArgument }) => {
    persons.clear();
    try { edges = []; } catch { edges.length = 0; }
    focus = selected = rootPersonId = null;
    expanded = new Set();
    const id = noArgument ? addPerson() : addPerson(input);
    const p = persons.get(id);
    return { id, keys: Object.keys(p), p, focus, rootPersonId, selected, expanded: [...expanded] };
  }, { input, noArgument });
}

const recordCases = [
  ['an empty input', {}, {}],
  ['empty texts', { name: '', sex: '', privacy: '', notes: '' }, {}],
  ['null fields', { name: null, birth: null, privacy: null }, {}],
  ['lists given as text', { sources: 'Parish register', events: 'born 1850' }, {}],
  ['an id and unknown keys (not copied)', { id: 'p-given', favourite: 'tea', orbStyle: { size: 2 } }, {}],
  ['every field', FULL_INPUT, FULL_INPUT],
  ['a sex code from a file, kept as it is', { name: 'Pat', sex: 'u' }, { name: 'Pat', sex: 'u' }],
];

for (const [what, input, fields] of recordCases)
  test(`addPerson with ${what}`, async () => {
    const r = await addToEmptyTree(input);
    assert.deepEqual(r.keys, FIELDS);
    assert.deepEqual(r.p, { id: r.id, ...EMPTY_PERSON, ...fields });
    assert.notEqual(r.id, 'p-given');
  });

test('addPerson without an argument makes "Unknown ancestor", who becomes focus, root and selection', async () => {
  const r = await addToEmptyTree(undefined, true);
  assert.deepEqual(r.p, { id: r.id, ...EMPTY_PERSON });
  assert.deepEqual([r.focus, r.rootPersonId, r.selected, r.expanded], [r.id, r.id, r.id, [r.id]]);
});

test('addPerson keeps the lists it is given, not copies', async () => {
  assert.deepEqual(await app.run(() => {
    const events = [{ when: '1900', text: 'Born' }], sources = [];
    const p = persons.get(addPerson({ events, sources }));
    return [p.events === events, p.sources === sources];
  }), [true, true]);
});

test('a later person becomes selected and expanded; focus and root stay', async () => {
  const ids = await app.build(['First']);
  const r = await app.run(() => {
    const id = addPerson({ name: 'Second' });
    return { id, focus, rootPersonId, selected, expanded: [...expanded] };
  });
  assert.deepEqual([r.focus, r.rootPersonId, r.selected], [ids.First, ids.First, r.id]);
  assert.deepEqual(r.expanded.sort(), [ids.First, r.id].sort());
});

test('addPerson refreshes the page, except while bulkImport is set', async () => {
  await app.emptyTree();
  const add = (name, bulk) => app.runCounting(['update'], ({ name, bulk }) => {
    bulkImport = bulk;
    try { addPerson({ name }); } finally { bulkImport = false; }
    return $('branchTitle').textContent;
  }, { name, bulk });
  assert.deepEqual(await add('Refreshed', false), { result: 'Refreshed', calls: { update: 1 } });
  assert.deepEqual(await add('Quiet', true), { result: 'Refreshed', calls: { update: 0 } });
});

// Ways a tree comes back into `persons`: the loader given a map or a list of pairs, and the stored tree
// record after the round trips of the two stores (structured clone for IndexedDB, JSON for localStorage and
// backups).
const NUMERIC_IDS = ['10', '2', '1', 'b', 'a'];
const loadCases = [
  ['a Map', 'new Map(people)'],
  ['a list of [id, record] pairs', 'people'],
  ['the stored record after a structured clone', 'structuredClone(treeData()).persons'],
  ['the stored record after JSON', 'JSON.parse(JSON.stringify(treeData())).persons'],
];

for (const [what, expression] of loadCases)
  test(`the tree loader keeps the order of ids that look like numbers: ${what}`, async () => {
    const r = await app.run(`(() => {
      const people = ${JSON.stringify(NUMERIC_IDS)}.map(id => [id, { id, name: 'N' + id }]);
      persons = new Map(people);
      const stored = ${expression};
      replaceFamily(stored, []);
      focus = selected = rootPersonId = null;
      update();
      return { keys: [...persons.keys()], focus };
    })()`);
    assert.deepEqual(r, { keys: NUMERIC_IDS, focus: '10' });
  });

test('a reloaded tree keeps the order of ids that look like numbers', async t => {
  if (await app.eval('typeof workspaceDB') !== 'function') return t.skip('trees are not stored yet');
  await app.run(async ids => {
    replaceFamily(ids.map(id => [id, { id, name: 'N' + id }]), [{ a: '10', b: '1', type: 'parent', source: 'manual' }]);
    focus = selected = rootPersonId = null;
    update();
    await save();
  }, NUMERIC_IDS);
  await app.relaunch();
  assert.deepEqual(await app.run(() => [[...persons.keys()], focus, edges.length]), [NUMERIC_IDS, '10', 1]);
});

const linkCases = [
  ['links whose ends are missing or equal are dropped, the rest kept in order',
    [{ a: 'A', b: 'B', type: 'spouse' }, { a: 'A', b: 'Z', type: 'parent' }, { a: 'B', b: 'B', type: 'sibling' },
      { a: 'Z', b: 'A', type: 'parent' }, null, 'text', { a: 'B', b: 'A', type: 'parent', source: 'GEDCOM', role: 'father' }],
    [{ a: 'A', b: 'B', type: 'spouse' }, { a: 'B', b: 'A', type: 'parent', source: 'GEDCOM', role: 'father' }]],
  ['a list that is not a list gives no links', { 0: { a: 'A', b: 'B', type: 'spouse' } }, []],
  ['no list gives no links', undefined, []],
];

for (const [what, links, expected] of linkCases)
  test(`the tree loader: ${what}`, async () => {
    const r = await app.run(links => {
      replaceFamily([['A', { id: 'A', name: 'A' }], ['B', { id: 'B', name: 'B' }]], links);
      const kept = edges.slice();
      update();
      return { kept, spouses: familyGroup('A').spouses };
    }, links);
    assert.deepEqual(r.kept, expected);
    assert.deepEqual(r.spouses, expected.some(e => e.type === 'spouse') ? ['B'] : []);
  });

test('update repairs focus, selection and root that no longer name a person', async () => {
  const ids = await app.build(['A', 'B', 'C']);
  const state = () => app.run(() => [focus, selected, rootPersonId]);
  await app.run(ids => { focus = ids.B; selected = ids.C; rootPersonId = ids.C; persons.delete(ids.B); update(); }, ids);
  assert.deepEqual(await state(), [ids.A, ids.C, ids.C], 'focus falls back to the first person');
  await app.run(ids => { persons.delete(ids.C); update(); }, ids);
  assert.deepEqual(await state(), [ids.A, ids.A, ids.A], 'selection and root follow the focus');
  await app.run(ids => { persons.delete(ids.A); persons.set(ids.A, { id: ids.A, name: 'A again' }); update(); }, ids);
  assert.deepEqual(await state(), [ids.A, ids.A, ids.A]);
  await app.run(() => { persons.clear(); update(); });
  assert.deepEqual(await state(), [null, null, null]);
});

test('the earliest inserted person still present is the fallback focus', async () => {
  const ids = await app.build(['A', 'B', 'C']);
  assert.equal(await app.run(ids => { persons.delete(ids.A); focus = 'gone'; update(); return focus; }, ids), ids.B);
});
