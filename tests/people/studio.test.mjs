// Orb studio: the dialog and its controls, the draft they change, presets and reset, the colour rows, the
// live preview (home gold, own colour), saving the style and the family-line colour, cancelling, undo.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogTitle, closeDialog, record } from './people.mjs';

const app = useApp();

const DEFAULT = { size: 100, glow: 100, ring: 65, effect: 'none', density: 9, speed: 100, color: null };

// Father, mother and their son; the son's line head is his father.
function family() {
  return app.build([{ name: 'Frank Stone', key: 'F', sex: 'M' }, { name: 'Mary Stone', key: 'M', sex: 'F' },
    { name: 'Sam Stone', key: 'S', sex: 'M' }], [['F', 'S', 'parent'], ['M', 'S', 'parent'], ['F', 'M', 'spouse']]);
}

const draft = () => app.run(() => orbStudioState && { ...orbStudioState.draft, line: orbStudioState.lineDraft });

// Moves a slider as the keyboard or a drag does: a new value and an input event.
const slide = (id, value) => app.run(([id, value]) => {
  const el = $(id);
  el.value = String(value);
  el.dispatchEvent(new Event('input', { bubbles: true }));
}, [id, value]);

test('the studio shows the title, caption, controls in order and the normalised stored style', async () => {
  const ids = await family();
  await app.run(id => { persons.get(id).orbStyle = { size: 500, glow: -5, density: 3.2, effect: 'meteor', color: '#abc' }; }, ids.S);
  await app.call('openOrbStudio', ids.S);
  assert.equal(await dialogTitle(app), 'Customize orb · Sam Stone');
  const view = await app.run(() => {
    const body = $('modalLayer');
    return {
      save: $('modalSave').textContent,
      text: body.querySelector('.modalbody').innerText,
      canvas: [$('orbStudioCanvas').width, $('orbStudioCanvas').height],
      sliders: [...body.querySelectorAll('input[type=range]')].map(i => [i.id, i.min, i.max, i.value]),
      effects: [...$('orbEffect').options].map(o => [o.value, o.textContent]),
      effect: $('orbEffect').value,
      boxes: [$('orbUseFamilyColor').checked, $('orbAutoLineColor').checked],
      fields: [$('orbCustomColor').title, $('orbLineCustomColor').value, $('orbLineCustomColor').title],
      buttons: [...body.querySelectorAll('.modalbody button')].map(b => b.textContent),
    };
  });
  assert.equal(view.save, 'Save orb style');
  assert.deepEqual(view.canvas, [420, 260]);
  assert.deepEqual(view.sliders, [['orbSize', '60', '230', '230'], ['orbGlow', '0', '230', '0'], ['orbRing', '0', '110', '65'],
    ['orbDensity', '2', '24', '3'], ['orbSpeed', '20', '240', '100']]);
  assert.deepEqual(view.effects, [['none', 'None · classic glow'], ['sparkles', 'Sparkles ✦'], ['stardust', 'Stardust ✧'],
    ['fireflies', 'Fireflies'], ['orbit', 'Orbiting lights'], ['comet', 'Comet trail'], ['pulse', 'Breathing pulse'],
    ['aurora', 'Aurora rings']]);
  assert.equal(view.effect, 'none');
  assert.deepEqual(view.boxes, [true, true]);
  assert.deepEqual(view.fields, ["Click once to customize this orb's color", '#64ddd5',
    "Click once to customize this family line's color"]);
  assert.deepEqual(view.buttons, ['Choose', 'Choose', '✦ Starlight', '☀ Celestial', '✧ Fireflies', 'Reset this orb']);
  const order = ['Live preview · applies only to this person', 'Orb size', '230%', 'Glow intensity', '0%', 'Outline strength',
    '65%', 'Orb color', 'Follow family color', 'Family branch / line color', 'Automatic paternal-line color',
    "Changes this profile's recorded family line and its descendants. Children follow their father's line; if no father " +
    "is recorded, they follow their mother's. The other parent keeps a separate family color. Use Orb color above to " +
    'style only this profile.', 'Magical effect', 'Particles', 'Animation speed', '100%',
    "Each person's settings are saved in your tree and exported with backups. Effects stay independent of the Colored " +
    'branches switch.'];
  let at = -1;
  for (const part of order) {
    const next = view.text.indexOf(part, at + 1);
    assert.ok(next > at, `"${part}" after the previous part`);
    at = next;
  }
  assert.deepEqual(await draft(), { size: 230, glow: 0, ring: 65, effect: 'none', density: 3.2, speed: 100, color: null, line: null });
  await closeDialog(app);
});

test('sliders, the effect list and presets change the draft and the value labels; presets keep the colour', async () => {
  const ids = await family();
  await app.run(id => { persons.get(id).orbStyle = { color: '#112233' }; }, ids.S);
  await app.call('openOrbStudio', ids.S);
  await slide('orbSize', 150);
  await slide('orbDensity', 20);
  await app.page.selectOption('#orbEffect', 'comet');
  assert.deepEqual(await app.run(() => [$('orbSizeValue').textContent, $('orbDensityValue').textContent]), ['150%', '20']);
  assert.deepEqual(await draft(), { ...DEFAULT, size: 150, density: 20, effect: 'comet', color: '#112233', line: null });
  for (const [button, values] of [
    ['✦ Starlight', { size: 115, glow: 160, ring: 65, effect: 'sparkles', density: 16, speed: 90 }],
    ['☀ Celestial', { size: 135, glow: 205, ring: 85, effect: 'aurora', density: 7, speed: 85 }],
    ['✧ Fireflies', { size: 106, glow: 135, ring: 65, effect: 'fireflies', density: 16, speed: 65 }],
  ]) {
    await app.page.locator('#modalLayer button', { hasText: button }).click();
    assert.deepEqual(await draft(), { ...values, color: '#112233', line: null }, button);
    assert.deepEqual(await app.run(() => [$('orbSize').value, $('orbGlowValue').textContent, $('orbEffect').value,
      $('orbUseFamilyColor').checked]), [String(values.size), values.glow + '%', values.effect, false], button);
  }
  await app.page.locator('#modalLayer button', { hasText: 'Reset this orb' }).click();
  assert.deepEqual(await draft(), { ...DEFAULT, line: null });
  assert.deepEqual(await app.run(() => [$('orbSize').value, $('orbSpeedValue').textContent, $('orbEffect').value,
    $('orbUseFamilyColor').checked]), ['100', '100%', 'none', true]);
  await closeDialog(app);
});

test('colour rows: touching the field or "Choose" unticks the box and takes the colour; ticking clears it', async () => {
  const ids = await family();
  await app.call('openOrbStudio', ids.S);
  await app.run(() => { $('orbCustomColor').value = '#ff8800'; });
  await app.page.locator('#orbCustomColor').dispatchEvent('pointerdown');
  assert.equal(await app.run(() => $('orbUseFamilyColor').checked), false);
  assert.equal((await draft()).color, '#ff8800');
  await app.click('#orbUseFamilyColor');
  assert.equal((await draft()).color, null);
  await app.run(() => {
    window.__pickers = [];
    $('orbLineCustomColor').showPicker = () => window.__pickers.push('line');
    $('orbLineCustomColor').value = '#3366cc';
  });
  await app.click('#orbLineCustomColorChoose');
  assert.deepEqual(await app.eval('window.__pickers'), ['line']);
  assert.equal(await app.run(() => $('orbAutoLineColor').checked), false);
  assert.equal((await draft()).line, '#3366cc');
  await app.run(() => {
    const f = $('orbCustomColor');
    f.value = '#00aa44';
    f.dispatchEvent(new Event('input', { bubbles: true }));
  });
  assert.equal((await draft()).color, '#00aa44');
  await closeDialog(app);
});

// Mean colour of the preview's orb outline ring, read from the studio canvas.
const ringColour = () => app.run(() => {
  const d = $('orbStudioCanvas').getContext('2d').getImageData(210 + 34, 128, 4, 4).data;
  let r = 0, g = 0, b = 0;
  for (let i = 0; i < d.length; i += 4) { r += d[i]; g += d[i + 1]; b += d[i + 2]; }
  return [r, g, b].map(v => Math.round(v / (d.length / 4)));
});

test('the preview paints the home person gold unless it has its own colour, and stops with the dialog', async () => {
  const ids = await family();
  await app.run(id => { rootPersonId = focus = id; update(); }, ids.F);
  await app.call('openOrbStudio', ids.F);
  await app.frames(3);
  const [r, g, b] = await ringColour();
  assert.ok(r > 150 && g > 120 && b < 120, `gold ring, got ${[r, g, b]}`);
  await app.run(() => { $('orbCustomColor').value = '#2050ff'; $('orbCustomColor').dispatchEvent(new Event('input')); });
  await app.frames(3);
  const [r2, , b2] = await ringColour();
  assert.ok(b2 > 150 && r2 < 100, `own blue ring, got ${[r2, b2]}`);
  const frames = await app.countCalls('drawOrbStudioPreview');
  await app.frames(3);
  assert.ok(await frames.count() >= 2, 'redrawn every frame');
  await closeDialog(app);
  await app.frames(2);
  const after = await frames.count();
  await app.frames(3);
  assert.equal(await frames.count(), after, 'no drawing after the dialog closed');
  assert.equal(await app.eval('orbStudioState'), null);
  await frames.restore();
});

test('saving stores all seven keys, sets the line colour on the line head, toasts, and is one undo step', async () => {
  const ids = await family();
  await app.run(() => { klnResetEditHistory(); });
  await app.call('openOrbStudio', ids.S);
  await slide('orbGlow', 180);
  await app.run(() => { $('orbLineCustomColor').value = '#aa2244'; $('orbLineCustomColor').dispatchEvent(new Event('change')); });
  await app.click('#modalSave');
  await expectToast(app, 'Orb and family line appearance saved for Sam Stone');
  assert.equal(await dialogTitle(app), null);
  const son = await record(app, ids.S);
  assert.deepEqual(son.orbStyle, { ...DEFAULT, glow: 180 });
  assert.equal(son.branchLineColor, undefined, 'the line colour goes on the head, not the person');
  assert.equal((await record(app, ids.F)).branchLineColor, '#aa2244');
  await app.page.waitForFunction(() => klnHistory.undo.length > 0 && !klnHistory.pending && !klnHistory.timer, null, { timeout: 5000 });
  await app.call('klnUndo');
  assert.equal((await record(app, ids.S)).orbStyle, undefined);
  assert.equal((await record(app, ids.F)).branchLineColor, undefined);
});

test('saving with "Automatic paternal-line color" ticked removes the head\'s line colour; reset stores the default', async () => {
  const ids = await family();
  await app.run(([f, s]) => {
    persons.get(f).branchLineColor = '#123456';
    persons.get(s).orbStyle = { size: 200, effect: 'aurora', color: '#654321' };
  }, [ids.F, ids.S]);
  await app.call('openOrbStudio', ids.S);
  assert.deepEqual(await app.run(() => [$('orbAutoLineColor').checked, $('orbLineCustomColor').value, $('orbCustomColor').value]),
    [false, '#123456', '#654321']);
  await app.click('#orbAutoLineColor');
  await app.page.locator('#modalLayer button', { hasText: 'Reset this orb' }).click();
  await app.click('#modalSave');
  assert.deepEqual((await record(app, ids.S)).orbStyle, DEFAULT);
  assert.equal('branchLineColor' in await record(app, ids.F), false);
});

test('cancelling discards both drafts', async () => {
  const ids = await family();
  await app.run(f => { persons.get(f).branchLineColor = '#123456'; }, ids.F);
  await app.call('openOrbStudio', ids.S);
  await slide('orbSize', 222);
  await app.click('#orbAutoLineColor');
  await app.click('#modalCancel');
  assert.equal((await record(app, ids.S)).orbStyle, undefined);
  assert.equal((await record(app, ids.F)).branchLineColor, '#123456');
  await app.frames(2);
  assert.equal(await app.eval('orbStudioState'), null);
});
