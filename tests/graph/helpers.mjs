// Helpers for the graph tests: fixed layouts, screen points of orbs, and real pointer input on the canvas.

// Replaces the family layout by fixed points {key: [x, y, z, gen?, extra?]} for people built with
// app.build (ids maps keys to ids); returns nothing. restoreLayout() puts the real layout back.
export async function fixLayout(app, ids, points) {
  const table = Object.entries(points).map(([key, [x, y, z = 0, gen = 0, extra = {}]]) =>
    [ids[key], { x, y, z, gen, ...extra }]);
  await app.run(table => {
    if (!window.__realLayout) window.__realLayout = buildLayout;
    const fixed = new Map(table);
    buildLayout = list => {
      const out = new Map();
      for (const id of list) if (fixed.has(id)) out.set(id, fixed.get(id));
      return out;
    };
    renderNeeded = true;
  }, table);
}

export async function restoreLayout(app) {
  await app.run(() => {
    if (window.__realLayout) { buildLayout = window.__realLayout; delete window.__realLayout; }
    renderNeeded = true;
  });
}

// Screen point (canvas CSS pixels) of a person as the camera projects it now.
export function screenOf(app, id) {
  return app.run(id => {
    const s = positionNodes(displayed()).get(id);
    return s ? { x: s.x, y: s.y, scale: s.scale, depth: s.depth } : null;
  }, id);
}

// Page coordinates of a canvas point, for playwright's mouse.
export async function pagePoint(app, p) {
  const box = await app.page.locator('#tree').boundingBox();
  return { x: box.x + p.x, y: box.y + p.y };
}

// Paints now (a frame) and returns the pick entry of a person.
export async function hitOf(app, id) {
  await app.run(() => { renderNeeded = true; draw(); });
  return app.run(id => hitNodes.find(n => n.id === id) || null, id);
}

export function camera(app) {
  return app.run(() => ({ zoom, shiftX, shiftY, rotation, tilt, mode3, target: { ...cameraTarget3D } }));
}

export function setCamera(app, c) {
  return app.run(c => { setCameraFields(c); draw(); }, c);
}

// A press at a canvas point, a move by (dx, dy) in `steps` steps, and a release.
export async function drag(app, from, dx, dy, { button = 'left', steps = 6, modifiers = [] } = {}) {
  const m = app.page.mouse;
  const start = await pagePoint(app, from);
  for (const k of modifiers) await app.page.keyboard.down(k);
  await m.move(start.x, start.y);
  await m.down({ button });
  await m.move(start.x + dx, start.y + dy, { steps });
  await m.up({ button });
  for (const k of modifiers) await app.page.keyboard.up(k);
}

export const sleep = ms => new Promise(done => setTimeout(done, ms));
