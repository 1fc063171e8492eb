// GEDCOM import: people and links added to the open tree, roles and sources, the report, refusals, the view
// after an import, and the failure messages.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { acceptAdvisory, importText, treeSummary } from './helpers.mjs';

const app = useApp({ setup: acceptAdvisory });

const ged = (...lines) => ['0 HEAD', '1 CHAR UTF-8', ...lines, '0 TRLR'].join('\r\n');
const report = (people, links, groups) => `Imported ${people} people, ${links} family links, ${groups} parent-linked ` +
  'groups. Start with People → Entire connected tree. Use Tree health for details.';

const COUPLE = ged('0 @I1@ INDI', '1 NAME John /Smith/', '1 SEX M', '0 @I2@ INDI', '1 NAME Mary /Jones/', '1 SEX F',
  '0 @F1@ FAM', '1 HUSB @I1@', '1 WIFE @I2@');

test('a couple without children: two people and one spouse link', async () => {
  await app.emptyTree();
  assert.equal(await importText(app, COUPLE), report(2, 1, 1));
  const t = await treeSummary(app);
  assert.deepEqual(t.names, ['John Smith', 'Mary Jones']);
  assert.deepEqual(t.links, [['John Smith', 'Mary Jones', 'spouse', 'GEDCOM', null]]);
});

test('a family of father, mother and three children: six parent links with roles and one spouse link', async () => {
  await app.emptyTree();
  const text = ged('0 @I1@ INDI', '1 NAME Per /Berg/', '1 SEX M', '0 @I2@ INDI', '1 NAME Eva /Berg/', '1 SEX F',
    ...['Ann', 'Bo', 'Cai'].flatMap((n, i) => [`0 @C${i}@ INDI`, `1 NAME ${n} /Berg/`, '1 FAMC @F1@']),
    '0 @F1@ FAM', '1 HUSB @I1@', '1 WIFE @I2@', '1 CHIL @C0@', '1 CHIL @C1@');
  assert.equal(await importText(app, text), report(5, 7, 1));
  const t = await treeSummary(app);
  assert.deepEqual(t.links, [
    ['Per Berg', 'Ann Berg', 'parent', 'GEDCOM', 'father'], ['Eva Berg', 'Ann Berg', 'parent', 'GEDCOM', 'mother'],
    ['Per Berg', 'Bo Berg', 'parent', 'GEDCOM', 'father'], ['Eva Berg', 'Bo Berg', 'parent', 'GEDCOM', 'mother'],
    ['Per Berg', 'Cai Berg', 'parent', 'GEDCOM', 'father'], ['Eva Berg', 'Cai Berg', 'parent', 'GEDCOM', 'mother'],
    ['Per Berg', 'Eva Berg', 'spouse', 'GEDCOM', null]]);
  const ann = await app.run(() => [...persons.values()].find(p => p.name === 'Ann Berg'));
  assert.deepEqual(ann.sources, [{ title: 'Imported GEDCOM file', url: '',
    detail: 'GEDCOM-provided claim; verify original sources.' }]);
  assert.deepEqual([ann.events, ann.sex, ann.privacy, ann.bio], [[], '', 'unknown', '']);
});

test('roles follow sex, upper-cased; other sexes give no role and stay as written', async () => {
  await app.emptyTree();
  const text = ged('0 @A@ INDI', '1 NAME A /X/', '1 SEX m', '0 @B@ INDI', '1 NAME B /X/', '1 SEX U',
    '0 @K@ INDI', '1 NAME K /X/', '0 @F1@ FAM', '1 WIFE @A@', '1 HUSB @B@', '1 CHIL @K@');
  await importText(app, text);
  const t = await treeSummary(app);
  assert.deepEqual(t.links, [['A X', 'K X', 'parent', 'GEDCOM', 'father'], ['B X', 'K X', 'parent', 'GEDCOM', null],
    ['A X', 'B X', 'spouse', 'GEDCOM', null]]);
  assert.deepEqual(t.sexes, ['m', 'U', '']);
});

test('three parents of one child: three parent links and no spouse link', async () => {
  await app.emptyTree();
  const text = ged('0 @P1@ INDI', '0 @P2@ INDI', '0 @P3@ INDI', '0 @K@ INDI', '1 NAME Kid',
    '0 @F1@ FAM', '1 HUSB @P1@', '1 WIFE @P2@', '1 _PARTNER @P3@', '1 CHIL @K@');
  assert.equal(await importText(app, text), report(4, 3, 1));
  const t = await treeSummary(app);
  assert.deepEqual(t.links.map(l => l[2]), ['parent', 'parent', 'parent']);
  assert.deepEqual(t.names, ['Unknown ancestor', 'Unknown ancestor', 'Unknown ancestor', 'Kid']);
});

test('custom sibling references become sibling links; refused and dangling links are skipped uncounted', async () => {
  await app.emptyTree();
  const text = ged('0 @A@ INDI', '1 NAME A', '1 _SIBLING @B@', '1 _SIBLING @Z@', '0 @B@ INDI', '1 NAME B',
    '1 _SIBLING @A@',
    '0 @F1@ FAM', '1 HUSB @A@', '1 CHIL @B@', '1 CHIL @Q@',
    '0 @F2@ FAM', '1 HUSB @B@', '1 CHIL @A@',
    '0 @F3@ FAM', '1 HUSB @A@', '1 WIFE @B@', '1 WIFE @A@',
    '0 @F4@ FAM', '1 WIFE @B@', '1 HUSB @A@',
    '0 @F5@ FAM', '1 HUSB @Q@', '1 WIFE @A@');
  // A parent of B; B as parent of A would be a cycle; F3 and F4 are the same couple; F5's other parent is
  // missing, so A alone is its only parent; the second custom sibling pair repeats the first.
  assert.equal(await importText(app, text), report(2, 3, 1));
  const t = await treeSummary(app);
  assert.deepEqual(t.links, [['A', 'B', 'parent', 'GEDCOM', null], ['A', 'B', 'spouse', 'GEDCOM', null],
    ['A', 'B', 'sibling', 'GEDCOM custom sibling', null]]);
});

test('the first individual becomes home, focus and selection of an empty tree; the view shows everyone', async () => {
  await app.emptyTree();
  await app.run(() => { setViewScope('ancestors'); restoreGenerationSettings(3, false); });
  await importText(app, COUPLE);
  const s = await app.run(() => ({
    root: persons.get(rootPersonId).name, focus: persons.get(focus).name, selected: persons.get(selected).name,
    viewScope, allGenerations: generationDepth >= generationMax, label: $('generationNumber').textContent,
    includeDescendants, bulkImport, scope: $('familyScope').value,
  }));
  assert.deepEqual(s, { root: 'John Smith', focus: 'John Smith', selected: 'John Smith', viewScope: 'connected',
    allGenerations: true, label: 'All', includeDescendants: true, bulkImport: false, scope: 'connected' });
});

test('importing into a tree with a home person keeps it, focuses the first new person and never merges', async () => {
  await app.emptyTree();
  await app.build(['Home Person']);
  await importText(app, COUPLE);
  assert.equal(await importText(app, COUPLE), report(2, 1, 3));
  const t = await treeSummary(app);
  assert.deepEqual(t.names, ['Home Person', 'John Smith', 'Mary Jones', 'John Smith', 'Mary Jones']);
  const ids = await app.run(() => [...persons.keys()]);
  const s = await app.run(() => ({ root: rootPersonId, focus, selected }));
  assert.deepEqual(s, { root: ids[0], focus: ids[3], selected: ids[3] });
  assert.deepEqual(await app.run(() => edges.map(e => [e.a, e.b])), [[ids[1], ids[2]], [ids[3], ids[4]]]);
});

test('failures leave the tree as it was and report the reason', async () => {
  await app.build(['Keep Me']);
  for (const [label, text, message] of [
    ['no individual records', ged('0 @F1@ FAM', '1 HUSB @I1@'), 'This file does not contain GEDCOM individual records.'],
    ['an individual only inside a note', ged('0 @N1@ NOTE Example:', '1 CONT 0 @I1@ INDI'), 'No people were found.'],
    ['an empty file', '', 'This file does not contain GEDCOM individual records.'],
    ['a picture', '\x89PNG\r\n\x1a\n', 'This file does not contain GEDCOM individual records.'],
  ]) {
    assert.equal(await importText(app, text), 'GEDCOM import failed: ' + message, label);
    assert.deepEqual((await treeSummary(app)).names, ['Keep Me'], label);
  }
});

test('the sample family of examples/ imports whole', async () => {
  await app.emptyTree();
  assert.equal(await importText(app, { path: 'examples/lindqvist-family.ged' }), report(50, 83, 1));
  const t = await app.run(() => {
    const byName = n => [...persons.values()].find(p => p.name === n).id;
    const names = ids => ids.map(id => persons.get(id).name).sort();
    const nils = byName('Nils Lindqvist'), oskar = byName('Oskar Lindqvist'), ingrid = byName('Ingrid Berg');
    return {
      halfSiblings: names(getSiblings(nils)),
      nilsParents: names(parentsOf(nils)),
      andersSpouses: names(spousesOf(byName('Anders Lindqvist'))),
      cousins: [names(parentsOf(oskar)), names(parentsOf(ingrid)), spousesOf(oskar).includes(ingrid)],
      peter: persons.get(byName('Peter Lindqvist')),
      accented: ['Émile Moreau', 'Pádraig Ó Briain', 'Jiří Dvořák', 'Søren Østergaard', 'Zoë Lefèvre']
        .map(n => [...persons.values()].some(p => p.name === n)),
    };
  });
  assert.deepEqual(t.halfSiblings, ['Erik Lindqvist', 'Maja Lindqvist']);
  assert.deepEqual(t.nilsParents, ['Anders Lindqvist', 'Karin Nilsdotter']);
  assert.deepEqual(t.andersSpouses, ['Brita Eriksdotter', 'Karin Nilsdotter']);
  assert.deepEqual(t.cousins, [['Céline Moreau', 'Erik Lindqvist'], ['Johan Berg', 'Maja Lindqvist'], true]);
  assert.equal(t.peter.notes, 'Started this family tree in 1998 from the letters of Gustav Lindqvist.\n' +
    'Write to peter.lindqvist@example.org with corrections.');
  assert.deepEqual([t.peter.birthPlace, t.peter.residence, t.peter.occupation], ['Stockholm, Sweden', 'Uppsala, Sweden', 'Doctor']);
  assert.deepEqual(t.accented, [true, true, true, true, true]);
});

test('the import file chooser offers GEDCOM files, their .gedcom.txt form and plain text', async () => {
  assert.equal(await app.run(() => $('importFile').accept), '.ged,.gedcom,.gedcom.txt,text/plain');
});
