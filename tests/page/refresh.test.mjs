// The refresh cycle: update() repairs the view state and rewrites the header, welcome panel and root button.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

const header = () => app.run(() => [$('branchTitle').textContent, $('branchSub').textContent]);

const connected = n => `Long family pedigree · ${n} linked people · use navigator to explore the tall map`;

const scopeCases = [
  ['connected', connected(3)],
  ['ancestry4', 'Classic ancestry chart · four readable generations'],
  ['ancestors', 'Complete ancestral pedigree · shared ancestors appear once'],
  ['near', 'Explore parents, children, siblings and connected generations'],
  ['extended', 'Explore parents, children, siblings and connected generations'],
  ['something else', 'Explore parents, children, siblings and connected generations'],
];

for (const [scope, subtitle] of scopeCases)
  test(`header with focus and scope "${scope}"`, async () => {
    // Two families: Ann, Bob and their child Cy; Dee and Eve elsewhere.
    await app.build(['Ann', 'Bob', 'Cy', 'Dee', 'Eve'],
      [['Ann', 'Bob', 'spouse'], ['Ann', 'Cy', 'parent'], ['Bob', 'Cy', 'parent'], ['Dee', 'Eve', 'sibling']]);
    try {
      await app.run(scope => { viewScope = scope; update(); }, scope);
      assert.deepEqual(await header(), ['Ann', subtitle]);
    } finally {
      await app.run(() => { viewScope = 'connected'; update(); });
    }
  });

test('header without focus, welcome panel shown, "Home / Root" disabled', async () => {
  await app.build(['Someone']);
  assert.equal(await app.visible('#welcome'), false);
  assert.equal(await app.page.locator('#rootBtn').isDisabled(), false);
  await app.emptyTree();
  assert.deepEqual(await header(), ['Your family universe', 'Import your GEDCOM or create relatives manually']);
  assert.equal(await app.visible('#welcome'), true);
  assert.equal(await app.page.locator('#rootBtn').isDisabled(), true);
});

test('the header names the focus person, not the selected one', async () => {
  const ids = await app.build(['Ann', 'Bob']);
  await app.run(ids => { selected = ids.Bob; focus = ids.Bob; update(); }, ids);
  assert.equal((await header())[0], 'Bob');
  await app.run(ids => { focus = ids.Ann; update(); }, ids);
  assert.deepEqual(await app.run(() => [$('branchTitle').textContent, selected === focus]), ['Ann', false]);
});

test('the linked-people count follows a link added after the last refresh', async () => {
  const ids = await app.build(['Ann', 'Bob', 'Cy']);
  assert.equal((await header())[1], connected(1));
  await app.run(ids => { addEdge(ids.Ann, ids.Bob, 'spouse'); update(); }, ids);
  assert.equal((await header())[1], connected(2));
  await app.run(ids => { addEdge(ids.Cy, ids.Bob, 'parent'); update(); }, ids);
  assert.equal((await header())[1], connected(3));
});

test('the linked-people count uses the locale\'s digit grouping (en-US)', async () => {
  await app.run(() => {
    persons.clear();
    try { edges = []; } catch { edges.length = 0; }
    focus = selected = rootPersonId = null;
    bulkImport = true;
    try {
      let previous = null;
      for (let i = 0; i < 1234; i++) {
        const id = addPerson({ name: 'Person ' + i });
        if (previous) addEdge(previous, id, i % 2 ? 'sibling' : 'spouse');
        previous = id;
      }
    } finally {
      bulkImport = false;
    }
    update();
  });
  try {
    assert.equal((await header())[1], connected('1,234'));
  } finally {
    await app.emptyTree();
  }
});

test('update schedules a save and asks for a repaint', async () => {
  await app.build(['Ann']);
  const r = await app.runCounting(['scheduleSave'], () => { renderNeeded = false; update(); return renderNeeded; });
  assert.deepEqual(r, { result: true, calls: { scheduleSave: 1 } });
});
