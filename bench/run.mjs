// Benchmark runner: opens the real dist/Kinloom.html in headless Chromium and prints one figure per line.
// Every bench/*.bench.mjs file is a benchmark: it exports `name` and `run(app)`, where `app` is the test
// harness's App with the document open and the start screens left; `run` returns a list of
// [label, value, unit] rows (or one row). Each file gets its own browser and profile.
//   node bench/run.mjs              all benchmarks
//   node bench/run.mjs startup      only files whose name contains "startup"
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { App } from '../tests/harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const filters = process.argv.slice(2);
const files = fs.readdirSync(here).filter(f => f.endsWith('.bench.mjs')).sort()
  .filter(f => !filters.length || filters.some(x => f.includes(x)));

const format = ([label, value, unit = 'ms']) =>
  `${label}: ${typeof value === 'number' ? Math.round(value * 10) / 10 : value}${unit ? ' ' + unit : ''}`;

let failed = false;
for (const file of files) {
  const bench = await import(pathToFileURL(path.join(here, file)).href);
  const app = new App({ timeout: 120000 });
  try {
    await app.launch();
    if (bench.open !== false) await app.open().then(() => app.enter());
    const rows = await bench.run(app);
    for (const row of Array.isArray(rows[0]) ? rows : [rows]) console.log(format(row));
    if (app.errors.length) console.log(`  (${file}: page errors: ${app.errors.join(' | ')})`);
  } catch (e) {
    failed = true;
    console.log(`${bench.name || file}: failed: ${e.message.split('\n')[0]}`);
  } finally {
    await app.close();
  }
}
process.exitCode = failed ? 1 : 0;
