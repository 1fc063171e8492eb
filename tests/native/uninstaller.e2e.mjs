// Uninstall_Kinloom.exe under wine, without a display: the cleanup stage removes exactly what setup
// wrote and leaves the browser profile, its guard, the stage switch, and the declined first stage.
// (The answered first stage runs in interactive.e2e.mjs.)
import { test, before, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { CAPTION, MB, built, hideShellFolder, place, readBack, removeInstallation, run, user, winPath } from './lib/wine.mjs';

const NOTICE =
  'Kinloom app files have been removed.\n\nYour family-tree saves and photos are still preserved in:\n' +
  '%LOCALAPPDATA%\\Kinloom\\BrowserProfile\\\n\nAny remaining files in the installation folder can be removed manually.';
const QUESTION =
  'Uninstall Kinloom?\n\nThis removes the application and its shortcuts, but DOES NOT delete your saved family trees, ' +
  'photos, or backups.\n\nClose Kinloom before continuing.';
const NO_FOLDER = 'Cannot determine the protected app installation directory.';

const notice = { owner: 0, text: NOTICE, caption: CAPTION, style: MB.OK_INFORMATION, result: -1 };
let setup;

function install() {
  removeInstallation();
  assert.equal(run(setup, { commandLine: `"${setup}" /quiet` }).code, 0);
  fs.mkdirSync(user.profileDir, { recursive: true });
  fs.writeFileSync(path.join(user.profileDir, 'trees.ldb'), 'family');
}

// The uninstaller copied to the temporary folder, as the first stage does: its Windows path.
function temporaryCopy(id) {
  return place(built.uninstaller, path.join(user.temp, `KLN_Uninstaller${id}.exe`));
}

const temporaryCopies = () => fs.readdirSync(user.temp).filter((f) => /^KLN_Uninstaller/.test(f));

function assertRemoved() {
  assert.ok(!fs.existsSync(user.installDir), 'installation folder');
  assert.deepEqual(readBack(), { entry: null, startMenu: null, desktop: null });
  assert.ok(!fs.existsSync(user.startMenuShortcut) && !fs.existsSync(user.desktopShortcut));
  assert.equal(fs.readFileSync(path.join(user.profileDir, 'trees.ldb'), 'utf8'), 'family', 'the profile');
  assert.ok(fs.existsSync(path.dirname(user.installDir)), 'the Programs folder stays');
}

function assertStillInstalled() {
  for (const name of ['Kinloom.exe', 'Kinloom.html', 'Uninstall_Kinloom.exe']) assert.ok(fs.existsSync(path.join(user.installDir, name)), name);
  const found = readBack();
  assert.ok(found.entry && found.startMenu && found.desktop);
}

before(() => {
  setup = place(built.setup, path.join(user.localAppData, '../../Downloads/KinloomSetup.exe'));
});
beforeEach(() => {
  for (const f of temporaryCopies()) fs.rmSync(path.join(user.temp, f));
});

test('the cleanup stage removes the files, shortcuts, entry and folder, and keeps the profile', () => {
  install();
  const neighbour = path.join(path.dirname(user.installDir), 'Other/app.txt');
  fs.mkdirSync(path.dirname(neighbour), { recursive: true });
  fs.writeFileSync(neighbour, 'another program');
  const copy = temporaryCopy(4312);
  const r = run(copy, { commandLine: `"${copy}" --cleanup` });
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, [notice]);
  assertRemoved();
  assert.equal(fs.readFileSync(neighbour, 'utf8'), 'another program');
  fs.rmSync(path.dirname(neighbour), { recursive: true });
});

test('a cleanup stage started inside the installation folder still removes the folder', () => {
  // What a first stage started by a double-click in the installation folder hands on: that folder
  // as current directory, which a process cannot remove while it holds it.
  install();
  const copy = temporaryCopy(31);
  const r = run(copy, { commandLine: `"${copy}" --cleanup`, cwd: winPath(user.installDir) });
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, [notice]);
  assertRemoved();
});

test('a file the user added keeps the folder; the program files still go', () => {
  install();
  fs.writeFileSync(path.join(user.installDir, 'notes.txt'), 'mine');
  const copy = temporaryCopy(77);
  const r = run(copy, { commandLine: `"${copy}" --cleanup` });
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, [notice]);
  assert.deepEqual(fs.readdirSync(user.installDir), ['notes.txt']);
  assert.deepEqual(readBack(), { entry: null, startMenu: null, desktop: null });
});

test('started with --cleanup from the installation folder, it removes the installation at once', () => {
  install();
  const installed = winPath(path.join(user.installDir, 'Uninstall_Kinloom.exe'));
  const r = run(installed, { commandLine: `"${installed}" --cleanup` });
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, [notice]);
  for (const name of ['Kinloom.exe', 'Kinloom.html']) assert.ok(!fs.existsSync(path.join(user.installDir, name)), name);
  assert.deepEqual(readBack(), { entry: null, startMenu: null, desktop: null });
  removeInstallation();
});

for (const [args, cleanup] of [['x--cleanupx', true], ['--cleanup-now', true], ['--CLEANUP', false], ['/cleanup', false], ['', false]])
  test(`command line [${args}] runs the ${cleanup ? 'cleanup' : 'first'} stage`, () => {
    install();
    const installed = winPath(path.join(user.installDir, 'Uninstall_Kinloom.exe'));
    const copy = temporaryCopy(5);
    const program = cleanup ? copy : installed;
    const r = run(program, { commandLine: `"${program}" ${args}`.trimEnd() });
    assert.equal(r.code, 0);
    if (cleanup) {
      assert.deepEqual(r.boxes, [notice]);
      assertRemoved();
      return;
    }
    // Without a display the question is not answered Yes: nothing changes, no copy is made.
    assert.deepEqual(r.boxes, [{ owner: 0, text: QUESTION, caption: CAPTION, style: MB.YESNO_QUESTION, result: -1 }]);
    assertStillInstalled();
    assert.deepEqual(temporaryCopies(), ['KLN_Uninstaller5.exe']);
  });

for (const [name, options] of [
  ['LOCALAPPDATA unset', { unset: ['LOCALAPPDATA'] }],
  ['LOCALAPPDATA empty', { set: { LOCALAPPDATA: '' } }],
  ['LOCALAPPDATA of 1,948 characters', { set: { LOCALAPPDATA: 'C:\\' + 'v'.repeat(1945) } }],
])
  test(`${name} and no shell folder: the cleanup deletes nothing and ends with code 1`, () => {
    install();
    const copy = temporaryCopy(9);
    const restore = hideShellFolder('Local AppData');
    let r;
    try {
      r = run(copy, { commandLine: `"${copy}" --cleanup`, ...options });
    } finally {
      restore();
    }
    assert.equal(r.code, 1);
    assert.deepEqual(r.boxes, [{ owner: 0, text: NO_FOLDER, caption: CAPTION, style: MB.OK_ERROR, result: -1 }]);
    assertStillInstalled();
  });

test('without a Start Menu folder, the cleanup leaves that shortcut and removes the rest', () => {
  install();
  const copy = temporaryCopy(11);
  const restore = hideShellFolder('Programs');
  let r;
  try {
    r = run(copy, { commandLine: `"${copy}" --cleanup` });
  } finally {
    restore();
  }
  assert.equal(r.code, 0);
  assert.ok(!fs.existsSync(user.installDir));
  const found = readBack();
  assert.equal(found.entry, null);
  assert.equal(found.desktop, null);
  assert.equal(found.startMenu.path, `${winPath(user.installDir)}\\Kinloom.exe`);
  removeInstallation();
});
