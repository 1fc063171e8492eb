// Family link routing: shared junctions and forks, households (standard, corridor, wrapped rows, remote),
// further parents, sibling arcs, childless couples, the long-link rules and the dense topology.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout } from './helpers.mjs';

const app = useApp();

// Paints one frame at the given camera and returns every curve and junction dot the link layer drew,
// with screen points rounded to 0.1 pixel, and the screen point of every person.
function route(camera = { zoom: 0.5, shiftX: 0, shiftY: 0 }) {
  return app.run(camera => {
    setCameraFields(camera);
    const curves = [], dots = [];
    const round = p => ({ x: Math.round(p.x * 10) / 10, y: Math.round(p.y * 10) / 10 });
    const realCurve = strokeCurve, realDot = junctionDot;
    strokeCurve = (lf, a, c1, c2, b, color, alpha, width, dashed) => {
      curves.push({ a: round(a), b: round(b), c1: round(c1), c2: round(c2), color, alpha, width, dashed: !!dashed });
      return realCurve(lf, a, c1, c2, b, color, alpha, width, dashed);
    };
    junctionDot = (lf, p, radius, color, alpha) => { dots.push({ p: round(p), radius }); return realDot(lf, p, radius, color, alpha); };
    try { renderNeeded = true; draw(); } finally { strokeCurve = realCurve; junctionDot = realDot; }
    const at = {};
    for (const [id, s] of positionNodes(displayed())) at[id] = round(s);
    return { curves, dots, at };
  }, camera);
}

const same = (p, q) => Math.abs(p.x - q.x) < 0.2 && Math.abs(p.y - q.y) < 0.2;
const touching = (curves, p) => curves.filter(c => same(c.a, p) || same(c.b, p));

const COUPLE = [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Ann', 'Dee', 'parent'],
  ['Bob', 'Dee', 'parent'], ['Ann', 'Eve', 'parent'], ['Bob', 'Eve', 'parent']];

test('two parents with three children: one junction and one fork with three arms, not six diagonals', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve'], COUPLE);
  await fixLayout(app, ids, { Ann: [-180, 0, 0], Bob: [180, 0, 0], Cy: [-400, 400, 0], Dee: [0, 400, 0], Eve: [400, 400, 0] });
  try {
    const { curves, dots, at } = await route();
    assert.equal(curves.length, 6);
    const parents = [at[ids.Ann], at[ids.Bob]], children = [at[ids.Cy], at[ids.Dee], at[ids.Eve]];
    const fromParents = curves.filter(c => parents.some(p => same(c.a, p)));
    assert.equal(fromParents.length, 2);
    const hub = fromParents[0].b;
    assert.ok(same(fromParents[1].b, hub), 'both parents meet at one hub');
    const stem = curves.filter(c => same(c.a, hub));
    assert.equal(stem.length, 1);
    const fork = stem[0].b;
    const arms = curves.filter(c => same(c.a, fork));
    assert.equal(arms.length, 3);
    assert.deepEqual(children.map(p => arms.filter(c => same(c.b, p)).length), [1, 1, 1]);
    assert.equal(curves.filter(c => parents.some(p => same(c.a, p)) && children.some(p => same(c.b, p))).length, 0);
    // Hub 37 % and fork a further 32 % of the way down, 38 % of the way across to the children.
    const parentY = parents[0].y, childY = children[0].y;
    assert.ok(Math.abs(hub.y - (parentY + 0.37 * (childY - parentY))) < 0.2);
    assert.ok(Math.abs(fork.y - (hub.y + 0.32 * (childY - hub.y))) < 0.2);
    assert.equal(dots.length, 1);
    assert.ok(same(dots[0].p, hub));
    // Lines leave and enter vertically.
    for (const c of curves) assert.ok(c.c1.x === c.a.x && c.c2.x === c.b.x);
  } finally {
    await restoreLayout(app);
  }
});

test('one parent with several children shares a junction with a stem; a single child gets one line', async () => {
  const ids = await app.build(['Ann', 'Cy', 'Dee', 'Eve', 'Fay'],
    [['Ann', 'Cy', 'parent'], ['Ann', 'Dee', 'parent'], ['Ann', 'Eve', 'parent'], ['Eve', 'Fay', 'parent']]);
  await fixLayout(app, ids, { Ann: [0, 0, 0], Cy: [-400, 400, 0], Dee: [0, 400, 0], Eve: [400, 400, 0], Fay: [400, 800, 0] });
  try {
    const { curves, dots, at } = await route({ zoom: 0.5, shiftX: 0, shiftY: -150 });
    const stem = curves.filter(c => same(c.a, at[ids.Ann]));
    assert.equal(stem.length, 1);
    const junction = stem[0].b;
    assert.ok(Math.abs(junction.x - at[ids.Ann].x) < 0.2);
    assert.ok(Math.abs(junction.y - (at[ids.Ann].y + 0.48 * (at[ids.Dee].y - at[ids.Ann].y))) < 0.2);
    assert.equal(curves.filter(c => same(c.a, junction)).length, 3);
    assert.equal(dots.length, 1, 'a dot at the junction above zoom 0.16');
    assert.deepEqual(touching(curves, at[ids.Fay]).map(c => [same(c.a, at[ids.Eve]), same(c.b, at[ids.Fay])]), [[true, true]]);
    const far = await route({ zoom: 0.15, shiftX: 0, shiftY: 0 });
    assert.equal(far.dots.length, 0, 'no dot at zoom 0.15');
  } finally {
    await restoreLayout(app);
  }
});

test('a household standing 5,000 units beside its children draws nothing among 150 people, at every zoom', async () => {
  const kids = Array.from({ length: 144 }, (_, i) => 'K' + i);
  const people = ['Home', 'Pa', 'Ma', 'Cy', 'Dee', 'Zed', ...kids];
  const links = [['Home', 'Pa', 'parent'], ['Home', 'Ma', 'parent'], ['Home', 'Zed', 'parent'], ['Pa', 'Cy', 'parent'], ['Ma', 'Cy', 'parent'],
    ['Pa', 'Dee', 'parent'], ['Ma', 'Dee', 'parent'], ...kids.map(k => ['Zed', k, 'parent'])];
  const ids = await app.build(people, links);
  const points = { Home: [0, -2000, 0], Pa: [-5180, 0, 0], Ma: [-4820, 0, 0], Zed: [3000, 0, 0], Cy: [0, 1000, 0], Dee: [360, 1000, 0] };
  kids.forEach((k, i) => { points[k] = [3000 + (i % 12) * 300, 1000 + Math.floor(i / 12) * 300, 0]; });
  await fixLayout(app, ids, points);
  try {
    assert.equal(await app.run(() => displayed().length), 150);
    for (const zoom of [0.02, 0.1, 0.5]) {
      // The camera looks at the children.
      const { curves, at } = await route({ zoom, shiftX: -180 * zoom, shiftY: -1000 * zoom });
      for (const key of ['Cy', 'Dee']) assert.deepEqual(touching(curves, at[ids[key]]), [], `${key} at zoom ${zoom}`);
      if (zoom === 0.02) assert.ok(curves.length > 0, 'the rest of the family is drawn');
    }
    assert.equal(await app.run(ids => klnRemoteParentGroup([ids.Pa, ids.Ma], [ids.Cy, ids.Dee], buildLayout(displayed()), 150), ids), true);
  } finally {
    await restoreLayout(app);
  }
});

test('long-link rules: none below 100 displayed people; sibling beyond 650 across, parent beyond max(760, 0.68 dy)', async () => {
  const cases = [
    // [dx, dy, kind, count, long]
    [5000, 0, 'parent', 99, false],
    [5000, 0, 'sibling', 99, false],
    [761, 0, 'parent', 100, true],
    [760, 0, 'parent', 100, false],
    [1300, 2000, 'parent', 150, false],
    [1361, 2000, 'parent', 150, true],
    [651, 0, 'sibling', 100, true],
    [650, 5000, 'sibling', 100, false],
  ];
  const got = await app.run(cases => cases.map(([dx, dy, kind, count]) => {
    const layout = new Map([['a', { x: 0, y: 0 }], ['b', { x: dx, y: dy }]]);
    return klnLongFamilyLink('a', 'b', layout, kind, count);
  }), cases);
  assert.deepEqual(got, cases.map(c => c[4]));
  assert.equal(await app.run(() => klnLongFamilyLink('a', 'missing', new Map([['a', { x: 0, y: 0 }]]), 'parent', 500)), false);
});

test('remote tests for households and childless couples', async () => {
  const got = await app.run(() => {
    const layout = new Map([['p', { x: 0, y: 0 }], ['q', { x: 200, y: 0 }], ['c', { x: 1200, y: 400 }],
      ['r', { x: 1200, y: 400, familyRoute: { householdId: 'p' } }], ['s', { x: 900, y: 0 }], ['t', { x: 849, y: 0 }]]);
    return [
      klnRemoteParentGroup(['p', 'q'], ['c'], layout, 100),
      klnRemoteParentGroup(['p', 'q'], ['c'], layout, 99),
      klnRemoteParentGroup(['p', 'q'], ['c', 'r'], layout, 100),
      klnRemoteParentGroup(['p'], ['c'], layout, 100),
      klnRemoteChildlessMarriage('p', 's', layout, 81),
      klnRemoteChildlessMarriage('p', 's', layout, 80),
      klnRemoteChildlessMarriage('p', 't', layout, 81),
    ];
  });
  assert.deepEqual(got, [true, false, false, false, true, false, false]);
});

test('a childless couple 900 apart is drawn among 80 people and left out among 81', async () => {
  for (const [n, drawn] of [[80, true], [81, false]]) {
    const kids = Array.from({ length: n - 3 }, (_, i) => 'K' + i);
    const ids = await app.build(['Home', 'Ann', 'Bob', ...kids],
      [['Home', 'Ann', 'parent'], ['Ann', 'Bob', 'spouse'], ...kids.map(k => ['Home', k, 'parent'])]);
    const points = { Home: [0, -300, 0], Ann: [0, 0, 0], Bob: [900, 0, 0] };
    kids.forEach((k, i) => { points[k] = [-300 - i * 10, 0, 0]; });
    await fixLayout(app, ids, points);
    try {
      const { curves, at } = await route({ zoom: 0.5, shiftX: 0, shiftY: 0 });
      const arcs = curves.filter(c => c.color === '#efafd6');
      assert.equal(arcs.length, drawn ? 1 : 0, `${n} people`);
      if (drawn) {
        assert.ok(same(arcs[0].a, at[ids.Ann]) && same(arcs[0].b, at[ids.Bob]));
        assert.ok(arcs[0].c1.y < at[ids.Ann].y, 'the arc rises');
      }
    } finally {
      await restoreLayout(app);
    }
  }
});

test('a couple whose only child is hidden gets no marriage arc; childless couples are listed once', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Dee', 'Ann', 'spouse'], ['Eve', 'Dee', 'parent']]);
  const pairs = await app.run(ids => [
    visibleChildlessSpousePairs([ids.Ann, ids.Bob, ids.Dee]),
    visibleChildlessSpousePairs([ids.Ann, ids.Bob, ids.Cy, ids.Dee, ids.Eve]),
    visibleChildlessSpousePairs([ids.Ann, ids.Bob]),
  ], ids);
  assert.deepEqual(pairs, [[[ids.Dee, ids.Ann]], [[ids.Dee, ids.Ann]], []]);
});

test('a couple counts as having a child together only through one child on record with both as parents', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve', 'Fay'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Dee', 'Cy', 'parent'], ['Bob', 'Eve', 'parent'],
      ['Cy', 'Dee', 'spouse'], ['Cy', 'Fay', 'parent'], ['Dee', 'Fay', 'parent']]);
  const pairs = await app.run(ids => {
    const all = Object.values(ids);
    const out = { halves: visibleChildlessSpousePairs(all) };
    // A shared child whose person record is gone no longer counts.
    const fay = persons.get(ids.Fay);
    persons.delete(ids.Fay);
    try { out.childGone = visibleChildlessSpousePairs(all.filter(id => id !== ids.Fay)); } finally { persons.set(ids.Fay, fay); }
    return out;
  }, ids);
  assert.deepEqual(pairs.halves, [[ids.Ann, ids.Bob]], 'children with other partners make no shared child');
  assert.deepEqual(pairs.childGone, [[ids.Ann, ids.Bob], [ids.Cy, ids.Dee]]);
});

test('a sibling link that no shared parent explains is a dashed arc; shared parents hide it', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee'],
    [['Ann', 'Bob', 'sibling'], ['Ann', 'Cy', 'parent'], ['Dee', 'Ann', 'parent'], ['Dee', 'Cy', 'parent'], ['Bob', 'Dee', 'sibling']]);
  await fixLayout(app, ids, { Ann: [0, 0, 0], Bob: [400, 0, 0], Cy: [0, 400, 0], Dee: [-200, -400, 0] });
  try {
    const { curves, at } = await route();
    const dashed = curves.filter(c => c.dashed);
    assert.ok(dashed.length >= 1);
    for (const arc of dashed) {
      const lift = arc.a.y - arc.c1.y;
      assert.ok(lift >= 18 - 0.2 && lift <= 55 + 0.2, `lift ${lift}`);
      assert.equal(arc.alpha, 0.65);
    }
    assert.ok(dashed.some(c => (same(c.a, at[ids.Ann]) && same(c.b, at[ids.Bob])) || (same(c.a, at[ids.Bob]) && same(c.b, at[ids.Ann]))));
  } finally {
    await restoreLayout(app);
  }
});

test('pedigree collapse: the hidden parent links show as "+2" on the selected person', async () => {
  // Home's parents Fa and Mo are themselves siblings (both children of G1 and G2).
  const ids = await app.build(['Home', 'Fa', 'Mo', 'G1', 'G2'],
    [['Fa', 'Home', 'parent'], ['Mo', 'Home', 'parent'], ['G1', 'Fa', 'parent'], ['G2', 'Fa', 'parent'], ['G1', 'Mo', 'parent'], ['G2', 'Mo', 'parent']]);
  await fixLayout(app, ids, { Home: [0, 0, 0], Fa: [-200, -400, 0], Mo: [200, -400, 0], G1: [-200, -800, 0], G2: [200, -800, 0] });
  try {
    await app.run(ids => { rootPersonId = focus = ids.Home; }, ids);
    const texts = await app.run(id => {
      selected = id;
      setCameraFields({ zoom: 0.5, shiftX: 0, shiftY: 200 });
      const out = [];
      const real = CanvasRenderingContext2D.prototype.fillText;
      CanvasRenderingContext2D.prototype.fillText = function (t, ...rest) { out.push(t); return real.call(this, t, ...rest); };
      try { renderNeeded = true; draw(); } finally { CanvasRenderingContext2D.prototype.fillText = real; }
      return out;
    }, ids.Mo);
    assert.equal(await app.run(id => tucked.get(id), ids.Mo), 2);
    assert.ok(texts.includes('+2'), texts.join(' | '));
    const small = await app.run(() => {
      setCameraFields({ zoom: 0.2 });
      const out = [];
      const real = CanvasRenderingContext2D.prototype.fillText;
      CanvasRenderingContext2D.prototype.fillText = function (t, ...rest) { out.push(t); return real.call(this, t, ...rest); };
      try { renderNeeded = true; draw(); } finally { CanvasRenderingContext2D.prototype.fillText = real; }
      return out;
    });
    assert.ok(!small.includes('+2'), 'no note on an orb under 11 pixels');
  } finally {
    await restoreLayout(app);
  }
});

test('a third parent outside the backbone gets its own line and leaves the hidden count', async () => {
  // P3 is reached first as P1's sibling, so its parent link to Kid is not in the backbone.
  const ids = await app.build(['Kid', 'P1', 'P2', 'P3'],
    [['P1', 'Kid', 'parent'], ['P2', 'Kid', 'parent'], ['P3', 'Kid', 'parent'], ['P1', 'P3', 'sibling']]);
  await fixLayout(app, ids, { Kid: [0, 0, 0], P1: [-300, -400, 0], P2: [0, -400, 0], P3: [300, -400, 0] });
  try {
    await app.run(id => { rootPersonId = focus = id; }, ids.P1);
    const { curves, at } = await route();
    const toKid = touching(curves, at[ids.Kid]);
    assert.ok(touching(curves, at[ids.P3]).length > 0 && touching(curves, at[ids.P2]).length > 0);
    assert.deepEqual(['P1', 'P2', 'P3'].map(k => toKid.filter(c => same(c.a, at[ids[k]])).length), [1, 1, 1]);
    assert.deepEqual(await app.run(ids => [tucked.get(ids.Kid) || 0, tucked.get(ids.P2) || 0, tucked.get(ids.P3) || 0], ids), [0, 0, 0]);
  } finally {
    await restoreLayout(app);
  }
});

test('a household corridor leads down its lane: centre, turn, lane start, lane end, fork, one arm per child', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee'],
    [['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Ann', 'Dee', 'parent'], ['Bob', 'Dee', 'parent']]);
  const route0 = { householdId: ids.Ann, centerX: 0, laneX: 1200, familyTier: 0, turnY: 3240, startY: 3420, landingY: 3845, childRowY: 4080, gen: 3 };
  await fixLayout(app, ids, { Ann: [-143, 2480, 24], Bob: [143, 2480, 24],
    Cy: [-395, 4080, 36, 3, { familyRoute: route0 }], Dee: [395, 4080, 36, 3, { familyRoute: route0 }] });
  try {
    const { curves, dots, at } = await route({ zoom: 0.2, shiftX: 0, shiftY: -650 });
    assert.equal(dots.length, 0, 'no junction dot in a corridor');
    assert.equal(curves.length, 2 + 4 + 2);
    const centre = curves.find(c => same(c.a, at[ids.Ann])).b;
    const chain = [centre];
    for (let i = 0; i < 4; i++) chain.push(curves.find(c => same(c.a, chain[chain.length - 1])).b);
    const [, turn, laneStart, laneEnd, fork] = chain;
    assert.ok(Math.abs(turn.x - centre.x) < 0.2, 'the turn is under the centre');
    const laneX = await app.run(() => project({ x: 1200, y: 3420, z: 24 + 12 * 0.17 }).x);
    assert.ok(Math.abs(laneStart.x - laneX) < 0.2 && Math.abs(laneEnd.x - laneX) < 0.2, 'the lane runs at laneX');
    assert.ok(Math.abs(fork.x - (at[ids.Cy].x + at[ids.Dee].x) / 2) < 0.2, 'the fork is above the children');
    assert.equal(curves.filter(c => same(c.a, fork)).length, 2);
  } finally {
    await restoreLayout(app);
  }
});

test('children on several rows hang from feeders, row by row (2D only)', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve'], COUPLE);
  await fixLayout(app, ids, { Ann: [-180, 0, 0], Bob: [180, 0, 0], Cy: [-400, 400, 0], Dee: [0, 400, 0], Eve: [400, 700, 0] });
  try {
    const { curves, at } = await route();
    const start = curves.find(c => same(c.a, at[ids.Ann])).b;
    assert.ok(same(curves.find(c => same(c.a, at[ids.Bob])).b, start));
    const feeder1 = curves.find(c => same(c.a, start)).b;
    const feeder2 = curves.find(c => same(c.a, feeder1) && !same(c.b, at[ids.Cy]) && !same(c.b, at[ids.Dee])).b;
    assert.deepEqual([at[ids.Cy], at[ids.Dee]].map(p => curves.filter(c => same(c.a, feeder1) && same(c.b, p)).length), [1, 1]);
    assert.equal(curves.filter(c => same(c.a, feeder2) && same(c.b, at[ids.Eve])).length, 1);
    assert.ok(feeder1.y < at[ids.Cy].y && feeder2.y < at[ids.Eve].y && feeder2.y > at[ids.Dee].y);
    await app.call('modeSwitch', true);
    const deep = await route({ zoom: 0.5, rotation: 0, tilt: 0, shiftX: 0, shiftY: 0, target3D: { x: 0, y: 0, z: 0 } });
    assert.equal(deep.curves.length, 6, 'the standard hub and fork in 3D');
  } finally {
    await app.call('modeSwitch', false);
    await restoreLayout(app);
  }
});

test('the dense topology: six segments for a couple with three children, one per single link, none for long links', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve', 'Fay', 'Gus', 'Hal'],
    [...COUPLE, ['Eve', 'Fay', 'parent'], ['Gus', 'Hal', 'spouse'], ['Gus', 'Ann', 'parent']]);
  await fixLayout(app, ids, { Ann: [-180, 0, 0], Bob: [180, 0, 0], Cy: [-400, 400, 0], Dee: [0, 400, 0], Eve: [400, 400, 0],
    Fay: [400, 800, 0], Gus: [-180, -400, 0], Hal: [180, -400, 0] });
  try {
    const segments = await app.run(() => {
      setCameraFields({ zoom: 0.5, shiftX: 0, shiftY: 0 });
      const ids = displayed();
      const layout = buildLayout(ids);
      return denseSegments(ids, layout, positionNodes(ids, layout)).length;
    });
    assert.equal(segments, 6 + 1 + 1 + 1);
  } finally {
    await restoreLayout(app);
  }
});

// The link plan (which lines exist) is kept while only the camera moves, and must never be stale: after
// each change below, the plan the frame used equals one worked out afresh.
test('the link plan is reused while the camera moves and made anew when records, home or shown people change', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve', 'Fay', 'Gus'],
    [...COUPLE, ['Cy', 'Fay', 'spouse'], ['Dee', 'Gus', 'parent']]);
  await app.run(ids => { rootPersonId = focus = selected = ids.Ann; modeSwitch(true); fitGraph(); update(); }, ids);
  const steps = [
    ['pan and rotate the camera', () => setCameraFields({ shiftX: shiftX + 40, rotation: rotation + 0.3 }), true],
    ['a childless couple linked', ids => addEdge(ids.Eve, ids.Gus, 'spouse'), false],
    ['a parent link added', ids => addEdge(ids.Cy, ids.Gus, 'parent'), false],
    ['a link removed in place', ids => { edges.splice(edges.findIndex(e => e.a === ids.Cy && e.b === ids.Fay), 1); update(); }, false],
    ['the ends of a link rewritten in place', ids => {
      const e = edges.find(e => e.type === 'parent' && e.a === ids.Dee && e.b === ids.Gus);
      e.a = ids.Eve;
      rebuildEdgeIndex();
      markFamilyLayoutStale();
      update();
    }, false],
    ['fewer generations shown', () => { setIncludeDescendants(false); setGenerationDepth(1); }, false],
    ['another home person', ids => { rootPersonId = focus = ids.Dee; update(); }, false],
    ['a person deleted', ids => {
      const real = window.confirm;
      window.confirm = () => true;
      try { deletePerson(ids.Fay); } finally { window.confirm = real; }
    }, false],
    ['2D view', () => modeSwitch(false), false],
  ];
  for (const [name, act, reused] of steps) {
    const got = await app.run(([act, ids]) => {
      renderNeeded = true;
      draw();
      const before = linkPlanCache && linkPlanCache.plan;
      (0, eval)('(' + act + ')')(ids);
      renderNeeded = true;
      draw();
      const plan = linkPlanCache.plan;
      const ids2 = displayed(), layout = buildLayout(ids2);
      const lf = lineFrame(null, ids2, layout, positionNodes(ids2, layout));
      const home = activeRootPersonId();
      const fresh = buildLinkPlan(lf, familyForest(connectedPeople(home), home));
      const text = p => JSON.stringify({ ...p, tucked: [...p.tucked].filter(([, n]) => n > 0).sort() });
      return { reused: plan === before, same: text(plan) === text(fresh), plan: text(plan), fresh: text(fresh) };
    }, [act.toString(), ids]);
    assert.equal(got.reused, reused, name);
    assert.ok(got.same, `${name}: ${got.plan} != ${got.fresh}`);
  }
});
