// Family layout caches and base positions. This version stands people in rows by generation.
// Owns: localLayoutCache, singleLayoutCache, tidyCache, coupleTreeCache.

let localLayoutCache = { key: '', layout: null };
let singleLayoutCache = { key: '', layout: null };
let tidyCache = { key: '', forest: null };
let coupleTreeCache = { key: '', value: null };

function buildLayout(ids) {
  const layout = new Map();
  const home = activeRootPersonId();
  const depth = new Map();
  if (home) {
    depth.set(home, 0);
    const queue = [home];
    const index = currentEdgeIndex();
    for (let i = 0; i < queue.length; i++) {
      const id = queue[i], d = depth.get(id);
      const step = (list, delta) => (list || []).forEach(n => {
        if (!depth.has(n)) { depth.set(n, d + delta); queue.push(n); }
      });
      step(index.parents.get(id), -1);
      step(index.children.get(id), 1);
      step(index.spouses.get(id), 0);
      step(index.siblings.get(id), 0);
    }
  }
  const rows = new Map();
  for (const id of ids) {
    const gen = depth.has(id) ? depth.get(id) : 0;
    if (!rows.has(gen)) rows.set(gen, []);
    rows.get(gen).push(id);
  }
  for (const [gen, row] of rows) {
    row.forEach((id, i) => layout.set(id, { x: (i - (row.length - 1) / 2) * 360, y: gen * 317, z: 0, gen }));
  }
  return layout;
}
