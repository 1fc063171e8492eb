// The one-time GEDCOM import advisory, driven by real clicks, keys and file choices: it stops the first import
// attempts of a profile, cancelling leaves everything as it was, confirming replays the attempt and is
// remembered across restarts (or for the page alone when storage fails).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';
import { ADVISORY_KEY, fileFor, nextToast } from './helpers.mjs';

const app = useApp();

const LAYER = '.kln-gedcom-notice-layer';
const CONTINUE = 'I understand — continue';

const layerCount = () => app.page.locator(LAYER).count();
const stored = () => app.run(key => localStorage.getItem(key), ADVISORY_KEY);

// A fresh start on a profile that has not accepted the advisory.
async function forget() {
  await app.run(key => localStorage.removeItem(key), ADVISORY_KEY);
  await app.reload();
  await app.enter();
  await app.emptyTree();
}

// Counts the file choosers the page opens while `action` runs.
async function choosersDuring(action) {
  let count = 0;
  const seen = () => { count++; };
  app.page.on('filechooser', seen);
  try {
    await action();
    await app.frames(2);
  } finally {
    app.page.off('filechooser', seen);
  }
  return count;
}

test('the first "Import GEDCOM" shows the advisory instead of the file chooser', async () => {
  await forget();
  assert.equal(await choosersDuring(() => app.click('#importBtn')), 0);
  assert.equal(await layerCount(), 1);
  const d = await app.run(() => {
    const dialog = document.querySelector('.kln-gedcom-notice-dialog');
    const label = document.getElementById(dialog.getAttribute('aria-labelledby'));
    const description = document.getElementById(dialog.getAttribute('aria-describedby'));
    return {
      role: dialog.getAttribute('role'), modal: dialog.getAttribute('aria-modal'),
      title: label.textContent, description: description.textContent, firstParagraph: dialog.querySelector('p') === description,
      text: dialog.innerText.replace(/\s+/g, ' ').trim(),
      bold: [...dialog.querySelectorAll('li strong')].map(b => b.textContent),
      buttons: [...dialog.querySelectorAll('button')].map(b => b.textContent),
      focusInside: dialog.contains(document.activeElement),
      styles: document.querySelectorAll('style').length,
    };
  });
  assert.deepEqual([d.role, d.modal, d.title], ['dialog', 'true', 'A quick note about large GEDCOM files']);
  assert.equal(d.description, 'Kinloom supports large family trees, but their appearance and performance can vary ' +
    'depending on how many relatives are connected.');
  assert.equal(d.firstParagraph, true);
  assert.equal(d.text, 'BEFORE IMPORTING YOUR FAMILY TREE A quick note about large GEDCOM files Kinloom supports large ' +
    'family trees, but their appearance and performance can vary depending on how many relatives are connected. ' +
    'Large trees may run more slowly, especially in 3D mode. Automatic layouts are not always perfect. You may ' +
    'need to move people or edit branches to get the appearance you want. Trees with many descendants can appear ' +
    'crowded or unusual in some family formations. Descendant-heavy layouts are still being refined. You can still ' +
    'import your GEDCOM. This is a visual and performance advisory, not a restriction. Cancel import ' + CONTINUE +
    ' This notice appears once per app profile after you confirm.');
  assert.deepEqual(d.bold, ['Large trees may run more slowly', 'Automatic layouts are not always perfect.',
    'Trees with many descendants can appear crowded or unusual']);
  assert.deepEqual(d.buttons, ['Cancel import', CONTINUE]);
  assert.equal(d.focusInside, true);

  // Tab and Shift+Tab stay on the two buttons; a click on the backdrop does nothing.
  const focused = () => app.run(() => document.activeElement.textContent);
  const order = [];
  for (const key of ['Tab', 'Tab', 'Tab', 'Shift+Tab', 'Shift+Tab']) { await app.press(key); order.push(await focused()); }
  assert.deepEqual(order, ['Cancel import', CONTINUE, 'Cancel import', CONTINUE, 'Cancel import']);
  await app.page.mouse.click(5, 5);
  assert.equal(await layerCount(), 1);

  // Escape cancels: the layer and its style sheet go, the focus returns, nothing is stored or opened.
  await app.press('Escape');
  assert.equal(await layerCount(), 0);
  assert.equal(await app.run(() => document.querySelectorAll('style').length), d.styles - 1);
  assert.equal(await app.run(() => document.activeElement.id), 'importBtn');
  assert.equal(await stored(), null);
});

test('"Cancel import" leaves everything as it was; the library import creates no tree before confirming', async () => {
  await forget();
  await app.click('#importBtn');
  assert.equal(await choosersDuring(() => app.page.getByRole('button', { name: 'Cancel import' }).click()), 0);
  assert.equal(await layerCount(), 0);
  await app.click('#homeBrand');
  const trees = await app.eval('treeDirectory.length');
  await app.click('#importNewTreeBtn');
  assert.equal(await layerCount(), 1);
  await app.page.getByRole('button', { name: 'Cancel import' }).click();
  assert.deepEqual(app.dialogs, [], 'no name was asked for');
  assert.equal(await app.eval('treeDirectory.length'), trees);
  await app.closeLibrary();
});

test('confirming opens the file chooser; later imports go straight to it, also after a restart', async () => {
  await forget();
  await app.click('#welcomeImport');
  assert.equal(await choosersDuring(() => app.page.getByRole('button', { name: CONTINUE }).click()), 1);
  assert.equal(await layerCount(), 0);
  assert.equal(await stored(), 'accepted');
  assert.equal(await choosersDuring(() => app.click('#importBtn')), 1);
  assert.equal(await layerCount(), 0);
  await app.relaunch();
  await app.enter();
  assert.equal(await choosersDuring(() => app.click('#importBtn')), 1);
  assert.equal(await layerCount(), 0);
});

test('a file chosen without a click: the advisory first, then the import; cancelling clears the choice', async () => {
  await forget();
  const couple = fileFor('0 HEAD\n0 @I1@ INDI\n1 NAME Ann /Lee/\n0 @I2@ INDI\n1 NAME Bo /Lee/\n0 TRLR', 'couple.GED.txt');
  await app.page.setInputFiles('#importFile', couple);
  assert.equal(await layerCount(), 1);
  assert.equal(await app.eval('persons.size'), 0);
  await app.page.getByRole('button', { name: 'Cancel import' }).click();
  assert.deepEqual([await app.eval('persons.size'), await app.eval("$('importFile').files.length")], [0, 0]);
  await app.page.setInputFiles('#importFile', couple);
  const message = await nextToast(app, () => app.page.getByRole('button', { name: CONTINUE }).click());
  assert.match(message, /^Imported 2 people, 0 family links, 2 parent-linked groups\./);
});

test('a scripted click on the import file input is stopped as well', async () => {
  await forget();
  assert.equal(await choosersDuring(() => app.run(() => $('importFile').click())), 0);
  assert.equal(await layerCount(), 1);
  await app.press('Escape');
  assert.equal(await layerCount(), 0);
});

test('other buttons and files are not stopped', async () => {
  await forget();
  assert.equal(await choosersDuring(async () => {
    await app.click('#toolsBtn');
    await app.page.getByRole('button', { name: 'Full backup / restore (JSON)' }).click();
    await app.page.getByRole('button', { name: 'Restore a backup' }).click();
  }), 1);
  assert.equal(await layerCount(), 0);
  await app.call('closeModal');
  const message = await nextToast(app, () => app.page.setInputFiles('#importFile', fileFor('hello', 'notes.txt')));
  assert.equal(message, 'GEDCOM import failed: This file does not contain GEDCOM individual records.');
});

test('when storage fails, the acceptance holds for the page only', async () => {
  await forget();
  app.expectConsole(/quota|advisory|storage/i);
  await app.run(() => { Storage.prototype.setItem = () => { throw new Error('quota'); }; });
  await app.click('#importBtn');
  assert.equal(await choosersDuring(() => app.page.getByRole('button', { name: CONTINUE }).click()), 1);
  assert.equal(await choosersDuring(() => app.click('#importBtn')), 1);
  await app.reload();
  await app.enter();
  await app.click('#importBtn');
  assert.equal(await layerCount(), 1);
  await app.press('Escape');
});
