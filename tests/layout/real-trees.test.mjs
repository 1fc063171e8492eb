// The layout on real family trees from other programs: one finite point per visible person, no two orbs on
// one point, parents above their children in the connected arrangement, and the same points every time.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { loadGedcom, forgetLayouts } from './helpers.mjs';

const app = useApp({ timeout: 60000 });

// Points of the visible people, checks of the whole picture, and the forest facts behind them.
const survey = () => app.run(() => {
  const ids = displayed();
  const layout = buildLayout(ids);
  const home = effectiveHome();
  const forest = tidyForest(connectedPeople(home), home);
  let chords = 0;
  for (const e of edges) if (e.type === 'parent' && layout.has(e.a) && layout.has(e.b) && !forest.links.has(e.a + '>' + e.b)) chords++;
  return {
    visible: ids.length, unique: new Set(ids).size, pointed: ids.filter(id => layout.has(id)).length,
    finite: ids.every(id => ['x', 'y', 'z', 'gen'].every(k => Number.isFinite(layout.get(id)[k]))),
    spots: new Set(ids.map(id => `${layout.get(id).x.toFixed(3)},${layout.get(id).y.toFixed(3)}`)).size,
    points: ids.map(id => [id, layout.get(id).x, layout.get(id).y, layout.get(id).z]), chords,
  };
});

// The connected arrangement of the first `limit` people of the home group by step distance (a connected
// piece); returns the number of forest parent links and those whose parent does not stand above the child.
const connectedArrangement = limit => app.run(limit => {
  const home = effectiveHome();
  const piece = [...connectedDepths(home, connectedPeople(home)).keys()].slice(0, limit);
  const layout = smartArrangement(piece, home, 'connected');
  const forest = tidyForest(piece, home);
  const parentLinks = forest.connections.filter(c => c.type === 'parent');
  const wrong = parentLinks.filter(c => {
    const [parent, child] = c.key.split('>');
    return !(layout.get(parent).y < layout.get(child).y);
  });
  return { size: layout.size, piece: piece.length, links: parentLinks.length, wrong: wrong.length };
}, limit);

// Files, the most people of the home group to arrange in the connected arrangement, and whether to move
// the generation slider.
const FILES = [['royal92.ged', 1200, true], ['bourbon.ged', 1200, false], ['willis.ged', 1200, false],
  ['IvarKingOfDublin.ged', 1200, false], ['Queen.ged', 900, true], ['simpsons.ged', 1200, false]];

for (const [file, limit, slide] of FILES) {
  test(`${file}: one finite point each, no two on one spot, parents above children, the same every time`, async () => {
    await loadGedcom(app, file);
    await app.run(() => refreshGenerationControls(true));
    const first = await survey();
    assert.ok(first.visible > 1);
    assert.equal(first.unique, first.visible);
    assert.equal(first.pointed, first.visible);
    assert.equal(first.finite, true);
    assert.equal(first.spots, first.visible);
    await forgetLayouts(app);
    assert.deepEqual((await survey()).points, first.points);

    const r = await connectedArrangement(limit);
    assert.equal(r.size, r.piece);
    assert.ok(r.links > r.piece / 3, `${r.links} forest parent links`);
    assert.equal(r.wrong, 0, 'forest parents below their children');

    if (slide) await slideGenerations(first);
  });
}

// With fewer people shown, everyone keeps the point of the full view except partners moved by the spouse
// steps, which only look at the people shown; the group arrangement itself is not recomputed.
async function slideGenerations(full) {
  const all = new Map(full.points.map(([id, x, y, z]) => [id, [x, y, z]]));
  const arrangement = await app.run(() => { window.__arrangement = singleLayoutCache.layout; return singleLayoutCache.key; });
  for (const steps of [2, 5]) {
    await app.page.locator('#generationRange').fill(String(steps));
    const some = await survey();
    assert.ok(some.visible < all.size);
    assert.equal(some.pointed, some.visible);
    assert.equal(some.spots, some.visible);
    const moved = some.points.filter(([id, x, y, z]) => String([x, y, z]) !== String(all.get(id))).map(p => p[0]);
    const spouses = await app.run(moved => moved.filter(id => spousesOf(id).length > 0).length, moved);
    assert.equal(spouses, moved.length, `${moved.length} moved, ${spouses} of them partners`);
  }
  assert.deepEqual(await app.run(() => [singleLayoutCache.key, singleLayoutCache.layout === window.__arrangement]),
    [arrangement, true]);
  await app.run(() => refreshGenerationControls(true));
}

test('royal92.ged: pedigree collapse leaves extra parent records outside the forest, one orb each', async () => {
  await loadGedcom(app, 'royal92.ged');
  await app.run(() => refreshGenerationControls(true));
  const s = await survey();
  assert.ok(s.chords > 100, `${s.chords} collapse chords`);
  assert.equal(s.spots, s.visible);
});
