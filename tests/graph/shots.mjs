// Screenshots of a real family in the graph, for looking at the picture (not a test):
//   node tests/graph/shots.mjs [out-folder] [gedcom-file]
// Opens the document, imports the GEDCOM file (royal92 by default) and saves pictures of the whole family
// in 2D and 3D at fit and at reading zoom, then of a few generations around the home person, which the
// detailed renderer draws. Uses the document's own importer, or, when the document has none yet, a small
// reader of INDI and FAM records here.
import fs from 'node:fs';
import path from 'node:path';
import { App, ROOT } from '../harness.mjs';

const out = path.resolve(process.argv[2] || path.join(ROOT, 'build', 'shots'));
const file = process.argv[3] || path.join(ROOT, '..', 'shared', 'gedcom', 'royal92.ged');

// People and links of the INDI and FAM records: {people: [{key, name, sex, birth, death}], links}.
export function readFamilies(text) {
  const people = [], links = [];
  let person = null, family = null, event = null;
  for (const raw of text.split(/\r\n|\r|\n/)) {
    const m = raw.trim().match(/^(\d+)\s+(@[^@]+@\s+)?(\S+)\s*(.*)$/);
    if (!m) continue;
    const [, level, xref, tag, value] = m;
    if (level === '0') {
      person = family = event = null;
      if (tag === 'INDI') people.push(person = { key: xref.trim(), name: '', sex: '', birth: '', death: '' });
      if (tag === 'FAM') family = { parents: [], children: [] };
      if (family) links.push(family);
      continue;
    }
    if (person) {
      if (level === '1') event = tag;
      if (level === '1' && tag === 'NAME' && !person.name) person.name = value.replace(/\//g, '').replace(/\s+/g, ' ').trim();
      if (level === '1' && tag === 'SEX') person.sex = value.trim();
      if (level === '2' && tag === 'DATE' && event === 'BIRT') person.birth = value.trim();
      if (level === '2' && tag === 'DATE' && event === 'DEAT') person.death = value.trim();
    } else if (family && level === '1') {
      if (tag === 'HUSB' || tag === 'WIFE') family.parents.push(value.trim());
      if (tag === 'CHIL') family.children.push(value.trim());
    }
  }
  const pairs = [];
  for (const f of links) {
    for (const c of f.children) for (const p of f.parents) pairs.push([p, c, 'parent']);
    if (f.parents.length === 2) pairs.push([f.parents[0], f.parents[1], 'spouse']);
  }
  return { people, links: pairs };
}

async function load(app, text) {
  if (await app.run(() => typeof importGedcom === 'function')) {
    await app.run(() => { persons.clear(); edges.length = 0; update(); });
    return app.call('importGedcom', text);
  }
  const { people, links } = readFamilies(text);
  return app.run(({ people, links }) => {
    const ids = {};
    bulkImport = true;
    try {
      for (const { key, ...d } of people) ids[key] = addPerson(d);
      for (const [a, b, type] of links) if (ids[a] && ids[b]) addEdge(ids[a], ids[b], type);
    } finally {
      bulkImport = false;
    }
    focus = rootPersonId = selected = ids[people[0].key];
    update();
    return { count: people.length };
  }, { people, links });
}

// Centres the home person's first child (where relatives stand close together) and zooms about it until
// names are readable.
function readingZoom(target) {
  const home = activeRootPersonId();
  const shown = new Set(displayed());
  const child = edges.find(e => e.type === 'parent' && e.a === home && shown.has(e.b));
  const id = child ? child.b : home;
  centerCameraOn(id);
  applyGraphZoom(target / zoom, positionNodes(displayed()).get(id));
}

async function shot(app, name) {
  await app.run(() => { renderNeeded = true; });
  await app.frames(3);
  await app.screenshot(path.join(out, name + '.png'));
  console.log(name, await app.run(() => `${displayed().length} shown, zoom ${zoom.toFixed(4)}`));
}

const app = new App({ timeout: 120000, viewport: { width: 1440, height: 900 } });
try {
  await app.launch();
  await app.open();
  await app.enter();
  fs.mkdirSync(out, { recursive: true });
  console.log('loaded', await load(app, fs.readFileSync(file, 'utf8')));
  await app.run(() => { if (typeof hideHome === 'function') hideHome(); });
  for (const [to3, view] of [[false, '2d'], [true, '3d']]) {
    await app.run(to3 => { modeSwitch(to3); fitGraph(); }, to3);
    await shot(app, `all-${view}-fit`);
    await app.run(readingZoom, 0.3);
    await shot(app, `all-${view}-reading`);
  }
  for (const depth of [5, 3]) {
    await app.run(depth => { modeSwitch(false); setGenerationDepth(depth); }, depth);
    for (const [to3, view] of [[false, '2d'], [true, '3d']]) {
      await app.run(to3 => { modeSwitch(to3); fitGraph(); }, to3);
      await shot(app, `steps${depth}-${view}-fit`);
      await app.run(readingZoom, depth === 5 ? 0.32 : 0.2);
      await shot(app, `steps${depth}-${view}-reading`);
    }
  }
} finally {
  await app.close();
}
