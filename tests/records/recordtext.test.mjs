// The incremental texts of the people and links: whatever happens to the records (in place, deep inside,
// by replacing them, by moving them), the texts put together from the remembered pieces must be exactly
// what serialising the whole tree gives, since the edit history and storage use them in its place.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

// Applies each step in the page and, after each, compares the incremental texts with a full serialisation
// (twice: the second reading comes from what the first remembered).
const compare = label => app.run(label => {
  const people = recordListText(peopleTexts(persons));
  const links = recordListText(linkTexts(edges));
  const wantPeople = JSON.stringify(storedPersons(persons)), wantLinks = JSON.stringify(edges);
  return people === wantPeople && links === wantLinks ? null : `${label}: ${people === wantPeople ? 'links' : 'people'} differ`;
}, label);

async function afterEachStep(setup, steps) {
  await app.page.evaluate(setup);
  const faults = [await compare('after setup')];
  for (const [label, body] of steps) {
    await app.page.evaluate(body);
    faults.push(await compare(label), await compare(label + ' (read again)'));
  }
  return faults.filter(Boolean);
}

const small = `{
  bulkImport = true;
  try {
    window.t = {};
    for (const name of ['Ann', 'Bob', 'Cid', 'Dee']) t[name] = addPerson({ name });
    addEdge(t.Ann, t.Bob, 'spouse');
    addEdge(t.Ann, t.Cid, 'parent');
    addEdge(t.Bob, t.Cid, 'parent');
  } finally {
    bulkImport = false;
  }}`;

const stepCases = [
  ['a renamed person', 'persons.get(t.Ann).name = "Ann Marie"'],
  ['a nested value set, then changed in place', 'persons.get(t.Bob).orbOffset2D = { x: 1, y: 2 }'],
  ['…changed in place', 'persons.get(t.Bob).orbOffset2D.x = 5'],
  ['a list grown in place', 'persons.get(t.Cid).events.push({ type: "BIRT", date: "1900" })'],
  ['a value deep in a list changed in place', 'persons.get(t.Cid).events[0].date = "1901"'],
  ['a field removed', 'delete persons.get(t.Ann).bio'],
  ['a field added back at the end (key order changes the text)', 'persons.get(t.Ann).bio = ""'],
  ['a person replaced by an equal copy', 'persons.set(t.Dee, JSON.parse(JSON.stringify(persons.get(t.Dee))))'],
  ['a value that is not plain data, changed in place', 'persons.get(t.Dee).when = new Date(0)'],
  ['…changed in place', 'persons.get(t.Dee).when.setFullYear(1999)'],
  ['a number that JSON writes as null', 'persons.get(t.Dee).size = NaN'],
  ['the same record under a new id', 'const p = persons.get(t.Dee); persons.delete(t.Dee); persons.set("moved", p)'],
  ['an integer-like id (the people are stored as pairs)', 'persons.set("10", { id: "10", name: "Ten" })'],
  ['the integer-like id gone again', 'persons.delete("10")'],
  ['a link changed in place', 'edges[0].type = "spouse"; edges[0].role = "partner"'],
  ['a link removed from the middle', 'edges.splice(1, 1); rebuildEdgeIndex()'],
  ['a link added', 'addEdge(t.Ann, t.Cid, "parent")'],
  ['all people gone', 'persons.clear(); edges = []'],
];

test('incremental texts equal a full serialisation after every kind of change', async () => {
  assert.deepEqual(await afterEachStep(small, stepCases), []);
});

// A tree of many runs: a change, a removal and an insertion in the middle shift the runs after it.
const large = `{
  bulkImport = true;
  try {
    window.ids = [];
    for (let i = 0; i < 2600; i++) ids.push(addPerson({ name: 'Person ' + i }));
    for (let i = 1; i < ids.length; i++) addEdge(ids[i - 1], ids[i], 'parent');
  } finally {
    bulkImport = false;
  }}`;

test('incremental texts of a tree of several runs stay exact when runs change and shift', async () => {
  assert.deepEqual(await afterEachStep(large, [
    ['a person in the second run renamed', 'persons.get(ids[1500]).name = "Renamed"'],
    ['a person of the first run removed', 'persons.delete(ids[10]); edges = edges.filter(e => e.a !== ids[10] && e.b !== ids[10])'],
    ['links of the last run changed in place', 'for (const e of edges.slice(-5)) e.type = "spouse"'],
    ['people appended', 'for (let i = 0; i < 5; i++) persons.set("n" + i, { id: "n" + i, name: "New " + i })'],
  ]), []);
});

test('two states with the same text compare equal even when made apart; a change back is no change', async () => {
  await app.page.evaluate(large);
  const r = await app.run(() => {
    const first = peopleTexts(persons);
    const p = persons.get(ids[1500]);
    const name = p.name;
    p.name = 'Changed';
    const changed = peopleTexts(persons);
    p.name = name;
    const back = peopleTexts(persons);
    return [sameRecordTexts(first, changed), sameRecordTexts(first, back), back.length === JSON.stringify(storedPersons(persons)).length];
  });
  assert.deepEqual(r, [false, true, true]);
});
