// Tree navigator: when the map is shown, what it draws (base layout, home dot, single rows), the view
// rectangle, presses on the map through the real pointer, and the collapse button.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, setCamera } from './helpers.mjs';

// Wide enough that the command bar, centred at the bottom, leaves the navigator's corner free.
const app = useApp({ viewport: { width: 1700, height: 900 } });

const near = (a, b, eps, what) => assert.ok(Math.abs(a - b) <= eps, `${what}: ${a} is not within ${eps} of ${b}`);

// A home person with n - 1 children, all displayed in the connected view.
async function family(n) {
  const kids = Array.from({ length: n - 1 }, (_, i) => 'Kid' + i);
  const ids = await app.build(['Home', ...kids], kids.map(k => ['Home', k, 'parent']));
  await app.run(id => { rootPersonId = focus = selected = id; viewScope = 'connected'; update(); }, ids.Home);
  return ids;
}

// Home at the origin, children on one row 100 units apart below it (or all on one row).
function grid(ids, n, { oneRow = false } = {}) {
  const points = { Home: [oneRow ? -800 : 0, 0, 0] };
  for (let i = 0; i < n - 1; i++) points['Kid' + i] = [(i - (n - 2) / 2) * 100, oneRow ? 0 : 400, 0, 1];
  return fixLayout(app, ids, points);
}

async function paint() {
  await app.run(() => { renderNeeded = true; draw(); });
}

const widgetShown = () => app.visible('#mapWidget');

// Page point of a map backing pixel.
async function mapPagePoint(mx, my) {
  const box = await app.page.locator('#treeNavigator').boundingBox();
  return { x: box.x + mx / 146 * box.width, y: box.y + my / 224 * box.height };
}

// The map pixel of a world point under the last drawing's geometry, and the colour drawn there.
function mapPixel(x, y) {
  return app.run(([x, y]) => {
    const g = treeMapGeometry;
    const mx = g.px + (x - g.x0) * g.scale, my = g.py + (y - g.y0) * g.scale;
    const d = $('treeNavigator').getContext('2d').getImageData(Math.floor(mx), Math.floor(my), 1, 1).data;
    return { mx, my, rgba: [...d] };
  }, [x, y]);
}

test('the navigator shows from 16 displayed people in the flat connected view, never in 3D', async () => {
  let ids = await family(15);
  await paint();
  assert.equal(await app.eval('displayed().length'), 15);
  assert.equal(await widgetShown(), false, '15 people: hidden');
  ids = await family(16);
  await paint();
  assert.equal(await app.eval('displayed().length'), 16);
  assert.equal(await widgetShown(), true, '16 people: shown');
  await app.click('#mode3');
  await paint();
  assert.equal(await widgetShown(), false, '3D hides it');
  await app.click('#mode2');
  await paint();
  assert.equal(await widgetShown(), true, 'back in 2D it is shown again');
  await app.run(() => { viewScope = 'ancestors'; renderNeeded = true; draw(); });
  assert.equal(await widgetShown(), false, 'another scope hides it');
  await app.run(() => { viewScope = 'connected'; renderNeeded = true; draw(); });
});

test('a single-row tree still draws, the home person in #ffe88e and the others in their family colour', async () => {
  const ids = await family(16);
  await grid(ids, 16, { oneRow: true });
  try {
    await paint();
    const geo = await app.eval('treeMapGeometry');
    near(geo.scale, Math.min(128 / 1500, 204 / 1), 1e-12, 'scale with a vertical extent of 1');
    near(geo.py, 112, 1e-9, 'the row sits in the middle');
    const home = await mapPixel(-800, 0);
    assert.deepEqual(home.rgba, [0xff, 0xe8, 0x8e, 255]);
    const kid = await mapPixel(-700, 0);
    assert.equal(kid.rgba[3], 255, 'a child dot is drawn');
    assert.notDeepEqual(kid.rgba.slice(0, 3), [0xff, 0xe8, 0x8e]);
  } finally {
    await restoreLayout(app);
  }
});

test('manual 2D offsets do not move the people on the map', async () => {
  const ids = await family(16);
  await grid(ids, 16);
  try {
    await paint();
    const before = await app.eval('treeMapGeometry');
    const dot = await mapPixel(-700, 400);
    await app.run(id => { persons.get(id).orbOffset2D = { x: -5000, y: 3000 }; }, ids.Kid0);
    await paint();
    assert.deepEqual(await app.eval('treeMapGeometry'), before);
    assert.deepEqual((await mapPixel(-700, 400)).rgba, dot.rgba);
  } finally {
    await app.run(id => { delete persons.get(id).orbOffset2D; }, ids.Kid0);
    await restoreLayout(app);
  }
});

test('pressing the centre of the view rectangle leaves the view where it was; a press elsewhere centres that point', async () => {
  const ids = await family(16);
  await grid(ids, 16);
  try {
    await setCamera(app, { zoom: 0.5, shiftX: 40, shiftY: -30 });
    await paint();
    const centre = await app.run(() => {
      const g = treeMapGeometry, z = zoom;
      const wx = (-shiftX) / z, wy = (-CENTRE_DROP - shiftY) / z;
      return { mx: g.px + (wx - g.x0) * g.scale, my: g.py + (wy - g.y0) * g.scale };
    });
    const before = await app.run(() => ({ zoom, shiftX, shiftY }));
    const p = await mapPagePoint(centre.mx, centre.my);
    const pressSaves = await app.countCalls('scheduleSave');
    await app.page.mouse.move(p.x, p.y);
    await app.page.mouse.down();
    const after = await app.run(() => ({ zoom, shiftX, shiftY, drag: mouseDrag }));
    await app.page.mouse.up();
    assert.equal(await pressSaves.count(), 1, 'the press acted on the map');
    await pressSaves.restore();
    assert.equal(after.drag, null, 'the press never reaches the graph');
    assert.equal(after.zoom, before.zoom);
    near(after.shiftX, before.shiftX, 0.05, 'shiftX');
    near(after.shiftY, before.shiftY, 0.05, 'shiftY');

    const saves = await app.countCalls('scheduleSave');
    try {
      const kid = await mapPixel(700, 400);
      const q = await mapPagePoint(kid.mx, kid.my);
      await app.page.mouse.click(q.x, q.y);
      assert.ok(await saves.count() >= 1, 'a press requests a save');
    } finally {
      await saves.restore();
    }
    const s = await app.run(id => { const s = positionNodes(displayed()).get(id); return { x: s.x, y: s.y, W: w, H: h, zoom }; }, ids.Kid14);
    assert.equal(s.zoom, 0.5, 'zoom is unchanged');
    near(s.x, s.W / 2, 0.2, 'the pressed person stands in the middle (x)');
    near(s.y, s.H / 2, 0.2, 'the pressed person stands in the middle (y)');
    assert.deepEqual(await app.eval('camera2.shiftX === shiftX && camera2.shiftY === shiftY'), true, 'the camera is kept');
  } finally {
    await restoreLayout(app);
  }
});

test('the view rectangle follows the camera and stays at least 3 pixels when the view is tiny on the map', async () => {
  const ids = await family(16);
  await grid(ids, 16);
  try {
    const rects = [];
    const real = await app.run(() => {
      window.__rects = [];
      const ctx = $('treeNavigator').getContext('2d');
      window.__realStrokeRect = ctx.strokeRect;
      ctx.strokeRect = function (...a) { window.__rects.push(a); return window.__realStrokeRect.apply(this, a); };
      return true;
    });
    assert.ok(real);
    for (const zoomValue of [0.5, 100]) {
      await setCamera(app, { zoom: zoomValue, shiftX: 0, shiftY: 0 });
      await paint();
      rects.push(await app.run(() => window.__rects[window.__rects.length - 1]));
    }
    const [W, H, geo] = await app.run(() => [w, h, treeMapGeometry]);
    near(rects[0][2], W / 0.5 * geo.scale, 1e-6, 'width of the view at zoom 0.5');
    near(rects[0][3], H / 0.5 * geo.scale, 1e-6, 'height of the view at zoom 0.5');
    assert.ok(rects[1][2] >= 3 && rects[1][3] >= 3, `tiny view drawn at ${rects[1][2]} × ${rects[1][3]}`);
  } finally {
    await app.run(() => { delete $('treeNavigator').getContext('2d').strokeRect; });
    await restoreLayout(app);
  }
});

test('the drawn family is reused while only the camera moves, and drawn again when the family changes', async () => {
  const ids = await family(16);
  await paint();
  const drawn = await app.countCalls('drawMapFamily');
  try {
    for (const shiftX of [40, -120, 300]) {
      await setCamera(app, { zoom: 0.3, shiftX, shiftY: 0 });
      await paint();
    }
    assert.equal(await drawn.count(), 0, 'panning copies the map');
    await app.run(home => { const kid = addPerson({ name: 'Late Kid' }); addEdge(home, kid, 'parent'); update(); }, ids.Home);
    await paint();
    assert.equal(await drawn.count(), 1, 'a new person draws the family again');
    assert.equal(await widgetShown(), true);
  } finally {
    await drawn.restore();
  }
});

test('in a narrow window the map stands above the command bar instead of under it; in a wide one in its corner', async () => {
  await family(20);
  const boxes = () => app.run(() => {
    const m = $('mapWidget').getBoundingClientRect(), b = $('commandBar').getBoundingClientRect();
    return { overlap: m.left < b.right && m.right > b.left && m.top < b.bottom && m.bottom > b.top,
      bottom: $('mapWidget').style.bottom };
  });
  try {
    await app.page.setViewportSize({ width: 1280, height: 800 });
    await app.frames(2);
    await paint();
    const narrow = await boxes();
    assert.equal(narrow.overlap, false, 'the command bar leaves the map free');
    assert.notEqual(narrow.bottom, '');
    await app.page.locator('#mapToggle').click();
    assert.equal(await app.textContent('#mapToggle'), '+', 'the collapse button can be pressed');
    await app.page.locator('#mapToggle').click();
  } finally {
    await app.page.setViewportSize({ width: 1700, height: 900 });
    await app.frames(2);
  }
  await paint();
  assert.deepEqual(await boxes(), { overlap: false, bottom: '' });
});

test('the collapse button hides the map and shows "+", pressing again brings it back with "−"', async () => {
  const ids = await family(16);
  await paint();
  await app.click('#mapToggle');
  assert.equal(await app.textContent('#mapToggle'), '+');
  assert.equal(await app.visible('#treeNavigator'), false);
  await paint();
  assert.equal(await widgetShown(), true, 'a collapsed navigator is still shown');
  await app.click('#mapToggle');
  assert.equal(await app.textContent('#mapToggle'), '−');
  assert.equal(await app.visible('#treeNavigator'), true);
  assert.ok(ids.Home);
});
