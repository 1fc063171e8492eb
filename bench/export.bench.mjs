// Picture export: time per tile for each format on a generated family, and a 100-tile PDF of royal92
// (imported as a user would) with its total time, file size and the JavaScript heap around it. The tiles
// are encoded one at a time, so the heap should grow by the encoded pictures only, never by canvases.
import fs from 'node:fs';
import path from 'node:path';
import { ROOT } from '../tests/harness.mjs';

export const name = 'export';

// The stand-ins the export uses until the pointer and workbench files provide these setters.
const SETTERS = `(() => {
  if (typeof setHover !== 'function') window.setHover = id => { hover = id; };
  if (typeof klnSetShowUnlinked !== 'function') window.klnSetShowUnlinked = on => { klnShowUnlinked = on; };
})()`;

// The number of tiles a whole-family export would need at this detail, measured as the export does.
const tilesAt = (app, detail) => app.run(detail => {
  const saved = klnExportRememberView();
  try {
    klnExportApplyView({ camera: { zoom: detail, shiftX: 0, shiftY: 0, w: KLN_TILE_W, h: KLN_TILE_H, device: 1 },
      generationDepth: Number.MAX_SAFE_INTEGER, includeDescendants: true, showUnlinked: true });
    return klnExportGrid(klnExportPoints(displayed())).count;
  } finally {
    klnExportRestoreView(saved);
  }
}, detail);

// The largest detail (to three digits) whose export needs at most `target` tiles.
async function detailFor(app, target) {
  let lo = 0.001, hi = 2;
  for (let i = 0; i < 24; i++) {
    const mid = (lo + hi) / 2;
    if (await tilesAt(app, mid) <= target) lo = mid; else hi = mid;
  }
  return Math.floor(lo * 1000) / 1000;
}

// Runs one export in the page; returns its time, the tile count, the file size and the JavaScript heap
// before and at its highest during the run (sampled through the debugger protocol every 100 ms).
async function timedExport(app, format, detail) {
  const cdp = await app.context.newCDPSession(app.page);
  const heap = async () => (await cdp.send('Runtime.getHeapUsage')).usedSize;
  await cdp.send('HeapProfiler.collectGarbage');
  const before = await heap();
  let peak = before, running = true;
  const sampling = (async () => {
    while (running) {
      peak = Math.max(peak, await heap());
      await new Promise(r => setTimeout(r, 100));
    }
  })();
  app.answer(true);
  try {
    const [download, figures] = await Promise.all([
      app.page.waitForEvent('download', { timeout: 900000 }),
      app.run(async ({ format, detail }) => {
        const encode = klnExportEncode;
        let tiles = 0;
        klnExportEncode = (...args) => { tiles++; return encode(...args); };
        const start = performance.now();
        try {
          await klnExportTreeImages(format, detail, 'all');
        } finally {
          klnExportEncode = encode;
        }
        return { ms: performance.now() - start, tiles };
      }, { format, detail }),
    ]);
    const file = await download.path();
    return { ...figures, bytes: fs.statSync(file).size, before, peak };
  } finally {
    running = false;
    await sampling;
    await cdp.detach();
  }
}

export async function run(app) {
  await app.eval(SETTERS);
  const rows = [];

  // A generated family of 12 generations for the per-tile figures.
  await app.build(Array.from({ length: 400 }, (_, i) => ({ name: `Person ${i} of the bench family`, key: 'p' + i })),
    Array.from({ length: 399 }, (_, i) => ['p' + Math.floor(i / 2), 'p' + (i + 1), 'parent']));
  const detail = await detailFor(app, 20);
  for (const format of ['jpeg', 'png', 'pdf']) {
    const r = await timedExport(app, format, detail);
    rows.push([`export ${format.toUpperCase()}, 400 people, ${r.tiles} tiles: time per tile`, r.ms / r.tiles]);
  }

  const gedcom = fs.readFileSync(path.join(ROOT, '..', 'shared', 'gedcom', 'royal92.ged'), 'latin1');
  await app.emptyTree();
  const count = await app.run(text => { importGedcom(text); return persons.size; }, gedcom);
  const royal = await detailFor(app, 100);
  const r = await timedExport(app, 'pdf', royal);
  const mb = n => n / 1048576;
  rows.push([`royal92 (${count} people) PDF of ${r.tiles} pages at detail ${royal}: total`, r.ms]);
  rows.push(['royal92 PDF: time per page', r.ms / r.tiles]);
  rows.push(['royal92 PDF: file size', mb(r.bytes), 'MB']);
  rows.push(['royal92 PDF: JS heap growth at its peak during the export', mb(r.peak - r.before), 'MB']);
  return rows;
}
