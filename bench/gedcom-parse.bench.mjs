// GEDCOM reading speed: parseGedcom against parse-gedcom (an established GEDCOM parser from npm, loaded into
// the same page for this benchmark only) on the same decoded text of the same files, in the same browser
// run. Best of several alternating runs after a warm-up; throughput in MB of file per second, and the ratio.
import fs from 'node:fs';
import path from 'node:path';
import { ROOT } from '../tests/harness.mjs';
import { syntheticGedcom } from './gedcom-synth.mjs';

export const name = 'gedcom-parse';

const SHARED = path.resolve(ROOT, '..', 'shared', 'gedcom');
const FILES = ['Queen.ged', '551-sample-3.ged', 'pres2020.ged', 'willis.ged', 'royal92.ged', 'IvarKingOfDublin.ged',
  'bourbon.ged'];
const RUNS = 7;

const mbps = (bytes, ms) => (bytes / 1e6) / (ms / 1000);
const fixed = n => (n >= 100 ? n.toFixed(0) : n.toFixed(1));

export async function run(app) {
  // Unpacked by tools/bench-deps.sh (`make bench` runs it).
  const umd = fs.readFileSync(path.join(ROOT, 'build', 'bench-deps', 'parse-gedcom', 'dist', 'index.umd.js'), 'utf8');
  // The library's UMD wrapper sets `parseGedcom` on `this`: give it an object of its own, not the window.
  await app.eval(`window.__npmGedcom = (function () {\n${umd}\n;return this.parseGedcom;}).call({}); 0`);

  const inputs = FILES.filter(f => fs.existsSync(path.join(SHARED, f)))
    .map(f => [f, fs.readFileSync(path.join(SHARED, f))]);
  inputs.push(['synthetic 10,000 people', Buffer.from(syntheticGedcom(10000), 'utf8')]);

  const rows = [];
  let ours = 0, theirs = 0, bothBytes = 0;
  for (const [label, bytes] of inputs) {
    const r = await app.run(({ b64, runs }) => {
      const text = decodeGedcomBytes(Uint8Array.from(atob(b64), c => c.charCodeAt(0)));
      const npm = window.__npmGedcom.parse;
      let npmError = null;
      parseGedcom(text);
      try { npm(text); } catch (e) { npmError = e.message; }
      // Turns alternate, so a busy machine slows both alike; the best run of each counts.
      let ours = Infinity, theirs = Infinity;
      for (let i = 0; i < runs; i++) {
        let start = performance.now();
        parseGedcom(text);
        ours = Math.min(ours, performance.now() - start);
        if (npmError) continue;
        start = performance.now();
        npm(text);
        theirs = Math.min(theirs, performance.now() - start);
      }
      return { ours, theirs: npmError ? null : theirs, npmError };
    }, { b64: bytes.toString('base64'), runs: RUNS });
    const size = `${Math.round(bytes.length / 1024).toLocaleString('en-US')} KB`;
    const mine = `parseGedcom ${fixed(r.ours)} ms (${fixed(mbps(bytes.length, r.ours))} MB/s)`;
    if (r.theirs === null) {
      rows.push([`parse ${label} (${size})`, `${mine} · parse-gedcom fails: ${r.npmError}`, '']);
      continue;
    }
    ours += r.ours;
    theirs += r.theirs;
    bothBytes += bytes.length;
    rows.push([`parse ${label} (${size})`, `${mine} · parse-gedcom ${fixed(r.theirs)} ms ` +
      `(${fixed(mbps(bytes.length, r.theirs))} MB/s) · ${(r.theirs / r.ours).toFixed(1)}x`, '']);
  }
  rows.push([`parse throughput over the files both read (${(bothBytes / 1e6).toFixed(1)} MB)`,
    `parseGedcom ${fixed(mbps(bothBytes, ours))} MB/s · parse-gedcom ${fixed(mbps(bothBytes, theirs))} MB/s · ` +
    `${(theirs / ours).toFixed(1)}x (target at least 2x)`, '']);
  return rows;
}
