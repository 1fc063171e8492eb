// Camera and projection: the two cameras, the 3D projection and its limits, pointer zoom in both views,
// the viewing commands and canvas sizing.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, screenOf, pagePoint, camera, setCamera, sleep } from './helpers.mjs';

const app = useApp();

const near = (a, b, eps, what) => assert.ok(Math.abs(a - b) <= eps, `${what}: ${a} is not within ${eps} of ${b}`);

// A couple with three children and two grandparents.
const FAMILY = [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Ann', 'Dee', 'parent'],
  ['Bob', 'Dee', 'parent'], ['Ann', 'Eve', 'parent'], ['Bob', 'Eve', 'parent'], ['Gus', 'Ann', 'parent'], ['Hal', 'Ann', 'parent']];
const family = () => app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve', 'Gus', 'Hal'], FAMILY);

// Projection of a world point with the 3D camera looking straight (no yaw, no pitch) at the origin.
const project3D = (zoom, p) => app.run(({ zoom, p }) => {
  modeSwitch(true);
  setCameraFields({ zoom, rotation: 0, tilt: 0, shiftX: 0, shiftY: 0, target3D: { x: 0, y: 0, z: 0 } });
  const s = project(p);
  modeSwitch(false);
  return s;
}, { zoom, p });

test('3D perspective: flat below zoom 0.12, camera distance 7117 at 0.12, near-plane guard', async () => {
  await family();
  const flat = await project3D(0.119, { x: 100, y: 50, z: 3000 });
  assert.equal(flat.scale, 0.119);
  assert.equal(flat.depth, 3000);
  const distance = 1250 + (1 / 0.12 - 1) * 800;
  near(distance, 7116.67, 0.01, 'distance');
  const far = await project3D(0.12, { x: 100, y: 0, z: 1000 });
  near(far.scale, 0.12 * distance / (distance + 1000), 1e-12, 'scale at depth 1000');
  const front = await project3D(0.12, { x: 100, y: 0, z: -0.9 * distance });
  near(front.scale, 0.12 / 0.38, 1e-12, 'scale in front of the near plane');
  assert.ok(Number.isFinite(front.x) && front.scale > 0);
});

test('project in 2D ignores z and counts damaged coordinates as 0', async () => {
  await family();
  const got = await app.run(() => {
    setCameraFields({ zoom: 2, shiftX: 10, shiftY: -20 });
    return [project({ x: 5, y: 7, z: 999 }), project({ x: NaN, y: 'a', z: Infinity })];
  });
  const c = await app.run(() => [w / 2, h / 2 + 38]);
  assert.deepEqual(got[0], { x: c[0] + 10 + 10, y: c[1] - 20 + 14, scale: 2, depth: 0 });
  assert.deepEqual(got[1], { x: c[0] + 10, y: c[1] - 20, scale: 2, depth: 0 });
});

test('cameraPlanePoint inverts the 3D projection on the pivot plane', async () => {
  await family();
  const back = await app.run(() => {
    modeSwitch(true);
    setCameraFields({ zoom: 0.4, rotation: 0.9, tilt: -0.6, shiftX: 33, shiftY: -12, target3D: { x: 50, y: -20, z: 7 } });
    const p = cameraPlanePoint(300, 200);
    const s = project(p);
    modeSwitch(false);
    return s;
  });
  near(back.x, 300, 1e-6, 'x');
  near(back.y, 200, 1e-6, 'y');
  near(back.depth, 0, 1e-6, 'depth');
});

test('wheel zoom over a person in 3D keeps the person under the pointer, at any tilt and rotation', async () => {
  const ids = await family();
  await app.call('modeSwitch', true);
  try {
    for (const [rotation, tilt, zoom] of [[0.12, 0.16, 0.5], [2.4, -1.1, 0.3], [-0.7, 1.3, 1.4], [5, 0.7, 0.13]]) {
      await setCamera(app, { rotation, tilt, zoom, shiftX: 40, shiftY: -30 });
      for (const key of ['Cy', 'Gus']) {
        const before = await screenOf(app, ids[key]);
        const at = await pagePoint(app, before);
        await app.page.mouse.move(at.x, at.y);
        for (const delta of [-120, 300, -40]) {
          await app.page.mouse.wheel(0, delta);
          await app.frames(1);
          const after = await screenOf(app, ids[key]);
          near(after.x, before.x, 1, `x after wheel ${delta} at rotation ${rotation}, tilt ${tilt}`);
          near(after.y, before.y, 1, `y after wheel ${delta} at rotation ${rotation}, tilt ${tilt}`);
        }
      }
    }
  } finally {
    await app.call('modeSwitch', false);
  }
});

test('wheel zoom in 2D keeps the world point under the pointer and follows the wheel rule', async () => {
  const ids = await family();
  await setCamera(app, { zoom: 0.5, shiftX: 0, shiftY: 0 });
  const s = await screenOf(app, ids.Dee);
  const at = await pagePoint(app, { x: Math.round(s.x), y: Math.round(s.y) });
  const worldUnder = () => app.run(p => [(p.x - w / 2 - shiftX) / zoom, (p.y - h / 2 - 38 - shiftY) / zoom], { x: Math.round(s.x), y: Math.round(s.y) });
  const before = await worldUnder();
  await app.page.mouse.move(Math.round(at.x), Math.round(at.y));
  await app.page.mouse.wheel(0, 100);
  await app.frames(1);
  near((await camera(app)).zoom, 0.5 * Math.exp(-0.13), 1e-9, 'zoom after scrolling down 100');
  const after = await worldUnder();
  near(after[0], before[0], 1e-6, 'world x under the pointer');
  near(after[1], before[1], 1e-6, 'world y under the pointer');
});

for (const [limit, delta] of [[5, -900], [0.0005, 900]])
  test(`wheel zoom stops at ${limit}; further requests change nothing and save nothing`, async () => {
    await family();
    await setCamera(app, { zoom: 1, shiftX: 0, shiftY: 0 });
    const box = await app.page.locator('#tree').boundingBox();
    await app.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    for (let i = 0; i < 12; i++) await app.page.mouse.wheel(0, delta);
    await app.frames(1);
    assert.equal((await camera(app)).zoom, limit);
    const before = await camera(app);
    const saves = await app.countCalls('scheduleSave');
    try {
      await app.page.mouse.wheel(0, delta);
      await app.frames(2);
      assert.deepEqual(await camera(app), before);
      assert.equal(await saves.count(), 0);
    } finally {
      await saves.restore();
    }
  });

test('switching 2D → 3D → 2D restores the 2D camera exactly; 3D keeps its own angles and pivot', async () => {
  await family();
  await setCamera(app, { zoom: 0.731, shiftX: 123.25, shiftY: -45.5 });
  await app.run(() => keepCamera());
  await app.click('#mode3');
  await setCamera(app, { zoom: 0.42, rotation: 1.1, tilt: -0.4, shiftX: 7, shiftY: 8, target3D: { x: 10, y: 20, z: 30 } });
  await app.click('#mode2');
  const flat = await camera(app);
  assert.deepEqual([flat.mode3, flat.zoom, flat.shiftX, flat.shiftY], [false, 0.731, 123.25, -45.5]);
  await app.click('#mode3');
  const deep = await camera(app);
  assert.deepEqual([deep.mode3, deep.zoom, deep.rotation, deep.tilt, deep.shiftX, deep.shiftY, deep.target],
    [true, 0.42, 1.1, -0.4, 7, 8, { x: 10, y: 20, z: 30 }]);
  assert.equal(await app.run(() => $('mode3').classList.contains('active') && !$('mode2').classList.contains('active')), true);
  assert.match(await app.text('#statusMsg'), /Right-click orb: orbit dial/);
  await app.click('#mode2');
  assert.match(await app.text('#statusMsg'), /Middle-click: photo · Hold WASD/);
});

test('applyCamera repairs damaged records', async () => {
  await family();
  const cases = [
    [{ zoom: 0, shiftX: NaN, shiftY: 'x', rotation: null, tilt: 3 }, { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 1.35 }],
    [{ zoom: 'big', tilt: -9, rotation: 12 }, { zoom: 1, shiftX: 0, shiftY: 0, rotation: 12, tilt: -1.35 }],
    [{ zoom: 99, shiftX: 4, shiftY: -5 }, { zoom: 5, shiftX: 4, shiftY: -5, rotation: 0.28, tilt: 0.32 }],
    [{ zoom: 0.00001 }, { zoom: 0.0005, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 }],
    [null, { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 }],
  ];
  for (const [record, expected] of cases)
    assert.deepEqual(await app.run(r => { applyCamera(r); return currentCamera(); }, record), expected, JSON.stringify(record));
  const target = await app.run(() => {
    modeSwitch(true);
    applyCamera({ zoom: 1, target3D: { x: 'a', y: 5 } });
    const t = { ...cameraTarget3D };
    modeSwitch(false);
    return t;
  });
  assert.deepEqual(target, { x: 0, y: 5, z: 0 });
});

test('fitGraph never zooms beyond 1.12 for up to 25 people, nor beyond 1.6 for more', async () => {
  for (const [n, cap] of [[10, 1.12], [25, 1.12], [26, 1.6]]) {
    const people = Array.from({ length: n }, (_, i) => 'P' + i);
    const ids = await app.build(people, people.slice(1).map(p => ['P0', p, 'parent']));
    await fixLayout(app, ids, Object.fromEntries(people.map((p, i) => [p, [i % 5 * 4, Math.floor(i / 5) * 4, 0]])));
    try {
      await app.call('fitGraph');
      assert.equal((await camera(app)).zoom, cap, `${n} people`);
    } finally {
      await restoreLayout(app);
    }
  }
});

test('fitGraph puts the whole tree inside the margins, in 2D and in 3D', async () => {
  const ids = await family();
  await fixLayout(app, ids, { Ann: [-180, 0, 0], Bob: [180, 0, 0], Cy: [-700, 400, 20], Dee: [0, 400, 20],
    Eve: [700, 400, 20], Gus: [-180, -400, -20], Hal: [180, -400, -20] });
  try {
    for (const to3 of [false, true]) {
      await app.call('modeSwitch', to3);
      await app.call('fitGraph');
      const { boxes, size } = await app.run(() => ({ boxes: [...positionNodes(displayed()).values()], size: [w, h] }));
      const [W, H] = size;
      const top = Math.min(245, 0.29 * H);
      for (const s of boxes) {
        assert.ok(s.x >= 59 && s.x <= W - 59, `x ${s.x} inside ${W}`);
        assert.ok(s.y >= top - 1 && s.y <= H - 64, `y ${s.y} inside ${top}..${H - 65}`);
      }
      const xs = boxes.map(s => s.x);
      near((Math.min(...xs) + Math.max(...xs)) / 2, W / 2, 0.5, 'centred');
    }
  } finally {
    await app.call('modeSwitch', false);
    await restoreLayout(app);
  }
});

test('fitGraph with nobody displayed resets zoom and shifts without saving', async () => {
  await app.emptyTree();
  await setCamera(app, { zoom: 3, shiftX: 50, shiftY: 60 });
  const saves = await app.countCalls('scheduleSave');
  try {
    await app.call('fitGraph');
    const c = await camera(app);
    assert.deepEqual([c.zoom, c.shiftX, c.shiftY], [1, 0, 0]);
    assert.equal(await saves.count(), 0);
  } finally {
    await saves.restore();
  }
});

test('exploreTallTree with generations 1400 apart: zoom 123/1400, home person at 52 % and 76 %', async () => {
  const ids = await family();
  await fixLayout(app, ids, { Ann: [100, 0, 0, 0], Bob: [460, 0, 0, 0], Gus: [-80, -1400, 0, -1], Hal: [280, -1400, 0, -1],
    Cy: [0, 1400, 0, 1], Dee: [300, 1400, 0, 1], Eve: [600, 1400, 0, 1] });
  try {
    await app.run(id => { rootPersonId = id; }, ids.Ann);
    await app.call('exploreTallTree');
    near((await camera(app)).zoom, 123 / 1400, 1e-12, 'zoom');
    const s = await screenOf(app, ids.Ann);
    const [W, H] = await app.run(() => [w, h]);
    near(s.x, 0.52 * W, 1e-6, 'x');
    near(s.y, 0.76 * H, 1e-6, 'y');
  } finally {
    await restoreLayout(app);
  }
});

test('centerCameraOn in 2D puts the person at the projection centre whatever its offset; 3D makes it the pivot', async () => {
  const ids = await family();
  await app.run(id => { persons.get(id).orbOffset2D = { x: 333, y: -222 }; persons.get(id).orbOffset3D = { x: 5, y: 6, z: 7 }; }, ids.Eve);
  await setCamera(app, { zoom: 0.6, shiftX: 10, shiftY: 10 });
  await app.call('centerCameraOn', ids.Eve);
  const s = await screenOf(app, ids.Eve);
  const [cx, cy] = await app.run(() => [w / 2, h / 2 + 38]);
  near(s.x, cx, 1e-9, 'x');
  near(s.y, cy, 1e-9, 'y');
  await app.call('modeSwitch', true);
  try {
    await app.call('centerCameraOn', ids.Eve);
    const c = await camera(app);
    const world = await app.call('worldAt', ids.Eve);
    assert.deepEqual([c.target, c.shiftX, c.shiftY], [world, 0, 0]);
    const s3 = await screenOf(app, ids.Eve);
    near(s3.x, cx, 1e-9, '3D x');
    near(s3.y, cy, 1e-9, '3D y');
  } finally {
    await app.call('modeSwitch', false);
    await app.run(id => { delete persons.get(id).orbOffset2D; delete persons.get(id).orbOffset3D; }, ids.Eve);
  }
});

test('clicking an orb in 2D selects after the click delay and never moves the camera', async () => {
  const ids = await family();
  await app.run(() => { fitGraph(); draw(); });
  const before = await camera(app);
  const s = await screenOf(app, ids.Bob);
  const at = await pagePoint(app, s);
  await app.page.mouse.click(at.x, at.y);
  assert.notEqual(await app.eval('selected'), ids.Bob);
  await sleep(320);
  assert.equal(await app.eval('selected'), ids.Bob);
  assert.deepEqual(await camera(app), before);
});

test('settle3DPan makes the world point at the view centre the pivot', async () => {
  await family();
  const got = await app.run(() => {
    modeSwitch(true);
    setCameraFields({ zoom: 0.5, rotation: 0.7, tilt: 0.4, shiftX: 120, shiftY: -80, target3D: { x: 1, y: 2, z: 3 } });
    const centre = cameraPlanePoint(w / 2, h / 2 + 38);
    settle3DPan();
    const after = { target: { ...cameraTarget3D }, shiftX, shiftY };
    modeSwitch(false);
    return { centre, after };
  });
  assert.deepEqual(got.after, { target: got.centre, shiftX: 0, shiftY: 0 });
});

test('the star field: 170 stars, the same ones after a resize', async () => {
  // Records the circles drawStars paints on the star canvas.
  const stars = () => app.run(() => {
    const arcs = [];
    const real = CanvasRenderingContext2D.prototype.arc;
    CanvasRenderingContext2D.prototype.arc = function (...a) {
      if (this.canvas.id === 'stars') arcs.push(a.slice(0, 3).map(v => Math.round(v * 1000) / 1000).join(' ') + ' ' + this.fillStyle);
      return real.apply(this, a);
    };
    try { canvasSize(); } finally { CanvasRenderingContext2D.prototype.arc = real; }
    return arcs;
  });
  await app.page.setViewportSize({ width: 1280, height: 800 });
  const first = await stars();
  assert.equal(first.length, 170);
  await app.page.setViewportSize({ width: 1100, height: 760 });
  assert.notDeepEqual(await stars(), first);
  await app.page.setViewportSize({ width: 1280, height: 800 });
  assert.deepEqual(await stars(), first);
});

test('canvas sizing: pixel ratio capped at 1.5, and at 1 in 3D for trees of more than 350 people', async () => {
  const cdp = await app.page.context().newCDPSession(app.page);
  const size = app.page.viewportSize();
  await cdp.send('Emulation.setDeviceMetricsOverride', { ...size, deviceScaleFactor: 2, mobile: false });
  try {
    await family();
    const sized = () => app.run(() => {
      canvasSize();
      const c = $('tree');
      return { device, width: c.width, cssWidth: c.style.width, w };
    });
    let s = await sized();
    assert.equal(s.device, 1.5);
    assert.equal(s.width, Math.floor(s.w * 1.5));
    assert.equal(s.cssWidth, s.w + 'px');
    await app.call('modeSwitch', true);
    assert.equal((await sized()).device, 1.5);
    const people = Array.from({ length: 351 }, (_, i) => 'Q' + i);
    await app.build(people, people.slice(1).map(p => ['Q0', p, 'parent']));
    assert.equal((await sized()).device, 1);
    await app.call('modeSwitch', false);
    assert.equal((await sized()).device, 1.5);
  } finally {
    // Clearing the override would fall back to the window's own size, so the plain ratio is set instead.
    await cdp.send('Emulation.setDeviceMetricsOverride', { ...size, deviceScaleFactor: 1, mobile: false });
    await cdp.detach();
    await app.call('modeSwitch', false);
    await app.run(() => canvasSize());
  }
});
