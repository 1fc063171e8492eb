// Dialogs and the base wiring: the dialog layer, Escape, header search without results, "Tree settings" and
// "Clear entire tree".
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

const isOpen = () => app.run(() => !$('modalLayer').classList.contains('hidden'));
const NO_MATCHES = 'No matches in your tree yet. Import a GEDCOM or add a person.';

async function waitForToast(text) {
  await app.page.waitForFunction(text => $('toast').textContent === text, text);
}

test('modal: one dialog box with title, caller markup and a footer of Cancel and the primary button', async () => {
  await app.run(() => {
    window.__saves = 0;
    modal('Title <b>&</b> "quoted"', '<p id="callerPart">Body</p><input id="callerField">', 'Save <now>',
      () => { window.__saves++; });
  });
  const r = await app.run(() => {
    const layer = $('modalLayer');
    const boxes = layer.querySelectorAll('[role="dialog"]');
    const box = boxes[0];
    const labelled = document.getElementById(box.getAttribute('aria-labelledby'));
    const foot = box.querySelector('.modalfoot');
    const order = [labelled, $('callerPart'), foot].map(el => [...box.querySelectorAll('*')].indexOf(el));
    return {
      layerClass: layer.className, boxes: boxes.length, modal: box.getAttribute('aria-modal'),
      title: labelled && labelled.textContent, heading: labelled && /^H[1-6]$/.test(labelled.tagName),
      titleMarkup: labelled && labelled.children.length, order,
      buttons: [...foot.querySelectorAll('button')].map(b => [b.id, b.textContent]),
    };
  });
  assert.deepEqual(r.layerClass.split(/\s+/).includes('modalcover'), true);
  assert.equal(r.boxes, 1);
  assert.equal(r.modal, 'true');
  assert.equal(r.title, 'Title <b>&</b> "quoted"');
  assert.equal(r.heading, true);
  assert.equal(r.titleMarkup, 0);
  assert.ok(r.order[0] >= 0 && r.order[0] < r.order[1] && r.order[1] < r.order[2], String(r.order));
  assert.equal(r.buttons.length, 2);
  assert.equal(r.buttons[0][1].trim(), 'Cancel');
  assert.deepEqual(r.buttons[1], ['modalSave', 'Save <now>']);

  await app.click('#modalSave');
  assert.equal(await app.eval('window.__saves'), 1);
  assert.equal(await isOpen(), true, 'the primary button leaves closing to its function');
  await app.page.locator('#modalLayer .modalfoot button', { hasText: 'Cancel' }).click();
  assert.deepEqual(await app.run(() => [$('modalLayer').className, $('modalLayer').innerHTML]), ['hidden', '']);
});

test('modal: opening a dialog replaces the open one', async () => {
  await app.run(() => { modal('First', '<p>one</p>', 'OK', closeModal); modal('Second', '<p>two</p>', 'OK', closeModal); });
  const r = await app.run(() => [$('modalLayer').querySelectorAll('[role="dialog"]').length,
    $('modalLayer').textContent.includes('First'), $('modalLayer').textContent.includes('Second')]);
  assert.deepEqual(r, [1, false, true]);
  await app.call('closeModal');
  assert.deepEqual(await app.run(() => [$('modalLayer').className, $('modalLayer').innerHTML]), ['hidden', '']);
});

test('val: trimmed value of a form field, empty text for a missing one', async () => {
  await app.run(() => modal('Form', '<input id="vText" value="  Ada  "><textarea id="vArea">\n x \n</textarea>' +
    '<select id="vSelect"><option value=" F ">F</option></select>', 'OK', closeModal));
  const r = await app.run(() => [val('vText'), val('vArea'), val('vSelect'), val('noSuchField')]);
  await app.call('closeModal');
  assert.deepEqual(r, ['Ada', 'x', 'F', '']);
});

for (const where of ['the page', 'a field of the dialog'])
  test(`Escape in ${where} closes the dialog`, async () => {
    await app.run(() => modal('Escapable', '<input id="escField">', 'OK', () => {}));
    assert.equal(await isOpen(), true);
    if (where === 'the page') {
      await app.run(() => document.activeElement && document.activeElement.blur());
      await app.press('Escape');
    } else {
      await app.press('Escape', '#escField');
    }
    assert.equal(await isOpen(), false);
  });

test('Escape with no dialog open changes nothing', async () => {
  await app.press('Escape');
  assert.equal(await isOpen(), false);
});

for (const [how, tree] of [['Enter', 'empty'], ['Enter', 'filled'], ['Find', 'empty'], ['Find', 'filled']])
  test(`${how} in the header search without results, ${tree} tree: the no-matches toast`, async () => {
    if (tree === 'empty') await app.emptyTree(); else await app.build(['Ann Smith', 'Bob Jones']);
    await app.fill('#search', 'zzzz nobody');
    if (how === 'Enter') await app.press('Enter', '#search'); else await app.click('#searchGo');
    await waitForToast(NO_MATCHES);
    await app.fill('#search', '');
  });

const SETTINGS_TEXT = 'Kinloom runs entirely in your browser. GEDCOM import and local family editing are the only ways people are added.';
const SETTINGS_NOTE = 'Save a JSON backup regularly. It preserves pictures, edited positions, and family stories. ' +
  'Different colors distinguish visual family neighborhoods; they do not change or prove relationships. Tidy ' +
  'pedigree hides long cross-branch lines in the overview; it never removes ancestor profiles or parent-child ' +
  'records. Choose Pedigree → Show every link to see all source connections. At full-tree fit, names need ' +
  'zooming to be readable. 3D orb details simplify automatically for speed. This version has no external ' +
  'genealogy searches or browser extensions.';
const SETTINGS_BUTTONS = ['Reveal all connected relatives', 'Full backup / restore (JSON)',
  'Reset orb positions (2D + 3D)', 'Clear entire tree'];

// The dialog's texts in order: title, the paragraphs and buttons of the body, the footer's primary button.
const settingsContent = () => app.run(() => {
  const layer = $('modalLayer');
  const box = layer.querySelector('[role="dialog"]');
  const title = document.getElementById(box.getAttribute('aria-labelledby')).textContent;
  const foot = box.querySelector('.modalfoot');
  const body = [...box.querySelectorAll('p, button')].filter(el => !foot.contains(el))
    .map(el => [el.tagName.toLowerCase(), el.textContent.replace(/\s+/g, ' ').trim()]);
  const clear = [...box.querySelectorAll('button')].find(b => b.textContent.trim() === 'Clear entire tree');
  return { title, body, primary: $('modalSave').textContent, clearColor: clear && getComputedStyle(clear).color };
});

test('"Tree settings" opens "Workspace settings" with its texts and buttons in order; "Close" closes', async () => {
  await app.click('#toolsBtn');
  const r = await settingsContent();
  assert.equal(r.title, 'Workspace settings');
  assert.deepEqual(r.body, [['p', SETTINGS_TEXT], ...SETTINGS_BUTTONS.map(b => ['button', b]), ['p', SETTINGS_NOTE]]);
  assert.equal(r.primary, 'Close');
  assert.equal(r.clearColor, 'rgb(242, 169, 183)');
  await app.click('#modalSave');
  assert.equal(await isOpen(), false);
});

test('a double-click on the status line opens the settings', async () => {
  await app.page.locator('#statusMsg').dispatchEvent('dblclick');
  assert.equal((await settingsContent()).title, 'Workspace settings');
  await app.call('closeModal');
});

const settingsActions = [
  ['Reveal all connected relatives', 'revealAll'],
  ['Reset orb positions (2D + 3D)', 'klnResetAllOrbPositions'],
];

for (const [button, fn] of settingsActions)
  test(`settings: "${button}" runs ${fn} and closes`, async () => {
    await app.click('#toolsBtn');
    const calls = await app.countCalls(fn);
    try {
      await app.page.locator('#modalLayer button', { hasText: button }).click();
      assert.equal(await calls.count(), 1);
      assert.equal(await isOpen(), false);
    } finally {
      await calls.restore();
    }
  });

const CLEAR_QUESTION = 'Clear this entire local tree? Download a backup first.';

async function clearThroughSettings(answer) {
  await app.click('#toolsBtn');
  app.answer(answer);
  await app.page.locator('#modalLayer button', { hasText: 'Clear entire tree' }).click();
  assert.deepEqual(app.dialogs.map(d => [d.type, d.message]), [['confirm', CLEAR_QUESTION]]);
}

test('"Clear entire tree" refused: nothing changes', async () => {
  const ids = await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
  await app.run(() => { $('toast').textContent = ''; });
  const before = await app.run(() => JSON.stringify([[...persons], edges, focus, rootPersonId, selected, [...expanded]]));
  await clearThroughSettings(false);
  const after = await app.run(() => JSON.stringify([[...persons], edges, focus, rootPersonId, selected, [...expanded]]));
  assert.equal(after, before);
  assert.equal(await app.textContent('#branchTitle'), 'Ann');
  assert.notEqual(await app.textContent('#toast'), 'Workspace cleared.');
  assert.ok(ids.Ann);
});

test('"Clear entire tree" accepted: empty tree, saved under the same library entry, toast, undoable', async () => {
  const ids = await app.build(['Ann', 'Bob'], [['Ann', 'Bob', 'spouse']]);
  await app.page.waitForTimeout(600); // the build's own save and history step settle first
  const treeId = await app.eval('currentTreeId');
  const save = await app.countCalls('save');
  try {
    await clearThroughSettings(true);
    assert.deepEqual(await app.run(() => [persons.size, edges.length, focus, rootPersonId, selected, expanded.size]),
      [0, 0, null, null, null, 0]);
    assert.equal(await isOpen(), false);
    assert.equal(await app.textContent('#branchTitle'), 'Your family universe');
    await waitForToast('Workspace cleared.');
    await app.page.waitForFunction(() => window.__calls.save.length > 0, null, { timeout: 2000 });
    assert.equal(await app.eval('currentTreeId'), treeId);
    assert.ok(await app.run(id => treeDirectory.some(t => t.id === id), treeId), 'the tree stays in the library');
    await app.page.waitForTimeout(300);
    const stored = await app.run(async id => {
      const record = await readRecord('sollary-tree-' + id);
      const people = record.persons;
      return [Array.isArray(people) ? people.length : Object.keys(people || {}).length, record.edges.length];
    }, treeId);
    assert.deepEqual(stored, [0, 0], 'the empty tree was stored');
  } finally {
    await save.restore();
  }
  if (await app.eval('typeof klnUndo') === 'function') {
    await app.call('klnUndo');
    assert.deepEqual(await app.run(() => [...persons.keys()]), [ids.Ann, ids.Bob]);
    assert.equal(await app.eval('edges.length'), 1);
  }
});
