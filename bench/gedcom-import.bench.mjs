// A whole GEDCOM import of synthetic families (bench/gedcom-synth.mjs) through the import file input: reading
// the file, decoding, parsing, adding people and links, arranging and refreshing, the first paint and the
// save, each timed inside the page. The 500 ms wait before the save is not counted; the edit history's step,
// which falls into that wait, is printed apart.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { syntheticGedcom } from './gedcom-synth.mjs';

export const name = 'gedcom-import';

// KLN_SIZES=100000 make bench picks the sizes (comma-separated numbers of people).
const SIZES = (process.env.KLN_SIZES || '10000,30000,100000').split(',').map(Number);

// Marks, inside the page: the file choice, the start and end of the functions an import goes through, the
// report (the toast), the first paint after it and the save. The file input's handler was bound at start-up,
// so the choice is seen by a listener of its own.
function instrument() {
  const marks = window.__importMarks = {};
  const now = () => performance.now();
  window.addEventListener('change', e => { if (e.target.id === 'importFile' && !marks.chosen) marks.chosen = now(); }, true);
  new MutationObserver(() => {
    if (!marks.reported && $('toast').textContent) marks.reported = now();
  }).observe($('toast'), { childList: true, characterData: true, subtree: true });
  const timed = (name, async) => {
    const original = window[name];
    window[name] = function (...args) {
      const start = now();
      const mark = marks[name] || (marks[name] = { start });
      const result = original.apply(this, args);
      const end = () => { if (mark.ms === undefined) { mark.end = now(); mark.ms = mark.end - mark.start; } };
      if (async) Promise.resolve(result).then(end, end); else end();
      return result;
    };
  };
  timed('save', true);
  for (const name of ['decodeGedcomBytes', 'parseGedcom', 'showImportedFamily', 'klnCommitHistory']) timed(name, false);
  const draw = window.draw;
  window.draw = function (...args) {
    const wanted = renderNeeded && marks.reported && !marks.paint;
    const start = now();
    const result = draw.apply(this, args);
    if (wanted) marks.paint = { start, ms: now() - start };
    return result;
  };
}

export async function run(app) {
  await app.run(() => localStorage.setItem('kinloom:gedcom-import-notice:v1', 'accepted'));
  const rows = [];
  for (const size of SIZES) {
    const file = path.join(os.tmpdir(), `kinloom-synthetic-${size}.ged`);
    fs.writeFileSync(file, syntheticGedcom(size));
    const mb = (fs.statSync(file).size / 1e6).toFixed(1);
    await app.reload();
    await app.enter();
    await app.emptyTree();
    await app.run(`(${instrument})()`);
    await app.page.setInputFiles('#importFile', file);
    await app.page.waitForFunction(() => window.__importMarks.save && window.__importMarks.save.ms !== undefined &&
      window.__importMarks.paint, null, { timeout: 600000, polling: 250 });
    fs.rmSync(file, { force: true });
    const m = await app.run(() => window.__importMarks);
    const toast = await app.text('#toast');
    if (!toast.startsWith('Imported')) throw new Error(toast);
    const read = m.decodeGedcomBytes.start - m.chosen;
    const add = m.showImportedFamily.start - m.parseGedcom.end;
    const report = m.reported - m.showImportedFamily.end;
    const total = m.reported - m.chosen + m.paint.ms + m.save.ms;
    const people = size.toLocaleString('en-US');
    rows.push([`import ${people} people (${mb} MB): total`, total],
      [`import ${people}: read file`, read], [`import ${people}: decode`, m.decodeGedcomBytes.ms],
      [`import ${people}: parse`, m.parseGedcom.ms], [`import ${people}: add people and links`, add],
      [`import ${people}: arrange, show and refresh`, m.showImportedFamily.ms],
      [`import ${people}: count groups and report`, report], [`import ${people}: first paint`, m.paint.ms],
      [`import ${people}: save`, m.save.ms],
      [`import ${people}: edit history step (in the wait before the save, not in the total)`,
        m.klnCommitHistory ? m.klnCommitHistory.ms : 0],
      [`import ${people}: per 1,000 people`, total / (size / 1000)]);
  }
  return rows;
}
