// Orb styles and portraits: the time of one frame of 1,100 displayed people (the detailed renderer's
// ceiling) when every orb has its own style with an animated effect and every orb carries a portrait, next
// to the same family plain; in 2D and 3D, fitted and zoomed in (where effects and portraits are drawn for
// nearly every visible orb); 300 people, where every orb's effect is drawn; and the effects alone, 1,100
// of them at the 24-particle cap.
// "script" is the paint routine; "with raster" also waits for the canvas to be rasterised.
import os from 'node:os';
import { buildFamily, paintTime } from './graph.bench.mjs';

export const name = 'orbstyle';

const RUNS = 9;
const EFFECTS = ['sparkles', 'stardust', 'fireflies', 'orbit', 'comet', 'pulse', 'aurora'];

// Every person gets a style (effects in turn, dense particles, some own colours) and one of eight portraits
// (360 × 360 JPEGs as the editor stores them); waits until every portrait has loaded.
async function styleEveryone(app) {
  await app.run(effects => {
    const pictures = [];
    for (let k = 0; k < 8; k++) {
      const c = document.createElement('canvas');
      c.width = c.height = 360;
      const g = c.getContext('2d');
      const grad = g.createLinearGradient(0, 0, 360, 360);
      grad.addColorStop(0, `hsl(${k * 45} 70% 55%)`);
      grad.addColorStop(1, `hsl(${k * 45 + 120} 60% 30%)`);
      g.fillStyle = grad;
      g.fillRect(0, 0, 360, 360);
      pictures.push(c.toDataURL('image/jpeg', 0.87));
    }
    let i = 0;
    for (const p of persons.values()) {
      p.orbStyle = { size: 90 + (i % 5) * 25, glow: 140, ring: 80, effect: effects[i % effects.length],
        density: 24, speed: 100, color: i % 3 ? null : `#${(0x40a0f0 + i * 977).toString(16).slice(-6)}` };
      p.photo = pictures[i % 8];
      i++;
    }
    portraitCache.clear();
    for (const [id, p] of persons) portraitOf(id, p);
    update();
  }, EFFECTS);
  await app.page.waitForFunction(() => [...portraitCache.values()].every(e => e.loaded || e.failed), null, { timeout: 60000 });
}

function plainEveryone(app) {
  return app.run(() => {
    for (const p of persons.values()) { delete p.orbStyle; p.photo = ''; }
    portraitCache.clear();
    update();
  });
}

function effectsAlone(app) {
  return app.run(([effects, runs]) => {
    const c = document.createElement('canvas');
    c.width = 1400; c.height = 900;
    const g = c.getContext('2d');
    const times = [];
    for (let run = 0; run < runs; run++) {
      g.clearRect(0, 0, c.width, c.height);
      const t0 = performance.now();
      for (let i = 0; i < 1100; i++) {
        const style = orbStyleOf({ orbStyle: { effect: effects[i % effects.length], density: 24 } });
        drawOrbFx(g, 'p' + i, { x: 40 + (i % 40) * 33, y: 40 + Math.floor(i / 40) * 30, scale: 1 }, 14, '#8ef0e0', style, 1000 + run * 16);
      }
      g.getImageData(0, 0, 1, 1);
      times.push(performance.now() - t0);
    }
    return times.sort((a, b) => a - b)[Math.floor(runs / 2)];
  }, [EFFECTS, RUNS]);
}

export async function run(app) {
  const rows = [['machine load average over the last minute', os.loadavg()[0], '']];
  // 1,100 people: the detailed renderer's ceiling. 300 people: under the count where every orb's effect
  // is drawn, the heaviest case for effects.
  for (const [n, zooms] of [[1100, [1, 2, 6]], [300, [1]]]) {
    const shown = await buildFamily(app, n, 11);
    for (const [label, prepare] of [['styled with portraits', styleEveryone], ['plain', plainEveryone]]) {
      await prepare(app);
      for (const to3 of [false, true]) {
        for (const zoomIn of zooms) {
          const [script, raster, painted, first] = await paintTime(app, to3, zoomIn, RUNS);
          const view = `${to3 ? '3D' : '2D'} ${zoomIn > 1 ? 'zoomed in ×' + zoomIn + ', ' + painted + ' orbs on screen' : 'fitted'}`;
          rows.push([`paint ${shown} people ${label}, ${view} (script)`, script]);
          rows.push([`paint ${shown} people ${label}, ${view} (with raster)`, raster]);
          rows.push([`paint ${shown} people ${label}, ${view} (script, first ${RUNS} frames)`, first]);
        }
      }
      await app.run(() => { if (mode3) modeSwitch(false); });
    }
  }
  rows.push(['1,100 effects alone at 24 particles (with raster)', await effectsAlone(app)]);
  return rows;
}
