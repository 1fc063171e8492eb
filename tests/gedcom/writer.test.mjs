// GEDCOM writer: the whole file against a golden file, the rules for names, families, HUSB/WIFE and
// siblings, notes as CONT lines, long values as CONC lines, `@` as `@@`, the "Save as GEDCOM" button, and
// the round trip through the reader.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { useApp } from '../harness.mjs';
import { acceptAdvisory, importText, treeSummary } from './helpers.mjs';

const app = useApp({ setup: acceptAdvisory });
const GOLDEN = path.join(path.dirname(fileURLToPath(import.meta.url)), 'golden', 'writer.ged');

// Replaces the open tree by people with fixed ids ([id, fields]) and links ([a, b, type, role]).
function setTree(people, links = []) {
  return app.run(({ people, links }) => {
    const blank = { name: '', birth: '', death: '', sex: '', birthPlace: '', deathPlace: '', residence: '',
      occupation: '', bio: '', notes: '' };
    replaceFamily(new Map(people.map(([id, d]) => [id, { id, ...blank, ...d }])),
      links.map(([a, b, type, role]) => (role ? { a, b, type, source: 'manual', role } : { a, b, type, source: 'manual' })));
    setViewState({ focus: null, rootPersonId: null, selected: null, expanded: [] });
    update();
  }, { people, links });
}

const gedcom = () => app.call('gedcomText');
const HEADER = ['0 HEAD', '1 SOUR KINLOOM', '1 GEDC', '2 VERS 5.5.1', '2 FORM LINEAGE-LINKED', '1 CHAR UTF-8'];

test('a small family against the golden file', async () => {
  await setTree([
    ['p1', { name: 'Ann Berg', sex: 'F', birth: '1 JAN 1900', birthPlace: 'Oslo, Norway', death: '1980',
      deathPlace: 'Bergen', occupation: 'Teacher', residence: 'Oslo', bio: 'Short life story.',
      notes: 'Line one\nLine two\n\nLine four' }],
    ['p2', { name: 'Per Berg', sex: 'M', birth: '1898' }],
    ['p3', { name: 'Kid One Berg', birthPlace: 'Oslo' }],
    ['p4', { name: 'Kid Two Berg', sex: 'F' }],
    ['p5', { name: 'Half Berg', sex: 'M' }],
    ['p6', { name: 'Other Man', sex: 'm' }],
    ['p7', { name: 'Solo' }],
    ['p8', { name: 'Eve @Home Lund' }],
  ], [
    ['p1', 'p2', 'spouse'], ['p1', 'p3', 'parent', 'mother'], ['p2', 'p3', 'parent', 'father'],
    ['p2', 'p4', 'parent'], ['p1', 'p4', 'parent'], ['p1', 'p5', 'parent'], ['p6', 'p5', 'parent'],
    ['p7', 'p3', 'sibling'], ['p6', 'p8', 'spouse'], ['p6', 'p7', 'parent'],
  ]);
  assert.equal(await gedcom(), fs.readFileSync(GOLDEN, 'utf8'));
});

test('an empty tree gives the header and the trailer alone', async () => {
  await setTree([]);
  assert.equal(await gedcom(), [...HEADER, '0 TRLR'].join('\r\n'));
});

// The lines of the one individual record of a one-person tree.
async function personLines(fields) {
  await setTree([['x', fields]]);
  const lines = (await gedcom()).split('\r\n');
  return lines.slice(HEADER.length + 1, -1);
}

test('values: names, cleaning and @', async () => {
  for (const [fields, lines] of [
    [{ name: 'Mary Ann Smith' }, ['1 NAME Mary Ann /Smith/']],
    [{ name: 'Anna' }, ['1 NAME Anna //']],
    [{ name: '  Anna   Berg ' }, ['1 NAME Anna   /Berg/']],
    [{ name: 'Ann\nBerg' }, ['1 NAME Ann Berg //']],
    [{ name: 'A', birth: '1850', birthPlace: '' }, ['1 NAME A //', '1 BIRT', '2 DATE 1850']],
    [{ name: 'A', deathPlace: 'Bergen\r\nNorway' }, ['1 NAME A //', '1 DEAT', '2 PLAC Bergen Norway']],
    [{ name: 'A', occupation: 'mail@work' }, ['1 NAME A //', '1 OCCU mail@@work']],
    [{ name: 'A', sex: 'M\r\n0 @X1@ INDI' }, ['1 NAME A //', '1 SEX M 0 @@X1@@ INDI']],
    [{ name: 'A', notes: '  one\r\ntwo  \rthree\n' }, ['1 NAME A //', '1 NOTE one', '2 CONT two', '2 CONT three']],
  ]) assert.deepEqual(await personLines(fields), lines, JSON.stringify(fields));
});

test('long values are cut into CONC lines of at most 255 characters, never beside a blank', async () => {
  const words = Array.from({ length: 120 }, (_, i) => `word${i}`).join(' ');
  const note = `${words}\nshort\n${'x'.repeat(600)}\n${'@'.repeat(300)}\n${'\u{1F333}'.repeat(200)}`;
  const place = 'Place ' + 'y'.repeat(400);
  const lines = await personLines({ name: 'A', notes: note, birthPlace: place });
  for (const line of lines) assert.ok(line.length <= 255, line);
  for (const line of lines.filter(l => / CON[CT] /.test(l) || / NOTE /.test(l))) {
    const value = line.replace(/^\d+ \w+ ?/, '');
    assert.equal(value, value.trim(), line);
  }
  assert.ok(lines.some(l => l.startsWith('2 CONC ')) && lines.some(l => l.startsWith('3 CONC ')));
  const r = await app.call('parseGedcom', (await gedcom()));
  assert.equal(r.nodes['@I1@'].notes, note);
  assert.equal(r.nodes['@I1@'].birthPlace, place);
});

test('families: shared parents, half siblings, childless couples, one parent, HUSB and WIFE by sex', async () => {
  const family = async (people, links) => {
    await setTree(people.map(([id, sex]) => [id, { name: id, sex }]), links);
    return (await gedcom()).split('\r\n').filter(l => /^(0 @F|1 (HUSB|WIFE|CHIL))/.test(l));
  };
  // A couple that already shares a child family gets no second one.
  assert.deepEqual(await family([['b', 'M'], ['a', 'F'], ['k', '']],
    [['a', 'b', 'spouse'], ['b', 'k', 'parent'], ['a', 'k', 'parent']]),
  ['0 @F1@ FAM', '1 WIFE @I2@', '1 HUSB @I1@', '1 CHIL @I3@']);
  // Unknown sexes: the first of the sorted parents is HUSB; two men are both HUSB.
  assert.deepEqual(await family([['q', ''], ['p', ''], ['k', ''], ['m1', 'M'], ['m2', 'M'], ['j', '']],
    [['q', 'k', 'parent'], ['p', 'k', 'parent'], ['m2', 'j', 'parent'], ['m1', 'j', 'parent']]),
  ['0 @F1@ FAM', '1 HUSB @I2@', '1 WIFE @I1@', '1 CHIL @I3@', '0 @F2@ FAM', '1 HUSB @I4@', '1 HUSB @I5@',
    '1 CHIL @I6@']);
  // A lone parent, a three-parent family (whose couple a, b gets no family of its own), a childless couple.
  assert.deepEqual(await family([['a', 'F'], ['b', 'M'], ['c', ''], ['k', ''], ['l', ''], ['x', 'M'], ['y', 'F']],
    [['a', 'b', 'spouse'], ['c', 'k', 'parent'], ['a', 'l', 'parent'], ['b', 'l', 'parent'], ['c', 'l', 'parent'],
      ['y', 'x', 'spouse']]),
  ['0 @F1@ FAM', '1 HUSB @I3@', '1 CHIL @I4@', '0 @F2@ FAM', '1 WIFE @I1@', '1 HUSB @I2@', '1 WIFE @I3@',
    '1 CHIL @I5@', '0 @F3@ FAM', '1 WIFE @I7@', '1 HUSB @I6@']);
});

test('a sibling link is written once, on the record of its first party', async () => {
  await setTree([['a', { name: 'A' }], ['b', { name: 'B' }], ['c', { name: 'C' }]],
    [['b', 'a', 'sibling'], ['b', 'c', 'sibling']]);
  const records = (await gedcom()).split(/\r\n(?=0 )/);
  const siblingLines = n => records.find(r => r.startsWith(`0 @I${n}@ INDI`)).split('\r\n').filter(l => l.includes('_SIBLING'));
  assert.deepEqual([1, 2, 3].map(siblingLines), [[], ['1 _SIBLING @I1@', '1 _SIBLING @I3@'], []]);
});

test('"Save as GEDCOM" downloads Kinloom_Tree.ged, and refuses an empty tree', async () => {
  assert.deepEqual(await app.run(() => [$('backupBtn').textContent, $('backupBtn').title]),
    ['Save as GEDCOM', 'Download family data as a GEDCOM file (does not include custom layouts or photos)']);
  await setTree([['a', { name: 'Ann Berg' }]]);
  const file = await app.download(() => app.click('#backupBtn'));
  assert.equal(file.name, 'Kinloom_Tree.ged');
  assert.deepEqual([...file.bytes.subarray(0, 3)], [...Buffer.from('0 H')], 'no byte-order mark');
  assert.equal(file.bytes.toString('utf8'), await gedcom());
  await setTree([]);
  await app.run(() => { window.__downloads = 0; document.addEventListener('click', e => {
    if (e.target.tagName === 'A' && e.target.download) window.__downloads++; }, true); });
  await app.click('#backupBtn');
  assert.equal(await app.text('#toast'), 'Create or import a family tree first.');
  assert.equal(await app.eval('window.__downloads'), 0);
});

test('round trip: export then import gives the same people, fields and links', async () => {
  const people = [
    ['a', { name: 'Åsa Ström', sex: 'F', birth: 'ABT 1820', birthPlace: 'Malmö, Sverige', death: '3 MAR 1890',
      deathPlace: 'Lund', occupation: 'Weaver & dyer', residence: 'Lund, Skåne', notes: 'First line\nSecond @ line\n\nLast' }],
    ['b', { name: 'Nils Ström', sex: 'M', notes: 'Long story, '.repeat(60).trim() }],
    ['c', { name: 'Ebba Ström', sex: 'F' }],
    ['d', { name: 'Olof Ström', sex: 'M' }],
    ['e', { name: 'Kerstin', sex: 'U' }],
    ['f', { name: 'Lone Person' }],
    ['g', { name: 'Axel Holm', sex: 'M' }],
  ];
  // Nils remarried Kerstin (Olof's mother, sex unknown to roles); Ebba married Axel; Lone is Ebba's sibling.
  const links = [['a', 'b', 'spouse'], ['a', 'c', 'parent', 'mother'], ['b', 'c', 'parent', 'father'],
    ['b', 'e', 'spouse'], ['b', 'd', 'parent', 'father'], ['e', 'd', 'parent'], ['c', 'f', 'sibling'],
    ['c', 'g', 'spouse']];
  await setTree(people, links);
  const fields = () => app.run(() => [...persons.values()].map(p =>
    [p.name, p.sex, p.birth, p.birthPlace, p.death, p.deathPlace, p.occupation, p.residence, p.notes]));
  const linkSet = t => t.links.map(([a, b, type, , role]) =>
    [...(type === 'parent' ? [a, b] : [a, b].sort()), type, role].join('|')).sort();
  const before = await treeSummary(app);
  const beforeFields = await fields();
  const file = await app.download(() => app.click('#backupBtn'));
  await app.emptyTree();
  await importText(app, file.bytes, file.name);
  assert.deepEqual(await fields(), beforeFields);
  const after = await treeSummary(app);
  assert.deepEqual(after.names, before.names);
  assert.deepEqual(linkSet(after), linkSet(before));
});
