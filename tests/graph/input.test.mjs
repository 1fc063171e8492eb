// Pointer and keyboard on the graph, driven through the real canvas: clicks and the click delay, orb moves,
// panning, rotation, right and middle buttons, double-click, smooth keyboard panning, Delete, graph-only
// fullscreen and the compact command bar.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, screenOf, pagePoint, camera, setCamera, drag, sleep } from './helpers.mjs';

const app = useApp();

const near = (a, b, eps, what) => assert.ok(Math.abs(a - b) <= eps, `${what}: ${a} is not within ${eps} of ${b}`);

// Replaces a page function by a recorder for the duration of `body`; returns the recorded argument lists.
async function stubbed(name, body) {
  await app.run(name => {
    window.__stub = window.__stub || {};
    window.__stub[name] = { calls: [], real: window[name] };
    window[name] = (...args) => { window.__stub[name].calls.push(args); };
  }, name);
  try {
    await body();
    return await app.run(name => window.__stub[name].calls, name);
  } finally {
    await app.run(name => {
      if (window.__stub[name].real) window[name] = window.__stub[name].real; else delete window[name];
    }, name);
  }
}

// Ann and Bob with their children Cy and Dee, laid out on a fixed grid; Ann is the home person. The camera
// keeps them in the upper part of the graph, clear of the command bar over its bottom.
async function family() {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Loner'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Ann', 'Dee', 'parent'], ['Bob', 'Dee', 'parent']]);
  await fixLayout(app, ids, { Ann: [-200, -150, 0], Bob: [200, -150, 0], Cy: [-200, 250, 40], Dee: [200, 250, 40], Loner: [0, 0, 0] });
  await app.run(ids => { rootPersonId = focus = ids.Ann; selected = ids.Ann; update(); }, ids);
  await setCamera(app, { zoom: 0.6, shiftX: 0, shiftY: LIFT });
  return ids;
}

const LIFT = -150;

const offsetOf = (id, field = 'orbOffset2D') => app.run(([id, f]) => persons.get(id)[f] || null, [id, field]);

test('a press on an orb released after 7 pixels is a click; after 9 pixels it moves the orb', async () => {
  const ids = await family();
  try {
    const s = await screenOf(app, ids.Cy);
    const saves = await app.countCalls('scheduleSave');
    try {
      await drag(app, s, 7, 0);
      assert.equal(await offsetOf(ids.Cy), null);
      assert.equal(await app.eval('selected'), ids.Ann, 'nothing happens before the click delay');
      await sleep(320);
      assert.equal(await app.eval('selected'), ids.Cy);
      assert.equal(await saves.count(), 0);
    } finally {
      await saves.restore();
    }
    await app.run(id => { selected = id; }, ids.Ann);
    await drag(app, s, 0, 9);
    await sleep(320);
    assert.equal(await app.eval('selected'), ids.Ann, 'a move selects nobody');
    const o = await offsetOf(ids.Cy);
    near(o.x, 0, 1e-9, 'x offset');
    near(o.y, 9 / 0.6, 1e-9, 'y offset');
    assert.equal(await app.run(id => persons.get(id).klnUserMovedOrb, ids.Cy), true);
    const after = await screenOf(app, ids.Cy);
    near(after.y, s.y + 9, 1e-6, 'the orb follows the pointer');
  } finally {
    await app.run(id => { delete persons.get(id).orbOffset2D; delete persons.get(id).klnUserMovedOrb; }, ids.Cy);
    await restoreLayout(app);
  }
});

test('far zoom: dragging a linked orb pans, with Alt it moves; an orb without relationships always moves', async () => {
  const ids = await family();
  try {
    for (const to3 of [false, true]) {
      await app.call('modeSwitch', to3);
      await setCamera(app, { zoom: 0.05, shiftX: 0, shiftY: 0, rotation: 0.3, tilt: 0.2 });
      let s = await screenOf(app, ids.Dee);
      await drag(app, s, 40, -30);
      assert.deepEqual([(await camera(app)).shiftX, (await camera(app)).shiftY], [40, -30], `pan (3D: ${to3})`);
      assert.equal(await offsetOf(ids.Dee, to3 ? 'orbOffset3D' : 'orbOffset2D'), null);
      s = await screenOf(app, ids.Dee);
      await drag(app, s, 40, 0, { modifiers: ['Alt'] });
      assert.ok(await offsetOf(ids.Dee, to3 ? 'orbOffset3D' : 'orbOffset2D'), `Alt moves the orb (3D: ${to3})`);
      assert.equal((await camera(app)).shiftX, 40);
    }
    // The unlinked person as home person: alone on screen, dragged even at the farthest zoom.
    await app.call('modeSwitch', false);
    await app.run(id => { rootPersonId = focus = id; }, ids.Loner);
    await setCamera(app, { zoom: 0.0005, shiftX: 0, shiftY: 0 });
    await drag(app, await screenOf(app, ids.Loner), 20, 0);
    assert.equal((await offsetOf(ids.Loner)).x, 20 / 0.0005);
    assert.equal((await camera(app)).shiftX, 0);
  } finally {
    await app.call('modeSwitch', false);
    await app.run(ids => { for (const id of Object.values(ids)) { const p = persons.get(id); delete p.orbOffset2D; delete p.orbOffset3D; } }, ids);
    await restoreLayout(app);
  }
});

test('2D: dragging empty space pans; right-drag on an orb moves it; right-click on it does nothing', async () => {
  const ids = await family();
  try {
    await drag(app, { x: 40, y: 300 }, -30, -25);
    const c = await camera(app);
    assert.deepEqual([c.shiftX, c.shiftY], [-30, LIFT - 25]);
    const s = await screenOf(app, ids.Cy);
    const calls = await stubbed('open3DOrbitMenu', async () => {
      await drag(app, s, 0, 0, { button: 'right', steps: 1 });
      await sleep(300);
      assert.equal(await app.eval('selected'), ids.Ann);
      assert.equal(await offsetOf(ids.Cy), null);
      await drag(app, s, 30, 0, { button: 'right' });
    });
    assert.deepEqual(calls, []);
    near((await offsetOf(ids.Cy)).x, 30 / 0.6, 1e-9, 'moved by the right button');
  } finally {
    await app.run(id => { delete persons.get(id).orbOffset2D; }, ids.Cy);
    await restoreLayout(app);
  }
});

test('3D: right-click on an orb opens the orbit dial; right-drag from it pans and opens nothing', async () => {
  const ids = await family();
  await app.call('modeSwitch', true);
  try {
    await setCamera(app, { zoom: 0.6, rotation: 0.2, tilt: 0.1, shiftX: 0, shiftY: LIFT });
    const s = await screenOf(app, ids.Bob);
    const click = await stubbed('open3DOrbitMenu', () => drag(app, s, 0, 0, { button: 'right', steps: 1 }));
    assert.equal(click.length, 1);
    assert.equal(click[0][0], ids.Bob);
    near(click[0][1].x, s.x, 1, 'dial at the press point');
    const dragged = await stubbed('open3DOrbitMenu', () => drag(app, s, 50, 20, { button: 'right' }));
    assert.deepEqual(dragged, []);
    const c = await camera(app);
    assert.deepEqual([c.shiftX, c.shiftY], [50, LIFT + 20]);
    assert.equal(await offsetOf(ids.Bob, 'orbOffset3D'), null);
  } finally {
    await app.call('modeSwitch', false);
    await restoreLayout(app);
  }
});

test('3D: dragging empty space rotates; tilt stops at ±1.35; Shift+drag on an orb pans', async () => {
  const ids = await family();
  await app.call('modeSwitch', true);
  try {
    await setCamera(app, { zoom: 0.6, rotation: 0.2, tilt: 0.1, shiftX: 0, shiftY: 0 });
    await drag(app, { x: 30, y: 330 }, 100, 50);
    let c = await camera(app);
    near(c.rotation, 0.2 + 0.0065 * 100, 1e-9, 'rotation');
    near(c.tilt, 0.1 + 0.0055 * 50, 1e-9, 'tilt');
    await drag(app, { x: 30, y: 150 }, 0, 600);
    assert.equal((await camera(app)).tilt, 1.35);
    await drag(app, { x: 30, y: 700 }, 0, -650, { steps: 12 });
    assert.equal((await camera(app)).tilt, -1.35);
    await setCamera(app, { rotation: 0.2, tilt: 0.1, shiftX: 0, shiftY: LIFT });
    await drag(app, await screenOf(app, ids.Cy), 35, -15, { modifiers: ['Shift'] });
    c = await camera(app);
    assert.deepEqual([c.shiftX, c.shiftY, c.rotation], [35, LIFT - 15, 0.2]);
    assert.equal(await offsetOf(ids.Cy, 'orbOffset3D'), null);
  } finally {
    await app.call('modeSwitch', false);
    await restoreLayout(app);
  }
});

test('3D: a dragged orb follows the pointer at its own depth; 2D keeps its own offset', async () => {
  const ids = await family();
  await app.call('modeSwitch', true);
  try {
    for (const [rotation, tilt] of [[0.2, 0.1], [2.1, -0.9], [-1.2, 1.2]]) {
      await setCamera(app, { zoom: 0.6, rotation, tilt, shiftX: 0, shiftY: LIFT, target3D: { x: 0, y: 0, z: 0 } });
      const s = await screenOf(app, ids.Dee);
      await drag(app, s, 60, -40);
      const after = await screenOf(app, ids.Dee);
      near(after.x, s.x + 60, 0.01, `x at rotation ${rotation}`);
      near(after.y, s.y - 40, 0.01, `y at rotation ${rotation}`);
      near(after.depth, s.depth, 0.01, 'depth');
    }
    assert.equal(await offsetOf(ids.Dee), null, 'the 2D offset is untouched');
  } finally {
    await app.call('modeSwitch', false);
    await app.run(id => { delete persons.get(id).orbOffset3D; }, ids.Dee);
    await restoreLayout(app);
  }
});

test('3D: clicking an orb selects it and makes it the orbit pivot after the click delay', async () => {
  const ids = await family();
  await app.call('modeSwitch', true);
  try {
    await setCamera(app, { zoom: 0.6, rotation: 0.4, tilt: 0.3, shiftX: 10, shiftY: LIFT, target3D: { x: 0, y: 0, z: 0 } });
    const at = await pagePoint(app, await screenOf(app, ids.Cy));
    await app.page.mouse.click(at.x, at.y);
    await sleep(320);
    const c = await camera(app);
    assert.equal(await app.eval('selected'), ids.Cy);
    assert.deepEqual([c.target, c.shiftX, c.shiftY, c.zoom], [await app.call('worldAt', ids.Cy), 0, 0, 0.6]);
  } finally {
    await app.call('modeSwitch', false);
    await restoreLayout(app);
  }
});

test('double-click opens the family wheel and cancels the pending click; middle press opens the portrait editor', async () => {
  const ids = await family();
  try {
    const at = await pagePoint(app, await screenOf(app, ids.Dee));
    const selections = await app.countCalls('selectPerson');
    let wheel;
    try {
      wheel = await stubbed('showOrbMenu', async () => {
        await app.page.mouse.dblclick(at.x, at.y);
        await sleep(350);
      });
      assert.equal(await selections.count(), 1, 'only the double-click selected');
    } finally {
      await selections.restore();
    }
    assert.equal(wheel.length, 1);
    assert.equal(wheel[0][0], ids.Dee);
    await app.run(id => { selected = id; }, ids.Ann);
    const editor = await stubbed('editPhoto', async () => {
      await app.page.mouse.click(at.x, at.y, { button: 'middle' });
      await app.page.mouse.click(at.x + 300, at.y - 300, { button: 'middle' });
    });
    assert.deepEqual(editor, [[ids.Dee]]);
    assert.equal(await app.eval('selected'), ids.Dee);
  } finally {
    await restoreLayout(app);
  }
});

test('the pointer over an orb sets hover and the pointer cursor; leaving the canvas clears it', async () => {
  const ids = await family();
  try {
    const at = await pagePoint(app, await screenOf(app, ids.Bob));
    await app.page.mouse.move(at.x, at.y);
    assert.equal(await app.eval('hover'), ids.Bob);
    assert.equal(await app.run(() => $('tree').style.cursor), 'pointer');
    await app.page.mouse.move(at.x + 150, at.y + 90);
    assert.equal(await app.run(() => $('tree').style.cursor), 'grab');
    await app.page.mouse.move(at.x, at.y);
    await app.page.mouse.move(5, 5);
    assert.equal(await app.eval('hover'), null);
  } finally {
    await restoreLayout(app);
  }
});

// Focuses the graph as a click on empty space would, then runs the keys.
async function focusGraph() {
  const box = await app.page.locator('#tree').boundingBox();
  await app.page.mouse.click(box.x + 30, box.y + 300);
}

test('holding D and W pans diagonally at 500 pixels per second in total, not 707', async () => {
  await family();
  await focusGraph();
  await setCamera(app, { zoom: 0.6, shiftX: 0, shiftY: 0 });
  await app.page.keyboard.down('d');
  await app.page.keyboard.down('w');
  try {
    await sleep(1200);
    const v = await app.run(() => [graphNavX, graphNavY]);
    near(Math.hypot(v[0], v[1]), 500, 5, 'speed');
    assert.ok(v[0] < 0 && v[1] > 0, 'right and up move the picture left and down');
    const a = await camera(app);
    await sleep(500);
    const b = await camera(app);
    assert.ok(b.shiftX < a.shiftX && b.shiftY > a.shiftY);
  } finally {
    await app.page.keyboard.up('d');
    await app.page.keyboard.up('w');
  }
  await app.page.waitForFunction(() => graphNavX === 0 && graphNavY === 0, null, { timeout: 3000 });
  assert.equal(await app.eval('graphNavSaving'), false, 'the pan is finished and stored');
});

test('Shift selects the fast speed; a released arrow glides to a stop; in 3D the pivot moves to the view centre', async () => {
  await family();
  await app.call('modeSwitch', true);
  try {
    await setCamera(app, { zoom: 0.6, rotation: 0.3, tilt: 0.2, shiftX: 0, shiftY: 0, target3D: { x: 0, y: 0, z: 0 } });
    await focusGraph();
    await app.page.keyboard.down('Shift');
    await app.page.keyboard.down('ArrowLeft');
    await sleep(1200);
    near(await app.eval('graphNavX'), 930, 9, 'fast speed');
    await app.page.keyboard.up('ArrowLeft');
    await app.page.keyboard.up('Shift');
    const centre = await app.run(() => cameraPlanePoint(w / 2, h / 2 + 38));
    // The velocity decays with a time constant of 1/12 s of frame time: a glide, not a jump to a stop.
    const glide = await app.run(async () => {
      let frames = 0;
      const start = performance.now();
      while (graphNavX !== 0 && performance.now() - start < 4000) { await new Promise(r => requestAnimationFrame(r)); frames++; }
      return { frames, ms: performance.now() - start };
    });
    assert.ok(glide.frames >= 3, `glided over ${glide.frames} frames`);
    assert.ok(glide.ms < 2500, `stopped after ${glide.ms} ms`);
    const c = await camera(app);
    assert.deepEqual([c.shiftX, c.shiftY], [0, 0]);
    assert.ok(c.target.x < centre.x, 'the pivot moved with the view');
    assert.equal(await app.run(() => camera3.target3D.x === cameraTarget3D.x), true, 'the camera is kept');
  } finally {
    await app.call('modeSwitch', false);
  }
});

test('typing W into the search field never pans; opening a dialog stops a running pan', async () => {
  await family();
  await setCamera(app, { zoom: 0.6, shiftX: 0, shiftY: 0 });
  await app.click('#search');
  await app.page.keyboard.down('w');
  await sleep(300);
  await app.page.keyboard.up('w');
  assert.equal((await camera(app)).shiftY, 0);
  assert.equal(await app.run(() => $('search').value), 'w');
  await app.fill('#search', '');
  await focusGraph();
  await app.page.keyboard.down('s');
  try {
    await sleep(300);
    await app.run(() => modal('A dialog', '<p>Hello</p>', 'Close', closeModal));
    await app.run(() => new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r))));
    const a = await camera(app);
    await sleep(300);
    assert.equal((await camera(app)).shiftY, a.shiftY, 'no movement while the dialog is open');
  } finally {
    await app.page.keyboard.up('s');
    await app.run(() => closeModal());
  }
});

test('Delete asks to delete the selected person, or says to select one; typing Delete in a field does neither', async () => {
  const ids = await family();
  await focusGraph();
  await app.run(id => { selected = id; }, ids.Dee);
  const calls = await stubbed('deletePerson', async () => {
    await app.page.keyboard.press('Delete');
    await app.run(() => { selected = null; });
    await app.page.keyboard.press('Delete');
    await app.click('#search');
    await app.run(id => { selected = id; }, ids.Dee);
    await app.page.keyboard.press('Delete');
  });
  assert.deepEqual(calls, [[ids.Dee]]);
  assert.ok(await app.run(() => $('toast').textContent.includes('Select a profile before deleting.')));
});

test('F toggles graph-only fullscreen; Escape with the family wheel open closes only the wheel, a second leaves', async () => {
  await family();
  await focusGraph();
  await app.page.keyboard.press('f');
  assert.equal(await app.run(() => document.body.classList.contains('graph-only')), true);
  assert.deepEqual(await app.run(() => [$('graphOnlyBtn').textContent, $('graphOnlyBtn').title]), ['Exit fullscreen', 'Exit graph-only fullscreen (F/Esc)']);
  await app.run(() => $('orbMenu').classList.remove('hidden'));
  await app.page.keyboard.press('Escape');
  assert.deepEqual(await app.run(() => [document.body.classList.contains('graph-only'), $('orbMenu').classList.contains('hidden')]), [true, true]);
  await app.page.keyboard.press('Escape');
  assert.equal(await app.run(() => document.body.classList.contains('graph-only')), false);
  assert.deepEqual(await app.run(() => [$('graphOnlyBtn').textContent, $('graphOnlyBtn').title]), ['Fullscreen', 'Graph-only fullscreen (F)']);
  await app.click('#search');
  await app.page.keyboard.press('f');
  assert.equal(await app.run(() => document.body.classList.contains('graph-only')), false);
  await app.fill('#search', '');
  await app.click('#graphOnlyBtn');
  assert.equal(await app.run(() => document.body.classList.contains('graph-only')), true);
  await app.click('#exitGraphOnly');
  assert.equal(await app.run(() => document.body.classList.contains('graph-only')), false);
});

test('the compact command bar toggles its labels and survives a reload', async () => {
  await app.click('#toolbarCompactBtn');
  const state = () => app.run(() => [$('commandBar').classList.contains('compact'), $('toolbarCompactBtn').getAttribute('aria-expanded'),
    $('toolbarCompactBtn').title, $('toolbarCompactBtn').textContent, localStorage.getItem('sollary-genealogy-compact-toolbar')]);
  assert.deepEqual(await state(), [true, 'false', 'Expand family tree controls', '▾ Expand', 'true']);
  await app.reload();
  await app.enter();
  assert.deepEqual(await state(), [true, 'false', 'Expand family tree controls', '▾ Expand', 'true']);
  await app.click('#toolbarCompactBtn');
  assert.deepEqual(await state(), [false, 'true', 'Minimize family tree controls', '▴ Smaller bar', 'false']);
});

test('"Refresh graph" keeps the camera, resizes and reports', async () => {
  await family();
  await setCamera(app, { zoom: 0.77, shiftX: 12, shiftY: 0 });
  await app.click('#refreshBtn');
  assert.equal(await app.text('#toast'), 'Tree view refreshed.');
  assert.equal(await app.run(() => camera2.zoom), 0.77);
});
