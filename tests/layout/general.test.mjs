// General arrangement of large groups and of other scopes: the pedigree-centred tree, collateral slots,
// the radial fan for forest trees above 1,800 people, trees side by side, and its constants.
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

// smartArrangement of everybody in a scope (or, with `general`, the general arrangement itself), by name.
const arrange = (scope, anchorName, general = false) => app.run(({ scope, anchorName, general }) => {
  const anchor = [...persons.values()].find(p => p.name === anchorName).id;
  const ids = [...persons.keys()];
  const layout = general ? generalArrangement(tidyForest(ids, anchor), ids.length, scope, anchor)
    : smartArrangement(ids, anchor, scope);
  return Object.fromEntries([...layout].map(([id, p]) => [persons.get(id).name, { ...p }]));
}, { scope, anchorName, general });

const ANCESTORS = [
  { name: 'H' }, { name: 'Zed', sex: 'M' }, { name: 'Abby', sex: 'F' },
  { name: 'Zed senior', sex: 'M' }, { name: 'Zed mother', sex: 'F' }, { name: 'Abby father', sex: 'M' }, { name: 'Abby mother', sex: 'F' },
];
const ANCESTOR_LINKS = [['Zed', 'H', 'parent'], ['Abby', 'H', 'parent'], ['Zed senior', 'Zed', 'parent'],
  ['Zed mother', 'Zed', 'parent'], ['Abby father', 'Abby', 'parent'], ['Abby mother', 'Abby', 'parent']];

test('a group of 1,201: parents at -350 and +350, grandparents at -1050, -350, 350, 1050, rows 540 apart', async () => {
  const kids = Array.from({ length: 1194 }, (_, i) => `K${i}`);
  await build([...ANCESTORS, ...kids.map(name => ({ name, birth: '1990' }))],
    [...ANCESTOR_LINKS.slice().reverse(), ...kids.map(k => ['H', k, 'parent'])]);
  const points = await app.run(() => {
    const ids = displayed();
    const layout = buildLayout(ids);
    return { size: ids.length, byName: Object.fromEntries(ids.map(id => [persons.get(id).name, { ...layout.get(id) }])) };
  });
  assert.equal(points.size, 1201);
  const p = points.byName;
  assert.deepEqual(plain(p.H), { x: 0, y: 0, z: 0, gen: 0 });
  assert.deepEqual([p.Zed, p.Abby].map(q => [q.x, q.y, q.z, q.gen]), [[-350, -540, -7, -1], [350, -540, -7, -1]]);
  assert.deepEqual(['Zed senior', 'Zed mother', 'Abby father', 'Abby mother'].map(n => [p[n].x, p[n].y]),
    [[-1050, -1080], [-350, -1080], [350, -1080], [1050, -1080]]);
  const row = kids.map(k => p[k].x);
  assert.equal(new Set(row).size, kids.length);
  assert.ok(row.every(x => Math.abs(x / 700 - Math.round(x / 700)) < 1e-9 && x !== 0));
  assert.ok(kids.every(k => p[k].y === 540 && p[k].z === 7));
});

test('collateral branches alternate right and left and slide outward while their slot is taken', async () => {
  await build([{ name: 'R' }, { name: 'K1', birth: '1901' }, { name: 'K2', birth: '1902' }, { name: 'K3', birth: '1903' },
    { name: 'G1', birth: '1930' }, { name: 'G1b', birth: '1931' }, { name: 'G2', birth: '1932' }],
  [['R', 'K1', 'parent'], ['R', 'K2', 'parent'], ['R', 'K3', 'parent'], ['K1', 'G1', 'parent'], ['K1', 'G1b', 'parent'],
    ['K2', 'G2', 'parent']]);
  const p = await arrange('all', 'R');
  assert.deepEqual(Object.fromEntries(Object.entries(p).map(([n, q]) => [n, [q.x, q.y, q.z]])), {
    R: [0, 0, 0], K1: [340, 390, 7], K2: [-340, 390, 7], K3: [680, 390, 7],
    G1: [680, 780, 14], G1b: [1020, 780, 14], G2: [-680, 780, 14],
  });
});

test('with two parents the first collateral child still goes right (position among the forest children)', async () => {
  await build([{ name: 'R' }, { name: 'Dad', sex: 'M' }, { name: 'Mum', sex: 'F' }, { name: 'K1', birth: '1901' },
    { name: 'K2', birth: '1902' }], [['Dad', 'R', 'parent'], ['Mum', 'R', 'parent'], ['R', 'K1', 'parent'], ['R', 'K2', 'parent']]);
  const p = await arrange('near', 'R');
  assert.deepEqual([p.Dad.x, p.Mum.x, p.K1.x, p.K2.x], [-170, 170, 340, -340]);
});

test('the "ancestors" scope with 100 people gives stored bases spacing 640 and rows 500 apart', async () => {
  const kids = Array.from({ length: 97 }, (_, i) => `K${i}`);
  await build([{ name: 'H' }, { name: 'Dad', sex: 'M' }, { name: 'Mum', sex: 'F' }, ...kids],
    [['Dad', 'H', 'parent'], ['Mum', 'H', 'parent'], ...kids.map(k => ['H', k, 'parent'])]);
  const bases = await app.run(() => {
    setViewScope('ancestors');
    try {
      ensureBases();
    } finally {
      setViewScope('connected');
    }
    return Object.fromEntries([...persons.values()].filter(p => ['H', 'Dad', 'Mum'].includes(p.name))
      .map(p => [p.name, [p.layoutBase.x, p.layoutBase.y, p.layoutVersion]]));
  });
  assert.deepEqual(bases, { H: [0, 0, 20], Dad: [-320, -500, 20], Mum: [320, -500, 20] });
});

test('constants by size and scope: small trees use 340 and 390, large connected ones 700 and 540', async () => {
  for (const [kids, scope, spacing, height] of [[38, 'connected', 340, 390], [39, 'connected', 700, 540],
    [39, 'extended', 640, 500], [218, 'ancestors', 640, 500], [219, 'all', 580, 470]]) {
    const names = Array.from({ length: kids }, (_, i) => `K${i}`);
    await build(['R', 'Dad', ...names], [['Dad', 'R', 'parent'], ...names.map(k => ['R', k, 'parent'])]);
    const p = await arrange(scope, 'R', true);
    assert.deepEqual([p.Dad.x, p.Dad.y], [0, -height], `${kids + 2} people, ${scope}`);
    assert.equal(Math.abs(p.K0.x), spacing, `${kids + 2} people, ${scope}`);
  }
});

test('a forest tree of 1,800 people is pedigree-centred, of 1,801 a radial fan', async () => {
  for (const [size, radial] of [[1800, false], [1801, true]]) {
    const kids = Array.from({ length: size - 1 }, (_, i) => `K${String(i).padStart(4, '0')}`);
    await build(['R', ...kids], kids.map(k => ['R', k, 'parent']));
    const p = await arrange('all', 'R');
    assert.equal(p.K0000.z, radial ? 3 : 7, `${size}`);
    assert.equal(p.K0000.gen, 1);
  }
});

test('the radial fan: leaf slices over ±0.91π, each ring wide enough for 185 between neighbours', async () => {
  const kids = Array.from({ length: 1800 }, (_, i) => `K${String(i).padStart(4, '0')}`);
  await build(['R', ...kids], kids.map(k => ['R', k, 'parent']));
  const p = await arrange('all', 'R');
  const minGap = 1.82 * Math.PI / 1800;
  const radius = Math.max(244 * 1800 / 8, 185 / minGap);
  for (const i of [0, 899, 1799]) {
    const a = (i + 0.5) / 1800 * 1.82 * Math.PI - 0.91 * Math.PI;
    const q = p[kids[i]];
    assert.ok(Math.abs(q.x - Math.sin(a) * radius) < 1e-6 && Math.abs(q.y + Math.cos(a) * radius) < 1e-6, kids[i]);
  }
  assert.deepEqual(plain(p.R), { x: 0, y: 0, z: 0, gen: 0 });
});

test('the radial fan gives every subtree its own run of leaf slices, so no two rings share a point', async () => {
  // A has three children (A1 with a child of its own), B one. Counting leaves in a backward breadth-first
  // walk would give A the slices 0 to 3 and B the slices 1 to 2: both the middle 1.5, the same point.
  const wide = Array.from({ length: 1795 }, (_, i) => `W${String(i).padStart(4, '0')}`);
  await build(['R', 'A', 'B', 'A1', 'A2', 'A3', 'A11', 'B1', ...wide],
    [['R', 'A', 'parent'], ['R', 'B', 'parent'], ['A', 'A1', 'parent'], ['A', 'A2', 'parent'], ['A', 'A3', 'parent'],
      ['A1', 'A11', 'parent'], ['B', 'B1', 'parent'], ...wide.map(w => ['R', w, 'parent'])]);
  const p = await arrange('all', 'R');
  const points = Object.values(p).map(q => `${q.x.toFixed(6)},${q.y.toFixed(6)}`);
  assert.equal(new Set(points).size, points.length);
  const angle = q => Math.atan2(q.x, -q.y);
  const slice = i => (i + 0.5) / 1799 * 1.82 * Math.PI - 0.91 * Math.PI;
  for (const [name, at] of [['A11', 0], ['A1', 0], ['A2', 1], ['A3', 2], ['B1', 3], ['B', 3], ['W0000', 4]]) {
    assert.ok(Math.abs(angle(p[name]) - slice(at)) < 1e-9, name);
  }
  assert.ok(Math.abs(angle(p.A) - slice(1)) < 1e-9);
});

test('trees side by side: 2,000 after a pedigree tree, 1,800 after a radial fan', async () => {
  const kids = Array.from({ length: 1800 }, (_, i) => `K${String(i).padStart(4, '0')}`);
  await build(['Small', 'Child', 'Other', 'Other child', 'R', ...kids],
    [['Small', 'Child', 'parent'], ['Other', 'Other child', 'parent'], ...kids.map(k => ['R', k, 'parent'])]);
  const p = await arrange('all', 'Small');
  const extent = names => { const xs = names.map(n => p[n].x); return [Math.min(...xs), Math.max(...xs)]; };
  const [, firstRight] = extent(['Small', 'Child']);
  const [secondLeft, secondRight] = extent(['Other', 'Other child']);
  const [fanLeft] = extent(['R', ...kids]);
  assert.equal(secondLeft - firstRight, 2000);
  assert.ok(Math.abs(fanLeft - secondRight - 1800) < 1e-6);
  assert.deepEqual(plain(p.Small), { x: 0, y: 0, z: 0, gen: 0 });
});
