// 3D orbit dial: the family anchor, opening by a real right-click, the radius and slider limits, the
// ring, buttons, keys and distance slider, reset, closing, and that only the person's 3D offset changes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, screenOf, setCamera, pagePoint, drag } from './helpers.mjs';

const app = useApp({ viewport: { width: 1400, height: 900 } });

const near = (a, b, eps, what) => assert.ok(Math.abs(a - b) <= eps, `${what}: ${a} is not within ${eps} of ${b}`);

// Ann and Bob are the parents of Cy; Cy's partner Dee has no parents; Eve is alone with nobody placed.
async function family(cy = [-200, 250, 40]) {
  const ids = await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve', 'Kid'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Cy', 'Dee', 'spouse'], ['Ann', 'Kid', 'parent']]);
  await fixLayout(app, ids, { Ann: [-200, -150, 0], Bob: [200, -150, 60], Cy: cy, Dee: [300, 250, -100], Eve: [500, 0, 20], Kid: [-500, 250, 0] });
  await app.run(ids => { rootPersonId = focus = selected = ids.Ann; update(); modeSwitch(true); }, ids);
  await setCamera(app, { zoom: 0.6, rotation: 0.2, tilt: 0.1, shiftX: 0, shiftY: -100 });
  return ids;
}

async function cleanUp(ids) {
  await app.run(ids => {
    close3DOrbitMenu();
    for (const id of Object.values(ids)) { const p = persons.get(id); if (p) { delete p.orbOffset3D; delete p.orbOffset2D; } }
    if (mode3) modeSwitch(false);
  }, ids);
  await restoreLayout(app);
}

const cameraNow = () => app.run(() => ({ zoom, shiftX, shiftY, rotation, tilt, target: { ...cameraTarget3D } }));
const dialOpen = () => app.visible('#orbitPivotMenu');

// The person's world point and its horizontal angle and distance from the dial's centre.
const orbit = id => app.run(id => {
  const p = worldAt(id), c = orbitalCenter;
  return { p, angle: Math.atan2(p.z - c.z, p.x - c.x), distance: Math.hypot(p.x - c.x, p.z - c.z), radius: orbitalRadius, stored: orbitalAngle };
}, id);

async function rightClick(id) {
  const s = await screenOf(app, id);
  await drag(app, s, 0, 0, { button: 'right', steps: 1 });
  await app.page.locator('#orbitPivotMenu').waitFor({ state: 'visible' });
  return s;
}

test('the anchor: parents\' mean at the person\'s height, else the partner, else the home person, else the centre', async () => {
  const ids = await family();
  try {
    const anchors = await app.run(ids => ['Cy', 'Kid', 'Dee', 'Eve'].map(k => getOrbitalAnchor(ids[k])), ids);
    assert.deepEqual(anchors, [
      { x: 0, y: 250, z: 30, label: 'Parents' },
      { x: -200, y: 250, z: 0, label: 'Parent' },
      { x: -200, y: 250, z: 40, label: 'Partner' },
      { x: -200, y: 0, z: 0, label: 'Home person' },
    ]);
    const centre = await app.run(id => { rootPersonId = id; return getOrbitalAnchor(id); }, ids.Eve);
    assert.deepEqual(centre, { x: 0, y: 0, z: 0, label: 'Graph center' });
    await app.run(ids => { rootPersonId = ids.Ann; persons.get(ids.Bob).orbOffset3D = { x: 100, y: 0, z: 100 }; }, ids);
    const moved = await app.run(id => getOrbitalAnchor(id), ids.Cy);
    assert.deepEqual(moved, { x: 50, y: 250, z: 80, label: 'Parents' }, 'a moved parent moves the anchor');
  } finally {
    await app.run(id => { rootPersonId = id; }, ids.Ann);
    await cleanUp(ids);
  }
});

test('a right-click opens the dial beside the orb and selects the person; the camera and 2D offsets never change', async () => {
  const ids = await family();
  try {
    await app.run(id => { persons.get(id).orbOffset2D = { x: 7, y: 8 }; }, ids.Cy);
    const before = await cameraNow();
    const s = await rightClick(ids.Cy);
    assert.equal(await app.eval('orbitDialPerson'), ids.Cy);
    assert.equal(await app.eval('selected'), ids.Cy);
    assert.equal(await app.textContent('.orbit-title'), 'Move orb · Cy');
    assert.match(await app.textContent('.orbit-line'), /^Drag the ring to move this orb around parents$/);
    assert.equal(await app.page.locator('#orbitPivotMenu').getAttribute('aria-label'), 'Move Cy around the family in 3D');
    assert.equal(await app.page.locator('#orbitPivotMenu').getAttribute('aria-hidden'), 'false');
    const pos = await app.run(() => ({ left: parseFloat($('orbitPivotMenu').style.left), top: parseFloat($('orbitPivotMenu').style.top), w, h }));
    near(pos.left, Math.max(10, Math.min(s.x + 25, pos.w - 274)), 1, 'left');
    near(pos.top, Math.max(10, Math.min(s.y - 140, pos.h - 335)), 1, 'top');
    for (let i = 0; i < 3; i++) await app.click('#orbitStepRight');
    await app.click('#orbitStepLeft');
    assert.deepEqual(await cameraNow(), before, 'the camera stays');
    assert.deepEqual(await app.run(id => persons.get(id).orbOffset2D, ids.Cy), { x: 7, y: 8 });
    await app.click('#orbitDialClose');
    assert.equal(await dialOpen(), false);
    assert.equal(await app.eval('$("orbitPivotMenu").innerHTML'), '', 'closing empties the panel');
    assert.deepEqual(await cameraNow(), before);
  } finally {
    await cleanUp(ids);
  }
});

test('radius: at least 160 (a 50-unit orbit moves out on the first turn); slider maximum from the radius', async () => {
  for (const [cy, radius, max] of [[[30, 250, 70], 160, 1200], [[500, 250, 30], 500, 1200], [[0, 250, 930], 900, 1500], [[0, 250, 780], 750, 1200]]) {
    const ids = await family(cy);
    try {
      await rightClick(ids.Cy);
      const o = await orbit(ids.Cy);
      near(o.radius, radius, 1e-9, 'radius');
      const slider = await app.run(() => ({ min: $('orbitDistance').min, max: $('orbitDistance').max, step: $('orbitDistance').step,
        value: $('orbitDistance').value, number: $('orbitDistanceNumber').textContent }));
      assert.deepEqual(slider, { min: '160', max: String(max), step: '10', value: String(Math.round(radius / 10) * 10), number: String(radius) });
      await app.click('#orbitStepRight');
      const after = await orbit(ids.Cy);
      near(after.distance, radius, 1e-6, 'distance after the first turn');
      near(after.p.y, 250, 1e-9, 'height kept');
    } finally {
      await cleanUp(ids);
    }
  }
});

test('six presses of "Right ↷" turn by 6π/14; Arrow Right on the ring by π/24 each, Arrow Left back, without panning', async () => {
  const ids = await family();
  try {
    await rightClick(ids.Cy);
    const start = await orbit(ids.Cy);
    for (let i = 0; i < 6; i++) await app.click('#orbitStepRight');
    let o = await orbit(ids.Cy);
    near(o.stored - start.stored, 6 * Math.PI / 14, 1e-12, 'six right steps');
    near(Math.cos(o.angle - start.angle), Math.cos(6 * Math.PI / 14), 1e-9, 'the orb itself turned');
    const before = await cameraNow();
    await app.page.locator('#orbitDial').focus();
    const base = o.stored;
    for (let i = 0; i < 3; i++) await app.page.keyboard.press('ArrowRight');
    o = await orbit(ids.Cy);
    near(o.stored - base, 3 * Math.PI / 24, 1e-12, 'three arrow steps');
    await app.page.keyboard.press('ArrowLeft');
    o = await orbit(ids.Cy);
    near(o.stored - base, 2 * Math.PI / 24, 1e-12, 'one back');
    await app.frames(4);
    assert.deepEqual(await cameraNow(), before, 'arrow keys on the ring never pan');
    const degrees = Math.round(o.stored * 180 / Math.PI);
    assert.equal(await app.page.locator('#orbitDial').getAttribute('aria-valuenow'), String(((degrees + 180) % 360 + 360) % 360 - 180));
  } finally {
    await cleanUp(ids);
  }
});

test('dragging the ring: the angle follows the pointer around the ring centre; the save comes at the end', async () => {
  const ids = await family();
  try {
    await rightClick(ids.Cy);
    const ring = await app.page.locator('#orbitDial').boundingBox();
    const cx = ring.x + ring.width / 2, cy = ring.y + ring.height / 2;
    const saves = await app.countCalls('scheduleSave');
    try {
      await app.page.mouse.move(cx + 50, cy);
      await app.page.mouse.down();
      let o = await orbit(ids.Cy);
      near(o.stored, 0, 1e-9, 'press on the right: angle 0');
      near(o.angle, 0, 1e-6, 'the orb stands on the +x side of the anchor');
      assert.equal(await app.eval('orbitDialDragging'), true);
      await app.page.mouse.move(cx, cy + 50, { steps: 4 });
      o = await orbit(ids.Cy);
      near(o.stored, Math.PI / 2, 1e-9, 'pointer below: angle π/2');
      assert.equal(await saves.count(), 0, 'no save while dragging');
      await app.page.mouse.up();
      assert.equal(await saves.count(), 1, 'one save at the end');
      assert.equal(await app.eval('orbitDialDragging'), false);
      assert.equal(await app.page.locator('#orbitDial').getAttribute('aria-valuenow'), '90');
      const knob = await app.page.locator('.orbit-knob').boundingBox();
      near(knob.x + knob.width / 2, cx, 1.5, 'knob x');
      near(knob.y + knob.height / 2, cy + 68, 1.5, 'knob 68 pixels below the centre');
    } finally {
      await saves.restore();
    }
    assert.equal(await dialOpen(), true, 'presses inside the dial do not close it');
  } finally {
    await cleanUp(ids);
  }
});

test('the distance slider sets the radius; reset returns the orb to its automatic place and reopens the dial', async () => {
  const ids = await family();
  try {
    const s = await rightClick(ids.Cy);
    await app.page.locator('#orbitDistance').fill('700');
    let o = await orbit(ids.Cy);
    near(o.distance, 700, 1e-6, 'distance');
    assert.equal(await app.textContent('#orbitDistanceNumber'), '700');
    assert.equal(await app.run(id => persons.get(id).klnUserMovedOrb, ids.Cy), true);
    await app.click('#orbitDialReset');
    assert.deepEqual(await app.run(id => persons.get(id).orbOffset3D, ids.Cy), { x: 0, y: 0, z: 0 });
    assert.equal(await dialOpen(), true, 'the dial opens again');
    o = await orbit(ids.Cy);
    near(o.radius, Math.hypot(200, 10), 1e-9, 'radius from the automatic place');
    assert.equal(await app.textContent('#orbitDistanceNumber'), String(Math.round(Math.hypot(200, 10))));
    const pos = await app.run(() => parseFloat($('orbitPivotMenu').style.left));
    near(pos, Math.max(10, Math.min(s.x + 25, await app.eval('w') - 274)), 1, 'same screen point');
  } finally {
    await cleanUp(ids);
  }
});

test('the dial closes by Escape, a press on the graph, a view switch and the library; it opens only in 3D', async () => {
  const ids = await family();
  try {
    const closers = [
      ['Escape', () => app.page.keyboard.press('Escape')],
      ['press on the graph', () => drag(app, { x: 30, y: 200 }, 0, 0, { steps: 1 })],
      ['view switch', () => app.click('#mode2')],
      ['library', () => app.call('showHome')],
    ];
    for (const [name, close] of closers) {
      await app.run(() => { if (!mode3) modeSwitch(true); });
      await app.run(id => open3DOrbitMenu(id), ids.Cy);
      assert.equal(await dialOpen(), true, name + ': open');
      await close();
      assert.equal(await dialOpen(), false, name + ' closes the dial');
      assert.equal(await app.eval('orbitDialPerson'), null);
      await app.closeLibrary();
    }
    await app.run(() => { if (mode3) modeSwitch(false); });
    await app.run(id => open3DOrbitMenu(id), ids.Cy);
    assert.equal(await dialOpen(), false, 'never in 2D');
    await app.run(() => modeSwitch(true));
    await app.run(() => open3DOrbitMenu('nobody'));
    assert.equal(await dialOpen(), false, 'never for a missing person');
  } finally {
    await cleanUp(ids);
  }
});

test('a wheel over the dial does not zoom the graph; a person deleted meanwhile is not placed any more', async () => {
  const ids = await family();
  try {
    await rightClick(ids.Cy);
    const before = await cameraNow();
    const box = await app.page.locator('#orbitPivotMenu').boundingBox();
    await app.page.mouse.move(box.x + 20, box.y + box.height - 20);
    await app.page.mouse.wheel(0, 400);
    await app.frames(2);
    assert.equal((await cameraNow()).zoom, before.zoom);
    await app.run(id => { persons.delete(id); }, ids.Cy);
    await app.click('#orbitStepRight');
    assert.equal(await dialOpen(), true, 'the dial stays open');
    assert.equal(await app.run(id => persons.has(id), ids.Cy), false, 'nobody is recreated');
  } finally {
    await cleanUp(ids);
  }
});
