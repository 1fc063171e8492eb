// Relationship rules: addEdge refusals and results, siblings, family groups, linking siblings, parent roles.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ enter: false });

// Three generations: G is a parent of P, P a parent of K; A and B are unrelated.
const LINE = [['G', 'P', 'parent'], ['P', 'K', 'parent']];

// Runs addEdge on keys of `ids` and reports the result, the records it added, the expanded set before and
// after, and the calls it made to scheduleSave and update.
async function tryEdge(ids, a, b, type, source) {
  const { result, calls } = await app.runCounting(['scheduleSave', 'update'], ({ ids, a, b, type, source }) => {
    const id = k => (k in ids ? ids[k] : k);
    const before = JSON.stringify(edges);
    const expandedBefore = [...expanded].sort();
    const args = [id(a), id(b), type];
    if (source !== undefined) args.push(source);
    const result = addEdge(...args);
    return { result, changed: JSON.stringify(edges) !== before, added: edges.slice(JSON.parse(before).length),
      expandedBefore, expandedAfter: [...expanded].sort() };
  }, { ids, a, b, type, source });
  return { ...result, saves: calls.scheduleSave, updates: calls.update };
}

const refusals = [
  ['a link to oneself', [], 'A', 'A', 'spouse'],
  ['a parent link to oneself', [], 'A', 'A', 'parent'],
  ['an unknown first end', [], 'nobody', 'A', 'spouse'],
  ['an unknown second end', [], 'A', 'nobody', 'parent'],
  ['a missing end', [], 'A', null, 'sibling'],
  ['another type', [], 'A', 'B', 'cousin'],
  ['a type in other case', [], 'A', 'B', 'Parent'],
  ['no type', [], 'A', 'B', undefined],
  ['a grandchild as parent of the grandparent', LINE, 'K', 'G', 'parent'],
  ['a child as parent of its parent (reverse of a link)', LINE, 'P', 'G', 'parent'],
  ['a grandchild as parent of its parent', LINE, 'K', 'P', 'parent'],
  ['the same parent link again', LINE, 'G', 'P', 'parent'],
  ['a spouse link again', [['A', 'B', 'spouse']], 'A', 'B', 'spouse'],
  ['a spouse link in the other direction', [['A', 'B', 'spouse']], 'B', 'A', 'spouse'],
  ['a sibling link in the other direction', [['A', 'B', 'sibling']], 'B', 'A', 'sibling'],
  ['a cycle beside a spouse link', [...LINE, ['G', 'A', 'spouse']], 'K', 'G', 'parent'],
];

for (const [what, links, a, b, type] of refusals)
  test(`addEdge refuses ${what}`, async () => {
    const ids = await app.build(['G', 'P', 'K', 'A', 'B'], links);
    const r = await tryEdge(ids, a, b, type);
    assert.equal(r.result, false);
    assert.equal(r.changed, false);
    assert.deepEqual(r.expandedAfter, r.expandedBefore);
    assert.equal(r.saves, 0);
  });

const acceptances = [
  ['a grandparent as parent of the grandchild (no cycle)', LINE, 'G', 'K', 'parent'],
  ['a sibling link beside a spouse link', [['A', 'B', 'spouse']], 'A', 'B', 'sibling'],
  ['a spouse link beside a sibling link', [['A', 'B', 'sibling']], 'B', 'A', 'spouse'],
  ['a parent link beside a spouse link', [['A', 'B', 'spouse']], 'A', 'B', 'parent'],
  ['a second parent for a child', LINE, 'A', 'K', 'parent'],
  ['a parent link between unrelated lines', LINE, 'K', 'A', 'parent'],
];

for (const [what, links, a, b, type] of acceptances)
  test(`addEdge accepts ${what}`, async () => {
    const ids = await app.build(['G', 'P', 'K', 'A', 'B'], links);
    const r = await tryEdge(ids, a, b, type);
    assert.equal(r.result, true);
    assert.deepEqual(r.added, [{ a: ids[a], b: ids[b], type, source: 'manual' }]);
  });

test('addEdge appends {a, b, type, source} without a role, expands both ends, schedules a save', async () => {
  const ids = await app.build(['A', 'B', 'C']);
  await app.run(() => { expanded = new Set(); });
  const r = await tryEdge(ids, 'A', 'B', 'parent', 'GEDCOM');
  assert.deepEqual(r.added, [{ a: ids.A, b: ids.B, type: 'parent', source: 'GEDCOM' }]);
  assert.deepEqual(r.expandedAfter, [ids.A, ids.B].sort());
  assert.equal(r.saves, 1);
  assert.equal(r.updates, 0, 'addEdge leaves the refresh to its caller');
  await app.run(() => { bulkImport = true; });
  const quiet = await tryEdge(ids, 'B', 'C', 'spouse');
  await app.run(() => { bulkImport = false; });
  assert.equal(quiet.result, true);
  assert.equal(quiet.saves, 0, 'no save is scheduled while bulkImport is set');
});

test('the cycle test follows every branch below the new child', async () => {
  // R has two children; the second one's line leads to D. Making D a parent of R must be refused.
  const ids = await app.build(['R', 'X', 'Y', 'Z', 'D'],
    [['R', 'X', 'parent'], ['R', 'Y', 'parent'], ['Y', 'Z', 'parent'], ['Z', 'D', 'parent']]);
  assert.equal((await tryEdge(ids, 'D', 'R', 'parent')).result, false);
  assert.equal((await tryEdge(ids, 'X', 'D', 'parent')).result, true);
  assert.equal((await tryEdge(ids, 'D', 'X', 'parent')).result, false);
});

test('the cycle test does not overflow on a 20,000-generation line', async () => {
  const r = await app.run(() => {
    persons.clear();
    try { edges = []; } catch { edges.length = 0; }
    bulkImport = true;
    try {
      const ids = Array.from({ length: 20000 }, (_, i) => addPerson({ name: 'G' + i }));
      for (let i = 1; i < ids.length; i++) addEdge(ids[i - 1], ids[i], 'parent');
      return [edges.length, addEdge(ids[ids.length - 1], ids[0], 'parent'), addEdge(ids[0], ids[ids.length - 1], 'parent')];
    } finally {
      bulkImport = false;
      persons.clear();
      try { edges = []; } catch { edges.length = 0; }
      update();
    }
  });
  assert.deepEqual(r, [19999, false, true]);
});

// C has parents P and Q; F is a full sibling, H1 a half sibling through P, H2 through Q; S is linked to C
// as a sibling and T to S only.
const FAMILY = {
  people: ['P', 'Q', 'R', 'C', 'F', 'H1', 'H2', 'S', 'T', 'Lone'],
  links: [['P', 'F', 'parent'], ['P', 'C', 'parent'], ['Q', 'C', 'parent'], ['Q', 'F', 'parent'],
    ['R', 'H1', 'parent'], ['P', 'H1', 'parent'], ['Q', 'H2', 'parent'], ['C', 'S', 'sibling'],
    ['S', 'T', 'sibling'], ['P', 'Q', 'spouse'], ['R', 'P', 'spouse']],
};

const siblingCases = [
  ['C', ['S', 'F', 'H1', 'H2']],
  ['F', ['C', 'H1', 'H2']],
  ['H1', ['F', 'C']],
  ['S', ['C', 'T']],
  ['T', ['S']],
  ['Lone', []],
  ['P', []],
];

for (const [who, expected] of siblingCases)
  test(`getSiblings(${who}): explicit links first, then children of each parent, once each`, async () => {
    const ids = await app.build(FAMILY.people, FAMILY.links);
    const names = Object.fromEntries(Object.entries(ids).map(([k, v]) => [v, k]));
    const got = await app.call('getSiblings', ids[who]);
    assert.deepEqual(got.map(id => names[id] || id), expected);
  });

test('getSiblings of an unknown id is empty; a removed person is not listed', async () => {
  const ids = await app.build(FAMILY.people, FAMILY.links);
  assert.deepEqual(await app.call('getSiblings', 'nobody'), []);
  const got = await app.run(ids => { persons.delete(ids.H2); return getSiblings(ids.C); }, ids);
  assert.deepEqual(got, [ids.S, ids.F, ids.H1]);
});

test('familyGroup lists parents, children, siblings and spouses in list order', async () => {
  const ids = await app.build(FAMILY.people, FAMILY.links);
  const names = Object.fromEntries(Object.entries(ids).map(([k, v]) => [v, k]));
  const group = async who => {
    const g = await app.call('familyGroup', ids[who]);
    return Object.fromEntries(Object.entries(g).map(([k, list]) => [k, list.map(id => names[id])]));
  };
  assert.deepEqual(await group('C'), { parents: ['P', 'Q'], children: [], siblings: ['S', 'F', 'H1', 'H2'], spouses: [] });
  assert.deepEqual(await group('P'), { parents: [], children: ['F', 'C', 'H1'], siblings: [], spouses: ['Q', 'R'] });
  assert.deepEqual(await app.call('familyGroup', 'nobody'), { parents: [], children: [], siblings: [], spouses: [] });
});

test('linkSibling with two parents adds two parent links and no sibling link; again adds nothing', async () => {
  const ids = await app.build(['M', 'N', 'A', 'B'], [['M', 'A', 'parent'], ['N', 'A', 'parent']]);
  const first = await app.run(ids => [linkSibling(ids.A, ids.B), edges.slice(2)], ids);
  assert.deepEqual(first, [true, [{ a: ids.M, b: ids.B, type: 'parent', source: 'manual' },
    { a: ids.N, b: ids.B, type: 'parent', source: 'manual' }]]);
  assert.deepEqual(await app.run(ids => [linkSibling(ids.A, ids.B), edges.length], ids), [true, 4]);
});

test('linkSibling without parents adds one sibling link; again adds nothing', async () => {
  const ids = await app.build(['A', 'B']);
  assert.deepEqual(await app.run(ids => [linkSibling(ids.A, ids.B), edges], ids),
    [true, [{ a: ids.A, b: ids.B, type: 'sibling', source: 'manual' }]]);
  assert.deepEqual(await app.run(ids => [linkSibling(ids.A, ids.B), linkSibling(ids.B, ids.A), edges.length], ids),
    [true, true, 1]);
});

const siblingRefusals = [
  ['oneself', [], 'A', 'A'],
  ['an unknown person', [], 'A', 'nobody'],
  ['the parent of a shared parent (a cycle)', [['M', 'A', 'parent'], ['B', 'M', 'parent']], 'A', 'B'],
];

for (const [what, links, a, b] of siblingRefusals)
  test(`linkSibling refuses ${what}`, async () => {
    const ids = await app.build(['M', 'A', 'B'], links);
    const r = await app.run(({ ids, a, b }) => [linkSibling(ids[a] || a, ids[b] || b), edges.length], { ids, a, b });
    assert.deepEqual(r, [false, links.length]);
  });

test('parent roles: stored role, then sex, then position among the child\'s parent links', async () => {
  const ids = await app.build(['X', 'Y', 'Z', 'K', 'Other'],
    [['X', 'K', 'parent'], ['Y', 'K', 'parent'], ['Z', 'K', 'parent']]);
  const roles = () => app.run(ids => ['X', 'Y', 'Z', 'Other'].map(p => parentRoleFor(ids.K, ids[p])), ids);
  assert.deepEqual(await roles(), ['father', 'mother', null, null]);
  await app.run(ids => { persons.get(ids.Y).sex = 'M'; }, ids);
  assert.deepEqual(await roles(), ['father', 'father', null, null], 'sex goes before position');
  await app.run(ids => { persons.get(ids.Y).sex = 'f'; persons.get(ids.Z).sex = 'm'; }, ids);
  assert.deepEqual(await roles(), ['father', 'mother', 'father', null], 'sex compared upper-cased');
  await app.run(ids => { persons.get(ids.Z).sex = 'U'; edges.find(e => e.a === ids.X).role = 'mother'; }, ids);
  assert.deepEqual(await roles(), ['mother', 'mother', null, null], 'a stored role goes before everything');
  assert.equal(await app.call('parentRoleFor', 'nobody', ids.X), null);
  assert.equal(await app.call('parentRoleFor', ids.K, 'nobody'), null);
});

const roleSettings = [
  // [what, parent sex before, role, setNewSex, result, stored role, sex after]
  ['father with setNewSex on an unknown sex', '', 'father', true, true, 'father', 'M'],
  ['mother with setNewSex on an unknown sex', '', 'mother', true, true, 'mother', 'F'],
  ['mother with setNewSex on sex "M" (sex never changed)', 'M', 'mother', true, true, 'mother', 'M'],
  ['mother without setNewSex', '', 'mother', false, true, 'mother', ''],
  ['an unknown role', '', 'parent', true, false, undefined, ''],
  ['a role in other case', '', 'Father', true, false, undefined, ''],
];

for (const [what, sex, role, setNewSex, result, stored, sexAfter] of roleSettings)
  test(`setParentRole: ${what}`, async () => {
    const ids = await app.build([{ name: 'Par', sex }, 'Kid'], [['Par', 'Kid', 'parent']]);
    const r = await app.run(({ ids, role, setNewSex }) => {
      const ok = setParentRole(ids.Par, ids.Kid, role, setNewSex);
      return [ok, edges[0].role, persons.get(ids.Par).sex, parentRoleFor(ids.Kid, ids.Par)];
    }, { ids, role, setNewSex });
    assert.deepEqual(r.slice(0, 3), [result, stored, sexAfter]);
    if (result) assert.equal(r[3], role);
  });

test('setParentRole without a parent link, or with unknown ids, stores nothing', async () => {
  const ids = await app.build(['Par', 'Kid', 'Stranger'], [['Par', 'Kid', 'parent']]);
  const r = await app.run(ids => [setParentRole(ids.Stranger, ids.Kid, 'father', true),
    setParentRole(ids.Kid, ids.Par, 'father'), setParentRole('nobody', 'none', 'mother'),
    JSON.stringify(edges), persons.get(ids.Stranger).sex], ids);
  assert.deepEqual(r, [false, false, false, JSON.stringify([{ a: ids.Par, b: ids.Kid, type: 'parent', source: 'manual' }]), '']);
});

test('setParentRole schedules a save, except while bulkImport is set', async () => {
  const ids = await app.build(['Par', 'Kid'], [['Par', 'Kid', 'parent']]);
  const set = bulk => app.runCounting(['scheduleSave'], ({ ids, bulk }) => {
    bulkImport = bulk;
    try { return setParentRole(ids.Par, ids.Kid, 'mother'); } finally { bulkImport = false; }
  }, { ids, bulk });
  assert.deepEqual(await set(false), { result: true, calls: { scheduleSave: 1 } });
  assert.deepEqual(await set(true), { result: true, calls: { scheduleSave: 0 } });
});

const nextRoleCases = [
  ['no parents', [], {}, 'father'],
  ['one parent (first position: father)', ['X'], {}, 'mother'],
  ['two parents', ['X', 'Y'], {}, null],
  ['one mother by sex', ['X'], { X: 'F' }, 'father'],
  ['two mothers by sex', ['X', 'Y'], { X: 'F', Y: 'F' }, 'father'],
  ['two fathers by sex', ['X', 'Y'], { X: 'M', Y: 'M' }, 'mother'],
];

for (const [what, parents, sexes, expected] of nextRoleCases)
  test(`nextParentRole with ${what}`, async () => {
    const people = ['X', 'Y', 'Kid'].map(name => ({ name, sex: sexes[name] || '' }));
    const ids = await app.build(people, parents.map(p => [p, 'Kid', 'parent']));
    assert.equal(await app.call('nextParentRole', ids.Kid), expected);
  });
