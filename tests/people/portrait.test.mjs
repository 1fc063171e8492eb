// Portraits: a real picture file through the chooser and the editor into the record as a 360 × 360 JPEG,
// the editor's drag, sliders, mirror and reset, refused pictures, the middle press on an orb, the fullscreen
// brought back after the chooser, and which stored addresses are shown at all.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogTitle, closeDialog, showPerson, panelButton, record } from './people.mjs';

const app = useApp();

const EDITOR = 'Crop & edit portrait';
const DEFAULTS = { zoom: 1, dx: 0, dy: 0, rotate: 0, flip: false, brightness: 100, contrast: 100, saturation: 100 };

// A 1,200 × 800 PNG in three upright bands, red, green and blue, made by the page's own canvas.
async function bandsPng() {
  return Buffer.from(await app.run(() => {
    const c = document.createElement('canvas');
    c.width = 1200; c.height = 800;
    const g = c.getContext('2d');
    [['#e00000', 0], ['#00d000', 400], ['#0000e0', 800]].forEach(([colour, x]) => { g.fillStyle = colour; g.fillRect(x, 0, 400, 800); });
    return c.toDataURL('image/png').split(',')[1];
  }), 'base64');
}

// Chooses `file` through "Add / change picture" of the panel and waits for the editor.
async function chooseThroughPanel(id, file) {
  await showPerson(app, id);
  const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'), panelButton(app, 'Add / change picture').click()]);
  await chooser.setFiles(file);
}

const waitForEditor = () => app.page.waitForFunction(t => $('modalTitle') && $('modalTitle').textContent === t && !!photoEditState, EDITOR);

const editState = () => app.run(() => photoEditState && (({ img, id, ...rest }) => rest)(photoEditState));

// Pixels [r, g, b] of a stored data address at points of its 360 × 360 picture.
const pixelsOf = (src, points) => app.run(([src, points]) => new Promise(done => {
  const i = new Image();
  i.onload = () => {
    const c = document.createElement('canvas');
    c.width = i.width; c.height = i.height;
    const g = c.getContext('2d');
    g.drawImage(i, 0, 0);
    done({ size: [i.width, i.height], px: points.map(([x, y]) => [...g.getImageData(x, y, 1, 1).data.slice(0, 3)]) });
  };
  i.src = src;
}), [src, points]);

const near = (actual, expected, label) =>
  assert.ok(actual.every((v, k) => Math.abs(v - expected[k]) < 40), `${label}: ${actual} ≈ ${expected}`);

test('a picture file goes through the editor into the record as a 360 × 360 JPEG of the centre crop', async () => {
  const ids = await app.build([{ name: 'Ada Byron', key: 'A' }, { name: 'Bo Byron', key: 'B' }], [['A', 'B', 'spouse']]);
  await chooseThroughPanel(ids.A, { name: 'bands.png', mimeType: 'image/png', buffer: await bandsPng() });
  await waitForEditor();
  assert.deepEqual(await editState(), DEFAULTS);
  assert.equal((await record(app, ids.A)).photo, '', 'nothing stored before saving');
  const view = await app.run(() => ({
    canvas: [$('photoCanvas').width, $('photoCanvas').height, $('photoCanvas').getAttribute('aria-label')],
    sliders: [...document.querySelectorAll('#modalLayer input[type=range]')].map(i => [i.closest('label').textContent, i.min, i.max, i.step]),
    buttons: [...document.querySelectorAll('#modalLayer .modalbody button')].map(b => b.textContent),
    save: $('modalSave').textContent,
    help: $('modalLayer').querySelector('.modalbody .note').textContent,
  }));
  assert.deepEqual(view, {
    canvas: [350, 350, 'Drag to reposition portrait'],
    sliders: [['Zoom', '1', '4', '0.05'], ['Rotate', '-180', '180', '1'], ['Brightness', '35', '175', '1'],
      ['Contrast', '40', '180', '1'], ['Color', '0', '200', '1']],
    buttons: ['⇄ Flip horizontally', '↻ Reset edits', 'Choose a different photo'],
    save: 'Save portrait',
    help: "Drag the circular preview to crop and position the face. Save to apply the result to this person's orb.",
  });
  // Enter in the editor does not save it.
  await app.press('Enter', '#photoZoom');
  assert.equal(await dialogTitle(app), EDITOR);
  // An old picture of the person is cached: after saving the orb must load the new one.
  await app.run(id => portraitCache.set(id, { url: 'old', pic: new Image(), loaded: true, failed: false }), ids.A);
  await app.click('#modalSave');
  await expectToast(app, 'Portrait updated.');
  assert.equal(await dialogTitle(app), null);
  assert.equal(await app.eval('photoEditState'), null);
  assert.equal(await app.eval('selected'), ids.A);
  const photo = (await record(app, ids.A)).photo;
  assert.match(photo, /^data:image\/jpeg;base64,[A-Za-z0-9+/=]+$/);
  assert.ok(photo.length < 60000, `small: ${photo.length} characters`);
  const { size, px } = await pixelsOf(photo, [[50, 180], [180, 180], [310, 180], [4, 4], [356, 356], [180, 2]]);
  assert.deepEqual(size, [360, 360]);
  near(px[0], [224, 0, 0], 'left of the crop is the red band');
  near(px[1], [0, 208, 0], 'the middle is the green band');
  near(px[2], [0, 0, 224], 'right of the crop is the blue band');
  near(px[3], [0, 0, 0], 'corner outside the circle');
  near(px[4], [0, 0, 0], 'corner outside the circle');
  near(px[5], [120, 231, 214], 'the teal outline');
  await app.run(() => { renderNeeded = true; draw(); });
  assert.equal(await app.run(id => portraitCache.get(id).url === persons.get(id).photo, ids.A), true);
  await app.page.waitForFunction(id => portraitCache.get(id).loaded, ids.A);
  assert.equal(await app.exists('#sideBody .pp-portrait img'), true);
});

test('the editor: dragging follows the pointer at any display size; sliders, mirror and reset', async () => {
  const ids = await app.build([{ name: 'Cy Drag', key: 'C' }]);
  await chooseThroughPanel(ids.C, { name: 'bands.png', mimeType: 'image/png', buffer: await bandsPng() });
  await waitForEditor();
  for (const width of [320, 175]) {
    await app.run(w => { $('photoCanvas').style.width = w + 'px'; photoEditState.dx = photoEditState.dy = 0; }, width);
    const box = await app.page.locator('#photoCanvas').boundingBox();
    assert.ok(Math.abs(box.width - width) < 1);
    const m = app.page.mouse;
    await m.move(box.x + box.width / 2, box.y + box.height / 2);
    await m.down();
    await m.move(box.x + box.width, box.y + box.height / 4, { steps: 5 });
    // Outside the canvas the captured pointer still drags.
    await m.move(box.x + box.width + width / 2, box.y + box.height / 4, { steps: 3 });
    await m.up();
    const st = await editState();
    assert.ok(Math.abs(st.dx - 350) < 1.5 && Math.abs(st.dy + 87.5) < 1.5, `shown ${width}: ${st.dx}, ${st.dy}`);
  }
  await app.run(() => {
    for (const [id, v] of [['photoZoom', 2.5], ['photoRotate', -30], ['photoBrightness', 150], ['photoContrast', 60], ['photoSaturation', 0]]) {
      $(id).value = String(v);
      $(id).dispatchEvent(new Event('input', { bubbles: true }));
    }
  });
  await app.click('#photoFlip');
  const { dx, dy } = await editState();
  assert.deepEqual(await editState(), { zoom: 2.5, dx, dy, rotate: -30, flip: true, brightness: 150, contrast: 60, saturation: 0 });
  // Colour at 0 % makes the preview grey.
  const [r, g, b] = await app.run(() => [...$('photoCanvas').getContext('2d').getImageData(175, 175, 1, 1).data.slice(0, 3)]);
  assert.ok(Math.abs(r - g) < 8 && Math.abs(g - b) < 8, `grey: ${[r, g, b]}`);
  await app.click('#photoReset');
  assert.deepEqual(await editState(), DEFAULTS);
  assert.deepEqual(await app.run(() => ['photoZoom', 'photoRotate', 'photoBrightness', 'photoContrast', 'photoSaturation']
    .map(id => $(id).value)), ['1', '0', '100', '100', '100']);
  await app.click('#modalCancel');
  assert.equal(await app.eval('photoEditState'), null);
  assert.equal((await record(app, ids.C)).photo, '', 'cancelling stores nothing');
});

test('a mirrored picture is stored mirrored', async () => {
  const ids = await app.build([{ name: 'Di Mirror', key: 'D' }]);
  await chooseThroughPanel(ids.D, { name: 'bands.png', mimeType: 'image/png', buffer: await bandsPng() });
  await waitForEditor();
  await app.click('#photoFlip');
  await app.click('#modalSave');
  await expectToast(app, 'Portrait updated.');
  const { px } = await pixelsOf((await record(app, ids.D)).photo, [[50, 180], [310, 180]]);
  near(px[0], [0, 0, 224], 'blue on the left');
  near(px[1], [224, 0, 0], 'red on the right');
});

test('the same file chosen twice opens the editor both times; a file that is no picture is refused', async () => {
  const ids = await app.build([{ name: 'Eve Twice', key: 'E' }]);
  const file = { name: 'bands.png', mimeType: 'image/png', buffer: await bandsPng() };
  for (let round = 0; round < 2; round++) {
    await chooseThroughPanel(ids.E, file);
    await waitForEditor();
    await closeDialog(app);
    assert.equal(await app.eval('photoEditState'), null, 'hiding the dialog drops the editor state');
  }
  await chooseThroughPanel(ids.E, { name: 'notes.png', mimeType: 'image/png', buffer: Buffer.from('not a picture at all') });
  await expectToast(app, 'Could not load this photo. Try a JPG or PNG file.');
  assert.equal(await dialogTitle(app), null);
  assert.equal((await record(app, ids.E)).photo, '');
});

test('"Choose a different photo" asks for a file and opens a fresh editor', async () => {
  const ids = await app.build([{ name: 'Flo Again', key: 'F' }]);
  const file = { name: 'bands.png', mimeType: 'image/png', buffer: await bandsPng() };
  await chooseThroughPanel(ids.F, file);
  await waitForEditor();
  await app.run(() => { $('photoZoom').value = '3'; $('photoZoom').dispatchEvent(new Event('input')); });
  const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'), app.click('#photoChooseOther')]);
  await chooser.setFiles(file);
  await app.page.waitForFunction(() => photoEditState && photoEditState.zoom === 1);
  assert.equal(await app.eval('photoEditState.id'), ids.F);
  await closeDialog(app);
});

// A real middle press on the person's orb, after a fresh paint.
async function middleClickOrb(id) {
  await app.run(id => { rootPersonId = focus = id; update(); fitGraph(); renderNeeded = true; draw(); }, id);
  const hit = await app.run(id => hitNodes.find(n => n.id === id), id);
  const box = await app.page.locator('#tree').boundingBox();
  await app.page.mouse.click(box.x + hit.x, box.y + hit.y, { button: 'middle' });
}

test('middle press: edits a usable picture, asks for a file when the stored one is refused', async () => {
  const jpeg = await app.run(() => {
    const c = document.createElement('canvas');
    c.width = c.height = 60;
    c.getContext('2d').fillRect(0, 0, 60, 60);
    return c.toDataURL('image/jpeg');
  });
  const ids = await app.build([{ name: 'Gil Photo', key: 'G', photo: jpeg }]);
  await middleClickOrb(ids.G);
  await waitForEditor();
  assert.equal(await app.eval('selected'), ids.G);
  await closeDialog(app);
  for (const photo of ['data:image/gif;base64,R0lGODlhAQABAAAAACw=', 'javascript:alert(1)', 'portrait.jpg']) {
    const refused = await app.build([{ name: 'Hal Refused', key: 'H', photo }]);
    const [chooser] = await Promise.all([app.page.waitForEvent('filechooser', { timeout: 5000 }), middleClickOrb(refused.H)]);
    assert.ok(chooser, photo);
    assert.equal(await dialogTitle(app), null, photo);
    await app.run(() => $('portraitFile').dispatchEvent(new Event('cancel')));
  }
});

test('a stored picture that cannot be decoded gives the message and no editor', async () => {
  const ids = await app.build([{ name: 'Ivy Broken', key: 'I', photo: 'data:image/png;base64,AAAA' }]);
  await app.call('editPhoto', ids.I);
  await expectToast(app, 'Could not load this photo. Try a JPG or PNG file.');
  assert.equal(await dialogTitle(app), null);
  assert.equal((await record(app, ids.I)).photo, 'data:image/png;base64,AAAA');
});

test('graph-only fullscreen comes back after the chooser is cancelled, and the picture stays', async () => {
  const ids = await app.build([{ name: 'Jo Full', key: 'J', photo: '' }]);
  await app.run(() => {
    window.__fullscreen = 0;
    document.documentElement.requestFullscreen = () => { window.__fullscreen++; return Promise.resolve(); };
    document.body.classList.add('graph-only');
  });
  try {
    await app.run(id => { selected = id; }, ids.J);
    const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'), app.call('choosePortrait', ids.J)]);
    assert.ok(chooser);
    assert.equal(await app.eval('portraitFullscreenRestore'), true);
    // The browser leaves fullscreen for the chooser: graph-only stays while the restore is pending.
    await app.call('graphFullscreenChanged');
    assert.equal(await app.run(() => document.body.classList.contains('graph-only')), true);
    await app.run(() => $('portraitFile').dispatchEvent(new Event('cancel')));
    await app.page.waitForFunction(() => window.__fullscreen === 1);
    assert.equal(await app.eval('portraitFullscreenRestore'), false);
    assert.equal((await record(app, ids.J)).photo, '');
    // Outside graph-only mode nothing is requested.
    await app.run(() => document.body.classList.remove('graph-only'));
    await Promise.all([app.page.waitForEvent('filechooser'), app.call('choosePortrait', ids.J)]);
    assert.equal(await app.eval('portraitFullscreenRestore'), false);
    await app.run(() => $('portraitFile').dispatchEvent(new Event('cancel')));
    assert.equal(await app.eval('window.__fullscreen'), 1);
  } finally {
    await app.run(() => { document.body.classList.remove('graph-only'); delete document.documentElement.requestFullscreen; });
  }
});

test('which stored addresses are shown: data pictures and http(s) only; a failed one falls back to initials', async () => {
  app.expectConsole(/ERR_NAME_NOT_RESOLVED|ERR_INTERNET_DISCONNECTED|net::/);
  const pixel = await app.run(() => {
    const c = document.createElement('canvas');
    c.width = c.height = 4;
    return c.toDataURL('image/png');
  });
  const cases = [
    [pixel, true], ['portrait.jpg', false], ['ftp://example.org/a.jpg', false], ['file:///tmp/a.jpg', false],
    ['data:image/gif;base64,R0lGODlhAQABAAAAACw=', false], ['data:image/svg+xml;base64,PHN2Zy8+', false],
    ['javascript:alert(1)', false], ['https://portraits.invalid/face.jpg', true], ['', false],
  ];
  for (const [photo, usable] of cases) {
    const ids = await app.build([{ name: 'Kit Address', key: 'K', photo }]);
    await app.run(id => { rootPersonId = focus = selected = id; update(); fitGraph(); renderNeeded = true; draw(); }, ids.K);
    assert.equal(await app.run(id => portraitCache.has(id), ids.K), usable, photo);
    if (!usable) continue;
    await app.page.waitForFunction(id => portraitCache.get(id).loaded || portraitCache.get(id).failed, ids.K, { timeout: 15000 });
    const entry = await app.run(id => ({ ...portraitCache.get(id), pic: null }), ids.K);
    assert.equal(entry.url, photo);
    if (photo.startsWith('https')) {
      assert.equal(entry.failed, true, 'offline, the remote picture fails');
      assert.equal(await app.call('portraitOf', ids.K, await record(app, ids.K)), null);
    }
  }
});
