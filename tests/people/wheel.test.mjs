// The family wheel: opened by a real double-click on an orb, its placement, markup, every action, the ways
// it closes, and the add-parents dialog of its "Add parents" sector.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { fixLayout, restoreLayout, screenOf, pagePoint, setCamera, camera } from '../graph/helpers.mjs';
import { expectToast, dialogTitle, closeDialog, stub, dialogButton, parentLinks } from './people.mjs';

const app = useApp();

// Ann and Bob with their child Cy; Dee stands far to the right, near the edge of the graph.
async function family(extra = {}) {
  const ids = await app.build([{ name: 'Ann', sex: 'F', ...extra }, { name: 'Bob', sex: 'M' }, 'Cy', 'Dee'],
    [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Bob', 'Dee', 'spouse']]);
  await fixLayout(app, ids, { Ann: [-200, -100], Bob: [200, -100], Cy: [0, 200], Dee: [640, -300] });
  await app.run(ids => { rootPersonId = focus = selected = ids.Ann; update(); }, ids);
  await setCamera(app, { zoom: 0.6, shiftX: 0, shiftY: -60 });
  return ids;
}

// Double-clicks a person's orb once the graph has settled: the canvas lies under the orb's screen point and
// the last painted frame picks the person there (a resize after a mode change moves everything).
async function dblclickOrb(id) {
  let at = null;
  for (let tries = 0; tries < 50; tries++) {
    await app.frames(2);
    const s = await screenOf(app, id);
    at = await pagePoint(app, s);
    const ready = await app.run(([id, s, p]) => document.elementFromPoint(p.x, p.y) === $('tree') && nearest(s.x, s.y) === id,
      [id, s, at]);
    if (ready) break;
  }
  await app.page.mouse.dblclick(at.x, at.y);
  await app.page.locator('#orbMenu.radial-open').waitFor({ timeout: 5000 });
}

// Clicks a ring sector by itself, on its outer part clear of its button: at radius 170 on its angle.
async function clickSector(act) {
  const box = await app.page.locator('.orb-wheel-stage').boundingBox();
  const angle = { delete: -22.5, parent: 22.5, spouse: 67.5, child: 112.5, sibling: 157.5, merge: 202.5, unlink: 247.5, style: 292.5 }[act];
  const a = angle * Math.PI / 180, k = box.width / 390;
  await app.page.mouse.click(box.x + k * (195 + 170 * Math.sin(a)), box.y + k * (195 - 170 * Math.cos(a)));
}

const wheelOpen = () => app.run(() => $('orbMenu').classList.contains('radial-open') && !$('orbMenu').classList.contains('hidden'));

async function wheelClosed() {
  assert.deepEqual(await app.run(() => {
    const m = $('orbMenu');
    return { hidden: m.classList.contains('hidden'), open: m.classList.contains('radial-open'), html: m.innerHTML,
      x: m.style.getPropertyValue('--wheel-x'), click: m.onclick };
  }), { hidden: true, open: false, html: '', x: '', click: null });
}

test('a double-click on an orb near the edge opens the wheel in the middle of the graph, for that person', async () => {
  const ids = await family();
  try {
    const edge = await screenOf(app, ids.Dee);
    const size = await app.run(() => ({ w, h }));
    assert.ok(edge.x > size.w - 120, 'Dee stands near the right edge');
    const before = await camera(app);
    await dblclickOrb(ids.Dee);
    // The stage finishes its entrance before it is measured.
    await app.run(() => Promise.all(document.querySelector('#orbMenu').getAnimations({ subtree: true }).map(a => a.finished)));
    const r = await app.run(() => {
      const graph = $('tree').getBoundingClientRect();
      const stage = document.querySelector('.orb-wheel-stage').getBoundingClientRect();
      return {
        centre: [stage.x + stage.width / 2 - graph.x, stage.y + stage.height / 2 - graph.y],
        size: [Math.round(stage.width), Math.round(stage.height)],
        label: document.querySelector('.orb-wheel-stage').getAttribute('aria-label'),
        role: document.querySelector('.orb-wheel-stage').getAttribute('role'),
        sectors: [...document.querySelectorAll('.orb-sector')].map(s => [s.dataset.act, s.getAttribute('aria-label')]),
        buttons: [...document.querySelectorAll('.orb-wheel-action')].map(b => [b.textContent, b.style.left, b.style.top]),
        danger: [...document.querySelectorAll('.orb-sector.danger')].map(s => s.dataset.act),
        name: document.querySelector('.orb-wheel-name').textContent,
        nameTitle: document.querySelector('.orb-wheel-name').title,
        portrait: [document.querySelector('.orb-wheel-portrait').title, document.querySelector('.orb-wheel-portrait').getAttribute('aria-label'),
          document.querySelector('.orb-wheel-portrait').textContent],
        close: document.querySelector('.orb-wheel-close').getAttribute('aria-label'),
        hint: document.querySelector('.orb-wheel-hint').textContent,
        selected,
      };
    });
    assert.equal(r.selected, ids.Dee);
    assert.ok(Math.abs(r.centre[0] - size.w / 2) < 1 && Math.abs(r.centre[1] - (size.h / 2 + 23)) < 1, `centre ${r.centre}`);
    assert.deepEqual(r.size, [390, 390]);
    assert.deepEqual([r.label, r.role], ['Family actions for Dee', 'dialog']);
    assert.deepEqual(r.sectors, [['delete', 'Delete'], ['parent', 'Add parents'], ['spouse', 'Add spouse'], ['child', 'Add child'],
      ['sibling', 'Add sibling'], ['merge', 'Merge profiles'], ['unlink', 'Unlink'], ['style', 'Customize orb']]);
    assert.deepEqual(r.danger, ['delete']);
    // Buttons on radius 139 at each action's angle.
    const angles = [-22.5, 22.5, 67.5, 112.5, 157.5, 202.5, 247.5, 292.5];
    r.buttons.forEach(([, left, top], i) => {
      const a = angles[i] * Math.PI / 180;
      assert.ok(Math.abs(parseFloat(left) - (195 + 139 * Math.sin(a))) < 0.01, `button ${i} x`);
      assert.ok(Math.abs(parseFloat(top) - (195 - 139 * Math.cos(a))) < 0.01, `button ${i} y`);
    });
    assert.deepEqual(r.buttons.map(b => b[0]), ['Delete', 'Add parents', 'Add spouse', 'Add child', 'Add sibling',
      'Merge profiles', 'Unlink', 'Customize orb']);
    assert.equal(r.name, 'Dee✎ Edit profile');
    assert.equal(r.nameTitle, 'Edit Dee');
    assert.deepEqual(r.portrait, ["Upload or change this person's photo", 'Upload photo for Dee', 'D+']);
    assert.equal(r.close, 'Close menu');
    assert.equal(r.hint, 'Click portrait to upload · Esc to close');
    assert.deepEqual(await camera(app), before, 'the camera does not move');
    await app.page.screenshot({ path: '/tmp/kinloom-wheel.png' });
  } finally {
    await app.call('hideOrbMenu');
    await restoreLayout(app);
  }
});

test('placement: centre below the middle, clamped clear of the edges at the drawn scale', async () => {
  for (const [width, height, want] of [
    [1000, 600, { x: 500, y: 323, scale: 0.81, clearance: 159.57 }],
    [1200, 900, { x: 600, y: 473, scale: 1, clearance: 197 }],
    [1000, 400, { x: 500, y: 223, scale: 0.7, clearance: 137.9 }],
    [700, 900, { x: 350, y: 473, scale: 0.81, clearance: 159.57 }],
    [1000, 300, { x: 500, y: 155.1, scale: 0.7, clearance: 137.9 }],
    [1000, 200, { x: 500, y: 144.9, scale: 0.7, clearance: 137.9 }],
  ]) {
    const got = await app.call('wheelPlacement', width, height);
    for (const k of Object.keys(want)) assert.ok(Math.abs(got[k] - want[k]) < 1e-9, `${width}×${height} ${k}: ${got[k]}`);
  }
});

test('sector outlines and icons', async () => {
  const path = await app.call('radialWheelPath', 100, 100, 10, 20, 0, 90);
  const parts = path.split(' ');
  const nums = parts.map(Number);
  assert.deepEqual(parts.filter(p => Number.isNaN(Number(p))), ['M', 'A', 'L', 'A', 'Z']);
  const expected = [NaN, 100, 80, NaN, 20, 20, 0, 0, 1, 120, 100, NaN, 110, 100, NaN, 10, 10, 0, 0, 0, 100, 90, NaN];
  expected.forEach((v, i) => { if (!Number.isNaN(v)) assert.ok(Math.abs(nums[i] - v) < 1e-9, `${i}: ${parts[i]} for ${v}`); });
  const icons = await app.run(() => ['delete', 'parent', 'spouse', 'child', 'sibling', 'unlink', 'merge', 'style', 'nope']
    .map(a => {
      const box = document.createElement('div');
      box.innerHTML = radialWheelIcon(a);
      const svg = box.firstChild;
      return [svg.getAttribute('width'), svg.getAttribute('fill'), svg.getAttribute('stroke'), svg.getAttribute('stroke-width'),
        svg.getAttribute('aria-hidden'), svg.children.length > 0];
    }));
  icons.forEach((icon, i) => assert.deepEqual(icon, ['27', 'none', 'currentColor', '1.8', 'true', i < 8]));
});

test('every action closes the wheel, selects its person and opens its dialog', async () => {
  const ids = await family();
  const portrait = await stub(app, 'choosePortrait');
  try {
    const cases = [
      ['parent', 'Add parents to Dee'],
      ['.orb-wheel-action[data-act="spouse"]', 'Add spouse'],
      ['.orb-wheel-action[data-act="child"]', 'Add child'],
      ['sibling', 'Add sibling'],
      ['.orb-wheel-action[data-act="merge"]', 'Merge profiles — review before combining'],
      ['.orb-wheel-action[data-act="unlink"]', 'Unlink one relationship'],
      ['.orb-wheel-name', 'Edit ancestor'],
    ];
    for (const [selector, title] of cases) {
      await app.run(id => { selected = id; }, ids.Ann);
      await dblclickOrb(ids.Dee);
      await app.run(() => Promise.all(document.querySelector('#orbMenu').getAnimations({ subtree: true }).map(a => a.finished)));
      if (selector.startsWith('.')) await app.click(selector); else await clickSector(selector);
      await wheelClosed();
      assert.equal(await dialogTitle(app), title, selector);
      assert.equal(await app.eval('selected'), ids.Dee);
      await closeDialog(app);
    }
    await dblclickOrb(ids.Dee);
    await app.click('.orb-wheel-portrait');
    assert.deepEqual(await portrait.calls(), [[ids.Dee]]);
    await wheelClosed();
    await dblclickOrb(ids.Dee);
    app.answer(false);
    await app.click('.orb-wheel-action[data-act="delete"]');
    await wheelClosed();
    assert.equal(app.dialogs.length, 1);
    assert.match(app.dialogs[0].message, /^Delete ONLY Dee\?/);
    assert.equal(await app.run(id => persons.has(id), ids.Dee), true, 'declining keeps Dee');
    await dblclickOrb(ids.Dee);
    const studio = await app.run(() => typeof openOrbStudio === 'function');
    if (!studio) {
      await app.click('.orb-wheel-action[data-act="style"]');
      await wheelClosed();
    }
  } finally {
    await portrait.restore();
    await app.call('hideOrbMenu');
    await closeDialog(app);
    await restoreLayout(app);
  }
});

test('close button, backdrop, Escape and a press outside close the wheel; Escape goes no further', async () => {
  const ids = await family();
  try {
    await dblclickOrb(ids.Bob);
    await app.click('.orb-wheel-close');
    await wheelClosed();
    assert.equal(await app.eval('selected'), ids.Bob);

    await dblclickOrb(ids.Bob);
    const box = await app.page.locator('#orbMenu').boundingBox();
    await app.page.mouse.click(box.x + 12, box.y + 12);
    await wheelClosed();

    await dblclickOrb(ids.Bob);
    await app.click('#side');
    await wheelClosed();

    // Scrolling over the open wheel does not zoom the graph.
    await dblclickOrb(ids.Bob);
    const zoom = (await camera(app)).zoom;
    const c = await app.page.locator('.orb-wheel-disc').boundingBox();
    await app.page.mouse.move(c.x + 5, c.y + 80);
    await app.page.mouse.wheel(0, -400);
    assert.equal((await camera(app)).zoom, zoom);
    assert.equal(await wheelOpen(), true);

    // In graph-only fullscreen, Escape closes the wheel and stays in the mode; a second Escape leaves it.
    await app.run(() => hideOrbMenu());
    await app.click('#graphOnlyBtn');
    assert.equal(await app.run(() => document.body.classList.contains('graph-only')), true);
    await app.page.waitForFunction(() => w === $('tree').clientWidth && h === $('tree').clientHeight);
    await app.run(() => hideOrbMenu());
    await dblclickOrb(ids.Bob);
    await app.page.keyboard.press('Escape');
    await wheelClosed();
    assert.equal(await app.run(() => document.body.classList.contains('graph-only')), true);
    await app.page.keyboard.press('Escape');
    assert.equal(await app.run(() => document.body.classList.contains('graph-only')), false);
  } finally {
    await app.run(() => { if (document.body.classList.contains('graph-only')) toggleGraphOnly(); hideOrbMenu(); });
    await restoreLayout(app);
  }
});

test('the centre shows the portrait when there is one; a broken address stays inside the disc', async () => {
  const png = 'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==';
  for (const [photo, src] of [[png, png], ['javascript:alert(1)', null], ['https://example.invalid/face.jpg', 'https://example.invalid/face.jpg']]) {
    const ids = await family({ photo });
    try {
      await dblclickOrb(ids.Ann);
      const r = await app.run(() => {
        const img = document.querySelector('.orb-wheel-portrait img');
        return { src: img ? img.getAttribute('src') : null, text: document.querySelector('.orb-wheel-portrait').textContent };
      });
      assert.deepEqual(r, { src, text: src ? '+' : 'A+' }, photo);
    } finally {
      await app.call('hideOrbMenu');
      await restoreLayout(app);
    }
  }
});

test('add parents: free roles only, refusals, new parents with sex and roles, or an existing profile', async () => {
  const ids = await app.build(['Kid', { name: 'Father', sex: 'M' }, 'Mum', { name: 'Pat', sex: 'F' }, 'Orphan', 'Old'],
    [['Father', 'Kid', 'parent'], ['Father', 'Pat', 'parent'], ['Mum', 'Pat', 'parent']]);
  await app.call('openWheelAddParents', ids.Pat);
  await expectToast(app, 'This person already has two recorded parents. Use Unlink first if a relationship is incorrect.');
  assert.equal(await dialogTitle(app), null);

  await app.call('openWheelAddParents', ids.Kid);
  assert.deepEqual(await app.run(() => ({
    title: $('modalTitle').textContent,
    text: document.querySelector('.modalbody p').textContent,
    roles: [...$('klnExistingParentRole').options].map(o => [o.value, o.textContent]),
    inputs: [...document.querySelectorAll('.modalbody input[type="text"]')].map(i => [i.id, i.placeholder, i.closest('label').textContent]),
    save: $('modalSave').textContent,
  })), {
    title: 'Add parents to Kid',
    text: 'Add up to 1 parent. Existing parents are preserved. Parent 1 and Parent 2 determine the paternal and maternal branch assignments.',
    roles: [['mother', 'Parent 2']],
    inputs: [['wheelParentB', 'Full name (optional)', 'Parent 2 name']],
    save: 'Add parents',
  });
  await app.click('#modalSave');
  await expectToast(app, 'Enter at least one parent name.');
  await app.fill('#wheelParentB', '  Martha  ');
  await app.click('#modalSave');
  await expectToast(app, 'Parent added to Kid');
  const links = await parentLinks(app, ids.Kid);
  const martha = links[1].a;
  assert.deepEqual(links, [{ a: ids.Father, role: null }, { a: martha, role: 'mother' }]);
  assert.deepEqual(await app.run(id => [persons.get(id).name, persons.get(id).sex, selected], martha), ['Martha', 'F', ids.Kid]);

  await app.call('openWheelAddParents', ids.Orphan);
  assert.equal(await app.run(() => document.querySelector('.modalbody p').textContent.slice(0, 21)), 'Add up to 2 parents. ');
  await app.fill('#wheelParentA', 'Abe');
  await app.fill('#wheelParentB', 'Beth');
  await app.click('#modalSave');
  await expectToast(app, 'Parents added to Orphan');
  assert.equal(await dialogTitle(app), null);
  assert.deepEqual(await app.run(id => edges.filter(e => e.b === id).map(e => [persons.get(e.a).name, persons.get(e.a).sex, e.role]), ids.Orphan),
    [['Abe', 'M', 'father'], ['Beth', 'F', 'mother']]);

  // An existing profile through the picker, with the chosen role.
  const more = await app.build(['Child', { name: 'Elder', sex: 'F' }]);
  await app.call('openWheelAddParents', more.Child);
  await app.page.locator('#klnExistingParentRole').selectOption('mother');
  await app.type('#klnExistingParentInput', 'Elder');
  await app.click('#klnExistingParentChoices .kln-profile-result');
  await dialogButton(app, 'Connect selected existing parent').click();
  await expectToast(app, 'Connected existing parent profile: Elder');
  assert.deepEqual(await parentLinks(app, more.Child), [{ a: more.Elder, role: 'mother' }]);
  assert.equal(await dialogTitle(app), null);
});

test('markup in a name stays text in the wheel, the merge list and the unlink list', async () => {
  const evil = '<img src=x id=evil>"\'&amp;';
  const ids = await app.build([{ name: evil, key: 'E' }, 'Pal'], [['E', 'Pal', 'spouse']]);
  await app.call('showOrbMenu', ids.E, null);
  assert.deepEqual(await app.run(() => [document.querySelector('.orb-wheel-name b').textContent,
    document.querySelector('.orb-wheel-stage').getAttribute('aria-label'), document.querySelector('.orb-wheel-name').title,
    !!document.getElementById('evil')]), [evil, 'Family actions for ' + evil, 'Edit ' + evil, false]);
  await app.call('hideOrbMenu');
  await app.call('openMergeModal', ids.Pal);
  assert.equal(await app.run(() => $('mergeId').options[0].textContent), evil + ' · ? · ' + ids.E);
  assert.equal(await app.run(() => !!document.getElementById('evil')), false);
  await closeDialog(app);
  await app.call('openWheelUnlink', ids.Pal);
  assert.equal(await app.run(() => $('wheelUnlinkEdge').options[0].textContent), 'Spouse / partner · ' + evil);
  assert.equal(await app.run(() => !!document.getElementById('evil')), false);
  await closeDialog(app);
});
