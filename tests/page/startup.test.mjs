// Start-up: the page comes up without errors, with its skeleton, its start screens and the forced view.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { useApp, DOCUMENT } from '../harness.mjs';

const app = useApp({ enter: false });

// Every element of the page skeleton with the fixed texts it carries in the markup.
const SKELETON = [
  ['homeBrand', ['KINLOOM', 'EXPLORE YOUR ANCESTRY']],
  ['search', []],
  ['searchGo', ['Find']],
  ['searchdrop', []],
  ['saveIndicator', ['● Local workspace']],
  ['refreshBtn', ['Refresh graph']],
  ['importBtn', ['Import GEDCOM']],
  ['toolsBtn', ['Tree settings']],
  ['addBtn', ['New person']],
  ['backupBtn', []],
  ['klnExportBtn', ['Export ▾']],
  ['graph', ['FAMILY TREE EXPLORER', 'VISIBLE', 'IN TREE', 'VISIBLE LINKS']],
  ['stars', []],
  ['tree', []],
  ['branchTitle', []],
  ['branchSub', []],
  ['nodeCount', []],
  ['totalCount', []],
  ['linkCount', []],
  ['mode2', ['2D view']],
  ['mode3', ['3D view']],
  ['rootBtn', ['Home / Root']],
  ['klnUndoBtn', ['↶ Undo']],
  ['klnRedoBtn', ['↷ Redo']],
  ['branchEditBtn', ['Edit lines']],
  ['graphOnlyBtn', ['Fullscreen']],
  ['toolbarCompactBtn', ['▴', 'Smaller bar']],
  ['generationRange', []],
  ['generationNumber', []],
  ['showDescendants', []],
  ['coloredBranchesToggle', []],
  ['klnShowUnlinked', []],
  ['simplePersonCount', []],
  ['familyScope', []],
  ['lineMode', []],
  ['pedigreeMode', []],
  ['welcome', ['Private by default · Your tree runs from one HTML file']],
  ['welcomeAdd', []],
  ['welcomeImport', []],
  ['exitGraphOnly', []],
  ['orbMenu', []],
  ['orbitPivotMenu', []],
  ['mapWidget', []],
  ['statusMsg', ['KINLOOM · FAMILY TREE EDITION']],
  ['side', ['PERSON DETAILS', 'Profile', 'Timeline', 'Sources']],
  ['sideClose', []],
  ['sideBody', []],
  ['sollaryLaunch', []],
  ['homeOverlay', []],
  ['modalLayer', []],
  ['toast', []],
  ['importFile', []],
  ['portraitFile', []],
  ['restoreFile', []],
];

// The markup as written in the document, before any script ran.
async function staticMarkup(fn) {
  const text = fs.readFileSync(DOCUMENT, 'utf8');
  return app.run(([text, fn]) => {
    const doc = new DOMParser().parseFromString(text, 'text/html');
    return new Function('doc', `return (${fn})(doc)`)(doc);
  }, [text, fn.toString()]);
}

test('no console error or page error on a fresh start, and again on reload', async () => {
  await app.reload();
  assert.deepEqual(await app.unexpectedErrors(), []);
});

test('skeleton: every element exists in the markup with its fixed texts', async () => {
  const found = await staticMarkup(doc => Object.fromEntries([...doc.querySelectorAll('[id]')]
    .map(el => [el.id, el.textContent.replace(/\s+/g, ' ')])));
  for (const [id, texts] of SKELETON) {
    assert.ok(id in found, `#${id} missing`);
    for (const t of texts) assert.ok(found[id].includes(t), `#${id} lacks "${t}": "${found[id]}"`);
  }
});

test('skeleton: every element is on the live page too', async () => {
  const missing = await app.run(ids => ids.filter(id => !document.getElementById(id)), SKELETON.map(s => s[0]));
  assert.deepEqual(missing, []);
});

test('skeleton: element kinds and attributes', async () => {
  const r = await staticMarkup(doc => {
    const el = id => doc.getElementById(id);
    const tags = ['stars', 'tree', 'familyScope', 'lineMode', 'pedigreeMode', 'generationRange', 'importFile',
      'portraitFile', 'restoreFile', 'showDescendants', 'coloredBranchesToggle', 'klnShowUnlinked']
      .map(id => [id, el(id).tagName.toLowerCase(), el(id).getAttribute('type')]);
    return {
      tags,
      placeholder: el('search').getAttribute('placeholder'),
      treeLabel: el('tree').getAttribute('aria-label'),
      treeFocusable: el('tree').hasAttribute('tabindex'),
      range: [el('generationRange').min, el('generationRange').max],
    };
  });
  assert.deepEqual(r.tags, [
    ['stars', 'canvas', null], ['tree', 'canvas', null], ['familyScope', 'select', null], ['lineMode', 'select', null],
    ['pedigreeMode', 'select', null], ['generationRange', 'input', 'range'], ['importFile', 'input', 'file'],
    ['portraitFile', 'input', 'file'], ['restoreFile', 'input', 'file'], ['showDescendants', 'input', 'checkbox'],
    ['coloredBranchesToggle', 'input', 'checkbox'], ['klnShowUnlinked', 'input', 'checkbox']]);
  assert.equal(r.placeholder, 'Find an ancestor in your tree…');
  assert.equal(r.treeLabel, 'Family graph, use WASD and arrow keys to pan; Delete removes selected person');
  assert.ok(r.treeFocusable);
  assert.deepEqual(r.range, ['1', '12']);
});

test('skeleton: regions in document order', async () => {
  // Header, graph area (with its command bar and what stands over the graph), person panel, overlays.
  const regions = [['homeBrand', 'search', 'saveIndicator', 'klnExportBtn'], ['graph', 'tree'],
    ['mode2', 'generationRange', 'welcome', 'statusMsg'], ['side', 'sideBody'],
    ['homeOverlay', 'modalLayer', 'toast', 'importFile']];
  const at = await staticMarkup(doc => Object.fromEntries([...doc.querySelectorAll('[id]')].map((el, i) => [el.id, i])));
  for (let r = 1; r < regions.length; r++)
    for (const earlier of regions[r - 1])
      for (const later of regions[r])
        assert.ok(at[earlier] < at[later], `#${earlier} stands before #${later}`);
  for (const id of regions[0].slice(1)) assert.ok(at[regions[0][0]] < at[id], `#${id} after the brand`);
});

test('the status line and the star canvas take no pointer input; the hidden selects are never shown', async () => {
  const r = await app.run(() => ({
    status: getComputedStyle($('statusMsg')).pointerEvents,
    stars: getComputedStyle($('stars')).pointerEvents,
    selects: ['familyScope', 'lineMode', 'pedigreeMode'].map(id => $(id).getClientRects().length),
  }));
  assert.deepEqual(r, { status: 'none', stars: 'none', selects: [0, 0, 0] });
});

test('start screens: the launch screen and the library overlay stand over the page', async () => {
  await app.reload();
  assert.equal(await app.visible('#sollaryLaunch'), true);
  assert.equal(await app.visible('#homeOverlay'), true);
  assert.match(await app.textContent('#sollaryLaunch'), /Start Exploring/);
});

test('first start: empty tree header, welcome panel, "Home / Root" disabled', async () => {
  assert.equal(await app.textContent('#branchTitle'), 'Your family universe');
  assert.equal(await app.textContent('#branchSub'), 'Import your GEDCOM or create relatives manually');
  assert.deepEqual(await app.run(() => [focus, rootPersonId, selected, persons.size, edges.length]),
    [null, null, null, 0, 0]);
  assert.equal(await app.visible('#welcome'), true);
  assert.equal(await app.page.locator('#rootBtn').isDisabled(), true);
});

test('start-up forces the connected view, shared lines and tidy pedigree, mirrored in the hidden selects', async t => {
  const initial = await app.run(() => [viewScope, lineMode, pedigreeMode,
    $('familyScope').value, $('lineMode').value, $('pedigreeMode').value]);
  assert.deepEqual(initial, ['connected', 'shared', 'tidy', 'connected', 'shared', 'tidy']);

  // A stored tree that says otherwise.
  await app.build(['Stored', 'Partner'], [['Stored', 'Partner', 'spouse']]);
  const stored = await app.run(async () => {
    viewScope = 'ancestors'; lineMode = 'separate'; pedigreeMode = 'all';
    $('familyScope').value = 'ancestors'; $('lineMode').value = 'separate'; $('pedigreeMode').value = 'all';
    await save();
    const data = treeData();
    return [data.viewScope, data.lineMode, data.pedigreeMode];
  });
  assert.deepEqual(stored, ['ancestors', 'separate', 'all']);
  await app.reload();
  if (await app.eval('typeof workspaceDB') !== 'function') return t.skip('trees are not stored yet');
  assert.equal(await app.eval('persons.size'), 2, 'the stored tree was opened again');
  const after = await app.run(() => [viewScope, lineMode, pedigreeMode,
    $('familyScope').value, $('lineMode').value, $('pedigreeMode').value]);
  assert.deepEqual(after, ['connected', 'shared', 'tidy', 'connected', 'shared', 'tidy']);
});

const layoutCases = [
  // [window width, header height, "Import GEDCOM" and "Tree settings" shown]
  [1280, 77, true],
  [751, 77, true],
  [749, 64, false],
  [600, 64, false],
];

for (const [width, headerHeight, wideButtons] of layoutCases)
  test(`layout at a window width of ${width}: header ${headerHeight} px, the page never scrolls`, async () => {
    await app.page.setViewportSize({ width, height: 800 });
    try {
      const r = await app.run(() => ({
        header: Math.round($('homeBrand').closest('header').getBoundingClientRect().height),
        buttons: ['importBtn', 'toolsBtn'].map(id => $(id).getClientRects().length > 0),
        scrolls: document.documentElement.scrollHeight > innerHeight || document.documentElement.scrollWidth > innerWidth,
        side: Math.round($('side').getBoundingClientRect().width),
      }));
      assert.equal(r.header, headerHeight);
      assert.deepEqual(r.buttons, [wideButtons, wideButtons]);
      assert.equal(r.scrolls, false);
      if (width >= 750) assert.equal(r.side, 365);
    } finally {
      await app.page.setViewportSize({ width: 1280, height: 800 });
    }
  });

test('theme: page background, text colour and base font', async () => {
  const r = await app.run(() => {
    const style = getComputedStyle(document.body);
    return [style.backgroundColor, style.color, style.fontSize];
  });
  assert.deepEqual(r, ['rgb(7, 16, 30)', 'rgb(236, 245, 255)', '13px']);
});

test('entering: the launch screen goes with "Start Exploring", the library with "Continue editing"', async () => {
  await app.reload();
  await app.enter();
  assert.equal(await app.visible('#sollaryLaunch'), false);
  assert.equal(await app.visible('#homeOverlay'), false);
  assert.equal(await app.visible('#tree'), true);
});
