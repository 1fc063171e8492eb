// Placement memory: user placement, the position lock around edits, slots for new relatives, the collision
// test, stored bases, arranging imported blocks and resetting every orb position.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

async function build(people, links) {
  const ids = await app.build(people, links);
  await app.run(() => refreshGenerationControls(true));
  return ids;
}

// World positions of the visible people in both views: base point plus each view's offset, by id.
const worldPositions = () => app.run(() => {
  const layout = buildLayout(displayed());
  const out = {};
  for (const [id, b] of layout) {
    const o2 = persons.get(id).orbOffset2D || { x: 0, y: 0 };
    const o3 = persons.get(id).orbOffset3D || { x: 0, y: 0, z: 0 };
    out[id] = { base: { x: b.x, y: b.y, z: b.z }, twoD: [b.x + o2.x, b.y + o2.y], threeD: [b.x + o3.x, b.y + o3.y, b.z + o3.z] };
  }
  return out;
});

const near = (a, b, what) => a.forEach((v, i) => assert.ok(Math.abs(v - b[i]) < 1e-6, `${what}: ${a} vs ${b}`));

// Adds a relative as the person forms do: the person, its links, then its slot.
const addRelative = (reference, relation, name, extra = {}) => app.run(({ reference, relation, name, extra }) => {
  const id = addPerson({ name });
  if (relation === 'parent') addEdge(id, reference, 'parent');
  else if (relation === 'child') {
    addEdge(reference, id, 'parent');
    if (extra.coparent) addEdge(extra.coparent, id, 'parent');
  } else addEdge(reference, id, relation);
  placeRelative(id, reference, relation, extra);
  update();
  return id;
}, { reference, relation, name, extra });

test('an edit keeps every shown orb at its 2D and 3D world position, dragged ones included, and locks them', async () => {
  const ids = await build(['H', 'Dad', 'Mum', 'Kid', 'Wife'],
    [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ['H', 'Kid', 'parent'], ['H', 'Wife', 'spouse']]);
  await app.run(ids => {
    persons.get(ids.Dad).orbOffset2D = { x: 64, y: -20 };
    persons.get(ids.Dad).klnUserMovedOrb = true;
    set3DOffset(ids.Mum, { x: 5, y: 6, z: 70 });
  }, ids);
  const before = await worldPositions();
  await addRelative(ids.Kid, 'parent', 'Kid mother');
  const after = await worldPositions();
  let moved = 0;
  for (const [id, was] of Object.entries(before)) {
    near(after[id].twoD, was.twoD, 'two-d');
    near(after[id].threeD, was.threeD, 'three-d');
    if (after[id].base.x !== was.base.x || after[id].base.y !== was.base.y) moved++;
  }
  assert.ok(moved > 0, 'the edit changed some base points');
  const flags = await app.run(ids => Object.values(ids).map(id => [persons.get(id).klnPositionLocked,
    persons.get(id).klnUserMovedOrb === true]), ids);
  assert.deepEqual(flags, [[true, false], [true, true], [true, true], [true, false], [true, false]]);
});

test('new parents: 110 left and 310 above in a small group, the second parent 110 right', async () => {
  const ids = await build(['H', 'Kid'], [['H', 'Kid', 'parent']]);
  const home = (await worldPositions())[ids.H].twoD;
  const first = await addRelative(ids.H, 'parent', 'Parent one');
  near((await worldPositions())[first].twoD, [home[0] - 110, home[1] - 310], 'first parent');
  const second = await addRelative(ids.H, 'parent', 'Parent two');
  const w = await worldPositions();
  near(w[second].twoD, [home[0] + 110, home[1] - 310], 'second parent');
  near(w[ids.H].twoD, home, 'home');
  const bases = await app.run(({ first, second }) => [persons.get(first), persons.get(second)]
    .map(p => [p.layoutBase.gen, p.layoutVersion]), { first, second });
  assert.deepEqual(bases, [[-1, 20], [-1, 20]]);
});

test('a new parent in a group of more than 20 people stands 235 above', async () => {
  const kids = Array.from({ length: 20 }, (_, i) => `K${i}`);
  const ids = await build(['H', ...kids], kids.map(k => ['H', k, 'parent']));
  const home = (await worldPositions())[ids.H].twoD;
  const parent = await addRelative(ids.H, 'parent', 'Parent');
  near((await worldPositions())[parent].twoD, [home[0] - 110, home[1] - 235], 'parent');
});

test('a child of a couple stands under the middle in 2D and keeps the displacement in 3D, 25 nearer', async () => {
  const ids = await build(['H', 'Dad', 'Wife'], [['Dad', 'H', 'parent'], ['H', 'Wife', 'spouse']]);
  await app.run(ids => set3DOffset(ids.H, { x: 40, y: -30, z: 55 }), ids);
  const w = await worldPositions();
  const h = w[ids.H], wife = w[ids.Wife];
  const kid = await addRelative(ids.H, 'child', 'Kid', { coparent: ids.Wife });
  const after = await worldPositions();
  const slot = [(h.twoD[0] + wife.twoD[0]) / 2, h.twoD[1] + 310];
  near(after[kid].twoD, slot, 'two-d');
  near(after[kid].threeD, [h.threeD[0] + slot[0] - h.twoD[0], h.threeD[1] + 310, h.threeD[2] + 25], 'three-d');
  near(after[ids.H].threeD, h.threeD, 'parent three-d');
});

test('the collision test takes the least crowded slot, the one nearer the first on a tie', async () => {
  const targets = [185, -185, 370, -370].map(x => ({ x, y: 0 }));
  const cases = [
    ['a free first slot', [], 185],
    ['the first slot crowded', [200], -185],
    ['both near slots crowded', [200, -200], 370],
    ['three slots crowded', [200, -200, 380], -370],
    ['an orb exactly 185 away does not crowd a slot (nearer the first wins)', [185], 370],
    ['every slot taken, the last least', [185, -185, 370, -270], -370],
    ['two slots equally crowded', [185, -185, 420, -420], 370],
    ['every slot equally crowded', [185, -185, 370, -370], 185],
  ];
  for (const [what, others, expected] of cases) {
    await build(['New', ...others.map((_, i) => `O${i}`)]);
    const chosen = await app.run(({ others, targets }) => {
      const people = [...persons.values()];
      people[0].layoutBase = { x: 0, y: 0, z: 0, gen: 0 };
      people[0].layoutVersion = 20;
      others.forEach((x, i) => { people[i + 1].layoutBase = { x, y: 40, z: 0, gen: 0 }; people[i + 1].layoutVersion = 20; });
      return collisionFreeCandidate(people[0].id, targets).x;
    }, { others, targets });
    assert.equal(chosen, expected, what);
  }
});

test('a new spouse stands 185 right of the reference when that slot is free', async () => {
  const ids = await build(['H', 'Dad'], [['Dad', 'H', 'parent']]);
  const home = (await worldPositions())[ids.H];
  const wife = await addRelative(ids.H, 'spouse', 'Wife');
  const w = await worldPositions();
  near(w[wife].twoD, [home.twoD[0] + 185, home.twoD[1]], 'spouse');
  assert.deepEqual(await app.run(id => persons.get(id).layoutBase.z, wife), home.base.z + 42);
});

test('user placement: the flag, a lock, or offsets larger than 1 unit from an older tree', async () => {
  const cases = [
    ['no offsets', {}, false],
    ['the flag', { klnUserMovedOrb: true }, true],
    ['a 2D offset of 5', { orbOffset2D: { x: 5, y: 0 } }, true],
    ['a 3D offset of 2 in depth', { orbOffset3D: { x: 0, y: 0, z: 2 } }, true],
    ['offsets of one unit', { orbOffset2D: { x: 0.5, y: -0.5 } }, false],
    ['locked offsets', { orbOffset2D: { x: 500, y: 0 }, klnPositionLocked: true }, false],
    ['locked but flagged', { klnPositionLocked: true, klnUserMovedOrb: true }, true],
    ['offsets that are not numbers', { orbOffset2D: { x: 'far', y: null } }, false],
  ];
  const ids = await build(['A']);
  for (const [what, fields, expected] of cases) {
    const moved = await app.run(({ id, fields }) => {
      const p = persons.get(id);
      for (const f of MANUAL_PLACEMENT_FIELDS) delete p[f];
      Object.assign(p, fields);
      return klnHasUserMovedOrb(id);
    }, { id: ids.A, fields });
    assert.equal(moved, expected, what);
  }
  assert.equal(await app.call('klnHasUserMovedOrb', 'nobody'), false);
});

test('an older offset of 5 units becomes a user placement at the next edit and stays one', async () => {
  const ids = await build(['H', 'Old', 'Tiny'], [['H', 'Old', 'parent'], ['H', 'Tiny', 'parent']]);
  await app.run(ids => {
    persons.get(ids.Old).orbOffset2D = { x: 5, y: 0 };
    persons.get(ids.Tiny).orbOffset2D = { x: 0.5, y: 0 };
  }, ids);
  await addRelative(ids.H, 'spouse', 'Wife');
  const flags = await app.run(ids => [ids.Old, ids.Tiny].map(id => [persons.get(id).klnUserMovedOrb, persons.get(id).klnPositionLocked]), ids);
  assert.deepEqual(flags, [[true, true], [undefined, true]]);
});

test('3D offsets: stored with non-numbers as 0, and zeros when there is none', async () => {
  const ids = await build(['A']);
  const r = await app.run(id => {
    const none = get3DOffset(id);
    set3DOffset(id, { x: 3, y: Infinity, z: 'deep' });
    return { none, stored: persons.get(id).orbOffset3D, moved: persons.get(id).klnUserMovedOrb, read: get3DOffset(id) };
  }, ids.A);
  assert.deepEqual(r, { none: { x: 0, y: 0, z: 0 }, stored: { x: 3, y: 0, z: 0 }, moved: true, read: { x: 3, y: 0, z: 0 } });
});

test('no capture during an import, and no rebase for a lock that belongs to another tree', async () => {
  const ids = await build(['H', 'Kid'], [['H', 'Kid', 'parent']]);
  const bulk = await app.run(ids => {
    bulkImport = true;
    try { addEdge(ids.H, addPerson({ name: 'Quiet' }), 'parent'); } finally { bulkImport = false; }
    return klnPositionFreeze;
  }, ids);
  assert.equal(bulk, null);
  await app.run(ids => {
    addEdge(ids.H, addPerson({ name: 'Elsewhere' }), 'spouse');
    klnPositionFreeze.tree = 'another tree';
  }, ids);
  const locked = await app.run(() => [...persons.values()].filter(p => p.klnPositionLocked).length);
  assert.equal(locked, 0);
  assert.equal(await app.eval('klnPositionFreeze'), null);
});

test('stored bases: missing ones are filled in, an older version re-arranges everyone', async () => {
  const ids = await build(['H', 'Dad', 'Kid'], [['Dad', 'H', 'parent'], ['H', 'Kid', 'parent']]);
  const r = await app.run(ids => {
    persons.get(ids.H).layoutBase = { x: 999, y: 999, z: 0, gen: 0 };
    persons.get(ids.H).layoutVersion = 20;
    ensureBases();
    const filled = [ids.H, ids.Dad, ids.Kid].map(id => [persons.get(id).layoutBase.x, persons.get(id).layoutVersion]);
    persons.get(ids.Kid).layoutVersion = 19;
    ensureBases();
    const again = [ids.H, ids.Dad, ids.Kid].map(id => [persons.get(id).layoutBase.x, persons.get(id).layoutVersion]);
    return { filled, again, base: storedBase(ids.H), none: storedBase('nobody') };
  }, ids);
  assert.deepEqual(r.filled, [[999, 20], [0, 20], [0, 20]]);
  assert.deepEqual(r.again, [[0, 20], [0, 20], [0, 20]]);
  assert.deepEqual(r.base, { x: 0, y: 0, z: 0, gen: 0 });
  assert.equal(r.none, null);
});

test('an arranged block lands 540 right of the people already placed; with all, hand placements go', async () => {
  const ids = await build(['A', 'B', 'New1', 'New2'], [['A', 'B', 'parent'], ['New1', 'New2', 'parent']]);
  const r = await app.run(ids => {
    persons.get(ids.A).layoutBase = { x: 100, y: 0, z: 0, gen: 0 };
    persons.get(ids.B).layoutBase = { x: 400, y: 300, z: 0, gen: 1 };
    persons.get(ids.B).orbOffset2D = { x: 250, y: 0 };
    persons.get(ids.New2).orbOffset2D = { x: 9, y: 9 };
    persons.get(ids.New2).klnUserMovedOrb = true;
    autoArrangeTree([ids.New1, ids.New2]);
    const kept = [persons.get(ids.New2).orbOffset2D, persons.get(ids.New2).klnUserMovedOrb];
    const xs = [ids.New1, ids.New2].map(id => persons.get(id).layoutBase.x);
    autoArrangeTree([ids.New1, ids.New2], true);
    return { xs, kept, cleared: [persons.get(ids.New2).orbOffset2D, persons.get(ids.New2).klnUserMovedOrb],
      others: persons.get(ids.B).orbOffset2D };
  }, ids);
  assert.equal(Math.min(...r.xs), 400 + 250 + 540);
  assert.deepEqual(r.kept, [{ x: 9, y: 9 }, true]);
  assert.deepEqual(r.cleared, [undefined, undefined]);
  assert.deepEqual(r.others, { x: 250, y: 0 });
});

async function resetThroughSettings(answer) {
  await app.click('#toolsBtn');
  if (answer !== undefined) app.answer(answer);
  await app.page.getByRole('button', { name: 'Reset orb positions (2D + 3D)' }).click();
}

test('reset in an empty tree only says what to do', async () => {
  await app.emptyTree();
  await resetThroughSettings();
  assert.equal(await app.textContent('#toast'), 'Add or import family members first.');
  assert.equal(app.dialogs.length, 0);
});

const RESET_QUESTION = 'Reset ALL manually moved orb positions in both 2D and 3D, then arrange your family again? ' +
  'Your people, portraits, family relationships, colors and edited line curves will be kept.';

test('declining the reset changes nothing; accepting drops every placement and keeps line curves', async () => {
  const ids = await build(['H', 'Dad', 'Kid'], [['Dad', 'H', 'parent'], ['H', 'Kid', 'parent']]);
  const placed = { orbOffset: { x: 1, y: 2 }, orbOffset2D: { x: 30, y: 4 }, orbOffset3D: { x: 1, y: 2, z: 3 },
    orbOffset3DByFormation: { generations: {} }, klnUserMovedOrb: true, klnPositionLocked: true,
    layoutBase: { x: 7, y: 7, z: 0, gen: 0 }, layoutVersion: 12, branchLineColor: '#aabbcc',
    familyBranchHandles: { k: { x: 1 } } };
  const snapshot = () => app.run(ids => Object.values(ids).map(id => JSON.stringify(persons.get(id))), ids);
  await app.run(({ ids, placed }) => { for (const id of Object.values(ids)) Object.assign(persons.get(id), structuredClone(placed)); },
    { ids, placed });
  const before = await snapshot();
  await resetThroughSettings(false);
  assert.equal(app.dialogs[0].message, RESET_QUESTION);
  assert.deepEqual(await snapshot(), before);
  await resetThroughSettings(true);
  const after = await app.run(ids => Object.values(ids).map(id => persons.get(id)), ids);
  for (const p of after) {
    for (const f of ['orbOffset', 'orbOffset2D', 'orbOffset3D', 'orbOffset3DByFormation', 'klnUserMovedOrb', 'klnPositionLocked'])
      assert.equal(p[f], undefined, f);
    assert.equal(p.layoutVersion, 20);
    assert.deepEqual(p.familyBranchHandles, { k: { x: 1 } });
    assert.equal(p.branchLineColor, '#aabbcc');
  }
  assert.deepEqual(after.map(p => [p.layoutBase.x, p.layoutBase.y]), [[0, 0], [0, -301], [0, 301]]);
  assert.equal(await app.textContent('#toast'), 'Reset and re-arranged 3 orbs in 2D and 3D.');
});
