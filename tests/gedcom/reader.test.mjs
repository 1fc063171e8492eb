// GEDCOM reader: line grammar, names, events, notes with CONT/CONC, `@@`, note records, family completion,
// custom sibling references and tolerance of malformed text.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ enter: false });

const ged = (...lines) => lines.join('\n');
const parse = text => app.call('parseGedcom', text);

const EMPTY_DRAFT = { name: 'Unknown ancestor', birth: '', death: '', birthPlace: '', deathPlace: '', residence: '',
  occupation: '', bio: '', notes: '', sex: '', events: [], sources: [] };

// The draft of the first individual of a one-person file whose record holds `lines`.
async function draftOf(...lines) {
  const r = await parse(ged('0 HEAD', '0 @I1@ INDI', ...lines, '0 TRLR'));
  return r.nodes['@I1@'];
}

test('a person draft holds exactly the draft fields, with nothing of the reading left', async () => {
  assert.deepEqual(await draftOf('1 FAMC @F9@', '1 FAMS @F8@', '1 NAME', '2 GIVN', '2 SURN'), EMPTY_DRAFT);
});

test('line ends, byte-order mark and leading blanks read the same', async () => {
  const lines = ['0 @I1@ INDI', '1 NAME John /Smith/', '1 BIRT', '2 DATE 1850', '0 @F1@ FAM', '1 HUSB @I1@', '0 TRLR'];
  const plain = await parse(lines.join('\n'));
  for (const [label, text] of [
    ['BOM and CR', '\uFEFF' + lines.join('\r')],
    ['CR LF', lines.join('\r\n') + '\r\n'],
    ['mixed', lines.slice(0, 3).join('\r\n') + '\n' + lines.slice(3).join('\r')],
    ['indented', lines.map((l, i) => ' '.repeat(i) + l).join('\n')],
    ['tabs and double blanks', lines.map(l => l.replace(' ', '\t ')).join('\n')],
  ]) assert.deepEqual(await parse(text), plain, label);
  assert.equal(plain.nodes['@I1@'].name, 'John Smith');
  assert.equal(plain.nodes['@I1@'].birth, '1850');
});

test('names', async () => {
  for (const [lines, name] of [
    [['1 NAME John /Smith/'], 'John Smith'],
    [['1 NAME /Smith/'], 'Smith'],
    [['1 NAME   John    Paul  /Smith/  '], 'John Paul Smith'],
    [['1 NAME First/Last/'], 'First Last'],
    [['1 NAME Anne/Marie /de la Tour/ Jr.'], 'Anne Marie de la Tour Jr.'],
    [['1 NAME', '2 GIVN Anna', '2 SURN Berg'], 'Anna Berg'],
    [['1 NAME //', '2 SURN Berg'], 'Berg'],
    [['1 NAME', '2 GIVN Anna'], 'Anna'],
    [[], 'Unknown ancestor'],
    [['1 NAME John /Smith/', '1 NAME Johnny /Smith/'], 'Johnny Smith'],
    [['1 NAME John /Smith/', '1 NAME'], 'Unknown ancestor'],
    [['1 GIVN Anna'], 'Unknown ancestor'],
    [['1 BIRT', '2 GIVN Anna'], 'Unknown ancestor'],
    [['1 name Mary /Lee/'], 'Mary Lee'],
    [['1 NAME Anna /Berg/', '2 GIVN Other'], 'Anna Berg'],
  ]) assert.equal((await draftOf(...lines)).name, name, lines.join(' | '));
});

test('birth, death, residence, occupation and sex', async () => {
  for (const [lines, expected] of [
    [['1 BIRT Y', '2 DATE 1850', '2 PLAC Oslo'], { birth: '1850', birthPlace: 'Oslo' }],
    [['1 BIRT 1850'], { birth: '1850' }],
    [['1 BIRT Y'], {}],
    [['1 DEAT', '2 DATE 2 MAR 1900', '2 PLAC Bergen, Norway'], { death: '2 MAR 1900', deathPlace: 'Bergen, Norway' }],
    [['1 DEAT Y'], {}],
    [['1 RESI Oslo'], { residence: 'Oslo' }],
    [['1 RESI', '2 PLAC Oslo'], { residence: 'Oslo' }],
    [['1 RESI Y', '2 PLAC Oslo'], { residence: 'Oslo' }],
    [['1 OCCU Smith', '1 OCCU Farmer'], { occupation: 'Farmer' }],
    [['1 SEX M'], { sex: 'M' }],
    [['1 SEX u'], { sex: 'u' }],
    [['1 BIRT', '2 DATE 1850', '1 BIRT', '2 DATE 1851'], { birth: '1851' }],
    [['1 BIRT', '2 DATE ABT 1850', '3 TIME 10:00'], { birth: 'ABT 1850' }],
    [['1 CHR', '2 DATE 1850'], {}],
    [['1 BURI', '2 DATE 1850', '2 PLAC Oslo'], {}],
    [['1 MARR', '2 DATE 1850'], {}],
    [['1 EVEN', '2 DATE 1850', '2 PLAC Oslo'], {}],
    [['1 OCCU Farmer', '2 DATE 1850', '2 PLAC Oslo'], { occupation: 'Farmer' }],
    [['1 BIRT', '3 DATE 1850'], {}],
    [['1 BIRT', '2 SOUR @S1@', '3 DATE 1850'], {}],
    [['2 DATE 1850'], {}],
  ]) {
    const d = await draftOf(...lines);
    assert.deepEqual(d, { ...EMPTY_DRAFT, ...expected }, lines.join(' | '));
  }
});

test('notes with CONT and CONC; several notes', async () => {
  for (const [lines, notes] of [
    [['1 NOTE First', '2 CONT second', '2 CONC half'], 'First\nsecondhalf'],
    [['1 NOTE One', '1 NOTE Two'], 'One\nTwo'],
    [['1 NOTE One', '2 CONT', '2 CONT Three'], 'One\n\nThree'],
    [['1 NOTE', '2 CONT Second'], '\nSecond'],
    [['1 NOTE Split wo', '2 CONC rd'], 'Split word'],
    [['1 NOTE A', '2 SOUR @S1@', '2 CONT B'], 'A\nB'],
    [['1 NOTE A', '2 SOUR @S1@', '3 CONT not mine'], 'A'],
    [['1 NOTE A', '1 SEX M', '2 CONT not mine'], 'A'],
    [['1 BIRT', '2 NOTE born at home', '3 CONT really'], ''],
  ]) assert.equal((await draftOf(...lines)).notes, notes, lines.join(' | '));
});

test('@@ in a value reads as one @', async () => {
  const d = await draftOf('1 NAME Ann /At@@Home/', '1 NOTE mail ann@@example.org', '2 CONT and @@@@ twice',
    '1 OCCU @@work', '1 BIRT', '2 PLAC Inn @@ Sign');
  assert.equal(d.name, 'Ann At@Home');
  assert.equal(d.notes, 'mail ann@example.org\nand @@ twice');
  assert.equal(d.occupation, '@work');
  assert.equal(d.birthPlace, 'Inn @ Sign');
});

test('CONC and CONT continue every value the reader keeps, not only notes', async () => {
  const d = await draftOf('1 NAME Maximilian Alexander', '2 CONC der /Longname/', '1 BIRT', '2 DATE 1 JAN',
    '3 CONC 1850', '2 PLAC Saint-Jean-de-', '3 CONC Luz, France', '1 OCCU Master', '2 CONC mariner', '2 CONT and pilot',
    '1 RESI', '2 PLAC Rue de la', '3 CONT Paix');
  assert.deepEqual([d.name, d.birth, d.birthPlace, d.occupation, d.residence],
    ['Maximilian Alexanderder Longname', '1 JAN1850', 'Saint-Jean-de-Luz, France', 'Mastermariner and pilot',
      'Rue de la Paix']);
});

test('a note that points to a note record takes its text; a pointer to no record stays', async () => {
  const r = await parse(ged(
    '0 @I1@ INDI', '1 NOTE @N1@', '1 NOTE plain',
    '0 @I2@ INDI', '1 NOTE @N9@',
    '0 @N1@ NOTE Shared text', '1 CONT second line', '1 CONC  joined', '1 CHAN', '2 DATE 1 JAN 2000',
    '0 TRLR'));
  assert.equal(r.nodes['@I1@'].notes, 'Shared text\nsecond linejoined\nplain');
  assert.equal(r.nodes['@I2@'].notes, '@N9@');
  assert.deepEqual(Object.keys(r.nodes), ['@I1@', '@I2@']);
});

test('records other than INDI and FAM never make drafts or families', async () => {
  const r = await parse(ged(
    '0 HEAD', '1 SOUR X', '2 NAME Not a person', '1 CHAR UTF-8',
    '0 @S1@ SUBM', '1 NAME Submitter Person',
    '0 @N1@ NOTE', '1 CONT 0 @I9@ INDI',
    '0 @R1@ REPO', '1 NAME Archive',
    '0 INDI', '1 NAME No id',
    '0 @X1@ _CUSTOM', '1 NAME Custom',
    '0 TRLR'));
  assert.deepEqual(r, { nodes: {}, families: {}, siblingRefs: [] });
});

test('drafts in the order ids are introduced; one id in two INDI records fills one draft', async () => {
  const r = await parse(ged('0 @I2@ INDI', '1 NAME Bea /B/', '0 @I10@ INDI', '1 NAME Cai /C/', '0 @I1@ INDI',
    '1 NAME Al /A/', '0 @I2@ INDI', '1 SEX F', '1 BIRT 1901'));
  assert.deepEqual(Object.keys(r.nodes), ['@I2@', '@I10@', '@I1@']);
  assert.deepEqual([r.nodes['@I2@'].name, r.nodes['@I2@'].sex, r.nodes['@I2@'].birth], ['Bea B', 'F', '1901']);
});

test('families: parents and children from both sides, without repeats', async () => {
  const r = await parse(ged(
    '0 @I1@ INDI', '1 FAMS @F1@', '1 FAMS @F1@',
    '0 @I2@ INDI', '1 FAMS @F1@',
    '0 @I3@ INDI', '1 FAMC @F1@', '1 FAMC @F9@',
    '0 @I4@ INDI', '1 FAMC @F1@',
    '0 @I5@ INDI', '1 FAMS @F2@', '1 FAMC constructor',
    '0 @F1@ FAM', '1 HUSB @I1@', '1 HUSB @I1@', '1 CHIL @I4@', '1 CHIL @I77@', '1 MARR', '2 DATE 1900',
    '2 HUSB @I5@', '1 CHIL', '1 WIFE',
    '0 @F2@ FAM', '1 HUSB @I1@', '1 WIFE @I2@', '1 _PARTNER @I6@',
    '0 @F3@ FAM'));
  assert.deepEqual(r.families, {
    '@F1@': { parents: ['@I1@', '@I2@'], children: ['@I4@', '@I77@', '@I3@'] },
    '@F2@': { parents: ['@I1@', '@I2@', '@I6@', '@I5@'], children: [] },
    '@F3@': { parents: [], children: [] },
  });
});

test('custom sibling references, in file order', async () => {
  const r = await parse(ged('0 @I1@ INDI', '1 _SIBLING @I2@', '1 _sibling @I3@', '1 _SIBLING',
    '0 @I2@ INDI', '2 _SIBLING @I9@', '0 @F1@ FAM', '1 _SIBLING @I1@', '0 @I3@ INDI', '1 _SIBLING @I1@'));
  assert.deepEqual(r.siblingRefs, [['@I1@', '@I2@'], ['@I1@', '@I3@'], ['@I3@', '@I1@']]);
});

test('malformed text is skipped, never thrown', async () => {
  for (const text of [undefined, null, '', '\uFEFF', '\n\n\r\r', 'hello world', '@I1@ INDI', 'x 0 @I1@ INDI',
    '0@I1@ INDI', '0 @I1@INDI', '0 @@ INDI', '0 @I1@', '1', '-1 @I1@ INDI', '0 @I1@ IN-DI',
    ged('1 NAME Orphan line', '2 CONT more', '0 @I1@ INDI', '3 CONC deep', '99999999999999999999 NAME x'),
    ged('0 @I1@ INDI', ...Array.from({ length: 120 }, (_, i) => `${i + 1} _DEEP level ${i + 1}`))]) {
    const r = await parse(text);
    assert.equal(typeof r, 'object', String(text));
  }
  const r = await parse(ged('0 @I1@ INDI', '3 NAME Deep', '1 NAME Real /One/', '2 CONT', '1 FAMC', '0 @I2@', '0 @F1@ FAM'));
  assert.deepEqual(Object.keys(r.nodes), ['@I1@']);
  assert.equal(r.nodes['@I1@'].name, 'Real One');
  assert.deepEqual(r.families, { '@F1@': { parents: [], children: [] } });
});
