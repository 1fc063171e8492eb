// Unlinked people: the workbench and its cap, the "Show unlinked" switch and its stored preference, the
// drop target, and drag-to-relink through real drags on the canvas with real dialog answers.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { expectToast, dialogTitle, closeDialog, parentLinks } from './people.mjs';
import { fixLayout, restoreLayout, screenOf, setCamera, drag } from '../graph/helpers.mjs';

const app = useApp();

function setTree(people, links = [], view = {}) {
  return app.run(({ people, links, view }) => {
    replaceFamily(new Map(people.map(([id, d]) => [id, { id, name: id, ...d }])),
      links.map(([a, b, type]) => ({ a, b, type, source: 'manual' })));
    setViewState({ focus: people[0][0], rootPersonId: people[0][0], selected: people[0][0], expanded: [], ...view });
    update();
  }, { people, links, view });
}

const tree = () => app.run(() => JSON.stringify([[...persons.entries()], edges]));
const settled = () => app.page.waitForFunction(() => !klnHistory.pending && !klnPositionFreeze);
const linkList = () => app.run(() => edges.map(e => [e.a, e.b, e.type]));

test('"Show unlinked": on by default, off removes the workbench at once and stays off after a reload', async () => {
  assert.deepEqual(await app.run(() => [klnShowUnlinked, $('klnShowUnlinked').checked, $('klnShowUnlinked').closest('label').title]),
    [true, true, 'Display up to 60 profiles with no recorded relationships so you can reconnect them by dragging']);
  await setTree([['home', {}], ['pal', {}], ['lone', {}]], [['home', 'pal', 'spouse']]);
  assert.deepEqual(await app.run(() => displayed()), ['home', 'pal', 'lone']);
  await app.click('#klnShowUnlinked');
  assert.deepEqual(await app.run(() => [displayed(), localStorage.getItem('kln-show-unlinked')]), [['home', 'pal'], 'false']);
  await app.page.waitForFunction(() => Number($('nodeCount').textContent) === 2);
  await app.reload();
  await app.enter();
  assert.deepEqual(await app.run(() => [klnShowUnlinked, $('klnShowUnlinked').checked]), [false, false]);
  await app.click('#klnShowUnlinked');
  assert.deepEqual(await app.run(() => [klnShowUnlinked, localStorage.getItem('kln-show-unlinked')]), [true, 'true']);
  // Anything stored other than "false" means on.
  for (const [stored, on] of [['0', true], ['nonsense', true], ['false', false]]) {
    await app.run(v => localStorage.setItem('kln-show-unlinked', v), stored);
    assert.equal(await app.call('readShowUnlinked'), on, stored);
  }
  await app.run(() => localStorage.setItem('kln-show-unlinked', 'true'));
});

test('75 unlinked people: the first 60 in tree order are staged; linking one brings the 61st', async () => {
  const people = [['home', {}], ['pal', {}]];
  for (let i = 0; i < 75; i++) people.push([`u${i}`, {}]);
  await setTree(people, [['home', 'pal', 'spouse']]);
  await app.run(() => klnSetShowUnlinked(true));
  const staged = () => app.run(() => displayed().slice(2));
  const first60 = Array.from({ length: 60 }, (_, i) => `u${i}`);
  assert.deepEqual(await staged(), first60);
  assert.equal((await app.run(() => klnUnlinkedIds())).length, 75);
  await app.run(() => { addEdge('home', 'u3', 'parent'); update(); });
  assert.deepEqual(await staged(), ['u3', ...first60.filter(id => id !== 'u3'), 'u60']);
  // An unlinked home person counts among the 60.
  await setTree(people.slice(2));
  assert.deepEqual(await app.run(() => displayed()), first60);
});

test('drop target: the nearest person within its range, the first of a couple near their midpoint, or none', async () => {
  await setTree([['ann', {}], ['bob', {}], ['lone', {}], ['far', {}]], [['ann', 'bob', 'spouse']]);
  const ids = { ann: 'ann', bob: 'bob', lone: 'lone', far: 'far' };
  await fixLayout(app, ids, { ann: [-100, 0], bob: [100, 0], lone: [0, 300], far: [5000, 0] });
  try {
    await setCamera(app, { zoom: 1, shiftX: 0, shiftY: -100 });
    const a = await screenOf(app, 'ann'), b = await screenOf(app, 'bob');
    assert.equal(Math.round(b.x - a.x), 200);
    const mid = { x: (a.x + b.x) / 2, y: a.y };
    for (const [dx, dy, want, what] of [
      [-100, 49, 'ann', 'inside ann\'s range of 50'],
      [-100, 51, null, 'just outside ann\'s range, far from the midpoint'],
      [100, -40, 'bob', 'bob alone'],
      [0, 60, 'ann', 'within 84 of the midpoint, more than 75 from each'],
      [0, 85, null, 'beyond 84 from the midpoint'],
      [-60, 0, 'ann', 'nearer ann than the midpoint is'],
    ]) assert.equal(await app.call('klnDropTarget', 'lone', mid.x + dx, mid.y + dy), want, what);
    // A person off the graph by more than 80 pixels is no candidate; the dragged person never is.
    assert.equal(await app.call('klnDropTarget', 'ann', a.x, a.y), null);
    const f = await screenOf(app, 'far');
    assert.equal(await app.call('klnDropTarget', 'lone', f.x, f.y), null);
  } finally {
    await restoreLayout(app);
  }
});

// Ann and Bob (a couple 200 pixels apart on screen), their son Cy, and Lone on the workbench below.
async function stage() {
  await setTree([['ann', { sex: 'F' }], ['bob', { sex: 'M' }], ['cy', {}], ['lone', {}]],
    [['ann', 'bob', 'spouse'], ['ann', 'cy', 'parent']]);
  await app.run(() => klnSetShowUnlinked(true));
  const ids = { ann: 'ann', bob: 'bob', cy: 'cy', lone: 'lone' };
  await fixLayout(app, ids, { ann: [-100, 0], bob: [100, 0], cy: [300, 150], lone: [0, 300] });
  await setCamera(app, { zoom: 1, shiftX: 0, shiftY: -200 });
  await settled();
}

const offset = id => app.run(id => persons.get(id).orbOffset2D || null, id);

test('dragging: a linked orb only moves; an unlinked orb dropped in empty space stays there and asks nothing', async () => {
  await stage();
  try {
    const bob = await screenOf(app, 'bob'), ann = await screenOf(app, 'ann');
    await drag(app, bob, ann.x - bob.x, 0);
    assert.equal(await dialogTitle(app), null);
    assert.deepEqual(await offset('bob'), { x: -200, y: 0 });
    const lone = await screenOf(app, 'lone');
    await drag(app, lone, 250, 20);
    await app.page.evaluate(() => new Promise(queueMicrotask));
    assert.equal(await dialogTitle(app), null);
    assert.deepEqual(await offset('lone'), { x: 250, y: 20 });
    assert.deepEqual(await linkList(), [['ann', 'bob', 'spouse'], ['ann', 'cy', 'parent']]);
  } finally {
    await restoreLayout(app);
  }
});

test('dropped between a couple: "YES — link as parents" links both with roles by sex; the orb goes back; one undo step', async () => {
  await stage();
  try {
    const before = await tree();
    const lone = await screenOf(app, 'lone'), ann = await screenOf(app, 'ann');
    // 60 pixels below the couple's midpoint: more than 75 from each of them.
    await drag(app, lone, 0, ann.y + 60 - lone.y);
    await app.page.waitForFunction(() => $('modalTitle') && $('modalTitle').textContent === 'Reconnect a family');
    assert.deepEqual(await app.run(() => ({
      question: document.querySelector('.modalbody p').textContent,
      partners: [...$('klnDroppedSecondParent').options].map(o => [o.value, o.textContent, o.selected]),
      note: document.querySelector('.modalbody .kln-note').textContent,
      buttons: [$('modalSave').textContent, $('modalCancel').textContent, $('klnDroppedOther').textContent],
    })), {
      question: 'Are ann and their spouse the parents of lone?',
      partners: [['bob', 'bob', true]],
      note: 'This only adds parent relationships after you confirm. Nobody will be merged or deleted.',
      buttons: ['YES — link as parents', 'NO', 'Choose a different relationship'],
    });
    const back = await screenOf(app, 'lone');
    assert.ok(Math.hypot(back.x - lone.x, back.y - lone.y) < 0.5, 'the dragged orb is back where it stood');
    await app.click('#modalSave');
    await expectToast(app, 'lone linked to both parents.');
    assert.deepEqual(await parentLinks(app, 'lone'), [{ a: 'ann', role: 'mother' }, { a: 'bob', role: 'father' }]);
    assert.equal(await app.eval('selected'), 'lone');
    assert.equal(await dialogTitle(app), null);
    await settled();
    await app.click('#klnUndoBtn');
    assert.equal(await tree(), before);
  } finally {
    await restoreLayout(app);
  }
});

test('dropped on a person: NO and Cancel change nothing; "Choose a different relationship" leads to the general dialog', async () => {
  await stage();
  try {
    const before = await tree();
    const lone = await screenOf(app, 'lone'), ann = await screenOf(app, 'ann');
    await drag(app, lone, ann.x - lone.x + 10, ann.y - lone.y);
    await app.page.waitForFunction(() => $('modalTitle') && $('modalTitle').textContent === 'Reconnect a family');
    await app.click('#modalCancel');
    assert.equal(await dialogTitle(app), null);
    await settled();
    assert.equal(await tree(), before);

    const cy = await screenOf(app, 'cy');
    await drag(app, lone, cy.x - lone.x, cy.y - lone.y - 20);
    await app.page.waitForFunction(() => $('modalTitle') && $('modalTitle').textContent === 'How are they related?');
    assert.deepEqual(await app.run(() => ({
      line: document.querySelector('.modalbody p').textContent,
      choices: [...$('klnDroppedRelationship').options].map(o => [o.value, o.textContent]),
      note: document.querySelector('.modalbody .kln-note').textContent, save: $('modalSave').textContent,
    })), {
      line: 'lone (dragged) and cy (drop target)',
      choices: [['spouse', 'Spouses / partners'], ['sourceParent', 'Dragged person is the parent'],
        ['targetParent', 'Drop target is the parent'], ['sibling', 'Siblings']],
      note: 'Confirming creates a relationship in your saved family tree. Cancel leaves both profiles unlinked.',
      save: 'Link profiles',
    });
    await app.click('#modalCancel');
    await settled();
    assert.equal(await tree(), before);

    await app.call('klnDropRelationshipDialog', 'lone', 'ann');
    await app.click('#klnDroppedOther');
    assert.equal(await dialogTitle(app), 'How are they related?');
    await app.page.locator('#klnDroppedRelationship').selectOption('spouse');
    await app.click('#modalSave');
    await expectToast(app, 'Linked lone and ann.');
    assert.deepEqual((await linkList()).at(-1), ['lone', 'ann', 'spouse']);
  } finally {
    await restoreLayout(app);
  }
});

test('the general dialog: each relationship, and its refusals with the dialog left open', async () => {
  const cases = [
    ['spouse', [], null, ['lone', 'cy', 'spouse']],
    ['spouse', [['lone', 'cy', 'spouse']], 'These people are already spouses or cannot be linked.'],
    ['sourceParent', [], null, ['lone', 'cy', 'parent']],
    ['targetParent', [], null, ['cy', 'lone', 'parent']],
    ['targetParent', [['lone', 'ann', 'parent']], 'This would create an impossible parent-child ancestry cycle.'],
    ['sourceParent', [['bob', 'cy', 'parent']], 'cy already has two recorded parents. Review their relationships first.'],
    ['sibling', [], null, ['lone', 'cy', 'sibling']],
    ['sibling', [['ann', 'lone', 'parent']], 'These people are already recorded as siblings.'],
  ];
  for (const [kind, extra, refusal, made] of cases) {
    await setTree([['ann', { sex: 'F' }], ['bob', {}], ['cy', {}], ['lone', {}]], [['ann', 'cy', 'parent'], ...extra]);
    const before = await linkList();
    await app.call('klnGenericRelationshipDialog', 'lone', 'cy');
    await app.page.locator('#klnDroppedRelationship').selectOption(kind);
    await app.click('#modalSave');
    if (refusal) {
      await expectToast(app, refusal);
      assert.equal(await dialogTitle(app), 'How are they related?', kind);
      assert.deepEqual(await linkList(), before, kind);
      await closeDialog(app);
    } else {
      await expectToast(app, 'Linked lone and cy.');
      assert.deepEqual(await linkList(), [...before, made], kind);
      assert.equal(await app.eval('selected'), 'lone');
    }
  }
});

test('linking as parents is refused when they would make three, or when one of them fails the checks', async () => {
  for (const [links, refusal] of [
    [[['p1', 'lone', 'parent'], ['p2', 'lone', 'parent']], 'This profile already has two parents; review them first.'],
    [[['p1', 'lone', 'parent']], 'This profile already has two parents; review them first.'],
    [[['lone', 'bob', 'parent']], 'This would create an impossible parent-child ancestry cycle.'],
  ]) {
    await setTree([['ann', { sex: 'F' }], ['bob', { sex: 'M' }], ['lone', {}], ['p1', {}], ['p2', {}]], [['ann', 'bob', 'spouse'], ...links]);
    const before = await tree();
    await app.call('klnDropRelationshipDialog', 'lone', 'ann');
    await app.click('#modalSave');
    await expectToast(app, refusal);
    assert.equal(await tree(), before);
    await closeDialog(app);
  }
  // One of the pair already a parent: only the other is added.
  await setTree([['ann', { sex: 'F' }], ['bob', { sex: 'M' }], ['lone', {}]], [['ann', 'bob', 'spouse'], ['bob', 'lone', 'parent']]);
  await app.call('klnDropRelationshipDialog', 'lone', 'ann');
  await app.click('#modalSave');
  await expectToast(app, 'lone linked to both parents.');
  assert.deepEqual((await parentLinks(app, 'lone')).map(l => l.a), ['bob', 'ann']);
});
