// Start-up of the document: navigation to the load event and to the end of start-up (library shown and the
// first frame painted). Median of several reloads on a warm profile.
export const name = 'startup';
export const open = false;

const RUNS = 7;

const median = list => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];

export async function run(app) {
  const load = [], ready = [];
  await app.open();
  for (let i = 0; i < RUNS; i++) {
    const start = Date.now();
    await app.page.reload({ waitUntil: 'load' });
    load.push(await app.run(() => performance.getEntriesByType('navigation')[0].loadEventEnd));
    await app.ready();
    ready.push(Date.now() - start);
  }
  return [
    [`page start-up to load event (median of ${RUNS})`, median(load)],
    [`page start-up to library shown and first frame (median of ${RUNS})`, median(ready)],
  ];
}
