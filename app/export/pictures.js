// Picture export: the "Export ▾" dialog, and the export that paints the family with the ordinary graph
// painter onto a grid of 1400 × 950 tiles and delivers them as one picture, a ZIP of numbered pictures or
// a PDF with one page per tile. The tree is never changed and every view variable is put back.
// Owns: klnExportRunning, KLN_TILE_W, KLN_TILE_H, KLN_EXPORT_MARGIN, KLN_EXPORT_MAX_TILES,
//       KLN_EXPORT_CONFIRM_TILES, KLN_EXPORT_BACKGROUND.

const KLN_TILE_W = 1400;
const KLN_TILE_H = 950;
const KLN_EXPORT_MARGIN = 110;
const KLN_EXPORT_MAX_TILES = 240;
const KLN_EXPORT_CONFIRM_TILES = 100;
const KLN_EXPORT_BACKGROUND = '#091524';

let klnExportRunning = false;

const KLN_EXPORT_CHOICES = {
  klnExportFormat: [['png', 'PNG (sharp pictures)'], ['jpeg', 'JPEG (smaller picture files)'], ['pdf', 'PDF (multiple pages)']],
  klnExportDetail: [['0.8', 'Readable pages · recommended'], ['1.15', 'Extra detail · more pages'], ['0.42', 'Compact overview · fewer pages']],
  klnExportScope: [['all', 'Entire connected family (all generations)'], ['current', 'Currently displayed people only']],
};

function klnInstallPictureExport() {
  onClick('klnExportBtn', klnOpenTreeExport);
}

function klnExportChoice(label, id) {
  return '<label class="kln-export-field">' + html(label) + '<select id="' + id + '">' +
    KLN_EXPORT_CHOICES[id].map(([value, text]) => '<option value="' + html(value) + '">' + html(text) + '</option>').join('') +
    '</select></label>';
}

function klnOpenTreeExport() {
  if (!persons.size) {
    toast('Add or import a tree before exporting.');
    return;
  }
  modal('Export your family tree',
    '<p>Save your tree as pictures or a multi-page PDF. The export uses the current 2D or 3D view style, but ' +
    'includes the full visible family across as many tiles as needed.</p>' +
    klnExportChoice('File format', 'klnExportFormat') +
    klnExportChoice('Picture detail', 'klnExportDetail') +
    klnExportChoice('Family members', 'klnExportScope') +
    '<p class="note">For large trees, PNG and JPEG exports are downloaded together as a ZIP of numbered image ' +
    'tiles; PDF exports use a separate page for each tile. Names may need higher detail for readability. A PDF ' +
    'is a visual chart, not a GEDCOM data file.</p>' +
    '<p class="note">Full JSON backup (portraits, editing, positions, colors) remains available in Tree settings ' +
    '→ Full backup / restore.</p>',
    'Export tree', () => {
      const format = val('klnExportFormat'), detail = Number(val('klnExportDetail')), scope = val('klnExportScope');
      closeModal();
      setTimeout(() => klnExportTreeImages(format, detail, scope), 30);
    });
}

// The view globals belong to the camera (setCameraFields), the visible family (restoreGenerationSettings),
// the pointer (setHover) and the unlinked workbench (klnSetShowUnlinked); the export changes them only
// through those setters. Without the camera's the export cannot paint at all; without the others it keeps
// the hover and the workbench as they are.
function klnExportApplyView(view) {
  if (typeof setCameraFields !== 'function') throw new Error('The graph view cannot be prepared for export.');
  setCameraFields(view.camera);
  if ('generationDepth' in view) restoreGenerationSettings(view.generationDepth, view.includeDescendants);
  if ('hover' in view && typeof setHover === 'function') setHover(view.hover);
  if ('showUnlinked' in view && typeof klnSetShowUnlinked === 'function') klnSetShowUnlinked(view.showUnlinked);
}

function klnExportRememberView() {
  const canvas = $('tree');
  return {
    camera: cameraTarget3D && typeof cameraTarget3D === 'object'
      ? { zoom, shiftX, shiftY, w, h, device, target3D: { x: cameraTarget3D.x, y: cameraTarget3D.y, z: cameraTarget3D.z } }
      : { zoom, shiftX, shiftY, w, h, device },
    generationDepth, includeDescendants,
    hover: typeof hover === 'undefined' ? null : hover,
    showUnlinked: klnShowUnlinked,
    canvas: { width: canvas.width, height: canvas.height, styleWidth: canvas.style.width, styleHeight: canvas.style.height },
  };
}

function klnExportRestoreView(saved) {
  const canvas = $('tree');
  try {
    klnExportApplyView(saved);
  } finally {
    canvas.width = saved.canvas.width;
    canvas.height = saved.canvas.height;
    canvas.style.width = saved.canvas.styleWidth;
    canvas.style.height = saved.canvas.styleHeight;
    canvas.getContext('2d').setTransform(saved.camera.device, 0, 0, saved.camera.device, 0, 0);
    renderNeeded = true;
  }
}

// The graph canvas at tile size, one pixel per CSS pixel; resizing is skipped when it already is (a resize
// clears the canvas and costs a reallocation).
function klnExportSizeCanvas(canvas) {
  if (canvas.width !== KLN_TILE_W || canvas.height !== KLN_TILE_H) {
    canvas.width = KLN_TILE_W;
    canvas.height = KLN_TILE_H;
  }
  canvas.style.width = KLN_TILE_W + 'px';
  canvas.style.height = KLN_TILE_H + 'px';
  canvas.getContext('2d').setTransform(1, 0, 0, 1, 0, 0);
}

function klnShowExportProgress() {
  const layer = document.createElement('div');
  layer.id = 'kln-export-progress';
  layer.className = 'kln-export-progress';
  layer.setAttribute('role', 'status');
  layer.setAttribute('aria-live', 'polite');
  layer.innerHTML = '<div class="kln-export-card"><div class="kln-export-orbit" aria-hidden="true"></div>' +
    '<h2>Exporting family tree</h2><p id="kln-export-progress-label">Preparing full-size chart pages…</p>' +
    '<p class="kln-export-small">This does not change or remove anyone from your family tree.</p></div>';
  document.body.appendChild(layer);
  return layer;
}

// The next animation frame, or a quarter second when the page gets no frames (a hidden window).
function klnExportNextFrame() {
  return new Promise(resolve => {
    const timer = setTimeout(resolve, 250);
    requestAnimationFrame(() => { clearTimeout(timer); resolve(); });
  });
}

// Screen points of the shown people at the export camera, finite ones only.
function klnExportPoints(ids) {
  const points = [];
  for (const p of positionNodes(ids, buildLayout(ids)).values())
    if (Number.isFinite(p.x) && Number.isFinite(p.y)) points.push(p);
  return points;
}

// The tile grid over the points' bounding box widened by the margin; a scene narrower or lower than one
// tile is centred in it.
function klnExportGrid(points) {
  let left = Infinity, top = Infinity, right = -Infinity, bottom = -Infinity;
  for (const p of points) {
    left = Math.min(left, p.x); right = Math.max(right, p.x);
    top = Math.min(top, p.y); bottom = Math.max(bottom, p.y);
  }
  left -= KLN_EXPORT_MARGIN; top -= KLN_EXPORT_MARGIN;
  const width = right + KLN_EXPORT_MARGIN - left, height = bottom + KLN_EXPORT_MARGIN - top;
  const columns = Math.max(1, Math.ceil(width / KLN_TILE_W)), rows = Math.max(1, Math.ceil(height / KLN_TILE_H));
  return {
    columns, rows, count: columns * rows,
    x: width < KLN_TILE_W ? left - (KLN_TILE_W - width) / 2 : left,
    y: height < KLN_TILE_H ? top - (KLN_TILE_H - height) / 2 : top,
  };
}

function klnExportFooter(g, row, column, grid) {
  g.fillStyle = 'rgba(6,15,30,.75)';
  g.fillRect(0, KLN_TILE_H - 29, KLN_TILE_W, 29);
  g.font = '13px system-ui';
  g.fillStyle = '#c0d5eb';
  g.textBaseline = 'alphabetic';
  g.textAlign = 'left';
  g.fillText('Kinloom · ' + (mode3 ? '3D' : '2D') + ' chart', 19, KLN_TILE_H - 11);
  g.textAlign = 'right';
  g.fillText('Row ' + (row + 1) + '/' + grid.rows + ' · Column ' + (column + 1) + '/' + grid.columns,
    KLN_TILE_W - 19, KLN_TILE_H - 11);
}

function klnExportTileName(row, column, extension) {
  const pad = n => String(n + 1).padStart(3, '0');
  return 'Tree_row_' + pad(row) + '_col_' + pad(column) + '.' + extension;
}

// Paints every tile, row by row from the top and left to right, and returns the encoded pictures. The
// graph painter draws the tile onto the page's graph canvas, which is then copied onto an opaque output
// canvas with the background and the footer and encoded before the next tile is painted, so only one
// tile's pixels exist at a time. The camera is set again for every tile: a frame painted while the export
// waits, or a window resize, may have touched it.
async function klnExportTiles(format, detail, grid, label) {
  const pdf = format === 'pdf', png = format === 'png';
  const what = pdf ? 'PDF pages' : 'picture tiles';
  const graph = $('tree');
  const out = document.createElement('canvas');
  out.width = KLN_TILE_W;
  out.height = KLN_TILE_H;
  const g = out.getContext('2d', { alpha: false });
  const tiles = [];
  for (let row = 0; row < grid.rows; row++) {
    for (let column = 0; column < grid.columns; column++) {
      const k = row * grid.columns + column;
      label.textContent = 'Rendering ' + countText(k + 1) + ' of ' + countText(grid.count) + ' ' + what + '…';
      klnExportApplyView({ camera: {
        zoom: detail, shiftX: -grid.x - column * KLN_TILE_W, shiftY: -grid.y - row * KLN_TILE_H,
        w: KLN_TILE_W, h: KLN_TILE_H, device: 1,
      } });
      klnExportSizeCanvas(graph);
      renderNeeded = true;
      draw();
      g.fillStyle = KLN_EXPORT_BACKGROUND;
      g.fillRect(0, 0, KLN_TILE_W, KLN_TILE_H);
      g.drawImage(graph, 0, 0, KLN_TILE_W, KLN_TILE_H);
      klnExportFooter(g, row, column, grid);
      const data = await klnExportEncode(out, png ? 'image/png' : 'image/jpeg');
      tiles.push({ name: klnExportTileName(row, column, png ? 'png' : 'jpg'), data });
      if (k % 2 === 1) await klnExportNextFrame();
    }
  }
  return tiles;
}

// The canvas encoded as PNG, or as JPEG of quality 0.9. The asynchronous encoder is about three times
// faster than the data address; the data address remains for a browser whose encoder gives nothing.
async function klnExportEncode(canvas, type) {
  const quality = type === 'image/jpeg' ? 0.9 : undefined;
  const blob = await new Promise(resolve => canvas.toBlob(resolve, type, quality));
  if (blob) return new Uint8Array(await blob.arrayBuffer());
  return klnBinaryFromDataURL(canvas.toDataURL(type, quality));
}

function klnExportDeliver(format, tiles) {
  const date = new Date().toISOString().slice(0, 10);
  const count = tiles.length;
  if (format === 'pdf') {
    klnDownloadBlob(klnPdfFromJpegs(tiles.map(t => t.data), KLN_TILE_W, KLN_TILE_H),
      'Kinloom_' + date + '_' + count + '_pages.pdf');
  } else if (count === 1) {
    const png = format === 'png';
    klnDownloadBlob(new Blob([tiles[0].data], { type: png ? 'image/png' : 'image/jpeg' }),
      'Kinloom_' + date + '.' + (png ? 'png' : 'jpg'));
  } else {
    klnDownloadBlob(klnZipFiles(tiles), 'Kinloom_' + date + '_' + count + '_images_' + format.toUpperCase() + '.zip');
  }
  toast('Export complete: ' + countText(count) + ' ' + (format === 'pdf' ? 'PDF pages' : 'image tiles') + '.');
}

// The export: widen the shown family for the whole-family scope, put the camera at the chosen detail with
// both shifts at 0, measure the scene from the projected orbs, refuse or confirm large grids, paint and
// encode every tile, deliver. Whatever happens, the remembered view comes back at the end.
async function klnExportTreeImages(format, detail, scope) {
  if (klnExportRunning) return;
  klnExportRunning = true;
  format = format === 'jpeg' || format === 'pdf' ? format : 'png';
  detail = Number.isFinite(detail) && detail > 0 ? detail : 0.8;
  let saved = null, layer = null;
  try {
    saved = klnExportRememberView();
    layer = klnShowExportProgress();
    await klnExportNextFrame();
    if (!persons.size) throw new Error('There is no family tree to export.');
    if (scope === 'all') {
      klnExportApplyView({ camera: {}, generationDepth: Number.MAX_SAFE_INTEGER, includeDescendants: true, showUnlinked: true });
    }
    const ids = displayed();
    if (!ids.length) throw new Error('No people are currently visible.');
    klnExportApplyView({ camera: { zoom: detail, shiftX: 0, shiftY: 0, w: KLN_TILE_W, h: KLN_TILE_H, device: 1 }, hover: null });
    klnExportSizeCanvas($('tree'));
    const points = klnExportPoints(ids);
    if (!points.length) throw new Error('Could not calculate the family tree layout.');
    const grid = klnExportGrid(points);
    if (grid.count > KLN_EXPORT_MAX_TILES) {
      throw new Error('The tree would need ' + countText(grid.count) + ' pages at this detail. Choose Compact ' +
        'overview or export a smaller visible section. No part of your tree was changed.');
    }
    if (grid.count > KLN_EXPORT_CONFIRM_TILES &&
        !confirm('This large family tree needs ' + countText(grid.count) + ' images/pages. Continue?')) return;
    const tiles = await klnExportTiles(format, detail, grid, $('kln-export-progress-label'));
    klnExportDeliver(format, tiles);
  } catch (e) {
    console.warn('Family tree export failed:', e);
    alert('Family tree export could not finish: ' + (e && e.message ? e.message : e));
  } finally {
    try {
      if (saved) klnExportRestoreView(saved);
    } catch (e) {
      console.warn('Could not restore the view after the export:', e);
    }
    if (layer) layer.remove();
    klnExportRunning = false;
  }
}
