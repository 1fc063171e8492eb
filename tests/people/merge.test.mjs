// Duplicates and merge: the similarity score, the review dialog (ranking, filtering, comparison, blocks),
// the backup downloaded before any change, the merge itself (no fact lost, relationships folded) and undo.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogTitle, closeDialog } from './people.mjs';
import { fixLayout, restoreLayout, screenOf, pagePoint, setCamera } from '../graph/helpers.mjs';

const app = useApp();

// A tree with fixed ids: people [id, fields] (the name defaults to the id) and links [a, b, type, role?].
function setTree(people, links = [], view = {}) {
  return app.run(({ people, links, view }) => {
    replaceFamily(new Map(people.map(([id, d]) => [id, { id, name: id, ...d }])),
      links.map(([a, b, type, role]) => ({ a, b, type, source: 'manual', ...(role ? { role } : {}) })));
    setViewState({ focus: people[0][0], rootPersonId: people[0][0], selected: people[0][0], expanded: [], ...view });
    update();
  }, { people, links, view });
}

const tree = () => app.run(() => JSON.stringify([[...persons.entries()], edges]));
const links = () => app.run(() => edges.map(e => [e.a, e.b, e.type, e.role || null]));

// Waits until the edit history holds no pending step, so the next edit is a step of its own.
const settled = () => app.page.waitForFunction(() => !klnHistory.pending && !klnPositionFreeze);

test('similarity score', async () => {
  const P = (name, birth = '', birthPlace = '') => ({ name, birth, birthPlace });
  for (const [a, b, score] of [
    [P('José  de la Cruz', '1850', 'Seville'), P('jose DE-LA cruz.', 'ABT 1850', 'SEVILLE'), 103],
    [P('John Smith', '1850'), P('John Henry Smith', '1851'), 67],
    [P('John Smith'), P('Jack Smith'), 30],
    [P('Ann Lee', '1850'), P('Ann Lee', '1870'), 20],
    [P('Ann Lee', '1850'), P('Ann Lee', '1855'), 65],
    [P('Ann Lee', 'c.1850'), P('Ann Lee', '1862'), 65],
    [P('Ann Lee', '1850'), P('Ann Lee', 'unknown'), 65],
    [P('Ann Lee', '', 'York'), P('Bob Lee', '', 'york'), 14],
    [P('Ann Lee', '1850'), P('Bob Stone', '1900'), -45],
    [P('', '1850', 'York'), P('Ann Lee', '1850', 'York'), 0],
    [P('!!!', '1850'), P('!!!', '1850'), 0],
  ]) assert.equal(await app.call('dupScore', a, b), score, `${a.name} / ${b.name}`);
});

test('the dialog: refusals, its parts, ranking with ties by name, the comparison and its block warning', async () => {
  await setTree([['solo', {}]]);
  await app.call('openMergeModal', 'solo');
  await expectToast(app, 'Create or import another profile before merging.');
  await app.call('openMergeModal', 'nobody');
  await expectToast(app, 'Select the source profile first.');
  assert.equal(await dialogTitle(app), null);

  await setTree([
    ['src', { name: 'Mary Ann Hill', birth: '1850', birthPlace: 'York', death: '1910' }],
    ['kid', { name: 'Zed Hill', birth: '1880' }],
    ['b', { name: 'Mary Hill', birth: '1851' }],
    ['a', { name: 'Mary Hill', birth: '1851', birthPlace: '' }],
    ['c', { name: 'Mary Ann Hill', birth: '1850', birthPlace: 'york' }],
    ['x', { name: '' }],
    ['w', { name: 'Walter Brown' }],
    ['sp', { name: 'Mary Ann Hill', birth: '1850', birthPlace: 'York' }],
  ], [['src', 'kid', 'parent'], ['src', 'sp', 'spouse']], { selected: 'src' });
  await app.call('openMergeModal');
  const d = await app.run(() => ({
    title: $('modalTitle').textContent,
    warning: document.querySelector('.modalbody p').innerHTML,
    placeholder: $('mergeQuery').placeholder,
    options: [...$('mergeId').options].map(o => o.textContent),
    chosen: $('mergeId').value,
    count: $('mergeCount').textContent,
    compare: [...$('mergeCompare').children].map(c => c.textContent).join('\n'),
    verify: $('mergeVerify').closest('label').textContent.trim(),
    save: $('modalSave').textContent,
  }));
  assert.equal(d.title, 'Merge profiles — review before combining');
  assert.equal(d.warning, '<b>Only merge records you have verified are the same individual.</b> Similar names alone are not ' +
    'evidence. The kept profile survives; the other is removed. A JSON safety backup will download before merging.');
  assert.equal(d.placeholder, 'Search name, birth year, or ID');
  // c and sp score 103 and b and a 67 (equal names keep tree order), x and w 0 (by name), Zed −45.
  assert.deepEqual(d.options, ['Mary Ann Hill · 1850 · c', 'Mary Ann Hill · 1850 · sp', 'Mary Hill · 1851 · b',
    'Mary Hill · 1851 · a', 'Unnamed · ? · x', 'Walter Brown · ? · w', 'Zed Hill · 1880 · kid']);
  assert.equal(d.chosen, 'c');
  assert.equal(d.count, '7 matching profiles');
  assert.equal(d.compare, 'Review both profiles\nRemove: Mary Ann Hill (1850 – 1910) · York · src\n' +
    'Keep: Mary Ann Hill (1850 – ?) · york · c\nRemove: 0 parents, 1 children, 1 spouses. Keep: 0 parents, 0 children, 0 spouses.');
  assert.equal(d.verify, 'I reviewed the evidence and confirm these records describe the SAME person.');
  assert.equal(d.save, 'Merge selected profiles');

  // Choosing the spouse shows the block; the search keeps the chosen profile while it is listed.
  await app.page.locator('#mergeId').selectOption('sp');
  assert.match(await app.text('#mergeCompare'), /Merge blocked: These people are recorded as spouses; merging them would erase that marriage\.$/);
  await app.type('#mergeQuery', 'hill 1850');
  assert.deepEqual(await app.run(() => [[...$('mergeId').options].map(o => o.value), $('mergeId').value, $('mergeCount').textContent]),
    [['c', 'sp'], 'sp', '2 matching profiles']);
  await app.fill('#mergeQuery', 'K');
  await app.page.locator('#mergeQuery').dispatchEvent('input');
  assert.deepEqual(await app.run(() => [$('mergeId').value, $('mergeCount').textContent]), ['kid', '1 matching profiles']);
  await app.fill('#mergeQuery', 'nobody at all');
  await app.page.locator('#mergeQuery').dispatchEvent('input');
  assert.deepEqual(await app.run(() => [$('mergeId').options.length, $('mergeCount').textContent, $('mergeCompare').textContent]),
    [0, '0 matching profiles', 'No matching profile found.']);
  await closeDialog(app);
});

test('150 other profiles: the list shows 70 and says so; part of an id finds its profile', async () => {
  const people = [['src', { name: 'Source Person' }]];
  for (let i = 0; i < 150; i++) people.push([`id${String(i).padStart(3, '0')}q`, { name: `Person ${i}` }]);
  await setTree(people);
  await app.call('openMergeModal', 'src');
  assert.deepEqual(await app.run(() => [$('mergeId').options.length, $('mergeCount').textContent]),
    [70, 'Showing 70 of 150 matching profiles. Type to narrow the list.']);
  await app.type('#mergeQuery', '123Q');
  assert.deepEqual(await app.run(() => [[...$('mergeId').options].map(o => o.value), $('mergeCount').textContent]),
    [['id123q'], '1 matching profiles']);
  await closeDialog(app);
});

test('saving: unticked box and every block refuse with the dialog open and nothing downloaded', async () => {
  await setTree([['me', {}], ['wife', {}], ['bro', {}], ['dad', {}], ['grandkid', {}], ['kid', {}], ['twin', {}]],
    [['me', 'wife', 'spouse'], ['me', 'bro', 'sibling'], ['dad', 'me', 'parent'], ['me', 'kid', 'parent'], ['kid', 'grandkid', 'parent']]);
  const before = await tree();
  const downloads = await app.countCalls('download');
  try {
    await app.call('openMergeModal', 'me');
    await app.page.locator('#mergeId').selectOption('twin');
    await app.click('#modalSave');
    await expectToast(app, 'Confirm that you reviewed both profiles first.');
    await app.click('#mergeVerify');
    for (const [keep, reason] of [
      ['wife', 'These people are recorded as spouses; merging them would erase that marriage.'],
      ['bro', 'These people are recorded as siblings. Review that relationship before attempting a merge.'],
      ['dad', 'These profiles have a recorded ancestor/descendant relationship. Merging them would create a cycle.'],
      ['grandkid', 'These profiles have a recorded ancestor/descendant relationship. Merging them would create a cycle.'],
    ]) {
      await app.page.locator('#mergeId').selectOption(keep);
      assert.equal(await app.text('.merge-blocked'), 'Merge blocked: ' + reason);
      await app.click('#modalSave');
      await expectToast(app, reason);
      assert.equal(await dialogTitle(app), 'Merge profiles — review before combining');
    }
    assert.equal(await downloads.count(), 0);
    assert.equal(await tree(), before);
    // The same tests guard the merge itself.
    for (const [from, to] of [['me', 'me'], ['me', 'ghost'], ['me', 'wife'], ['bro', 'me'], ['grandkid', 'me']])
      assert.equal(await app.call('mergePeople', from, to), false, `${from} into ${to}`);
    await app.page.evaluate(() => new Promise(queueMicrotask));
    assert.equal(await tree(), before);
  } finally {
    await downloads.restore();
    await closeDialog(app);
  }
});

test('a merge through the dialog downloads the backup first, loses no fact of the removed profile, and undoes exactly', async () => {
  const removed = {
    name: 'Jane Q. Doe', birth: '1851', death: '1920', sex: 'F', birthPlace: 'BOSTON', deathPlace: 'Salem',
    occupation: 'Teacher', residence: 'Lowell', bio: 'Taught school.', notes: 'Seen in 1880 census.',
    photo: 'https://example.invalid/jane.jpg', privacy: 'deceased', orbStyle: { size: 140, effect: 'pulse' },
    branchLineColor: '#aa3355', orbOffset2D: { x: 12, y: -4 }, orbOffset3D: { x: 1, y: 2, z: 3 },
    layoutBase: { x: 5, y: 6, z: 0, gen: 0 },
    sources: [{ title: 'Census 1880', url: '', detail: 'p. 4' }], events: [{ when: '1875', text: 'Married' }],
    external: { REFN: 'J-1', FSID: 'AAA' },
  };
  const kept = {
    name: 'Jane Doe', birth: '1850', death: '', sex: 'F', birthPlace: 'Boston', deathPlace: '', occupation: 'Nurse',
    residence: '', bio: '', notes: 'Kept notes.', photo: '', privacy: 'unknown',
    sources: [{ title: 'Baptism', url: 'https://example.invalid/b', detail: '' }], events: [],
    external: { FSID: 'BBB', KEEP: 'yes' },
  };
  await setTree([['dupe', removed], ['keep', kept], ['mom', { sex: 'F' }], ['dad', { sex: 'M' }], ['kid', {}], ['hub', {}],
    ['sis', {}]],
  [['mom', 'dupe', 'parent', 'mother'], ['dad', 'dupe', 'parent'], ['mom', 'keep', 'parent'], ['dupe', 'kid', 'parent'],
    ['dupe', 'hub', 'spouse'], ['dupe', 'sis', 'sibling']], { selected: 'dupe', focus: 'dupe', rootPersonId: 'dupe', expanded: ['dupe', 'mom'] });
  await app.run(() => { persons.get('mom').familyBranchHandles = { 'mom|dupe': { x: 1 }, 'mom|keep': { x: 2 }, 'mom': { x: 3 } }; });
  await settled();
  const before = await tree();
  await app.call('openMergeModal');
  await app.page.locator('#mergeId').selectOption('keep');
  await app.click('#mergeVerify');
  const file = await app.download(() => app.click('#modalSave'));
  await expectToast(app, 'Profiles merged. The pre-merge JSON backup was downloaded.');
  assert.equal(await dialogTitle(app), null);

  // The backup holds the tree as it was before the merge.
  assert.equal(file.name, 'Kinloom_Backup.json');
  const backup = JSON.parse(file.bytes.toString('utf8'));
  const backupIds = Array.isArray(backup.persons) ? backup.persons.map(p => p[0]) : Object.keys(backup.persons);
  assert.ok(backupIds.includes('dupe') && backupIds.includes('keep'));
  assert.equal(backup.edges.length, 6);

  const k = await app.run(() => persons.get('keep'));
  assert.equal(await app.run(() => persons.has('dupe')), false);
  assert.deepEqual({ name: k.name, birth: k.birth, death: k.death, birthPlace: k.birthPlace, deathPlace: k.deathPlace,
    occupation: k.occupation, residence: k.residence, bio: k.bio, photo: k.photo, privacy: k.privacy, orbStyle: k.orbStyle,
    branchLineColor: k.branchLineColor, layoutBase: k.layoutBase }, {
    name: 'Jane Doe', birth: '1850', death: '1920', birthPlace: 'Boston', deathPlace: 'Salem', occupation: 'Nurse',
    residence: 'Lowell', bio: 'Taught school.', photo: removed.photo, privacy: 'unknown', orbStyle: removed.orbStyle,
    branchLineColor: '#aa3355', layoutBase: removed.layoutBase });
  assert.equal(k.notes, 'Kept notes.\nSeen in 1880 census.\nMerged alternate claims (verify): name: Jane Q. Doe; birth: 1851; ' +
    'occupation: Teacher; privacy: deceased; external.FSID: AAA');
  assert.deepEqual(k.sources, [...kept.sources, ...removed.sources]);
  assert.deepEqual(k.events, removed.events);
  assert.deepEqual(k.external, { REFN: 'J-1', FSID: 'BBB', KEEP: 'yes' });
  // No fact lost: every text field of the removed profile is on the kept one or in its notes.
  for (const f of ['name', 'birth', 'death', 'sex', 'birthPlace', 'deathPlace', 'occupation', 'residence', 'bio', 'notes', 'privacy']) {
    const norm = s => s.toLowerCase();
    assert.ok(norm(k[f]) === norm(removed[f]) || k.notes.includes(removed[f]), `${f} kept`);
  }
  for (const [key, v] of Object.entries(removed.external)) assert.ok(k.external[key] === v || k.notes.includes(`external.${key}: ${v}`), key);

  // Relationships: re-pointed, the duplicate link to mom folded with its role, nothing else lost.
  assert.deepEqual(await links(), [['mom', 'keep', 'parent', 'mother'], ['dad', 'keep', 'parent', null],
    ['keep', 'kid', 'parent', null], ['keep', 'hub', 'spouse', null], ['keep', 'sis', 'sibling', null]]);
  assert.deepEqual(await app.run(() => [focus, selected, rootPersonId, [...expanded].sort()]), ['keep', 'keep', 'keep', ['keep', 'mom']]);
  assert.deepEqual(await app.run(() => persons.get('mom').familyBranchHandles), { 'mom|keep': { x: 2 }, 'mom': { x: 3 } });

  await settled();
  await app.click('#klnUndoBtn');
  await expectToast(app, 'Undid the previous family-tree edit.');
  assert.equal(await tree(), before);
});

test('folding relationships: a shared child becomes one link with its role, extra parents stay, equal facts add no notes', async () => {
  await setTree([['a', { name: 'Pat' }], ['b', { name: 'Pat', photo: '' }], ['kid', {}], ['p1', {}], ['p2', {}], ['p3', {}], ['p4', {}]],
    [['a', 'kid', 'parent'], ['b', 'kid', 'parent', 'father'], ['p1', 'a', 'parent'], ['p2', 'a', 'parent'], ['p3', 'b', 'parent'],
      ['p4', 'b', 'parent']]);
  assert.equal(await app.call('mergePeople', 'a', 'b'), true);
  assert.deepEqual(await links(), [['b', 'kid', 'parent', 'father'], ['p1', 'b', 'parent', null], ['p2', 'b', 'parent', null],
    ['p3', 'b', 'parent', null], ['p4', 'b', 'parent', null]]);
  // The notes gain nothing when nothing differs.
  assert.equal(await app.run(() => persons.get('b').notes), '');
});

test('"Merge profiles" from the wheel removes the wheel\'s person and keeps the chosen one', async () => {
  await setTree([['ann', { name: 'Ann' }], ['bob', { name: 'Bob' }], ['ann2', { name: 'Ann' }]], [['ann', 'bob', 'spouse']]);
  const ids = { ann: 'ann', bob: 'bob', ann2: 'ann2' };
  await fixLayout(app, ids, { ann: [-200, 0], bob: [200, 0], ann2: [0, 250] });
  try {
    await setCamera(app, { zoom: 0.6, shiftX: 0, shiftY: -60 });
    const at = await pagePoint(app, await screenOf(app, 'ann2'));
    await app.page.mouse.dblclick(at.x, at.y);
    await app.click('.orb-wheel-action[data-act="merge"]');
    assert.equal(await app.run(() => $('mergeId').value), 'ann');
    await app.click('#mergeVerify');
    await app.download(() => app.click('#modalSave'));
    await expectToast(app, 'Profiles merged. The pre-merge JSON backup was downloaded.');
    assert.deepEqual(await app.run(() => [[...persons.keys()], selected]), [['ann', 'bob'], 'ann']);
  } finally {
    await restoreLayout(app);
  }
});
