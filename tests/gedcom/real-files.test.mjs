// Every GEDCOM file of ../shared/gedcom (written by other programs) through the import: the right number of
// people, names decoded correctly, and the failure message, never an exception, for files without people.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { useApp } from '../harness.mjs';
import { SHARED_GEDCOM, acceptAdvisory, nextToast } from './helpers.mjs';

const app = useApp({ setup: acceptAdvisory, timeout: 60000 });

const NO_PEOPLE = 'GEDCOM import failed: This file does not contain GEDCOM individual records.';

// file, number of people, names that must be among them exactly as written
const FILES = [
  ['royal92.ged', 3010, ['Victoria Hanover', 'Albert Augustus Charles', 'Edward_VII Wettin']],
  ['pres2020.ged', 2322, ['William Jefferson Clinton', 'Hillary Rodham', 'Paul Stobbe']],
  ['Queen.ged', 4683, ['Ásdís (Ascrida) Ragnvaldsdóttir', 'Ragnvald Eysteinsson, Mørejarl',
    'Lodve TORFINNSON Hlöðvir Þorfinnsson, I, Earl of Orkney']],
  ['551-sample-3.ged', 4578, ['Adalbertus Stowik', 'Francisca Czosnik', 'LIVING']],
  ['willis.ged', 761, ['George Stanley Carey', 'Ella Willis']],
  ['IvarKingOfDublin.ged', 1288, ['Ivar', 'Amlaíb Mac Ímar', 'Dúnlaith ingen Muirchertach',
    'Guðröður Goffraid mac Arailt Haraldsson']],
  ['bourbon.ged', 303, ['Louis XIV CAPET', 'Marie-Thérèse HABSBOURG', "Françoise D'AUBIGNÉ",
    'Charlotte-Élisabeth VON DER PFALZ-SIMMERN']],
  ['simpsons.ged', 11, ['Homer Simpson', 'Bart Simpson', 'Abraham Simpson']],
  ['TGC551.ged', 15, ['Charlie Accented ANSEL', 'Lucy Special ANSEL', 'Chris Locked Torture']],
  ['TGC551LF.ged', 15, ['Charlie Accented ANSEL', 'Lucy Special ANSEL', 'Chris Locked Torture']],
  ['555SAMPLE.GED', 3, ['Robert Eugene Williams', 'Mary Ann Wilson', 'Joe Williams']],
  ['555SAMPLE16LE.GED', 3, ['Robert Eugene Williams', 'Mary Ann Wilson', 'Joe Williams']],
  ['utf8_cr_nobom.ged', 10, ['John Grüber', 'Mary Hægermann', 'Daniel Ćuarón', 'Michael Garçon']],
  ['Issue87.ged', 2, ['First Last']],
  ['maximal70.ged', 4, ['Immigrant Name', 'Professional Name']],
  ['minimal55indented.ged', 0, []],
  ['issue102_100levels.ged', 0, []],
];

test('the table covers every file of the shared folder', () => {
  const files = fs.readdirSync(SHARED_GEDCOM).filter(f => /\.ged$/i.test(f)).sort();
  assert.deepEqual(FILES.map(f => f[0]).sort(), files);
});

for (const [file, count, names] of FILES) {
  test(`${file}: ${count ? count + ' people' : 'no people'}`, async () => {
    await app.emptyTree();
    const message = await nextToast(app, () => app.page.setInputFiles('#importFile', path.join(SHARED_GEDCOM, file)));
    if (!count) {
      assert.equal(message, NO_PEOPLE);
      assert.equal(await app.eval('persons.size'), 0);
      return;
    }
    assert.match(message, new RegExp(`^Imported ${count} people, \\d+ family links, \\d+ parent-linked groups\\.`));
    const r = await app.run(() => ({
      size: persons.size,
      names: [...persons.values()].map(p => p.name),
      replaced: [...persons.values()].filter(p => /\uFFFD/.test(p.name)).length,
      dangling: edges.filter(e => !persons.has(e.a) || !persons.has(e.b)).length,
    }));
    assert.equal(r.size, count);
    for (const name of names) assert.ok(r.names.includes(name), `${file}: ${name}`);
    assert.equal(r.replaced, 0);
    assert.equal(r.dangling, 0);
  });
}

test('the ANSEL torture test: accented notes, joined words and single @ signs', async () => {
  await app.emptyTree();
  await nextToast(app, () => app.page.setInputFiles('#importFile', path.join(SHARED_GEDCOM, 'TGC551.ged')));
  const notes = await app.run(() => Object.fromEntries([...persons.values()].map(p => [p.name, p.notes])));
  assert.ok(notes['Charlie Accented ANSEL'].startsWith('Comments on "Charlie Accented ANSEL" INDIVIDUAL Record.\n'));
  assert.ok(notes['Charlie Accented ANSEL'].includes('ÁB\u0301ĆD\u0301É'));
  assert.ok(notes['Lucy Special ANSEL'].includes('A1 slash l - uppercase (Ł)'));
  assert.ok(notes['Chris Locked Torture'].includes('The word TEST should appear as a single word'));
  assert.ok(notes['Chris Locked Torture'].includes('A single @ sign in some notes entered by using two characters.'));
  assert.ok(notes['Chris Locked Torture'].includes('as double "@@" signs'));
});

test('a file chosen through the real file chooser of "Import GEDCOM"', async () => {
  await app.emptyTree();
  const message = await nextToast(app, async () => {
    const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'), app.click('#importBtn')]);
    assert.equal(chooser.isMultiple(), false);
    await chooser.setFiles(path.join(SHARED_GEDCOM, 'bourbon.ged'));
  });
  assert.match(message, /^Imported 303 people, /);
  assert.equal(await app.text('#branchTitle'), 'Louis XIII CAPET');
});
