// Tree storage and edit history on trees of 1,000, 10,000 and 100,000 people: one history offer (the
// snapshot and key of an edit), one save(), their sum as the cost of an edit, and opening the largest tree.
// Main-thread time is the CPU time of the renderer's main thread while the step runs (read from the
// kernel's scheduler statistics, so that other programs on a busy machine do not count), with the frame
// loop stopped so that painting does not count; wall time also includes waiting for the stores.
import fs from 'node:fs';
import { execFileSync } from 'node:child_process';

export const name = 'storage';

// Main threads of the renderer processes of this browser profile (a renderer's main thread has its pid).
function rendererPids(profile) {
  return execFileSync('ps', ['-eo', 'pid=,args='], { encoding: 'utf8' }).split('\n')
    .filter(line => line.includes('--type=renderer') && line.includes(profile))
    .map(line => Number(line.trim().split(/\s+/)[0]));
}

function mainThreadCpu(pids) {
  let ns = 0;
  for (const pid of pids) {
    try { ns += Number(fs.readFileSync(`/proc/${pid}/task/${pid}/schedstat`, 'utf8').split(' ')[0]); } catch { /* gone */ }
  }
  return ns / 1e6;
}

// Builds `count` people in families of two parents and three children, with a spouse link per couple,
// names, dates and places, as an import would.
function buildTree(count) {
  persons.clear();
  edges = [];
  focus = selected = rootPersonId = null;
  expanded = new Set();
  bulkImport = true;
  try {
    let prev = [];
    for (let i = 0; i < count;) {
      const father = addPerson({ name: `Father ${i} Example`, sex: 'M', birth: String(1700 + (i % 300)), birthPlace: 'Springfield' });
      const mother = addPerson({ name: `Mother ${i} Example`, sex: 'F', birth: String(1702 + (i % 300)), birthPlace: 'Shelbyville' });
      addEdge(father, mother, 'spouse');
      if (prev.length) addEdge(prev[prev.length - 1], father, 'parent');
      const kids = [];
      for (let k = 0; k < 3; k++) {
        const kid = addPerson({ name: `Child ${i}-${k} Example`, birth: String(1730 + (i % 300)), occupation: 'Farmer' });
        addEdge(father, kid, 'parent');
        addEdge(mother, kid, 'parent');
        kids.push(kid);
      }
      prev = kids;
      i += 5;
    }
  } finally {
    bulkImport = false;
  }
  update();
  return persons.size;
}

const median = list => list.slice().sort((a, b) => a - b)[Math.floor(list.length / 2)];

export async function run(app) {
  const pids = rendererPids(app.profile);
  // Main-thread CPU and wall time of an asynchronous step in the page, less what driving the page costs.
  let overhead = 0;
  const measure = async fn => {
    await app.page.waitForTimeout(50);
    const before = mainThreadCpu(pids);
    const wall = await app.run(fn);
    return { main: Math.max(0, mainThreadCpu(pids) - before - overhead), wall };
  };
  await app.run(() => { window.requestAnimationFrame = () => 0; });
  const idle = [];
  for (let i = 0; i < 7; i++) idle.push((await measure(async () => 0)).main);
  overhead = median(idle);

  const rows = [[`driving the page (subtracted from the main-thread figures)`, overhead]];
  let openTreeId = null;
  for (const size of [1000, 10000, 100000]) {
    const label = size.toLocaleString('en-US');
    const people = await app.run(buildTree, size);
    await app.run(async () => { klnResetEditHistory(); await save(); });
    const json = await app.eval('JSON.stringify(treeData()).length');
    const offers = [], saves = [], saveWalls = [];
    for (let i = 0; i < 3; i++) {
      // One edit: a renamed person offered to the history (snapshot, key, comparison, step) ...
      const offer = await measure(async () => {
        const id = persons.keys().next().value;
        persons.get(id).name = 'Renamed ' + performance.now();
        const t = performance.now();
        klnQueueHistoryMutation();
        klnCommitHistory();
        return performance.now() - t;
      });
      offers.push(offer.main);
      // ... and the save that follows it.
      const saved = await measure(async () => {
        const t = performance.now();
        await save();
        return performance.now() - t;
      });
      saves.push(saved.main);
      saveWalls.push(saved.wall);
    }
    rows.push([`tree of ${label} people (${people.toLocaleString('en-US')}, record ${(json / 1e6).toFixed(1)} M characters): history offer (snapshot + key)`, median(offers)]);
    rows.push([`tree of ${label} people: save() main thread`, median(saves)]);
    rows.push([`tree of ${label} people: save() until stored`, median(saveWalls)]);
    rows.push([`tree of ${label} people: one edit, history + save, main thread`, median(offers) + median(saves)]);
    openTreeId = await app.eval('currentTreeId');
  }
  // Opening the 100,000-person tree that the last round stored.
  const opens = [];
  for (let i = 0; i < 2; i++) {
    const opened = await measure(async () => {
      const t = performance.now();
      await openTree(currentTreeId, false);
      return performance.now() - t;
    });
    opens.push(opened);
  }
  const best = opens.sort((a, b) => a.wall - b.wall)[0];
  rows.push(['open the 100,000-person tree (openTree until done)', best.wall]);
  rows.push(['open the 100,000-person tree, main thread', best.main]);
  return rows;
}
