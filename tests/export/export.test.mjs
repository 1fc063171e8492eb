// Picture export end to end on the real page: the dialog, the tile grid, the delivered PNG, JPEG, ZIP and
// PDF files (decoded, unzipped, checked and rendered with the standard tools), the progress layer, the
// size limits, and the view put back exactly after every kind of ending.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { useApp } from '../harness.mjs';
import { tool, scratch, zipEntries, zipData, pngSize, jpegSize, pdfXref, pdfJpegs } from './files.mjs';

// The export changes the hover and the unlinked switch only through their owners' setters; where the page
// does not provide them yet, these stand-ins do the same so that the rest of the export can be tested.
const app = useApp({ timeout: 60000, setup: app => app.eval(`(() => {
  if (typeof setHover !== 'function') window.setHover = id => { hover = id; };
  if (typeof klnSetShowUnlinked !== 'function') window.klnSetShowUnlinked = on => { klnShowUnlinked = on; };
})()`) });
const today = () => new Date().toISOString().slice(0, 10);

// Ann (parent) and Ben (child), placed by their 2D offsets so that at detail 1 Ben's orb stands dx, dy
// pixels from Ann's: the scene is then exactly (dx + 220) × (dy + 220) pixels. `extra` adds more people.
async function scene(dx, dy, extra = []) {
  await app.build(['Ann', 'Ben', ...extra], [['Ann', 'Ben', 'parent']]);
  await app.run(({ dx, dy }) => {
    const [a, b] = [...persons.keys()];
    const layout = buildLayout(displayed());
    const pa = layout.get(a), pb = layout.get(b);
    persons.get(a).orbOffset2D = { x: -pa.x, y: -pa.y };
    persons.get(b).orbOffset2D = { x: dx - pb.x, y: dy - pb.y };
    renderNeeded = true;
  }, { dx, dy });
  await app.frames(1);
}

const exportNow = (format, detail = 1, scope = 'current') =>
  app.download(() => app.call('klnExportTreeImages', format, detail, scope));

// Decodes a picture in the browser and returns its size.
const decodedSize = (bytes, type) => app.run(async ({ data, type }) => {
  const bitmap = await createImageBitmap(new Blob([Uint8Array.from(atob(data), c => c.charCodeAt(0))], { type }));
  return { width: bitmap.width, height: bitmap.height };
}, { data: Buffer.from(bytes).toString('base64'), type });

// Mean absolute difference (0 to 255) between two pictures drawn at 1400 × 950.
const pictureDifference = (a, b) => app.run(async ([a, b]) => {
  const pixels = async ({ data, type }) => {
    const bitmap = await createImageBitmap(new Blob([Uint8Array.from(atob(data), c => c.charCodeAt(0))], { type }));
    const c = document.createElement('canvas');
    c.width = 1400;
    c.height = 950;
    const g = c.getContext('2d');
    g.drawImage(bitmap, 0, 0, 1400, 950);
    return g.getImageData(0, 0, 1400, 950).data;
  };
  const [p, q] = [await pixels(a), await pixels(b)];
  let sum = 0;
  for (let i = 0; i < p.length; i += 4) sum += Math.abs(p[i] - q[i]) + Math.abs(p[i + 1] - q[i + 1]) + Math.abs(p[i + 2] - q[i + 2]);
  return sum / (p.length / 4 * 3);
}, [a, b].map(([bytes, type]) => ({ data: Buffer.from(bytes).toString('base64'), type })));

// Records, for every paint at tile size during `action`, the camera shift and where each orb was painted.
async function paintedTiles(action) {
  await app.eval(`(() => {
    window.__paints = [];
    window.__draw = draw;
    draw = function () {
      const result = window.__draw.apply(this, arguments);
      if (klnExportRunning && w === 1400) window.__paints.push({ sx: shiftX, sy: shiftY,
        orbs: hitNodes.map(n => ({ id: n.id, x: Math.round(n.x), y: Math.round(n.y) })) });
      return result;
    };
  })()`);
  try {
    const result = await action();
    const paints = await app.eval('window.__paints');
    const xs = [...new Set(paints.map(p => p.sx))].sort((a, b) => b - a);
    const ys = [...new Set(paints.map(p => p.sy))].sort((a, b) => b - a);
    const tiles = new Map();
    for (const p of paints) tiles.set(ys.indexOf(p.sy) + ',' + xs.indexOf(p.sx), p.orbs);
    return { result, tiles, columns: xs.length, rows: ys.length };
  } finally {
    await app.eval('draw = window.__draw');
  }
}

// Every view variable the export touches, the graph canvas and the tree itself.
const viewSnapshot = () => app.run(() => {
  const c = $('tree'), t = c.getContext('2d').getTransform();
  return {
    zoom, shiftX, shiftY, w, h, device, mode3, rotation, tilt, target: { ...cameraTarget3D },
    hover: typeof hover === 'undefined' ? null : hover, generationDepth, includeDescendants, klnShowUnlinked,
    focus, selected, rootPersonId, canvas: [c.width, c.height, c.style.width, c.style.height, t.a, t.d],
    tree: JSON.stringify([[...persons.entries()], edges]),
  };
});

test('the dialog: refused for an empty tree, three preselected lists, "Export tree" delivers a picture', async () => {
  await app.emptyTree();
  await app.click('#klnExportBtn');
  assert.equal(await app.textContent('#toast'), 'Add or import a tree before exporting.');
  assert.equal(await app.run(() => modalOpen()), false);

  await scene(300, 200);
  await app.click('#klnExportBtn');
  assert.equal(await app.textContent('#modalTitle'), 'Export your family tree');
  const lists = await app.run(() => ['klnExportFormat', 'klnExportDetail', 'klnExportScope'].map(id => ({
    label: $(id).closest('label').firstChild.textContent, value: $(id).value,
    options: [...$(id).options].map(o => [o.value, o.textContent]),
  })));
  assert.deepEqual(lists, [
    { label: 'File format', value: 'png', options: [['png', 'PNG (sharp pictures)'], ['jpeg', 'JPEG (smaller picture files)'], ['pdf', 'PDF (multiple pages)']] },
    { label: 'Picture detail', value: '0.8', options: [['0.8', 'Readable pages · recommended'], ['1.15', 'Extra detail · more pages'], ['0.42', 'Compact overview · fewer pages']] },
    { label: 'Family members', value: 'all', options: [['all', 'Entire connected family (all generations)'], ['current', 'Currently displayed people only']] },
  ]);
  const body = await app.textContent('.modalbody');
  assert.ok(body.startsWith('Save your tree as pictures or a multi-page PDF. The export uses the current 2D or 3D view style'));
  assert.ok(body.includes('A PDF is a visual chart, not a GEDCOM data file.'));
  assert.ok(body.includes('Full JSON backup (portraits, editing, positions, colors) remains available in Tree settings → Full backup / restore.'));
  assert.equal(await app.textContent('#modalSave'), 'Export tree');

  await app.page.selectOption('#klnExportFormat', 'jpeg');
  const file = await app.download(() => app.click('#modalSave'));
  assert.equal(await app.run(() => modalOpen()), false);
  assert.equal(file.name, `Kinloom_${today()}.jpg`);
  assert.deepEqual(jpegSize(file.bytes), { width: 1400, height: 950 });
  assert.match(await app.textContent('#toast'), /^Export complete: 1 image tiles\.$/);
});

test('a family that fits one tile gives one picture of it, centred, in each format', async () => {
  await scene(300, 200);
  for (const [format, name, type] of [['png', `Kinloom_${today()}.png`, 'image/png'],
    ['jpeg', `Kinloom_${today()}.jpg`, 'image/jpeg']]) {
    const { result: file, tiles } = await paintedTiles(() => exportNow(format));
    assert.equal(file.name, name);
    assert.deepEqual(format === 'png' ? pngSize(file.bytes) : jpegSize(file.bytes), { width: 1400, height: 950 });
    assert.deepEqual(await decodedSize(file.bytes, type), { width: 1400, height: 950 });
    assert.deepEqual([...tiles.keys()], ['0,0']);
    const orbs = tiles.get('0,0').map(o => [o.x, o.y]).sort((a, b) => a[0] - b[0]);
    assert.deepEqual(orbs, [[550, 375], [850, 575]], 'the scene is centred in the tile');
  }
  const pdf = await exportNow('pdf');
  assert.equal(pdf.name, `Kinloom_${today()}_1_pages.pdf`);
  assert.equal(pdfJpegs(pdf.bytes).length, 1);
});

test('a scene 1.5 tiles wide and 2.2 high gives a ZIP of 2 × 3 numbered tiles', async () => {
  await scene(1880, 1870);
  for (const [format, extension, sizeOf] of [['png', 'png', pngSize], ['jpeg', 'jpg', jpegSize]]) {
    const { result: file, tiles, columns, rows } = await paintedTiles(() => exportNow(format));
    assert.deepEqual([columns, rows], [2, 3]);
    assert.equal(file.name, `Kinloom_${today()}_6_images_${format.toUpperCase()}.zip`);
    const entries = zipEntries(file.bytes);
    assert.deepEqual(entries.map(e => e.name), ['001_001', '001_002', '002_001', '002_002', '003_001', '003_002']
      .map(rc => `Tree_row_${rc.slice(0, 3)}_col_${rc.slice(4)}.${extension}`));
    for (const e of entries) assert.deepEqual(sizeOf(zipData(file.bytes, e)), { width: 1400, height: 950 }, e.name);
    const buf = Buffer.from(file.bytes);
    assert.deepEqual([buf.readUInt16LE(buf.length - 14), buf.readUInt16LE(buf.length - 12)], [6, 6]);
    const zip = scratch('tiles.zip', file.bytes);
    try {
      const check = tool('unzip', ['-t', zip.file]);
      assert.equal(check.status, 0, check.out);
      assert.match(check.out, /No errors detected/);
    } finally {
      zip.done();
    }
    // Ann is 110 pixels in from the top left of the first tile; Ben 1880, 1870 further on, in row 3, column 2.
    const where = id => [...tiles].filter(([, orbs]) => orbs.some(o => o.id === id && o.x >= 0 && o.x < 1400 && o.y >= 0 && o.y < 950))
      .map(([tile, orbs]) => [tile, ...['x', 'y'].map(k => orbs.find(o => o.id === id)[k])]);
    const ids = await app.run(() => [...persons.keys()]);
    assert.deepEqual(where(ids[0]), [['0,0', 110, 110]]);
    assert.deepEqual(where(ids[1]), [['2,1', 590, 80]]);
  }
});

test('a PDF has one full-bleed page per tile that qpdf accepts and pdftoppm renders as the tile', async () => {
  await scene(1880, 1870);
  const file = await exportNow('pdf');
  assert.equal(file.name, `Kinloom_${today()}_6_pages.pdf`);
  const xref = pdfXref(file.bytes);
  assert.deepEqual(xref.header, ['xref', '0 21']);
  for (let n = 1; n < 21; n++) assert.ok(xref.text.startsWith(n + ' 0 obj\n', Number(xref.entries[n].slice(0, 10))));
  const jpegs = pdfJpegs(file.bytes);
  assert.equal(jpegs.length, 6);
  for (const j of jpegs) assert.deepEqual(jpegSize(j), { width: 1400, height: 950 });

  const pdf = scratch('pages.pdf', file.bytes);
  try {
    const check = tool('qpdf', ['--check', pdf.file]);
    assert.equal(check.status, 0, check.out);
    const info = tool('pdfinfo', [pdf.file]).out;
    assert.match(info, /Pages:\s+6/);
    assert.match(info, /Page size:\s+842 x 571 pts/);
    const render = tool('pdftoppm', ['-scale-to-x', '1400', '-scale-to-y', '950', '-png', pdf.file, path.join(pdf.dir, 'page')]);
    assert.equal(render.status, 0, render.out);
    const pages = fs.readdirSync(pdf.dir).filter(f => /^page-\d+\.png$/.test(f)).sort();
    assert.equal(pages.length, 6);
    for (const [i, page] of pages.entries()) {
      const difference = await pictureDifference([fs.readFileSync(path.join(pdf.dir, page)), 'image/png'], [jpegs[i], 'image/jpeg']);
      assert.ok(difference < 4, `page ${i + 1} differs from its tile by ${difference}`);
    }
  } finally {
    pdf.done();
  }
});

test('every tile carries the footer with the view style and its row and column', async () => {
  await scene(1880, 100);
  const footers = async () => {
    await app.eval(`(() => {
      window.__texts = [];
      window.__fillText = CanvasRenderingContext2D.prototype.fillText;
      CanvasRenderingContext2D.prototype.fillText = function (text, ...rest) {
        if (this.canvas !== $('tree')) window.__texts.push(text);
        return window.__fillText.call(this, text, ...rest);
      };
    })()`);
    try {
      await exportNow('jpeg');
      return await app.eval('window.__texts');
    } finally {
      await app.eval('CanvasRenderingContext2D.prototype.fillText = window.__fillText');
    }
  };
  assert.deepEqual(await footers(), ['Kinloom · 2D chart', 'Row 1/1 · Column 1/2', 'Kinloom · 2D chart', 'Row 1/1 · Column 2/2']);
  await app.click('#mode3');
  try {
    const texts = await footers();
    assert.ok(texts.length >= 2 && texts.length % 2 === 0);
    for (let i = 0; i < texts.length; i += 2) {
      assert.equal(texts[i], 'Kinloom · 3D chart');
      assert.match(texts[i + 1], /^Row \d+\/\d+ · Column \d+\/\d+$/);
    }
  } finally {
    await app.click('#mode2');
  }
});

test('the progress layer covers the page while the tiles are painted, then goes', async () => {
  await scene(1880, 1870);
  const run = format => app.run(async format => {
    const done = klnExportTreeImages(format, 1, 'current');
    const layer = $('kln-export-progress'), label = $('kln-export-progress-label');
    const seen = [label.textContent];
    const watch = new MutationObserver(records => records.forEach(r => r.addedNodes.forEach(n => seen.push(n.textContent))));
    watch.observe(label, { childList: true });
    const shown = { role: layer.getAttribute('role'), live: layer.getAttribute('aria-live'), text: layer.innerText,
      layer: Number(getComputedStyle(layer).zIndex), launch: Number(getComputedStyle($('sollaryLaunch')).zIndex),
      covers: layer.getBoundingClientRect().width === innerWidth && layer.getBoundingClientRect().height === innerHeight };
    await done;
    watch.disconnect();
    return { seen, shown, gone: !document.getElementById('kln-export-progress') };
  }, format);
  const { seen, shown, gone } = await run('pdf');
  assert.deepEqual(seen, ['Preparing full-size chart pages…',
    ...[1, 2, 3, 4, 5, 6].map(k => `Rendering ${k} of 6 PDF pages…`)]);
  assert.equal(shown.role, 'status');
  assert.equal(shown.live, 'polite');
  assert.equal(shown.covers, true);
  assert.ok(shown.layer > shown.launch, 'above the launch screen');
  assert.ok(shown.text.includes('Exporting family tree'));
  assert.ok(shown.text.includes('This does not change or remove anyone from your family tree.'));
  assert.equal(gone, true);
  const pictures = await run('png');
  assert.equal(pictures.seen[1], 'Rendering 1 of 6 picture tiles…');
});

test('above 100 tiles the user confirms; 240 tiles export, 241 are refused', async () => {
  // 20 × 12 = 240 tiles. Encoding a full tile costs the browser a tenth of a second or more, which is
  // measured by the benchmark; here every tile is encoded as one small real JPEG instead.
  await scene(20 * 1400 - 221, 12 * 950 - 221);
  await app.eval(`(() => {
    const small = document.createElement('canvas');
    small.width = small.height = 8;
    window.__toBlob = HTMLCanvasElement.prototype.toBlob;
    const jpeg = klnBinaryFromDataURL(small.toDataURL('image/jpeg', 0.9));
    HTMLCanvasElement.prototype.toBlob = function (done, type) { setTimeout(() => done(new Blob([jpeg], { type }))); };
  })()`);
  app.answer(true);
  const file = await exportNow('jpeg').finally(() => app.eval('HTMLCanvasElement.prototype.toBlob = window.__toBlob'));
  assert.deepEqual(app.dialogs.map(d => [d.type, d.message]), [['confirm', 'This large family tree needs 240 images/pages. Continue?']]);
  assert.equal(file.name, `Kinloom_${today()}_240_images_JPEG.zip`);
  const entries = zipEntries(file.bytes);
  assert.equal(entries.length, 240);
  assert.equal(entries[239].name, 'Tree_row_012_col_020.jpg');
  const zip = scratch('tiles.zip', file.bytes);
  try {
    assert.equal(tool('unzip', ['-t', zip.file]).status, 0);
  } finally {
    zip.done();
  }

  app.dialogs.length = 0;
  await scene(241 * 1400 - 221, 0);
  await app.call('klnExportTreeImages', 'jpeg', 1, 'current');
  assert.deepEqual(app.dialogs.map(d => [d.type, d.message]), [['alert', 'Family tree export could not finish: The tree ' +
    'would need 241 pages at this detail. Choose Compact overview or export a smaller visible section. No part of ' +
    'your tree was changed.']]);
});

test('a second export request while one runs is ignored', async () => {
  await scene(1880, 100);
  const downloads = await app.countCalls('klnDownloadBlob');
  try {
    await app.download(() => app.run(() => Promise.all([klnExportTreeImages('png', 1, 'current'),
      klnExportTreeImages('jpeg', 1, 'current')])));
    assert.equal(await downloads.count(), 1);
  } finally {
    await downloads.restore();
  }
});

// Each ending of an export: how the page is prepared, the format and scope, and the boxes it shows. Only
// the first delivers a file; it also starts from a narrowed generation setting, which the whole-family
// scope widens for the export.
const ENDINGS = [
  ['a finished whole-family export', () => scene(900, 700, ['Loner']), 'png', 0.8, 'all', []],
  ['a declined large export', async () => { await scene(11 * 1400 - 221, 10 * 950 - 221); app.answer(false); }, 'png', 1,
    'current', [['confirm', 'This large family tree needs 110 images/pages. Continue?']]],
  ['a refused oversized export', () => scene(300 * 1400, 0), 'png', 1, 'current',
    [['alert', /^Family tree export could not finish: The tree would need 301 pages at this detail\./]]],
  ['nobody visible', async () => { await scene(900, 700); await app.eval('window.__displayed = displayed; displayed = () => []'); },
    'pdf', 1, 'current', [['alert', 'Family tree export could not finish: No people are currently visible.']]],
  // Only the export's own measuring gets the broken points (the painter is not under test here).
  ['no usable layout', async () => {
    await scene(900, 700);
    await app.eval(`window.__positionNodes = positionNodes;
      positionNodes = (ids, layout) => klnExportRunning && w === 1400
        ? new Map(ids.map(id => [id, { x: NaN, y: 0 }])) : window.__positionNodes(ids, layout)`);
  }, 'jpeg', 1, 'current', [['alert', 'Family tree export could not finish: Could not calculate the family tree layout.']]],
];

for (const [name, setup, format, detail, scope, boxes] of ENDINGS) {
  test(`after ${name} the view, the canvas and the tree are exactly as before, and nothing is saved`, async () => {
    await setup();
    await app.run(narrow => {
      setCameraFields({ zoom: 0.37, shiftX: -123.5, shiftY: 45.25 });
      if (narrow) restoreGenerationSettings(1, false);
      setHover([...persons.keys()][1]);
      klnSetShowUnlinked(false);
      selected = [...persons.keys()][1];
    }, !boxes.length);
    const before = await viewSnapshot();
    const saves = await app.countCalls('scheduleSave');
    try {
      if (!boxes.length) await exportNow(format, detail, scope);
      else await app.call('klnExportTreeImages', format, detail, scope);
      assert.deepEqual(await viewSnapshot(), before);
      assert.equal(await saves.count(), 0);
      assert.equal(app.dialogs.length, boxes.length);
      boxes.forEach(([type, message], i) => {
        assert.equal(app.dialogs[i].type, type);
        if (message instanceof RegExp) assert.match(app.dialogs[i].message, message);
        else assert.equal(app.dialogs[i].message, message);
      });
      assert.equal(await app.exists('#kln-export-progress'), false);
    } finally {
      await saves.restore();
      await app.eval(`(() => {
        if (window.__displayed) { displayed = window.__displayed; delete window.__displayed; }
        if (window.__positionNodes) { positionNodes = window.__positionNodes; delete window.__positionNodes; }
        restoreGenerationSettings(999, true);
        setHover(null);
      })()`);
    }
  });
}

test('the whole-family scope paints every generation and the unlinked people, whatever the view shows', async () => {
  await scene(900, 700, ['Loner']);
  await app.run(() => { restoreGenerationSettings(1, false); klnSetShowUnlinked(false); });
  const ids = await app.run(() => [...persons.keys()]);
  const shown = async scope => {
    const { tiles } = await paintedTiles(() => exportNow('png', 0.8, scope));
    return new Set([...tiles.values()].flat().map(o => o.id));
  };
  assert.deepEqual([...await shown('all')].sort(), [...ids].sort());
  assert.equal((await shown('current')).has(ids[2]), false, 'the current view leaves the unlinked person out');
  await app.run(() => restoreGenerationSettings(999, true));
});
