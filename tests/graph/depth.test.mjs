// The 3D depth queue's painting: line pieces cut at the holes of painted orbs, the queue's order, the open
// paths stroked between orbs, and the box an orb paints into, which decides when they must be stroked.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

// Straight pieces along y = 0 from x0 to x1 (control points at the thirds, so x follows t evenly) against
// holes of radius 10 or 5; the visible parts as x ranges, rounded to a tenth of a pixel.
test('a piece is cut where it enters and leaves painted holes, also between coarse samples and where holes overlap', async () => {
  const cases = [
    ['no hole touched', [-40, 40], [[0, 30, 10]], [[-40, 40]]],
    ['ends inside a hole', [-40, 5], [[0, 0, 10]], [[-40, -10]]],
    ['starts inside a hole', [0, 40], [[0, 0, 10]], [[10, 40]]],
    ['through a hole', [-40, 40], [[0, 0, 10]], [[-40, -10], [10, 40]]],
    ['a long piece through a small hole', [-400, 400], [[3, 0, 5]], [[-400, -2], [8, 400]]],
    ['through two overlapping holes: lines show where they overlap', [-40, 40], [[-6, 0, 10], [6, 0, 10]], [[-40, -16], [-4, 4], [16, 40]]],
    ['both ends in one hole', [-3, 3], [[0, 0, 10], [6, 0, 10]], []],
  ];
  for (const [name, [x0, x1], holes, want] of cases) {
    const got = await app.run(([x0, x1, holes]) => {
      const piece = { x0, y0: 0, x1, y1: 0, qx1: x0 + (x1 - x0) / 3, qy1: 0, qx2: x0 + 2 * (x1 - x0) / 3, qy2: 0, width: 2 };
      const spans = outsideSpans(piece, holes.map(([x, y, r]) => ({ x, y, r, painted: true })));
      const out = [];
      for (let i = 0; i < spans.length; i += 2) out.push([spans[i], spans[i + 1]].map(t => Math.round((x0 + t * (x1 - x0)) * 10) / 10));
      return out;
    }, [x0, x1, holes]);
    assert.equal(got.length, want.length, `${name}: ${JSON.stringify(got)}`);
    got.forEach((span, i) => span.forEach((x, k) => assert.ok(Math.abs(x - want[i][k]) <= 0.1, `${name}: ${JSON.stringify(got)}`)));
  }
});

// Entries in random order, and in runs of eight a step apart (as the pieces of curves are queued, rising
// and falling through several gaps), with depths on, between, beyond and equal to the orbs' depths.
test('sorting the queue by the gaps between orbs gives the same order as one stable sort by depth', async () => {
  for (const kind of ['random', 'curves']) {
    const same = await app.run(kind => {
      let seed = 5;
      const random = () => (seed = (seed * 16807) % 2147483647) / 2147483647;
      const orbs = Array.from({ length: 40 }, () => Math.round(random() * 50)).sort((a, b) => b - a);
      let from = 0, step = 0;
      const entries = Array.from({ length: 900 }, (_, i) => {
        if (kind === 'random') return { id: i, depth: Math.round(random() * 60) - 5 };
        if (i % 8 === 0) { from = Math.round(random() * 60) - 5; step = Math.round(random() * 16) - 8; }
        return { id: i, depth: from + step * (i % 8) / 2 };
      });
      const entriesOf = () => entries.map(e => ({ id: e.id, depth: e.depth }));
      depthCurves = entriesOf();
      sortDepthQueue(orbs);
      const gaps = depthCurves.map(e => e.id);
      depthCurves = entriesOf();
      sortDepthQueue();
      const plain = depthCurves.map(e => e.id);
      resetDepthQueue();
      return gaps.join() === plain.join();
    }, kind);
    assert.equal(same, true, kind);
  }
});

// A glowing light at (40, 50) beside a painted orb whose hole (centre 70, radius 20) reaches far beyond the
// light's box: the light is kept out of the whole hole, not only the part inside its box.
test('the mask of a light near a painted orb hides the whole hole and nothing else', async () => {
  const cases = [['inside the hole, inside the light\'s box', 52, 50, false], ['inside the hole, beyond the box', 85, 50, false],
    ['inside the hole, far side', 89, 52, false], ['outside the hole, near the light', 30, 50, true],
    ['outside the hole, beyond the box', 40, 90, true]];
  const got = await app.run(cases => {
    const g = document.createElement('canvas').getContext('2d');
    const mask = partialMask([{ x: 70, y: 50, r: 20 }]);
    return cases.map(([, x, y]) => g.isPointInPath(mask, x, y, 'evenodd'));
  }, cases);
  cases.forEach(([name, , , open], i) => assert.equal(got[i], open, name));
});

// Which painted holes a light's mask must cut: those whose circle comes within the light's reach (its disc
// and, with glow, the 14 pixels of fading shadow beyond it); a hole that only touches a corner of the
// light's square box is left out, since nothing of the light is painted there.
test('a light is masked only against the holes its glow or disc can reach', async () => {
  const cases = [
    ['glow: hole just within reach', true, 50 + 17 + 5 - 0.5, 50, 5, true],
    ['glow: hole just beyond reach', true, 50 + 17 + 5 + 0.5, 50, 5, false],
    ['glow: hole in the corner of the box only', true, 65, 65, 3, false],
    ['glow: hole on the light', true, 51, 50, 4, true],
    ['dot: hole just within a pixel', false, 50 + 3 + 4 - 0.5, 50, 4, true],
    ['dot: hole within the glow reach only', false, 50 + 10, 50, 4, false],
  ];
  const got = await app.run(cases => cases.map(([, glow, x, y, r]) => {
    const holes = [{ x: 500, y: 500, r: 1 }, { x, y, r }];
    const kept = holesNearLight({ x: 50, y: 50, radius: 2, glow }, holes, 2);
    return kept === 1 && holes[0].x === x;
  }), cases);
  cases.forEach(([name, , , , , kept], i) => assert.equal(got[i], kept, name));
});

test('stroking the open paths puts back the state that later painting reads without setting', async () => {
  const got = await app.run(() => {
    const c = document.createElement('canvas');
    c.width = 200; c.height = 120;
    const g = c.getContext('2d');
    const wasMode = mode3;
    modeSwitch(true);
    try {
      Object.assign(g, { globalAlpha: 0.5, lineCap: 'square', lineJoin: 'bevel', strokeStyle: '#123456', lineWidth: 7, fillStyle: '#654321', shadowBlur: 3, shadowColor: '#abcdef' });
      const before = () => ({ alpha: g.globalAlpha, cap: g.lineCap, join: g.lineJoin, blur: g.shadowBlur, dash: g.getLineDash() });
      const start = before();
      resetDepthQueue();
      queueCurve({ x: 10, y: 10, depth: 5 }, { x: 10, y: 60 }, { x: 90, y: 40 }, { x: 90, y: 100, depth: 1 }, '#ff0000', 0.9, 2, true);
      queueCurve({ x: 100, y: 10, depth: 4 }, { x: 100, y: 60 }, { x: 150, y: 40 }, { x: 190, y: 100, depth: 2 }, '#00ff00', 0.95, 1.5, false);
      queueLight(50, 50, 3, 2, '#0000ff', 0.91, true);
      sortDepthQueue();
      prepareDepthGrid(32);
      flushDepthQueue(g, -Infinity, false);
      const painted = g.getImageData(0, 0, 200, 120).data.some((v, i) => i % 4 === 3 && v > 0);
      return { start, end: before(), painted };
    } finally {
      resetDepthQueue();
      modeSwitch(wasMode);
    }
  });
  assert.equal(got.painted, true);
  assert.deepEqual(got.end, got.start);
});

// An ordinary orb painted alone (radius about 5 pixels, strongest glow, every effect at the particle cap
// and at several moments): nothing it paints may fall outside the box the depth queue reckons with.
test('an orb paints nothing outside its reach box, glow and effect included', async () => {
  const ids = await app.build(['Ann', 'Bob']);
  await app.run(id => { rootPersonId = focus = selected = id; }, ids.Bob);
  await app.call('modeSwitch', true);
  try {
    for (const effect of ['none', 'sparkles', 'stardust', 'fireflies', 'orbit', 'comet', 'pulse', 'aurora']) {
      const got = await app.run(([id, effect]) => {
        persons.get(id).orbStyle = { size: 110, glow: 230, ring: 110, effect, density: 24, speed: 240, color: null };
        setCameraFields({ zoom: 0.05 });
        const c = document.createElement('canvas');
        c.width = w; c.height = h;
        const g = c.getContext('2d', { willReadFrequently: true });
        const s = { x: w / 2, y: h / 2, scale: 0.15, depth: 0 };
        const outside = [];
        for (const now of [0, 700, 1900, 3300]) {
          g.clearRect(0, 0, w, h);
          const frame = orbFrame(displayed(), now);
          frame.hits = [];
          const look = orbLook(id, s, frame);
          const box = orbReachBox(look, frame);
          if (!box || !look.effect) return { box, effect: look && look.effect };
          paintDetailedOrb(g, id, s, frame);
          const data = g.getImageData(0, 0, w, h).data;
          for (let i = 3; i < data.length; i += 4) {
            if (!data[i]) continue;
            const x = (i >> 2) % w, y = Math.floor((i >> 2) / w);
            if (x + 1 < box[0] || x > box[2] || y + 1 < box[1] || y > box[3]) outside.push([now, x, y]);
          }
        }
        return { box: true, effect: true, outside: outside.slice(0, 5) };
      }, [ids.Ann, effect]);
      assert.deepEqual(got, { box: true, effect: true, outside: [] }, effect);
    }
  } finally {
    await app.call('modeSwitch', false);
  }
});
