// Graph painting: the time of one frame in 2D and 3D for 100 and 1,100 displayed people (detailed renderer)
// and 10,000 and 100,000 (dense overview), and the frame rate while the view is panned with the keyboard.
// "script" is the paint routine itself; "with raster" also waits until the canvas has been rasterised.
// Wall-clock figures: the machine's load average is printed first, since a busy machine inflates them.
// Layout arrangements counted during panning must be 0: panning never re-runs the layout.
import os from 'node:os';

export const name = 'graph';

const RUNS = 7;
const median = list => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];

// A family of about n people, built in the page: generations of couples, each with up to four children,
// every child married to a spouse from outside, breadth first from one founding couple. `seed` picks the
// numbers of children.
export function buildFamily(app, n, seed = 7) {
  return app.run(([n, seed]) => {
    persons.clear();
    try { edges = []; } catch { edges.length = 0; }
    focus = selected = rootPersonId = null;
    expanded = new Set();
    bulkImport = true;
    try {
      const a = addPerson({ name: 'Founder Ancestor', sex: 'M', birth: '1600' });
      const b = addPerson({ name: 'Founding Mother', sex: 'F', birth: '1602' });
      addEdge(a, b, 'spouse');
      const couples = [[a, b]];
      let made = 2;
      const random = () => (seed = (seed * 16807) % 2147483647) / 2147483647;
      for (let i = 0; i < couples.length && made < n; i++) {
        const [p, q] = couples[i];
        const kids = 1 + Math.floor(random() * 4);
        for (let k = 0; k < kids && made < n; k++) {
          const child = addPerson({ name: 'Child ' + made + ' Lineage', birth: String(1620 + i % 300) });
          made++;
          addEdge(p, child, 'parent');
          addEdge(q, child, 'parent');
          if (made < n) {
            const spouse = addPerson({ name: 'Spouse ' + made + ' Family', birth: String(1621 + i % 300) });
            made++;
            addEdge(child, spouse, 'spouse');
            couples.push([child, spouse]);
          }
        }
      }
    } finally {
      bulkImport = false;
    }
    focus = rootPersonId = selected = persons.keys().next().value;
    update();
    return displayed().length;
  }, [n, seed]);
}

// Median time of one frame: the paint routine alone, and with the canvas rasterised (a one-pixel read
// waits for it), after a warm-up frame that fills the layout caches; and the orbs painted. `zoomIn` above 1
// zooms in from the fitted view. The first `runs` frames after the switch are measured apart
// (`firstScript`): while they run the browser is still compiling the painting code, so they take longer
// than every frame after them; the main figures come from the next `runs` frames.
export async function paintTime(app, to3, zoomIn = 1, runs = RUNS) {
  await app.run(([to3, zoomIn]) => {
    if (mode3 !== to3) modeSwitch(to3);
    fitGraph();
    if (zoomIn > 1) setCameraFields({ zoom: zoom * zoomIn });
    renderNeeded = true;
    draw();
  }, [to3, zoomIn]);
  return app.run(runs => {
    const ctx = $('tree').getContext('2d');
    const frames = () => {
      const script = [], raster = [];
      for (let i = 0; i < runs; i++) {
        renderNeeded = true;
        const t0 = performance.now();
        draw();
        script.push(performance.now() - t0);
        ctx.getImageData(0, 0, 1, 1);
        raster.push(performance.now() - t0);
      }
      return [script, raster];
    };
    const median = list => list.sort((a, b) => a - b)[Math.floor(runs / 2)];
    const [firstScript] = frames();
    const [script, raster] = frames();
    return [median(script), median(raster), hitNodes.length, median(firstScript)];
  }, runs);
}

// Frames per second while D is held for two seconds, and layout arrangements made meanwhile.
async function panning(app, to3) {
  await app.run(to3 => { if (mode3 !== to3) modeSwitch(to3); fitGraph(); $('tree').focus(); }, to3);
  await app.run(() => {
    window.__bench = { frames: 0, arrangements: 0 };
    window.__benchDraw = draw;
    draw = () => { if (renderNeeded) window.__bench.frames++; return window.__benchDraw(); };
    for (const fn of ['smartArrangement', 'organizedConnectedLayout', 'descendantCoupleLayout']) {
      if (typeof window[fn] !== 'function') continue;
      const real = window[fn];
      window['__bench_' + fn] = real;
      window[fn] = (...args) => { window.__bench.arrangements++; return real(...args); };
    }
  });
  await app.page.keyboard.down('d');
  await new Promise(done => setTimeout(done, 2000));
  await app.page.keyboard.up('d');
  const result = await app.run(() => {
    draw = window.__benchDraw;
    for (const fn of ['smartArrangement', 'organizedConnectedLayout', 'descendantCoupleLayout'])
      if (window['__bench_' + fn]) window[fn] = window['__bench_' + fn];
    return window.__bench;
  });
  await new Promise(done => setTimeout(done, 600));
  return [result.frames / 2, result.arrangements];
}

export async function run(app) {
  return [['machine load average over the last minute', os.loadavg()[0], ''], ...await runSizes(app, [100, 1100, 10000, 100000], true)];
}

export async function runSizes(app, sizes, pan) {
  const rows = [];
  for (const n of sizes) {
    const shown = await buildFamily(app, n);
    const kind = shown > 1100 ? 'dense' : 'detailed';
    for (const to3 of [false, true]) {
      const [script, raster, , first] = await paintTime(app, to3);
      const label = `paint ${shown} people, ${to3 ? '3D' : '2D'} ${kind}`;
      rows.push([`${label} (script)`, script]);
      rows.push([`${label} (with raster)`, raster]);
      rows.push([`${label} (script, first ${RUNS} frames after the switch)`, first]);
    }
    if (pan && (n === 1100 || n === 10000)) {
      for (const to3 of [false, true]) {
        const [fps, arrangements] = await panning(app, to3);
        rows.push([`keyboard pan ${shown} people, ${to3 ? '3D' : '2D'}: frames painted per second`, fps, 'fps']);
        rows.push([`keyboard pan ${shown} people, ${to3 ? '3D' : '2D'}: layout arrangements while panning`, arrangements, '']);
      }
    }
    await app.run(() => { if (mode3) modeSwitch(false); });
  }
  return rows;
}
