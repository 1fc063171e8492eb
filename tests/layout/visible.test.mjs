// Visible family: connected groups, step distances, ancestors, the spouse pass, the visible set with the
// generation slider and the descendants switch, the header counts, applying the scope and returning home.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

// Names of the visible people, sorted.
const visibleNames = () => app.run(() => displayed().map(id => persons.get(id).name).sort());
const sorted = list => list.slice().sort();

// H is home. P1, P2 parents (a couple); GP1, GP2 parents of P1 (a couple); GP3 parent of P2 and married to
// GX; S sibling of H (also by an explicit record, so one step away) married to SS; HS married to H, with a parent HP; K child of H married to KS.
const FAMILY = {
  people: ['H', 'P1', 'P2', 'GP1', 'GP2', 'GP3', 'GX', 'S', 'SS', 'HS', 'HP', 'K', 'KS'],
  links: [
    ['P1', 'H', 'parent'], ['P2', 'H', 'parent'], ['P1', 'P2', 'spouse'],
    ['GP1', 'P1', 'parent'], ['GP2', 'P1', 'parent'], ['GP1', 'GP2', 'spouse'],
    ['GP3', 'P2', 'parent'], ['GP3', 'GX', 'spouse'],
    ['P1', 'S', 'parent'], ['P2', 'S', 'parent'], ['H', 'S', 'sibling'], ['S', 'SS', 'spouse'],
    ['H', 'HS', 'spouse'], ['HP', 'HS', 'parent'],
    ['H', 'K', 'parent'], ['K', 'KS', 'spouse'],
  ],
};

async function setSlider(value) {
  await app.page.locator('#generationRange').fill(String(value));
}

async function setDescendants(on) {
  const box = app.page.locator('#showDescendants');
  if (await box.isChecked() !== on) await box.click();
}

test('connected groups are listed largest first, ties in discovery order, each breadth first', async () => {
  await app.build(['C', 'A', 'B', 'D', 'E', 'F', 'G', 'I'],
    [['A', 'B', 'spouse'], ['E', 'F', 'sibling'], ['D', 'E', 'parent'], ['I', 'G', 'sibling']]);
  const groups = await app.run(() => getConnectivity().components.map(c => c.map(id => persons.get(id).name)));
  assert.deepEqual(groups, [['D', 'E', 'F'], ['A', 'B'], ['G', 'I'], ['C']]);
});

test('the connectivity record is reused until its key changes, and a new link empties the key', async () => {
  const ids = await app.build(['A', 'B', 'C'], [['A', 'B', 'parent']]);
  const r = await app.run(ids => {
    const first = getConnectivity();
    const same = getConnectivity() === first;
    addEdge(ids.B, ids.C, 'spouse');
    const after = getConnectivity();
    return { same, renewed: after !== first, sizes: after.components.map(c => c.length), key: after.key.split(':') };
  }, ids);
  assert.equal(r.same, true);
  assert.equal(r.renewed, true);
  assert.deepEqual(r.sizes, [3]);
  assert.deepEqual(r.key.slice(1), ['3', ids.A, ids.C, '2']);
});

test('connectedPeople gives a copy of the group, and nothing for an empty or unknown start', async () => {
  const ids = await app.build(['A', 'B', 'Lone'], [['A', 'B', 'sibling']]);
  const r = await app.run(ids => {
    const group = connectedPeople(ids.B);
    group.push('changed');
    return { group: connectedPeople(ids.B).length, lone: connectedPeople(ids.Lone), empty: connectedPeople(''),
      unknown: connectedPeople('nobody') };
  }, ids);
  assert.deepEqual(r, { group: 2, lone: [ids.Lone], empty: [], unknown: [] });
});

test('step distances use only relationships between the given people', async () => {
  const ids = await app.build(['A', 'B', 'C', 'D'], [['A', 'B', 'spouse'], ['B', 'C', 'parent'], ['C', 'D', 'sibling']]);
  const steps = all => app.run(({ ids, all }) => Object.fromEntries([...connectedDepths(ids.A, all.map(k => ids[k]))]
    .map(([id, d]) => [persons.get(id).name, d])), { ids, all });
  assert.deepEqual(await steps(['A', 'B', 'C', 'D']), { A: 0, B: 1, C: 2, D: 3 });
  assert.deepEqual(await steps(['A', 'B', 'D']), { A: 0, B: 1 });
  assert.deepEqual(await steps(['B', 'C']), {});
});

test('ancestryPeople lists the anchor and its ancestors breadth first up to the given parent steps', async () => {
  const ids = await app.build(FAMILY.people, FAMILY.links);
  const names = levels => app.run(({ ids, levels }) =>
    (levels === null ? ancestryPeople(ids.H) : ancestryPeople(ids.H, levels)).map(id => persons.get(id).name),
  { ids, levels });
  assert.deepEqual(await names(null), ['H', 'P1', 'P2', 'GP1', 'GP2', 'GP3']);
  assert.deepEqual(await names(1), ['H', 'P1', 'P2']);
  assert.deepEqual(await names(0), ['H']);
  assert.deepEqual(await app.run(() => [ancestryPeople(''), ancestryPeople('nobody')]), [[], []]);
});

test('the spouse pass adds a spouse of an added spouse only when its record comes later', async () => {
  for (const [records, expected] of [
    [[['X', 'Y', 'spouse'], ['W', 'X', 'spouse']], ['W', 'X']],
    [[['W', 'X', 'spouse'], ['X', 'Y', 'spouse']], ['W', 'X', 'Y']],
  ]) {
    const ids = await app.build(['W', 'X', 'Y'], records);
    const names = await app.run(ids => withVisibleSpouses([ids.W]).map(id => persons.get(id).name), ids);
    assert.deepEqual(names, expected);
  }
});

test('a tree of one person: maximum 1, slider at 1 labelled All, one visible, no links', async () => {
  await app.build(['Solo']);
  await app.run(() => refreshGenerationControls(true));
  assert.equal(await app.eval('generationMax'), 1);
  assert.equal(await app.page.locator('#generationRange').inputValue(), '1');
  assert.equal(await app.textContent('#generationNumber'), 'All');
  assert.equal(await app.page.locator('#generationRange').getAttribute('title'), 'All 1 generation steps');
  assert.equal(await app.textContent('#nodeCount'), '1');
  assert.equal(await app.textContent('#linkCount'), '0');
  assert.equal(await app.textContent('#simplePersonCount'), '1 people shown');
});

test('the command bar count follows a refresh after people are added or deleted', async () => {
  const ids = await app.build(['Ann', 'Bea'], [['Ann', 'Bea', 'parent']]);
  await app.run(() => refreshGenerationControls(true));
  assert.equal(await app.textContent('#simplePersonCount'), '2 people shown');
  await app.run(id => { const kid = addPerson({ name: 'Cy' }); addEdge(id, kid, 'parent'); update(); }, ids.Bea);
  assert.equal(await app.textContent('#simplePersonCount'), '3 people shown');
  await app.run(id => { persons.delete(id); edges = edges.filter(e => e.a !== id && e.b !== id); update(); }, ids.Bea);
  assert.equal(await app.textContent('#nodeCount'), await app.run(() => String(displayed().length)));
  assert.equal(await app.textContent('#simplePersonCount'), `${await app.textContent('#nodeCount')} people shown`);
});

const sliderCases = [
  ['slider at 1 with descendants: one step away and their spouses', 1, true,
    ['H', 'P1', 'P2', 'S', 'HS', 'K', 'SS', 'KS']],
  ['slider at 2 without descendants: ancestors two steps up and their spouses', 2, false,
    ['H', 'P1', 'P2', 'GP1', 'GP2', 'GP3', 'HS', 'GX']],
  ['slider at 1 without descendants: parents and the spouses', 1, false, ['H', 'P1', 'P2', 'HS']],
  ['all steps without descendants: every ancestor and the spouses', 'max', false,
    ['H', 'P1', 'P2', 'GP1', 'GP2', 'GP3', 'HS', 'GX']],
  ['all steps with descendants: the whole group', 'max', true, FAMILY.people],
];

for (const [what, steps, descendants, expected] of sliderCases) {
  test(`visible set, ${what}`, async () => {
    await app.build([...FAMILY.people, 'Stranger', 'Other'], [...FAMILY.links, ['Stranger', 'Other', 'spouse']]);
    await app.run(() => refreshGenerationControls(true));
    await setDescendants(descendants);
    await setSlider(steps === 'max' ? await app.eval('generationMax') : steps);
    assert.deepEqual(await visibleNames(), sorted(expected));
    assert.equal(await app.textContent('#nodeCount'), String(expected.length));
    assert.equal(await app.textContent('#simplePersonCount'), `${expected.length} people shown`);
    await setDescendants(true);
  });
}

test('a spouse whose only record is the marriage stays visible at every slider position and without descendants', async () => {
  await app.build(['H', 'Wife', 'Kid', 'Grandkid'], [['H', 'Wife', 'spouse'], ['H', 'Kid', 'parent'], ['Kid', 'Grandkid', 'parent']]);
  await app.run(() => refreshGenerationControls(true));
  for (const [steps, descendants] of [[1, true], [2, true], [1, false], [2, false]]) {
    await setDescendants(descendants);
    await setSlider(steps);
    assert.ok((await visibleNames()).includes('Wife'), `slider ${steps}, descendants ${descendants}`);
  }
  await setDescendants(true);
});

test('the slider moves generationDepth and the label; the descendants switch applies and saves the scope', async () => {
  await app.build(FAMILY.people, FAMILY.links);
  await app.run(() => refreshGenerationControls(true));
  assert.equal(await app.eval('generationMax'), 3);
  await setSlider(2);
  assert.equal(await app.eval('generationDepth'), 2);
  assert.equal(await app.textContent('#generationNumber'), '2');
  assert.equal(await app.page.locator('#generationRange').getAttribute('title'), '2 generation steps');
  const save = await app.countCalls('scheduleSave');
  try {
    await setDescendants(false);
    assert.equal(await app.eval('includeDescendants'), false);
    assert.ok(await save.count() >= 1);
  } finally {
    await save.restore();
  }
  await setDescendants(true);
  await setSlider(3);
  assert.equal(await app.textContent('#generationNumber'), 'All');
});

test('a slider value of 0 or not a number counts as 1', async () => {
  await app.build(FAMILY.people, FAMILY.links);
  await app.run(() => refreshGenerationControls(true));
  for (const value of [0, 'x', NaN]) {
    await app.call('setGenerationDepth', value);
    assert.equal(await app.eval('generationDepth'), 1);
  }
});

test('a child of the deepest person while the slider shows All grows the maximum and keeps All', async () => {
  const ids = await app.build(['H', 'K'], [['H', 'K', 'parent']]);
  await app.run(() => refreshGenerationControls(true));
  assert.equal(await app.eval('generationMax'), 1);
  await app.run(ids => {
    const g = addPerson({ name: 'G' });
    addEdge(ids.K, g, 'parent');
    refreshGenerationControls(false);
  }, ids);
  assert.deepEqual(await app.run(() => [generationMax, generationDepth]), [2, 2]);
  assert.equal(await app.textContent('#generationNumber'), 'All');
  assert.equal(await app.page.locator('#generationRange').getAttribute('max'), '2');
});

test('a depth below the maximum survives a deeper group; a depth that is not a number means All', async () => {
  const ids = await app.build(['H', 'K', 'G'], [['H', 'K', 'parent'], ['K', 'G', 'parent']]);
  await app.run(() => refreshGenerationControls(true));
  await setSlider(1);
  await app.run(ids => { addEdge(ids.G, addPerson({ name: 'GG' }), 'parent'); refreshGenerationControls(false); }, ids);
  assert.deepEqual(await app.run(() => [generationMax, generationDepth]), [3, 1]);
  await app.run(() => { restoreGenerationSettings(Infinity, true); refreshGenerationControls(false); });
  assert.deepEqual(await app.run(() => [generationMax, generationDepth]), [3, 3]);
});

test('a person of another group is never visible, whatever the slider and switch say', async () => {
  await app.build([...FAMILY.people, 'Stranger', 'Other'], [...FAMILY.links, ['Stranger', 'Other', 'parent']]);
  await app.run(() => refreshGenerationControls(true));
  for (const [steps, descendants] of [[1, true], [3, true], [3, false]]) {
    await setDescendants(descendants);
    await setSlider(steps);
    const names = await visibleNames();
    assert.ok(!names.includes('Stranger') && !names.includes('Other'));
  }
  await setDescendants(true);
});

test('a home person id naming a deleted person: the focus person acts as home', async () => {
  const ids = await app.build(['A', 'B', 'X', 'Y'], [['A', 'B', 'spouse'], ['X', 'Y', 'spouse']]);
  const names = await app.run(ids => {
    setViewState({ rootPersonId: 'p-deleted', focus: ids.X });
    return displayed().map(id => persons.get(id).name);
  }, ids);
  assert.deepEqual(names, ['X', 'Y']);
  assert.equal(await app.run(ids => { setViewState({ rootPersonId: ids.A }); return activeRootPersonId() === ids.A; }, ids), true);
});

test('no home person: only staged unlinked people are visible and the counts show 0', async () => {
  await app.emptyTree();
  await app.run(() => refreshGenerationControls(true));
  assert.deepEqual(await app.run(() => displayed()), []);
  assert.equal(await app.textContent('#nodeCount'), '0');
  assert.equal(await app.textContent('#linkCount'), '0');
  assert.equal(await app.eval('generationMax'), 1);
  assert.equal(await app.textContent('#generationNumber'), 'All');
});

test('the link count below 1,201 visible people is the number of parent records with both ends shown', async () => {
  await app.build(FAMILY.people, FAMILY.links);
  await app.run(() => { refreshGenerationControls(true); updateStats(); });
  assert.equal(await app.textContent('#linkCount'), '9');
  assert.equal(await app.textContent('#totalCount'), '13');
  await setSlider(1);
  assert.equal(await app.textContent('#linkCount'), '5');
  await setSlider(3);
});

test('with 1,201 visible people the link count follows the forest and the selected person', async () => {
  // H with 1,198 children; X is a child of C0001 and C0002 (pedigree collapse), Y a child of C0003.
  const children = Array.from({ length: 1198 }, (_, i) => `C${String(i + 1).padStart(4, '0')}`);
  const ids = await app.build(['H', ...children, 'X', 'Y'],
    [...children.map(c => ['H', c, 'parent']), ['C0001', 'X', 'parent'], ['C0002', 'X', 'parent'], ['C0003', 'Y', 'parent']]);
  const count = key => app.run(({ ids, key }) => { selectPerson(ids[key]); return $('linkCount').textContent; }, { ids, key });
  await app.run(() => { refreshGenerationControls(true); updateStats(); });
  assert.equal(await app.textContent('#nodeCount'), '1201');
  assert.equal(await count('H'), '1200');
  assert.equal(await count('X'), '1201');
  assert.equal(await count('C0002'), '1201');
  assert.equal(await count('C0001'), '1200');
});

test('applying the scope sets the connected scope and replaces expanded by the visible set', async () => {
  const ids = await app.build(FAMILY.people, FAMILY.links);
  const r = await app.run(ids => {
    setViewScope('ancestors');
    setViewState({ expanded: ['somebody'] });
    refreshGenerationControls(true);
    applyFamilyScope('ancestors', false);
    return { scope: viewScope, mirror: $('familyScope').value, expanded: [...expanded].sort(), shown: displayed().sort() };
  }, ids);
  assert.equal(r.scope, 'connected');
  assert.equal(r.mirror, 'connected');
  assert.deepEqual(r.expanded, r.shown);
  assert.equal(r.expanded.length, 13);
});

test('Home / Root selects and focuses the home person and tells so', async () => {
  const ids = await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
  await app.run(ids => setViewState({ focus: ids.Bob, selected: ids.Bob }), ids);
  await app.click('#rootBtn');
  assert.deepEqual(await app.run(() => [focus, selected, rootPersonId]), [ids.Ann, ids.Ann, ids.Ann]);
  assert.equal(await app.textContent('#toast'), 'Returned to your home person: Ann');
});

test('returning home without a stored home person takes the focus person, then the first person', async () => {
  const ids = await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
  const r = await app.run(ids => {
    setViewState({ rootPersonId: null, focus: ids.Bob });
    returnToRoot();
    const byFocus = rootPersonId;
    setViewState({ rootPersonId: 'gone', focus: 'gone too' });
    returnToRoot();
    return { byFocus, byOrder: rootPersonId, expanded: expanded.has(ids.Ann) };
  }, ids);
  assert.deepEqual(r, { byFocus: ids.Bob, byOrder: ids.Ann, expanded: true });
});

test('returning home in an empty tree only says what to do', async () => {
  await app.emptyTree();
  await app.call('returnToRoot');
  assert.equal(await app.textContent('#toast'), 'Add or import a family member first.');
  assert.deepEqual(await app.run(() => [focus, selected, rootPersonId]), [null, null, null]);
});
