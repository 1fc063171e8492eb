// KinloomSetup.exe under wine, without a display: silent installs and what they leave behind (files,
// shortcuts, uninstall entry read back as Windows reads them), updates, silent switches, and failures.
import { test, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import {
  CAPTION, MB, built, hideShellFolder, place, readBack, registryExport, registryValues, removeInstallation, run,
  sameBytes, user, winPath,
} from './lib/wine.mjs';

const setup = place(built.setup, path.join(user.localAppData, '../../Downloads/KinloomSetup.exe'));
const quiet = (extra = {}) => run(setup, { commandLine: `"${setup}" /quiet`, ...extra });
const INSTALL_QUESTION =
  'Install Kinloom for this Windows user?\n\nLocation: %LOCALAPPDATA%\\Programs\\Kinloom\\\nShortcuts: Desktop and Start ' +
  'Menu\n\nExisting app files will be updated. Your saved family trees live in a separate folder and will not be deleted.';
const FILES = [['Kinloom.html', built.document], ['Kinloom.exe', built.launcher], ['Uninstall_Kinloom.exe', built.uninstaller]];

function assertNothingInstalled() {
  assert.ok(!fs.existsSync(user.installDir), 'installation folder');
  assert.ok(!fs.existsSync(user.desktopShortcut), 'desktop shortcut');
  assert.ok(!fs.existsSync(user.startMenuShortcut), 'Start Menu shortcut');
  assert.equal(registryValues(), null, 'uninstall entry');
}

const link = (folder) => ({
  path: `${folder}\\Kinloom.exe`,
  arguments: '',
  description: 'Open Kinloom',
  workdir: folder,
  icon: `${folder}\\Kinloom.exe,0`,
});

// The files in `folder` (a Unix path) as built, and what Windows reads back: the entry and the shortcuts.
function assertInstalled(folder, { startMenu = true, desktop = true } = {}) {
  for (const [name, source] of FILES) assert.ok(sameBytes(path.join(folder, name), source), name);
  const win = winPath(folder), found = readBack();
  assert.deepEqual(found.entry, sorted(expectedEntry(win)));
  assert.deepEqual(found.startMenu, startMenu ? link(win) : null);
  assert.deepEqual(found.desktop, desktop ? link(win) : null);
}

// The uninstall entry's values in the order written.
function expectedEntry(folder) {
  const kib = Math.ceil(FILES.reduce((sum, [, f]) => sum + fs.statSync(f).size, 0) / 1024);
  const text = (name, data) => ({ name, type: 1, bytes: 2 * (data.length + 1), data });
  return [
    text('DisplayName', 'Kinloom'),
    text('DisplayVersion', '0.9.0-preview.2'),
    text('Publisher', 'Kinloom'),
    text('InstallLocation', folder),
    text('DisplayIcon', `${folder}\\Kinloom.exe`),
    text('UninstallString', `"${folder}\\Uninstall_Kinloom.exe"`),
    { name: 'NoModify', type: 4, bytes: 4, data: '1' },
    { name: 'NoRepair', type: 4, bytes: 4, data: '1' },
    { name: 'EstimatedSize', type: 4, bytes: 4, data: String(kib) },
  ];
}

const sorted = (values) => [...values].sort((a, b) => (a.name < b.name ? -1 : 1));

beforeEach(removeInstallation);

test('a silent install writes the three files, both shortcuts and the uninstall entry, and shows nothing', () => {
  fs.mkdirSync(user.profileDir, { recursive: true });
  fs.writeFileSync(path.join(user.profileDir, 'trees.ldb'), 'family');
  const r = quiet();
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, []);

  assert.deepEqual(fs.readdirSync(user.installDir).sort(), FILES.map(([n]) => n).sort());
  assertInstalled(user.installDir);
  const folder = winPath(user.installDir);
  assert.deepEqual(r.writes, expectedEntry(folder).map(({ name, type, bytes }) => ({ name, type, bytes })));
  const exported = registryExport();
  const regText = (s) => s.replace(/\\/g, '\\\\').replace(/"/g, '\\"');
  for (const line of [
    `"DisplayName"="Kinloom"`,
    `"DisplayVersion"="0.9.0-preview.2"`,
    `"Publisher"="Kinloom"`,
    `"InstallLocation"="${regText(folder)}"`,
    `"DisplayIcon"="${regText(folder + '\\Kinloom.exe')}"`,
    `"UninstallString"="${regText(`"${folder}\\Uninstall_Kinloom.exe"`)}"`,
    `"NoModify"=dword:00000001`,
    `"NoRepair"=dword:00000001`,
    `"EstimatedSize"=dword:${Number(expectedEntry(folder)[8].data).toString(16).padStart(8, '0')}`,
  ])
    assert.ok(exported.split('\n').includes(line), `reg export lacks ${line}\n${exported}`);

  assert.equal(fs.readFileSync(path.join(user.profileDir, 'trees.ldb'), 'utf8'), 'family');
});

test('installing again updates the files and the entry, and keeps other files and the profile', () => {
  assert.equal(quiet().code, 0);
  fs.writeFileSync(path.join(user.installDir, 'Kinloom.html'), 'stale');
  fs.writeFileSync(path.join(user.installDir, 'notes.txt'), 'mine');
  fs.rmSync(user.desktopShortcut);
  fs.mkdirSync(user.profileDir, { recursive: true });
  fs.writeFileSync(path.join(user.profileDir, 'trees.ldb'), 'family');

  assert.equal(quiet().code, 0);
  assertInstalled(user.installDir);
  assert.equal(fs.readFileSync(path.join(user.installDir, 'notes.txt'), 'utf8'), 'mine');
  assert.equal(fs.readFileSync(path.join(user.profileDir, 'trees.ldb'), 'utf8'), 'family');
});

const SWITCHES = [
  ['/quiet', true], ['/silent', true], ['/s', true], ['--quiet', true], ['--silent', true],
  ['/QUIET', true], ['--Silent', true], ['/S', true], ['first /s', true],
  ['', false], ['/quiet2', false], ['-quiet', false], ['/silently', false], ['-s', false], ['"/quiet"', false],
];
for (const [args, silent] of SWITCHES)
  test(`command line [${args}] ${silent ? 'installs silently' : 'asks first (unanswered: nothing happens)'}`, () => {
    const r = run(setup, { commandLine: `"${setup}" ${args}`.trimEnd() });
    assert.equal(r.code, 0);
    if (silent) {
      assert.deepEqual(r.boxes, []);
      assert.ok(sameBytes(path.join(user.installDir, 'Kinloom.exe'), built.launcher));
      return;
    }
    // Without a display the question cannot be answered Yes: setup ends without changing anything.
    assert.deepEqual(r.boxes, [{ owner: 0, text: INSTALL_QUESTION, caption: CAPTION, style: MB.YESNO_QUESTION, result: -1 }]);
    assertNothingInstalled();
  });

test('an existing installation folder is accepted', () => {
  fs.mkdirSync(user.installDir, { recursive: true });
  assert.equal(quiet().code, 0);
  assert.ok(sameBytes(path.join(user.installDir, 'Uninstall_Kinloom.exe'), built.uninstaller));
});

test('a file in place of the installation folder ends with code 2, silently', () => {
  fs.mkdirSync(path.dirname(user.installDir), { recursive: true });
  fs.writeFileSync(user.installDir, 'not a folder');
  const r = quiet();
  assert.equal(r.code, 2);
  assert.deepEqual(r.boxes, []);
  assert.equal(fs.readFileSync(user.installDir, 'utf8'), 'not a folder');
  assert.ok(!fs.existsSync(user.desktopShortcut) && !fs.existsSync(user.startMenuShortcut));
  assert.equal(registryValues(), null);
  fs.rmSync(user.installDir);
});

for (const [blocked, written] of [['Kinloom.html', []], ['Kinloom.exe', ['Kinloom.html']], ['Uninstall_Kinloom.exe', ['Kinloom.html', 'Kinloom.exe']]])
  test(`an unwritable ${blocked} ends with code 3, keeping the files written before it`, () => {
    fs.mkdirSync(path.join(user.installDir, blocked), { recursive: true });
    const r = quiet();
    assert.equal(r.code, 3);
    assert.deepEqual(r.boxes, []);
    assert.deepEqual(fs.readdirSync(user.installDir).sort(), [blocked, ...written].sort());
    for (const name of written) assert.ok(sameBytes(path.join(user.installDir, name), FILES.find(([n]) => n === name)[1]), name);
    assert.ok(!fs.existsSync(user.desktopShortcut) && !fs.existsSync(user.startMenuShortcut));
    assert.equal(registryValues(), null);
  });

for (const hidden of ['Programs', 'Desktop'])
  test(`without a ${hidden} folder only the other shortcut is made, and the install succeeds`, () => {
    const restore = hideShellFolder(hidden);
    try {
      assert.equal(quiet().code, 0);
    } finally {
      restore();
    }
    assertInstalled(user.installDir, { startMenu: hidden !== 'Programs', desktop: hidden !== 'Desktop' });
  });

test('LOCALAPPDATA decides the folder; a value of 1,948 characters is ignored', () => {
  const alt = path.join(user.localAppData, '../../kln-alt-local');
  fs.rmSync(alt, { recursive: true, force: true });
  fs.mkdirSync(alt, { recursive: true });
  assert.equal(quiet({ set: { LOCALAPPDATA: winPath(alt) } }).code, 0);
  assertInstalled(path.join(alt, 'Programs/Kinloom'));
  fs.rmSync(alt, { recursive: true });

  removeInstallation();
  assert.equal(quiet({ set: { LOCALAPPDATA: 'C:\\' + 'v'.repeat(1945) } }).code, 0);
  assert.ok(sameBytes(path.join(user.installDir, 'Kinloom.exe'), built.launcher));
});

test('a LOCALAPPDATA whose parent is missing cannot hold the folder: code 2', () => {
  const r = quiet({ set: { LOCALAPPDATA: 'C:\\kln-missing\\deeper' } });
  assert.equal(r.code, 2);
  assert.ok(!fs.existsSync(path.join(user.localAppData, '../../../../kln-missing')));
});

test('with no local application-data folder at all, setup installs under the drive root', () => {
  const root = path.join(user.localAppData, '../../../..');
  const restore = hideShellFolder('Local AppData');
  try {
    const r = quiet({ unset: ['LOCALAPPDATA'], cwd: 'C:\\' });
    assert.equal(r.code, 0);
  } finally {
    restore();
  }
  const folder = path.join(root, 'Programs/Kinloom');
  for (const [name, source] of FILES) assert.ok(sameBytes(path.join(folder, name), source), name);
  assert.equal(registryValues().find((v) => v.name === 'InstallLocation').data, '\\Programs\\Kinloom');
  fs.rmSync(path.join(root, 'Programs'), { recursive: true });
});
