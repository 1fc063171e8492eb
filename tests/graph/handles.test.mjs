// Branch handles: keys and owners of handle records, the "Edit lines" button, dragging handles with the
// real pointer (the 3-pixel rule), independent 2D and 3D offsets, lines staying attached when people move,
// the legacy corridor bend, painting, and undo.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, screenOf, setCamera, drag } from './helpers.mjs';

const app = useApp({ viewport: { width: 1400, height: 900 } });

const near = (a, b, eps, what) => assert.ok(Math.abs(a - b) <= eps, `${what}: ${a} is not within ${eps} of ${b}`);

const ROUTE = { householdId: 'h1', centerX: 0, turnY: -60, laneX: 420, startY: 20, landingY: 300, childRowY: 520 };

// Ann and Bob with their children Cy and Dee, on a fixed grid (or down a corridor); Ann is the home person.
async function family({ corridor = false } = {}) {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Ann', 'Dee', 'parent'], ['Bob', 'Dee', 'parent']]);
  const child = corridor ? { familyRoute: ROUTE } : {};
  await fixLayout(app, ids, corridor
    ? { Ann: [-200, -150, 0], Bob: [200, -150, 0], Cy: [500, 520, 40, 1, child], Dee: [800, 520, 40, 1, child] }
    : { Ann: [-200, -150, 0], Bob: [200, -150, 0], Cy: [-200, 250, 40, 1], Dee: [200, 250, 40, 1] });
  await app.run(ids => { rootPersonId = focus = selected = ids.Ann; update(); }, ids);
  await setCamera(app, { zoom: 0.6, rotation: 0.2, tilt: 0.1, shiftX: corridor ? -150 : 0, shiftY: -120 });
  return ids;
}

async function cleanUp(ids) {
  await app.run(ids => {
    if (editFamilyBranches) setBranchEditing(false);
    for (const id of Object.values(ids)) {
      const p = persons.get(id);
      if (p) { delete p.familyBranchHandles; delete p.orbOffset2D; delete p.orbOffset3D; }
    }
    if (mode3) modeSwitch(false);
  }, ids);
  await restoreLayout(app);
}

// Paints and returns the placed handles of one part of a line: [{x, y}].
function handles(ids, part) {
  return app.run(([ids, part]) => {
    renderNeeded = true;
    draw();
    const key = branchControlId(ids);
    return branchHandleHits.filter(hd => hd.part === part && branchControlId(hd.parents) === key).map(hd => ({ x: hd.x, y: hd.y }));
  }, [ids, part]);
}

const record = (ids) => app.run(ids => branchControlRecord(ids, false), ids);

test('keys sort the ids in code-unit order; the record lives on the first; reading never creates one', async () => {
  const ids = await app.build([{ name: 'x', key: 'x' }]);
  const out = await app.run(id => {
    const a = id, b = 'zz-missing';
    const r = {
      key: branchControlId(['b', 'a', 'B', 'a1']),
      none: branchControlRecord([b, a], false),
      read: branchControlOffset([a, b], 'hub'),
      created: !!persons.get(a).familyBranchHandles,
    };
    moveBranchControl([b, a], 'hub', { x: 3, y: NaN, z: Infinity });
    r.stored = JSON.parse(JSON.stringify(persons.get(a).familyBranchHandles));
    r.missingOwner = branchControlRecord(['0-before-all', a], true);
    persons.set('__proto__', { id: '__proto__', name: 'Odd id' });
    moveBranchControl(['__proto__'], 'hub', { x: 1, y: 2, z: 3 });
    const odd = persons.get('__proto__').familyBranchHandles;
    r.odd = [Object.getPrototypeOf(odd) === Object.prototype, Object.prototype.hasOwnProperty.call(odd, '__proto__'),
      branchControlOffset(['__proto__'], 'hub')];
    persons.delete('__proto__');
    persons.get(a).familyBranchHandles[a + '|' + b].hub2D = { x: 'x', y: null };
    r.damaged = branchControlOffset([a, b], 'hub');
    return r;
  }, ids.x);
  assert.equal(out.key, 'B|a|a1|b');
  assert.equal(out.none, null);
  assert.deepEqual(out.read, { x: 0, y: 0, z: 0 });
  assert.equal(out.created, false, 'reading creates nothing');
  assert.deepEqual(out.stored, { [ids.x + '|zz-missing']: { hub2D: { x: 3, y: 0, z: 0 } } });
  assert.equal(out.missingOwner, null, 'no owner, no record');
  assert.deepEqual(out.odd, [true, true, { x: 1, y: 2, z: 0 }], 'an id named "__proto__" is an ordinary key');
  assert.deepEqual(out.damaged, { x: 0, y: 0, z: 0 }, 'damaged components read as 0');
});

test('"Edit lines" toggles the mode with its label, pressed state and toast; handles exist only while it is on', async () => {
  const ids = await family();
  try {
    assert.deepEqual(await handles([ids.Ann, ids.Bob], 'hub'), []);
    await app.click('#branchEditBtn');
    assert.equal(await app.textContent('#branchEditBtn'), 'Done editing');
    assert.equal(await app.page.locator('#branchEditBtn').getAttribute('aria-pressed'), 'true');
    assert.equal(await app.textContent('#toast'),
      'Drag turquoise family junctions and amber bend/fork handles. Moving parents keeps lines attached. 2D and 3D edits are independent.');
    assert.equal((await handles([ids.Ann, ids.Bob], 'hub')).length, 1);
    assert.equal((await handles([ids.Ann, ids.Bob], 'fork')).length, 1);
    assert.equal((await handles([ids.Ann, ids.Bob, ids.Cy], 'childBend')).length, 1);
    await setCamera(app, { zoom: 0.035 });
    assert.deepEqual(await handles([ids.Ann, ids.Bob], 'hub'), [], 'no handles at zoom 0.035');
    await setCamera(app, { zoom: 0.6 });
    await app.click('#branchEditBtn');
    assert.equal(await app.textContent('#branchEditBtn'), 'Edit lines');
    assert.equal(await app.page.locator('#branchEditBtn').getAttribute('aria-pressed'), 'false');
    assert.equal(await app.textContent('#toast'), 'Family line editing finished.');
    assert.deepEqual(await handles([ids.Ann, ids.Bob], 'hub'), []);
  } finally {
    await cleanUp(ids);
  }
});

test('a handle drag of 2 pixels changes nothing; of 4 pixels it moves the handle with the pointer', async () => {
  const ids = await family();
  try {
    await app.click('#branchEditBtn');
    const couple = [ids.Ann, ids.Bob];
    const [hub] = await handles(couple, 'hub');
    await drag(app, hub, 2, 0, { steps: 2 });
    assert.equal(await record(couple), null, '2 pixels: nothing stored');
    const saves = await app.countCalls('scheduleSave');
    try {
      await drag(app, hub, 0, 4, { steps: 2 });
      assert.ok(await saves.count() >= 1, 'a moved handle requests a save');
    } finally {
      await saves.restore();
    }
    const r = await record(couple);
    near(r.hub2D.x, 0, 1e-9, 'x');
    near(r.hub2D.y, 4 / 0.6, 1e-9, 'y in world units');
    assert.equal(r.hub2D.z, 0);
    const [moved] = await handles(couple, 'hub');
    near(moved.x, hub.x, 1e-6, 'handle x');
    near(moved.y, hub.y + 4, 1e-6, 'the handle follows the pointer');
    assert.equal(await app.eval('mouseDrag'), null);
  } finally {
    await cleanUp(ids);
  }
});

test('2D and 3D offsets are independent: moving the hub in one view leaves the other view unchanged', async () => {
  const ids = await family();
  try {
    await app.click('#branchEditBtn');
    const couple = [ids.Ann, ids.Bob];
    await app.call('modeSwitch', true);
    await setCamera(app, { zoom: 0.6, rotation: 0.2, tilt: 0.1, shiftX: 0, shiftY: -120 });
    const [hub3] = await handles(couple, 'hub');
    await app.call('modeSwitch', false);
    const [hub2] = await handles(couple, 'hub');
    await drag(app, hub2, 30, 20);
    await app.call('modeSwitch', true);
    assert.deepEqual(await handles(couple, 'hub'), [hub3], '3D untouched by the 2D move');
    await drag(app, hub3, -25, 15);
    const r = await record(couple);
    assert.deepEqual(Object.keys(r).sort(), ['hub2D', 'hub3D']);
    const [after3] = await handles(couple, 'hub');
    near(after3.x, hub3.x - 25, 0.5, 'the 3D handle follows the pointer (x)');
    near(after3.y, hub3.y + 15, 0.5, 'the 3D handle follows the pointer (y)');
    await app.call('modeSwitch', false);
    const [again2] = await handles(couple, 'hub');
    near(again2.x, hub2.x + 30, 1e-6, '2D keeps its own move (x)');
    near(again2.y, hub2.y + 20, 1e-6, '2D keeps its own move (y)');
  } finally {
    await cleanUp(ids);
  }
});

test('after a hub was moved, moving a parent orb keeps the junction the same distance from its plain place', async () => {
  const ids = await family();
  try {
    await app.click('#branchEditBtn');
    const couple = [ids.Ann, ids.Bob];
    for (const to3 of [false, true]) {
      await app.call('modeSwitch', to3);
      await setCamera(app, { zoom: 0.6, rotation: 0.2, tilt: 0.1, shiftX: 0, shiftY: -120 });
      const plain = async () => {
        const saved = await app.run(id => { const h = persons.get(id).familyBranchHandles; delete persons.get(id).familyBranchHandles; return h || null; }, couple.slice().sort()[0]);
        const [at] = await handles(couple, 'hub');
        await app.run(([id, h]) => { if (h) persons.get(id).familyBranchHandles = h; }, [couple.slice().sort()[0], saved]);
        return at;
      };
      const [hub] = await handles(couple, 'hub');
      await drag(app, hub, 40, -10);
      const [moved] = await handles(couple, 'hub');
      const shift = { x: moved.x - (await plain()).x, y: moved.y - (await plain()).y };
      const s = await screenOf(app, ids.Bob);
      await drag(app, s, 60, 30);
      assert.ok(await app.run(id => !!(persons.get(id).orbOffset2D || persons.get(id).orbOffset3D), ids.Bob), 'the orb moved');
      const [after] = await handles(couple, 'hub');
      const base = await plain();
      const tolerance = to3 ? 3 : 1e-6;
      near(after.x - base.x, shift.x, tolerance, (to3 ? '3D' : '2D') + ' x');
      near(after.y - base.y, shift.y, tolerance, (to3 ? '3D' : '2D') + ' y');
      assert.notDeepEqual(after, moved, 'the junction moved with the family');
    }
  } finally {
    await cleanUp(ids);
  }
});

test('a legacy bend2D moves both corridor bends; moving the lane start writes bendStart2D only', async () => {
  const ids = await family({ corridor: true });
  try {
    await app.click('#branchEditBtn');
    const couple = [ids.Ann, ids.Bob];
    const [start0] = await handles(couple, 'bendStart');
    const [end0] = await handles(couple, 'bendEnd');
    assert.ok(start0 && end0, 'the corridor has both bend handles');
    const owner = [ids.Ann, ids.Bob].sort()[0];
    await app.run(([owner, key]) => { persons.get(owner).familyBranchHandles = { [key]: { bend2D: { x: 50, y: -20 } } }; },
      [owner, couple.slice().sort().join('|')]);
    const [start1] = await handles(couple, 'bendStart');
    const [end1] = await handles(couple, 'bendEnd');
    for (const [a, b, what] of [[start1, start0, 'lane start'], [end1, end0, 'lane end']]) {
      near(a.x - b.x, 50 * 0.6, 1e-6, what + ' x');
      near(a.y - b.y, -20 * 0.6, 1e-6, what + ' y');
    }
    await drag(app, start1, -12, 9);
    const r = await record(couple);
    assert.deepEqual(r.bend2D, { x: 50, y: -20 }, 'the legacy field is never written');
    near(r.bendStart2D.x, 50 - 12 / 0.6, 1e-9, 'bendStart2D x');
    near(r.bendStart2D.y, -20 + 9 / 0.6, 1e-9, 'bendStart2D y');
    assert.equal('bendEnd2D' in r, false);
    const [end2] = await handles(couple, 'bendEnd');
    assert.deepEqual(end2, end1, 'the lane end stays on the legacy value');
  } finally {
    await cleanUp(ids);
  }
});

test('handles are painted as discs with a light centre; a handle drag closes the orbit dial', async () => {
  const ids = await family();
  try {
    await app.click('#branchEditBtn');
    const couple = [ids.Ann, ids.Bob];
    const [hub] = await handles(couple, 'hub');
    const centre = await app.run(([x, y]) => [...$('tree').getContext('2d').getImageData(Math.round(x * device), Math.round(y * device), 1, 1).data], [hub.x, hub.y]);
    assert.deepEqual(centre, [0xff, 0xfa, 0xf0, 255]);
    const counts = await app.countCalls('close3DOrbitMenu');
    try {
      await drag(app, hub, 10, 0);
      assert.ok(await counts.count() >= 1);
    } finally {
      await counts.restore();
    }
  } finally {
    await cleanUp(ids);
  }
});

test('undo after a handle drag restores the previous line shape', async () => {
  const ids = await family();
  try {
    await app.click('#branchEditBtn');
    const couple = [ids.Ann, ids.Bob];
    await app.page.waitForFunction(() => klnHistory.timer === null);
    const undoCount = await app.eval('klnHistory.undo.length');
    const [hub] = await handles(couple, 'hub');
    await drag(app, hub, 25, 25);
    const [moved] = await handles(couple, 'hub');
    await app.page.waitForFunction(n => klnHistory.undo.length > n && klnHistory.timer === null, undoCount);
    await app.click('#klnUndoBtn');
    await app.page.waitForFunction(() => !klnHistory.restoring);
    assert.equal(await record(couple), null, 'the handle record is gone again');
    const [back] = await handles(couple, 'hub');
    assert.deepEqual(back, hub);
    assert.notDeepEqual(moved, hub);
  } finally {
    await cleanUp(ids);
  }
});

test('the bend of a one-parent line and of a childless couple are handles too, stored under their pair', async () => {
  const ids = await app.build(['Gus', 'Hal', 'Ivy', 'Jon'], [['Gus', 'Hal', 'parent'], ['Gus', 'Ivy', 'sibling'], ['Ivy', 'Jon', 'spouse']]);
  await fixLayout(app, ids, { Gus: [-300, -150, 0], Hal: [-300, 250, 0, 1], Ivy: [100, -150, 0], Jon: [400, -150, 0] });
  await app.run(id => { rootPersonId = focus = selected = id; update(); }, ids.Gus);
  await setCamera(app, { zoom: 0.6, shiftX: 0, shiftY: -120 });
  try {
    await app.click('#branchEditBtn');
    for (const [pair, part] of [[[ids.Gus, ids.Hal], 'singleBend'], [[ids.Ivy, ids.Jon], 'spouseBend']]) {
      const [at] = await handles(pair, part);
      assert.ok(at, part + ' is placed');
      await drag(app, at, -9, 12);
      const r = await record(pair);
      near(r[part + '2D'].x, -9 / 0.6, 1e-9, part + ' x');
      near(r[part + '2D'].y, 12 / 0.6, 1e-9, part + ' y');
      const [moved] = await handles(pair, part);
      near(moved.x, at.x - 9, 1e-6, part + ' follows (x)');
      near(moved.y, at.y + 12, 1e-6, part + ' follows (y)');
    }
  } finally {
    await cleanUp(ids);
  }
});
