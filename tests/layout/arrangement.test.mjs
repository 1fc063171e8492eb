// Family layout: the tidy forest, the connected pedigree arrangement, the caches of buildLayout, the
// dispatch between the arrangements and the unlinked workbench grid.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { forgetLayouts, plain } from './helpers.mjs';

const app = useApp();

// Builds a tree and shows all of its generation steps.
async function build(people, links) {
  const ids = await app.build(people, links);
  await app.run(() => refreshGenerationControls(true));
  return ids;
}

// Base points of the visible people by name.
const pointsByName = () => app.run(() => {
  const ids = displayed();
  const layout = buildLayout(ids);
  return Object.fromEntries(ids.filter(id => layout.has(id)).map(id => [persons.get(id).name, { ...layout.get(id) }]));
});

// The connected arrangement of the home group by name, before the spouse steps.
const arrangementByName = () => app.run(() => {
  const home = effectiveHome();
  const layout = smartArrangement(connectedPeople(home), home, 'connected');
  return Object.fromEntries([...layout].map(([id, p]) => [persons.get(id).name, { ...p }]));
});

test('a single person stands at the origin', async () => {
  await build(['Solo']);
  assert.deepEqual(plain((await pointsByName()).Solo), { x: 0, y: 0, z: 0, gen: 0 });
});

const threeCases = [
  ['the earlier-born parent', [{ name: 'Dad', sex: 'M', birth: '1920' }, { name: 'Mum', sex: 'F', birth: '1922' }], 'Dad'],
  ['the earlier-born mother before the father', [{ name: 'Dad', sex: 'M', birth: '1925' }, { name: 'Mum', sex: 'F', birth: 'c. 1922' }], 'Mum'],
  ['a parent with a birth year before one without', [{ name: 'Aaron', sex: 'M' }, { name: 'Zoe', sex: 'F', birth: 'abt 1950' }], 'Zoe'],
  ['by name in the same year', [{ name: 'Bert', sex: 'M', birth: '1920' }, { name: 'Anna', sex: 'F', birth: '1920' }], 'Anna'],
  ['by name without years', [{ name: 'Marie', sex: 'F' }, { name: 'Joseph', sex: 'M' }], 'Joseph'],
];

for (const [what, parents, left] of threeCases) {
  test(`three people: parents at -180 and +180, y -317; left is ${what}`, async () => {
    await build([{ name: 'Kid', birth: '1950' }, ...parents], parents.map(p => [p.name, 'Kid', 'parent']));
    const points = await pointsByName();
    const right = parents.map(p => p.name).find(n => n !== left);
    assert.deepEqual(plain(points.Kid), { x: 0, y: 0, z: 0, gen: 0 });
    assert.deepEqual(points[left], { x: -180, y: -317, z: -8, gen: -1 });
    assert.deepEqual(points[right], { x: 180, y: -317, z: -8, gen: -1 });
  });
}

test('three people: with equal names and years the smaller id stands left', async () => {
  const ids = await build(['Kid', { key: 'P', name: 'Pat', birth: '1900' }, { key: 'Q', name: 'Pat', birth: '1900' }],
    [['P', 'Kid', 'parent'], ['Q', 'Kid', 'parent']]);
  const r = await app.run(ids => {
    const layout = buildLayout(displayed());
    const first = ids.P.localeCompare(ids.Q) < 0 ? ids.P : ids.Q;
    return { firstX: layout.get(first).x, otherX: layout.get(first === ids.P ? ids.Q : ids.P).x };
  }, ids);
  assert.deepEqual(r, { firstX: -180, otherX: 180 });
});

test('generation gaps grow with the size of the tree and the crowding of the rows', async () => {
  for (const [children, above, below] of [[5, 317, 350], [6, 486, 558], [18, 748, 880], [43, 1328, 1950]]) {
    const kids = Array.from({ length: children }, (_, i) => `K${i}`);
    await build(['H', 'Dad', 'Mum', ...kids], [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'],
      ...kids.map(k => ['H', k, 'parent'])]);
    const points = await arrangementByName();
    assert.equal(points.Dad.y, -above, `${children + 3} people, parents`);
    assert.equal(points.K0.y, below, `${children + 3} people, children`);
    assert.equal(points.K0.z, 8);
  }
});

test('in trees of more than 45 people the gaps far from home are 150 narrower', async () => {
  const line = Array.from({ length: 9 }, (_, i) => `A${i + 1}`);
  const kids = Array.from({ length: 40 }, (_, i) => `K${i}`);
  await build(['H', ...line, ...kids], [['A1', 'H', 'parent'],
    ...line.slice(1).map((a, i) => [a, line[i], 'parent']), ...kids.map(k => ['H', k, 'parent'])]);
  const points = await arrangementByName();
  assert.equal(points.A8.y - points.A9.y, 1149);
  assert.equal(points.A7.y - points.A8.y, 1299);
  assert.equal(points.A9.gen, -9);
  assert.equal(points.A9.z, -72);
});

test('couples of one generation whose children are cousins never interleave', async () => {
  const people = ['Home', 'G1', 'G2'];
  const links = [['G1', 'G2', 'spouse']];
  for (const c of ['A', 'B', 'C']) {
    people.push(c, `${c}x`, `${c}1`, `${c}2`);
    links.push(['G1', c, 'parent'], ['G2', c, 'parent'], [c, `${c}x`, 'spouse'],
      [c, `${c}1`, 'parent'], [`${c}x`, `${c}1`, 'parent'], [c, `${c}2`, 'parent'], [`${c}x`, `${c}2`, 'parent']);
  }
  links.push(['A1', 'Home', 'parent']);
  await build(people, links);
  for (const points of [await arrangementByName(), await pointsByName()]) {
    const row = ['A', 'Ax', 'B', 'Bx', 'C', 'Cx'].sort((a, b) => points[a].x - points[b].x);
    for (const c of ['A', 'B', 'C']) {
      assert.ok(Math.abs(Math.abs(points[c].x - points[`${c}x`].x) - 360) < 1e-6, `${c} and partner`);
      assert.equal(Math.abs(row.indexOf(c) - row.indexOf(`${c}x`)), 1, `${c} next to partner in ${row}`);
    }
  }
});

test('pedigree collapse: the shared ancestor has one point and the second record is no forest link', async () => {
  // Cousins C and D marry; their child E is home. G is reached through A and through B.
  const ids = await build(['E', 'C', 'D', 'A', 'B', 'G'],
    [['C', 'E', 'parent'], ['D', 'E', 'parent'], ['A', 'C', 'parent'], ['B', 'D', 'parent'],
      ['G', 'A', 'parent'], ['G', 'B', 'parent'], ['C', 'D', 'spouse']]);
  const r = await app.run(ids => {
    const shown = displayed();
    const forest = tidyForest(shown, ids.E);
    const layout = buildLayout(shown);
    const at = id => layout.get(id);
    return { shown: shown.filter(id => id === ids.G).length, points: layout.size,
      viaA: forest.links.has(ids.G + '>' + ids.A), viaB: forest.links.has(ids.G + '>' + ids.B),
      links: forest.links.size, distinct: new Set([...layout.values()].map(p => p.x + ',' + p.y)).size,
      above: ['A', 'B'].map(k => at(ids.G).y < at(ids[k]).y) };
  }, ids);
  assert.equal(r.shown, 1);
  assert.equal(r.points, 6);
  assert.equal(r.distinct, 6);
  assert.equal(r.viaA !== r.viaB, true);
  assert.equal(r.links, 5);
  assert.deepEqual(r.above, [true, true]);
});

test('a spouse without parent or sibling records forms its own forest tree 2,200 right of the first', async () => {
  await build(['H', 'Dad', 'Mum', 'Wife'], [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ['H', 'Wife', 'spouse']]);
  const arranged = await arrangementByName();
  assert.deepEqual(arranged.Wife, { x: 180 + 2200, y: 0, z: 0, gen: 0 });
  const forest = await app.run(() => tidyForest(connectedPeople(effectiveHome()), effectiveHome()).groups.length);
  assert.equal(forest, 2);
});

test('the tidy forest: trees, links, connections and every per-person field', async () => {
  const ids = await build(['H', { name: 'Mum', birth: '1902' }, { name: 'Dad', birth: '1900' },
    { name: 'Kid', birth: '1950' }, 'Aaron', { name: 'Bea', birth: '1950' }, 'Sis', 'Wife'],
  [['Mum', 'H', 'parent'], ['Dad', 'H', 'parent'], ['H', 'Aaron', 'parent'], ['H', 'Kid', 'parent'],
    ['H', 'Bea', 'parent'], ['Sis', 'H', 'sibling'], ['H', 'Wife', 'spouse']]);
  const f = await app.run(ids => {
    const name = id => persons.get(id).name;
    const f = tidyForest(Object.values(ids), ids.H);
    const keyName = k => k.startsWith('S:') ? 'S:' + k.slice(2).split('|').map(name).join('|') : k.split('>').map(name).join('>');
    const named = m => Object.fromEntries([...m].map(([k, v]) => [name(k), typeof v === 'string' ? name(v) : v]));
    return {
      groups: f.groups.map(g => ({ root: name(g.root), members: g.members.map(name) })),
      links: [...f.links].map(keyName),
      connections: f.connections.map(c => [name(c.a), name(c.b), keyName(c.key), c.type]),
      children: Object.fromEntries([...f.children].map(([k, v]) => [name(k), v.map(name)])),
      parent: named(f.parent), steps: named(f.steps), depth: named(f.depth), generation: named(f.generation),
      branch: named(f.branch), groupFor: named(f.groupFor),
      siblingKey: [...f.links].find(k => k.startsWith('S:')) === 'S:' + [ids.H, ids.Sis].sort().join('|'),
      // Single reads, including a root (no parent) and someone outside the forest.
      reads: [f.parent.has(ids.H), f.parent.get(ids.H), f.parent.size, f.depth.size, f.depth.has('nobody'),
        f.depth.get('nobody'), f.generation.get(ids.Dad), f.parent.get(ids.Kid) === ids.H, f.steps.get(ids.Sis)],
    };
  }, ids);
  assert.deepEqual(f.groups, [{ root: 'H', members: ['H', 'Dad', 'Mum', 'Bea', 'Kid', 'Aaron', 'Sis'] },
    { root: 'Wife', members: ['Wife'] }]);
  assert.deepEqual(f.links.filter(k => !k.startsWith('S:')), ['Dad>H', 'Mum>H', 'H>Bea', 'H>Kid', 'H>Aaron']);
  assert.equal(f.links.length, 6);
  assert.equal(f.siblingKey, true);
  assert.deepEqual(f.connections.map(c => c.slice(0, 2).concat(c[3])), [['H', 'Dad', 'parent'], ['H', 'Mum', 'parent'],
    ['H', 'Bea', 'parent'], ['H', 'Kid', 'parent'], ['H', 'Aaron', 'parent'], ['H', 'Sis', 'sibling']]);
  assert.deepEqual(f.children, { H: ['Dad', 'Mum', 'Bea', 'Kid', 'Aaron', 'Sis'] });
  assert.deepEqual(f.parent, { Dad: 'H', Mum: 'H', Bea: 'H', Kid: 'H', Aaron: 'H', Sis: 'H' });
  assert.deepEqual(f.steps, { Dad: -1, Mum: -1, Bea: 1, Kid: 1, Aaron: 1, Sis: 0 });
  assert.deepEqual(f.depth, { H: 0, Dad: 1, Mum: 1, Bea: 1, Kid: 1, Aaron: 1, Sis: 1, Wife: 0 });
  assert.deepEqual(f.generation, { H: 0, Dad: -1, Mum: -1, Bea: 1, Kid: 1, Aaron: 1, Sis: 0, Wife: 0 });
  assert.deepEqual(f.branch, { H: 'H', Dad: 'Dad', Mum: 'Mum', Bea: 'Bea', Kid: 'Kid', Aaron: 'Aaron', Sis: 'Sis', Wife: 'Wife' });
  assert.deepEqual(f.groupFor, { H: 0, Dad: 0, Mum: 0, Bea: 0, Kid: 0, Aaron: 0, Sis: 0, Wife: 1 });
  assert.deepEqual(f.reads, [false, undefined, 6, 8, false, undefined, -1, true, 0]);
});

test('the tidy forest seeds at the first valid id when the anchor is not given, and is empty without people', async () => {
  const ids = await build(['A', 'B', 'C'], [['A', 'B', 'parent'], ['B', 'C', 'parent']]);
  const r = await app.run(ids => ({
    root: tidyForest(['nobody', ids.C, ids.A], 'elsewhere').groups[0].root === ids.C,
    deep: [...tidyForest([ids.C, ids.A, ids.B], ids.C).generation.values()],
    empty: tidyForest(['nobody'], 'nobody').groups.length,
  }), ids);
  assert.deepEqual(r, { root: true, deep: [0, -1, -2], empty: 0 });
});

test('the forest and the group arrangement are cached under their keys and a new link empties them', async () => {
  const ids = await build(['A', 'B', 'C'], [['A', 'B', 'parent']]);
  await app.frames(2);
  const arrange = await app.countCalls('smartArrangement');
  try {
    const r = await app.run(ids => {
      // The forest cached is the home group's (C stands apart on the workbench until it is linked).
      klnInvalidatePositionLayoutCaches();
      const shown = displayed();
      const forest = tidyForest(connectedGroup(ids.A), ids.A);
      buildLayout(shown);
      buildLayout(displayed());
      const same = tidyForest(connectedGroup(ids.A), ids.A) === forest;
      bulkImport = true;
      addEdge(ids.B, ids.C, 'parent');
      bulkImport = false;
      const renewed = tidyForest(connectedGroup(ids.A), ids.A) !== forest;
      buildLayout(displayed());
      return { same, renewed };
    }, ids);
    assert.deepEqual(r, { same: true, renewed: true });
    assert.equal(await arrange.count(), 2);
  } finally {
    await arrange.restore();
  }
});

test('moving the generation slider never re-arranges: the still visible keep their points', async () => {
  const people = ['H', 'Dad', 'Mum', 'Gpa', 'Kid', 'Grandkid', 'Great', 'Wife'];
  await build(people, [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ['Gpa', 'Dad', 'parent'],
    ['H', 'Kid', 'parent'], ['Kid', 'Grandkid', 'parent'], ['Grandkid', 'Great', 'parent'], ['H', 'Wife', 'spouse'],
    ['Dad', 'Mum', 'spouse']]);
  await app.run(() => refreshGenerationControls(true));
  const all = await pointsByName();
  const arrange = await app.countCalls('smartArrangement');
  try {
    for (const steps of [1, 2, 1]) {
      await app.page.locator('#generationRange').fill(String(steps));
      const some = await pointsByName();
      assert.ok(Object.keys(some).length < people.length);
      for (const [name, p] of Object.entries(some)) assert.deepEqual(p, all[name], name);
    }
    assert.equal(await arrange.count(), 0);
  } finally {
    await arrange.restore();
    await app.run(() => refreshGenerationControls(true));
  }
});

test('1,200 people in the home group get the connected arrangement, 1,201 the general one', async () => {
  for (const [children, connected] of [[1198, true], [1199, false]]) {
    const kids = Array.from({ length: children }, (_, i) => `K${i}`);
    await build(['H', 'Parent', ...kids], [['Parent', 'H', 'parent'], ...kids.map(k => ['H', k, 'parent'])]);
    const organized = await app.countCalls('organizedConnectedLayout');
    const general = await app.countCalls('generalArrangement');
    try {
      const size = await app.run(() => {
        klnInvalidatePositionLayoutCaches();
        return buildLayout(displayed()).size;
      });
      assert.equal(size, children + 2);
      assert.deepEqual([await organized.count(), await general.count()], connected ? [1, 0] : [0, 1]);
    } finally {
      await organized.restore();
      await general.restore();
    }
  }
});

test('the same records give the same points twice', async () => {
  const people = ['H', 'Dad', 'Mum', 'Gpa', 'Gma', 'Sis', 'Kid1', 'Kid2', 'Wife', 'Inlaw'];
  const links = [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ['Dad', 'Mum', 'spouse'], ['Gpa', 'Dad', 'parent'],
    ['Gma', 'Dad', 'parent'], ['Dad', 'Sis', 'parent'], ['H', 'Kid1', 'parent'], ['H', 'Kid2', 'parent'],
    ['H', 'Wife', 'spouse'], ['Inlaw', 'Wife', 'parent'], ['Wife', 'Kid1', 'parent']];
  await build(people, links);
  const first = await pointsByName();
  await forgetLayouts(app);
  assert.deepEqual(await pointsByName(), first);
  await build(people, links);
  assert.deepEqual(await pointsByName(), first);
  const distinct = new Set(Object.values(first).map(p => p.x + ',' + p.y));
  assert.equal(distinct.size, people.length);
});

test('six staged unlinked people form a row of five and a row of one beside and below home', async () => {
  await build(['H', 'Kid', 'U1', 'U2', 'U3', 'U4', 'U5', 'U6'], [['H', 'Kid', 'parent']]);
  const box = app.page.locator('#klnShowUnlinked');
  if (!await box.isChecked()) await box.click();
  try {
    const points = await pointsByName();
    const home = points.H;
    const expected = [[0, 0], [1, 0], [2, 0], [3, 0], [4, 0], [0, 1]];
    expected.forEach(([column, row], i) => assert.deepEqual(points[`U${i + 1}`],
      { x: home.x + 340 + 205 * column, y: home.y + 240 + 180 * row, z: home.z, gen: 0 }, `U${i + 1}`));
    assert.deepEqual(await app.run(() => {
      const ids = displayed();
      return buildLayout(ids) === buildLayout(displayed());
    }), true);
  } finally {
    await box.click();
  }
  assert.equal((await pointsByName()).U1, undefined);
});

test('people of another connected group get no point, whatever they are asked for', async () => {
  const ids = await build(['H', 'Kid', 'X', 'Y'], [['H', 'Kid', 'parent'], ['X', 'Y', 'spouse']]);
  const r = await app.run(ids => [...buildLayout(Object.values(ids)).keys()].map(id => persons.get(id).name).sort(), ids);
  assert.deepEqual(r, ['H', 'Kid']);
});

test('the birth year that orders relatives is the first run of four digits in the birth text', async () => {
  const cases = [['1850', 1850], ['abt. 1850', 1850], ['12345', 1234], ['1 JAN 99', 100000], ['BET 1700 AND 1710', 1700],
    ['', 100000], [null, 100000], ['20 0 1999', 1999], ['x0001', 1], ['٢٠٢٠ 1888', 1888]];
  const got = await app.run(cases => cases.map(([birth]) => birthYearKey({ birth })), cases);
  assert.deepEqual(got, cases.map(c => c[1]));
});
