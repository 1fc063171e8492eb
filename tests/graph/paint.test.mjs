// Graph painting: renderer choice, labels, portraits, the edge mask and the 3D depth queue, the hover box,
// picking and the frame loop's timed repaints.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, screenOf, pagePoint, setCamera, hitOf, sleep } from './helpers.mjs';

const app = useApp();

// Paints one frame now.
const paint = () => app.run(() => { renderNeeded = true; draw(); });

// One parent with n − 1 children: n displayed people.
async function crowd(n) {
  const people = Array.from({ length: n }, (_, i) => 'N' + i);
  return app.build(people, people.slice(1).map(p => ['N0', p, 'parent']));
}

test('up to 1,100 displayed people use the detailed renderer, 1,101 the dense overview, at every zoom', async () => {
  for (const [n, dense] of [[1100, false], [1101, true]]) {
    await crowd(n);
    const dense0 = await app.countCalls('klnDrawDenseOverview');
    const detail = await app.countCalls('paintDetailed');
    try {
      for (const zoom of [0.002, 0.05, 0.4, 3]) {
        await setCamera(app, { zoom, shiftX: 0, shiftY: 0 });
        await paint();
      }
      // The frame loop paints as well; what matters is that only one renderer ever ran.
      const [d, p] = [await dense0.count(), await detail.count()];
      assert.ok(dense ? d >= 4 && p === 0 : p >= 4 && d === 0, `${n} people: dense ${d}, detailed ${p}`);
    } finally {
      await dense0.restore();
      await detail.restore();
    }
  }
});

test('the dense overview gives every dot on screen a pick entry and names only the home and selected people', async () => {
  const ids = await crowd(1200);
  // Selects someone whose dot is on screen (a wide layout may not fit at the smallest fitting zoom).
  await app.run(() => {
    fitGraph();
    const root = activeRootPersonId();
    for (const [id, s] of positionNodes(displayed())) {
      if (id !== root && s.x > 100 && s.x < w - 100 && s.y > 100 && s.y < h - 100) { selected = id; break; }
    }
  });
  const names = await app.run(() => {
    const painted = [];
    const real = klnPaintFullName;
    klnPaintFullName = (g, name, x, y, opt) => { const r = real(g, name, x, y, opt); if (r.drawn) painted.push(name); return r; };
    try { renderNeeded = true; draw(); } finally { klnPaintFullName = real; }
    return painted;
  });
  const { hits, onScreen } = await app.run(() => {
    const pts = positionNodes(displayed());
    let n = 0;
    for (const s of pts.values()) if (s.x >= -16 && s.x <= w + 16 && s.y >= -16 && s.y <= h + 16) n++;
    return { hits: hitNodes.length, onScreen: n };
  });
  assert.equal(hits, onScreen);
  const selectedName = await app.run(() => persons.get(selected).name);
  assert.deepEqual(new Set(names), new Set(['N0', selectedName]));
  assert.ok(ids.N0);
});

test('full names wrap between words first and break a word wider than the width, never cutting it', async () => {
  const got = await app.run(() => {
    const g = document.createElement('canvas').getContext('2d');
    g.font = '750 14px system-ui, sans-serif';
    const long = 'Pneumonoultramicroscopicsilicovolcanoconiosisx';
    const wrapped = klnFullNameLines(g, long, 120);
    const words = klnFullNameLines(g, '  Anna   Maria Louisa  Victoria Windsor ', 120);
    const width = lines => Math.max(...lines.map(l => g.measureText(l).width));
    return { wrapped, words, wide: width(wrapped), wordsWide: width(words), empty: klnFullNameLines(g, '   ', 120), long };
  });
  assert.ok(got.wrapped.length >= 3, 'several lines');
  assert.equal(got.wrapped.join(''), got.long);
  assert.ok(got.wide <= 120);
  assert.equal(got.words.join(' '), 'Anna Maria Louisa Victoria Windsor');
  assert.ok(got.words.length >= 2 && got.words.every(l => !l.startsWith(' ') && !l.endsWith(' ')));
  assert.ok(got.wordsWide <= 120);
  assert.deepEqual(got.empty, []);
});

test('a broken word joins the following words on its last line when they fit', async () => {
  const lines = await app.run(() => {
    const g = document.createElement('canvas').getContext('2d');
    g.font = '12px monospace';
    const c = g.measureText('x').width;
    return klnFullNameLines(g, 'aaaaaaaaaaaa b', c * 5.5);
  });
  assert.deepEqual(lines, ['aaaaa', 'aaaaa', 'aa b']);
});

test('two overlapping ordinary labels: the earlier one stays; the selected person\'s label is always painted and others give way to it', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy'], [['Ann', 'Bob', 'parent'], ['Ann', 'Cy', 'parent']]);
  await fixLayout(app, ids, { Ann: [0, -400, 0], Bob: [0, 0, 0], Cy: [10, 5, 0] });
  try {
    const labels = sel => app.run(sel => {
      selected = sel;
      setCameraFields({ zoom: 1, shiftX: 0, shiftY: 0 });
      const painted = [];
      const real = klnPaintFullName;
      klnPaintFullName = (g, name, x, y, opt) => { const r = real(g, name, x, y, opt); if (r.drawn) painted.push(name); return r; };
      try { renderNeeded = true; draw(); } finally { klnPaintFullName = real; }
      return painted;
    }, sel);
    assert.deepEqual(await labels(ids.Ann), ['Ann', 'Bob']);
    assert.deepEqual(await labels(ids.Cy), ['Ann', 'Cy']);
  } finally {
    await restoreLayout(app);
  }
});

test('life dates follow the name of large orbs in small trees', async () => {
  const ids = await app.build([{ name: 'Ann', birth: '1901', death: '1977' }, 'Bob'], [['Ann', 'Bob', 'parent']]);
  await fixLayout(app, ids, { Ann: [0, -300, 0], Bob: [0, 0, 0] });
  try {
    const texts = await app.run(() => {
      setCameraFields({ zoom: 1.2, shiftX: 0, shiftY: 0 });
      const out = [];
      const real = CanvasRenderingContext2D.prototype.fillText;
      CanvasRenderingContext2D.prototype.fillText = function (t, ...rest) { out.push(t); return real.call(this, t, ...rest); };
      try { renderNeeded = true; draw(); } finally { CanvasRenderingContext2D.prototype.fillText = real; }
      return out;
    });
    assert.ok(texts.includes('1901 – 1977'), texts.join(' | '));
    assert.ok(texts.includes('A') && texts.includes('B'), 'initials');
  } finally {
    await restoreLayout(app);
  }
});

test('a portrait that fails leaves the initials; a working photo then shows the portrait', async () => {
  const ids = await app.build(['Ann Lee', 'Bob'], [['Ann Lee', 'Bob', 'parent']]);
  await fixLayout(app, ids, { 'Ann Lee': [0, -300, 0], Bob: [0, 0, 0] });
  const frame = () => app.run(() => {
    setCameraFields({ zoom: 1, shiftX: 0, shiftY: 0 });
    const out = { text: [], images: 0 };
    const proto = CanvasRenderingContext2D.prototype;
    const realText = proto.fillText, realImage = proto.drawImage;
    proto.fillText = function (t, ...rest) { out.text.push(t); return realText.call(this, t, ...rest); };
    proto.drawImage = function (...a) { if (this.canvas.id === 'tree') out.images++; return realImage.apply(this, a); };
    try { renderNeeded = true; draw(); } finally { proto.fillText = realText; proto.drawImage = realImage; }
    return out;
  });
  try {
    await app.run(id => { persons.get(id).photo = 'data:image/png;base64,AAAAbroken'; }, ids['Ann Lee']);
    await frame();
    await app.page.waitForFunction(id => portraitCache.get(id) && portraitCache.get(id).failed, ids['Ann Lee']);
    let out = await frame();
    assert.equal(out.images, 0);
    assert.ok(out.text.includes('AL'), 'initials of the failed portrait');
    const png = await app.run(() => {
      const c = document.createElement('canvas');
      c.width = c.height = 8;
      const g = c.getContext('2d');
      g.fillStyle = '#c33';
      g.fillRect(0, 0, 8, 8);
      return c.toDataURL('image/png');
    });
    await app.run(([id, png]) => { persons.get(id).photo = png; }, [ids['Ann Lee'], png]);
    await frame();
    await app.page.waitForFunction(id => portraitCache.get(id) && portraitCache.get(id).loaded, ids['Ann Lee']);
    out = await frame();
    assert.equal(out.images, 1);
    assert.ok(!out.text.includes('AL'), 'no initials over a portrait');
    assert.equal(await app.run(id => portraitCache.get(id).failed, ids['Ann Lee']), false);
  } finally {
    await restoreLayout(app);
  }
});

test('the root orb is never smaller than 10 pixels in radius, at any zoom, in 2D and 3D', async () => {
  const ids = await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'parent']]);
  for (const to3 of [false, true]) {
    await app.call('modeSwitch', to3);
    for (const zoom of [0.0005, 0.01, 0.1, 0.3]) {
      await app.run(id => { rootPersonId = id; }, ids.Ann);
      await setCamera(app, { zoom });
      await app.call('centerCameraOn', ids.Ann);
      const hit = await hitOf(app, ids.Ann);
      const r = await app.run(([id, s]) => orbRadius(id, s, personOrbStyle(persons.get(id)), orbFrame(displayed(), 0)), [ids.Ann, await screenOf(app, ids.Ann)]);
      assert.ok(r >= 10, `radius ${r} at zoom ${zoom}`);
      assert.ok(hit.r >= 10);
    }
  }
  await app.call('modeSwitch', false);
});

// A line from Ann to Bob runs straight through Cy's orb: Ann and Bob side by side, Cy between them.
async function lineThroughOrb(cyDepth, withLine = true) {
  const links = [['Dee', 'Ann', 'parent'], ['Dee', 'Cy', 'parent']];
  if (withLine) links.push(['Ann', 'Bob', 'parent']); else links.push(['Dee', 'Bob', 'parent']);
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee'], links);
  await fixLayout(app, ids, { Ann: [0, 0, 0], Bob: [600, 0, 0], Cy: [300, 0, cyDepth], Dee: [-300, -600, 0] });
  await app.run(id => { rootPersonId = id; focus = id; selected = id; }, ids.Dee);
  return ids;
}

const pixel = (x, y) => app.run(([x, y]) => [...$('tree').getContext('2d').getImageData(Math.round(x * device), Math.round(y * device), 1, 1).data], [x, y]);

test('no line is painted across an orb, in 2D and in 3D in front of or behind it', async () => {
  for (const [to3, depth] of [[false, 0], [true, 400], [true, -400]]) {
    const look = async withLine => {
      const ids = await lineThroughOrb(depth, withLine);
      await app.call('modeSwitch', to3);
      await app.run(() => setCameraFields({ zoom: 1, rotation: 0, tilt: 0, shiftX: 0, shiftY: 0, target3D: { x: 300, y: 0, z: 0 } }));
      if (!to3) await app.run(() => setCameraFields({ shiftX: -300 }));
      await paint();
      const s = await screenOf(app, ids.Cy);
      const r = await app.run(([id, s]) => orbRadius(id, s, personOrbStyle(persons.get(id)), orbFrame(displayed(), 0)), [ids.Cy, s]);
      return { inside: await pixel(s.x + 0.7 * r, s.y), outside: await pixel(s.x + r + 60, s.y), s };
    };
    try {
      const lined = await look(true);
      const plain = await look(false);
      assert.deepEqual(lined.inside, plain.inside, `inside the orb (3D: ${to3}, depth ${depth})`);
      assert.notDeepEqual(lined.outside, plain.outside, 'the line shows outside the orb');
    } finally {
      await app.call('modeSwitch', false);
      await restoreLayout(app);
    }
  }
});

test('in 3D, line pieces farther than an orb are painted before it and nearer ones after it', async () => {
  for (const depth of [400, -400]) {
    const ids = await lineThroughOrb(depth);
    await app.call('modeSwitch', true);
    try {
      const got = await app.run(cy => {
        setCameraFields({ zoom: 1, rotation: 0.5, tilt: 0.3, shiftX: 0, shiftY: 0, target3D: { x: 300, y: 0, z: 0 } });
        const seen = [];
        const real = paintDetailedOrb;
        paintDetailedOrb = (g, id, s, frame) => { seen.push({ id, depth: s.depth, cursor: depthCursor }); return real(g, id, s, frame); };
        try { renderNeeded = true; draw(); } finally { paintDetailedOrb = real; }
        const orb = seen.find(o => o.id === cy);
        const pieces = depthCurves.filter(e => !e.particle);
        return {
          before: depthCurves.slice(0, orb.cursor).every(e => e.depth >= orb.depth),
          after: depthCurves.slice(orb.cursor).every(e => e.depth < orb.depth),
          painted: depthCursor === depthCurves.length,
          queued: pieces.length > 0,
          order: seen.map(o => o.depth).every((d, i, all) => i === 0 || all[i - 1] >= d),
        };
      }, ids.Cy);
      assert.deepEqual(got, { before: true, after: true, painted: true, queued: true, order: true });
    } finally {
      await app.call('modeSwitch', false);
      await restoreLayout(app);
    }
  }
});

test('queueCurve cuts a curve into 8 exact pieces with interpolated depths; in 2D it queues nothing', async () => {
  const got = await app.run(() => {
    const a = { x: 0, y: 0, depth: 100 }, b = { x: 80, y: 40, depth: 900 };
    const c1 = { x: 0, y: 30 }, c2 = { x: 80, y: 10 };
    const flat = queueCurve(a, c1, c2, b, '#fff', 1, 1, false);
    modeSwitch(true);
    resetDepthQueue();
    const queued = queueCurve(a, c1, c2, b, '#fff', 1, 1, true);
    const pieces = depthCurves.slice();
    modeSwitch(false);
    resetDepthQueue();
    const mid = bezierAt(a, c1, c2, b, 3 / 8);
    return { flat, queued, pieces, mid };
  });
  assert.equal(got.flat, false);
  assert.equal(got.queued, true);
  assert.equal(got.pieces.length, 8);
  got.pieces.forEach((p, i) => assert.ok(Math.abs(p.depth - (100 + 800 * (i + 0.5) / 8)) < 1e-9, `depth of piece ${i}`));
  assert.ok(Math.abs(got.pieces[2].x1 - got.mid.x) < 1e-9 && Math.abs(got.pieces[3].x0 - got.mid.x) < 1e-9);
  assert.deepEqual([got.pieces[0].x0, got.pieces[7].x1, got.pieces[7].y1], [0, 80, 40]);
  assert.ok(got.pieces.every(p => p.dashed));
});

// Orbs at depths 700, 500 and 300 cut the same curve (depth 100 to 900) into the runs of pieces whose
// middles lie between the same two orbs; each run is one exact piece of the curve at its middle's depth.
test('while the orbs are known, consecutive pieces between the same two orbs are queued as one exact piece', async () => {
  const got = await app.run(() => {
    const a = { x: 0, y: 0, depth: 100 }, b = { x: 80, y: 40, depth: 900 };
    const c1 = { x: 0, y: 30 }, c2 = { x: 80, y: 10 };
    modeSwitch(true);
    const queue = dashed => {
      resetDepthQueue();
      setDepthGaps([700, 500, 300]);
      try { queueCurve(a, c1, c2, b, '#fff', 1, 1, dashed); } finally { setDepthGaps(null); }
      return depthCurves.map(e => ({ ...e }));
    };
    const solid = queue(false), dashed = queue(true);
    modeSwitch(false);
    resetDepthQueue();
    // Each piece against the curve itself at three points of its own parameter range.
    const ranges = [[0, 2], [2, 4], [4, 6], [6, 8]];
    const off = solid.map((p, i) => Math.max(...[0.25, 0.5, 0.75].map(u => {
      const t = (ranges[i][0] + u * (ranges[i][1] - ranges[i][0])) / 8;
      const want = bezierAt(a, c1, c2, b, t);
      const have = bezierAt({ x: p.x0, y: p.y0 }, { x: p.qx1, y: p.qy1 }, { x: p.qx2, y: p.qy2 }, { x: p.x1, y: p.y1 }, u);
      return Math.hypot(want.x - have.x, want.y - have.y);
    })));
    return { depths: solid.map(p => p.depth), off, dashed: dashed.length };
  });
  assert.deepEqual(got.depths, [200, 400, 600, 800]);
  assert.ok(got.off.every(d => d < 1e-9), JSON.stringify(got.off));
  assert.equal(got.dashed, 8, 'a dashed curve keeps its eight pieces');
});

test('with coloured branches off every line and light is #9ce3e7', async () => {
  await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Cy', 'Dee', 'parent'], ['Cy', 'Eve', 'sibling'], ['Dee', 'Eve', 'spouse']]);
  const lines = () => app.run(() => {
    fitGraph();
    const colours = new Set();
    const real = CanvasRenderingContext2D.prototype.stroke;
    CanvasRenderingContext2D.prototype.stroke = function (path) { if (path) colours.add(this.strokeStyle); return real.apply(this, arguments); };
    try { renderNeeded = true; draw(); } finally { CanvasRenderingContext2D.prototype.stroke = real; }
    return { strokes: [...colours], lights: [...new Set(paths.map(p => p.color))] };
  });
  const on = await lines();
  assert.ok(on.strokes.length > 0 && on.lights.length > 0);
  assert.ok(!on.strokes.every(c => c === '#9ce3e7'));
  await app.click('#coloredBranchesToggle');
  try {
    assert.deepEqual(await lines(), { strokes: ['#9ce3e7'], lights: ['#9ce3e7'] });
  } finally {
    await app.click('#coloredBranchesToggle');
  }
});

test('the hover box of a person near the right or bottom edge stays 7 pixels inside the canvas', async () => {
  const ids = await app.build([{ name: 'Maximiliana Theodora Wilhelmina von Hohenzollern-Sigmaringen', key: 'Max' }, 'Bob'], [['Max', 'Bob', 'parent']]);
  await fixLayout(app, ids, { Max: [0, 0, 0], Bob: [-500, -300, 0] });
  try {
    const [W, H] = await app.run(() => [w, h]);
    for (const [px, py] of [[W - 12, H - 12], [W - 12, 60], [20, H - 10]]) {
      await app.run(([x, y]) => setCameraFields({ zoom: 0.6, shiftX: x - w / 2, shiftY: y - h / 2 - 38 }), [px, py]);
      await paint();
      const at = await pagePoint(app, { x: px - 1, y: py - 1 });
      await app.page.mouse.move(at.x, at.y);
      const box = await app.run(() => {
        let rect = null;
        const real = CanvasRenderingContext2D.prototype.roundRect;
        CanvasRenderingContext2D.prototype.roundRect = function (x, y, bw, bh, r) { rect = { x, y, bw, bh }; return real.apply(this, arguments); };
        try { renderNeeded = true; draw(); } finally { CanvasRenderingContext2D.prototype.roundRect = real; }
        return rect;
      });
      assert.equal(await app.eval('hover'), ids.Max);
      assert.ok(box, 'a box was painted');
      assert.ok(box.x >= 7 && box.y >= 7 && box.x + box.bw <= W - 7 + 1e-9 && box.y + box.bh <= H - 7 + 1e-9, JSON.stringify(box));
    }
    await app.page.mouse.move(2, 2);
    assert.equal(await app.eval('hover'), null);
  } finally {
    await restoreLayout(app);
  }
});

test('nearest picks the topmost orb whose pick circle holds the point; nobody displayed, nothing to pick', async () => {
  const got = await app.run(() => {
    hitNodes = [{ id: 'a', x: 10, y: 10, r: 8 }, { id: 'b', x: 14, y: 10, r: 8 }];
    return [nearest(11, 10), nearest(3, 10), nearest(30, 30), nearest(22, 10)];
  });
  assert.deepEqual(got, ['b', 'a', null, null]);
  await app.emptyTree();
  await paint();
  assert.deepEqual(await app.run(() => [hitNodes.length, nearest(100, 100)]), [0, null]);
});

test('timed repaints keep lights moving often in small trees and rarely in very large far views', async () => {
  const paintsIn = ms => app.run(async ms => {
    let n = 0;
    const real = draw;
    draw = () => { if (renderNeeded) n++; return real(); };
    await new Promise(done => setTimeout(done, ms));
    draw = real;
    return n;
  }, ms);
  await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'parent']]);
  await app.run(() => fitGraph());
  assert.ok(await paintsIn(1500) >= 12, 'about every 42 ms');
  await crowd(1500);
  await app.run(() => { fitGraph(); setCameraFields({ zoom: Math.min(zoom, 0.1) }); });
  await sleep(1200);
  assert.ok(await paintsIn(2400) <= 4, 'about every 1,100 ms');
});

test('line pieces starting or ending inside a painted orb are cut back to its edge; pieces through it need the mask', async () => {
  const got = await app.run(() => {
    const piece = (x0, y0, x1, y1) => ({ x0, y0, x1, y1, qx1: x0 + (x1 - x0) / 3, qy1: y0 + (y1 - y0) / 3, qx2: x0 + 2 * (x1 - x0) / 3, qy2: y0 + 2 * (y1 - y0) / 3, width: 2 });
    const hole = { x: 0, y: 0, r: 10, painted: true };
    const out = trimmedPiece(piece(0, 0, 40, 0), [hole]);
    const back = trimmedPiece(piece(-40, 0, 5, 0), [hole]);
    return {
      out: [out.x0, out.x1], back: [back.x0, back.x1],
      inside: trimmedPiece(piece(-3, 0, 3, 0), [hole]),
      through: trimmedPiece(piece(-40, 1, 40, 1), [hole]),
      past: trimmedPiece(piece(-40, 30, 40, 30), [hole]) !== null,
    };
  });
  assert.ok(Math.abs(got.out[0] - 10) < 0.01 && got.out[1] === 40, JSON.stringify(got.out));
  assert.ok(got.back[0] === -40 && Math.abs(got.back[1] + 10) < 0.01, JSON.stringify(got.back));
  assert.equal(got.inside, null);
  assert.equal(got.through, undefined);
  assert.equal(got.past, true);
});
