// Households and spouse placement: the household layout of simple descendant families, the leaf-partner
// step and the spouse pull, and their respect for orbs placed by hand.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { plain } from './helpers.mjs';

const app = useApp();

async function build(people, links) {
  const ids = await app.build(people, links);
  await app.run(() => refreshGenerationControls(true));
  return ids;
}

const pointsByName = () => app.run(() => {
  const ids = displayed();
  const layout = buildLayout(ids);
  return Object.fromEntries(ids.filter(id => layout.has(id)).map(id => [persons.get(id).name, { ...layout.get(id) }]));
});

// Home H with a husband, 3 children, 9 grandchildren and 45 great-grandchildren (C0, C0.1, C0.1.4, …), each
// married to someone from outside (named after the partner, with " spouse"), who is the other parent.
function descendantFamily({ homeSex = 'F', extraPeople = [], extraLinks = [] } = {}) {
  const people = [{ name: 'H', sex: homeSex }, { name: 'H spouse', sex: homeSex === 'F' ? 'M' : 'F' }];
  const links = [['H', 'H spouse', 'spouse']];
  const add = (parent, name, sex) => {
    people.push({ name, sex }, { name: `${name} spouse`, sex: sex === 'M' ? 'F' : 'M' });
    links.push([parent, name, 'parent'], [`${parent} spouse`, name, 'parent'], [name, `${name} spouse`, 'spouse']);
  };
  for (let a = 0; a < 3; a++) {
    add('H', `C${a}`, a % 2 ? 'F' : 'M');
    for (let b = 0; b < 3; b++) {
      add(`C${a}`, `C${a}.${b}`, b % 2 ? 'F' : 'M');
      for (let c = 0; c < 5; c++) add(`C${a}.${b}`, `C${a}.${b}.${c}`, c % 2 ? 'F' : 'M');
    }
  }
  return { people: [...people, ...extraPeople], links: [...links, ...extraLinks] };
}

const centreOf = (p, name) => (p[name].x + p[`${name} spouse`].x) / 2;

test('a descendant family of three generations gets the household layout with wide branch lanes', async () => {
  const f = descendantFamily();
  await build(f.people, f.links);
  const p = await pointsByName();
  assert.equal(Object.keys(p).length, 116);
  assert.ok(await app.run(() => coupleTreeCache.value !== null));
  assert.deepEqual(plain(p.H), { x: 143, y: 0, z: 0, gen: 0 });
  assert.deepEqual(p['H spouse'], { x: -143, y: 0, z: 12, gen: 0 });
  assert.deepEqual(['C0', 'C1', 'C2'].map(c => centreOf(p, c)), [-10300, 0, 10300]);
  assert.deepEqual([p.C0, p['C0 spouse']].map(q => [q.x, q.y, q.z, q.gen]), [[-10443, 1080, 12, 1], [-10157, 1080, 24, 1]]);
  assert.deepEqual(['C1.0', 'C1.1', 'C1.2'].map(c => centreOf(p, c)), [-1140, 0, 1140]);
  assert.ok(['C1.0', 'C1.1', 'C1.2'].every(c => p[c].y === 2480 && p[c].z === 24));
  for (const tier of [0, 1, 2]) {
    const parent = `C2.${tier}`;
    const kids = [0, 1, 2, 3, 4].map(i => `${parent}.${i}`);
    assert.deepEqual(kids.map(k => centreOf(p, k) - centreOf(p, parent)), [-1580, -790, 0, 790, 1580]);
    assert.ok(kids.every(k => p[k].y === 4080 + 1350 * tier && p[k].gen === 3 && p[k].z === 36));
  }
  const cx = centreOf(p, 'C2.1');
  assert.deepEqual(p['C2.1.3'].familyRoute, { householdId: await app.run(() =>
    [...persons.values()].find(q => q.name === 'C2.1').id), centerX: cx, laneX: cx + 2 * 790 + 143 + 245, familyTier: 1,
  turnY: 2480 + 760 - 80, startY: 2480 + 940 - 80, landingY: 4080 + 1350 - 235, childRowY: 4080 + 1350, gen: 3 });
  assert.equal(p['C2.1.3 spouse'].familyRoute, undefined);
});

test('second partners stand beyond the first: a woman at +143, husbands at -143 and -395', async () => {
  for (const [sex, own, first, second] of [['F', 143, -143, -395], ['M', -143, 143, 395]]) {
    const f = descendantFamily({ homeSex: sex, extraPeople: ['Second'], extraLinks: [['H', 'Second', 'spouse']] });
    await build(f.people, f.links);
    const p = await pointsByName();
    assert.deepEqual([p.H.x, p['H spouse'].x, p.Second.x], [own, first, second], `home of sex ${sex}`);
    assert.deepEqual([p['H spouse'].z, p.Second.z], [12, 14]);
  }
});

test('a grandchild married to a cousin keeps the household layout; both stand as descendants', async () => {
  const f = descendantFamily({ extraLinks: [['C0.1', 'C1.2', 'spouse']] });
  await build(f.people, f.links);
  const p = await pointsByName();
  assert.ok(await app.run(() => coupleTreeCache.value !== null));
  assert.equal(centreOf(p, 'C0.1'), -10300);
  assert.equal(centreOf(p, 'C1.2'), 1140);
});

const fallbacks = [
  ['one great-great-grandchild', { extraPeople: ['Deep'], extraLinks: [['C0.0.0', 'Deep', 'parent']] }],
  ['a child with two descendant parents', { extraPeople: ['Twice'], extraLinks: [['C0.1', 'Twice', 'parent'], ['C1.1', 'Twice', 'parent']] }],
  ['an outsider married to two descendants', { extraLinks: [['C0 spouse', 'C1', 'spouse']] }],
  ['a parent of the home person', { extraPeople: ['Mother'], extraLinks: [['Mother', 'H', 'parent']] }],
];

for (const [what, extra] of fallbacks) {
  test(`with ${what} the family falls back to the group arrangement`, async () => {
    const f = descendantFamily(extra);
    await build(f.people, f.links);
    const p = await pointsByName();
    assert.equal(await app.run(() => coupleTreeCache.value), null);
    assert.equal(Object.keys(p).length, f.people.length);
    assert.ok(p.C0.y > p.H.y && p['C0.0'].y > p.C0.y);
  });
}

test('a childless husband of the home person stands 190 right of her, z 26 nearer', async () => {
  await build(['H', 'Dad', 'Mum', 'Husband'], [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ['H', 'Husband', 'spouse']]);
  const p = await pointsByName();
  assert.deepEqual(p.Husband, { x: 190, y: 0, z: 26, gen: 0 });
});

test('a partner placed by hand, in 2D or in 3D, is never moved by either spouse step', async () => {
  const ids = await build(['H', 'Dad', 'Mum', 'Husband', 'Far', 'FarKid'],
    [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ['H', 'Husband', 'spouse'], ['Far', 'FarKid', 'parent'],
      ['H', 'Far', 'spouse']]);
  const moved = await pointsByName();
  assert.ok(Math.hypot(moved.Far.x - moved.H.x, moved.Far.y - moved.H.y) <= 640);
  const arranged = await app.run(() => {
    const home = effectiveHome();
    const l = smartArrangement(connectedPeople(home), home, 'connected');
    return Object.fromEntries([...l].map(([id, p]) => [persons.get(id).name, { ...p }]));
  });
  for (const flag of [{ orbOffset2D: { x: 30, y: 0 } }, { orbOffset3D: { x: 0, y: 0, z: 40 } }, { klnUserMovedOrb: true }]) {
    const p = await app.run(({ ids, flag }) => {
      for (const id of [ids.Husband, ids.Far]) {
        const person = persons.get(id);
        for (const f of MANUAL_PLACEMENT_FIELDS) delete person[f];
        Object.assign(person, JSON.parse(JSON.stringify(flag)));
      }
      klnInvalidatePositionLayoutCaches();
      const layout = buildLayout(displayed());
      return { Husband: { ...layout.get(ids.Husband) }, Far: { ...layout.get(ids.Far) } };
    }, { ids, flag });
    assert.deepEqual(p, { Husband: arranged.Husband, Far: arranged.Far }, JSON.stringify(flag));
  }
});

// Runs a spouse step on hand-made points: `points` maps names to [x, y, z].
const step = (name, points, root, ids) => app.run(({ name, points, root, ids }) => {
  const byName = new Map([...persons.values()].map(p => [p.name, p.id]));
  const placed = new Map(Object.entries(points).map(([n, [x, y, z]]) => [byName.get(n), { x, y, z, gen: 0 }]));
  if (name === 'leaf') pullLeafPartners(placed, byName.get(root));
  else bringSpousesCloser(placed, (ids || Object.keys(points)).map(n => byName.get(n)), byName.get(root));
  return Object.fromEntries([...placed].map(([id, p]) => [persons.get(id).name, [p.x, p.y, p.z]]));
}, { name, points, root, ids });

test('the leaf partner takes the first trial slot that no other orb crowds', async () => {
  await build(['R', 'W', 'X', 'Y'], [['R', 'W', 'spouse'], ['R', 'X', 'parent'], ['R', 'Y', 'parent']]);
  const cases = [
    [{ X: [200, 50, 0], Y: [-1000, 900, 0] }, [-190, 0, -26]],
    [{ X: [200, 50, 0], Y: [-200, -50, 0] }, [510, 0, 26]],
    [{ X: [2000, 900, 0], Y: [-2000, 900, 0] }, [190, 0, 26]],
  ];
  for (const [others, expected] of cases) {
    const p = await step('leaf', { R: [0, 0, 0], W: [5000, 0, 9], ...others }, 'R');
    assert.deepEqual(p.W, expected, JSON.stringify(others));
  }
  assert.deepEqual((await step('leaf', { R: [0, 0, 0], W: [300, 100, 0], X: [2000, 0, 0], Y: [-2000, 0, 0] }, 'R')).W,
    [300, 100, 0], 'already within 355');
});

test('a person married twice with both spouses far away gets both beside them', async () => {
  await build(['Hub', 'S1', 'S2', 'Kid', 'K1', 'K2'],
    [['Hub', 'S1', 'spouse'], ['Hub', 'S2', 'spouse'], ['Hub', 'Kid', 'parent'], ['S1', 'K1', 'parent'], ['S2', 'K2', 'parent']]);
  const p = await step('pull', { Hub: [0, 0, 10], S1: [5000, 0, 30], S2: [-5000, 100, 0], Kid: [0, 2000, 0],
    K1: [5000, 2000, 0], K2: [-5000, 2000, 0] }, 'Kid');
  assert.deepEqual(p.S1, [215, 0, 34]);
  assert.deepEqual(p.S2, [-215, 0, -14]);
});

test('the spouse pull chooses the least crowded site, and the partner with more marriages stays', async () => {
  await build(['Z', 'Y', 'Q', 'Kid', 'Crowd1', 'Crowd2'],
    [['Z', 'Y', 'spouse'], ['Z', 'Q', 'spouse'], ['Y', 'Kid', 'parent'], ['Z', 'Crowd1', 'parent'], ['Z', 'Crowd2', 'parent']]);
  const p = await step('pull', { Z: [0, 0, 0], Y: [3000, 0, 0], Q: [300, 0, 0], Kid: [3000, 2000, 0],
    Crowd1: [215, 0, 0], Crowd2: [220, -145, 0] }, 'Kid');
  assert.deepEqual(p.Z, [0, 0, 0]);
  assert.deepEqual(p.Q, [300, 0, 0]);
  assert.deepEqual(p.Y, [215, 145, 24]);
});

test('the spouse pull leaves everything alone above 1,400 people or below 2 placed', async () => {
  await build(['Hub', 'S1', 'K'], [['Hub', 'S1', 'spouse'], ['S1', 'K', 'parent']]);
  const far = { Hub: [0, 0, 0], S1: [5000, 0, 0], K: [5000, 900, 0] };
  const many = ['Hub', 'S1', 'K', ...Array.from({ length: 1398 }, (_, i) => `nobody${i}`)];
  assert.deepEqual((await step('pull', far, 'Hub', many)).S1, [5000, 0, 0]);
  assert.deepEqual((await step('pull', { S1: [5000, 0, 0] }, 'Hub')).S1, [5000, 0, 0]);
  assert.deepEqual((await step('pull', far, 'Hub')).S1, [215, 0, 24]);
});
