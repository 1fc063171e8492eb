// The programs as a person uses them: under a virtual display (Xvfb), every message box is found by its
// caption and answered with the keyboard (xdotool). Screenshots of the dialogs go to
// <native build>/screens/ for looking at them.
import { test, before, after, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { xwdToPng } from './lib/png.mjs';
import { CAPTION, MB, build, built, place, readBack, removeInstallation, run, start, unixPath, user, winPath } from './lib/wine.mjs';

const IDOK = 1, IDYES = 6, IDNO = 7;
const TEXT = {
  install: 'Install Kinloom for this Windows user?\n\nLocation: %LOCALAPPDATA%\\Programs\\Kinloom\\\nShortcuts: Desktop and ' +
    'Start Menu\n\nExisting app files will be updated. Your saved family trees live in a separate folder and will not be deleted.',
  installed: 'Kinloom is installed!\n\nLaunch it using the Desktop or Start Menu shortcut.\nTo remove the app, open Windows ' +
    'Settings > Installed apps.\n\nYour family-tree data is stored separately and is preserved during updates and uninstall.' +
    '\n\nLaunch Kinloom now?',
  noFolder: 'Unable to create the app directory. Check folder permissions.',
  notWritten: 'Installation could not finish. Close any open Kinloom windows, then run setup again. Your existing ' +
    'family-tree data has not been removed.',
  uninstall: 'Uninstall Kinloom?\n\nThis removes the application and its shortcuts, but DOES NOT delete your saved family ' +
    'trees, photos, or backups.\n\nClose Kinloom before continuing.',
  removed: 'Kinloom app files have been removed.\n\nYour family-tree saves and photos are still preserved in:\n' +
    '%LOCALAPPDATA%\\Kinloom\\BrowserProfile\\\n\nAny remaining files in the installation folder can be removed manually.',
  noTemp: 'Cannot access the temporary directory for uninstall.',
  notCopied: 'Unable to prepare the uninstaller. Close the application and try again.',
};
const box = (text, style, result) => ({ owner: 0, text, caption: CAPTION, style, result });

const screens = path.join(build, 'screens');
const frameDir = fs.mkdtempSync(path.join(os.tmpdir(), 'kln-xvfb-'));
let xvfb, display, setup;

function xdotool(...args) {
  return spawnSync('xdotool', args, { env: { ...process.env, DISPLAY: display }, encoding: 'utf8' });
}

const pause = (ms) => new Promise((r) => setTimeout(r, ms));
const visibleBoxes = () => xdotool('search', '--onlyvisible', '--name', `^${CAPTION}$`).stdout.split('\n').filter(Boolean);

async function waitFor(check, ms = 30000) {
  for (const end = Date.now() + ms; !check() && Date.now() < end;) await pause(200);
  return check();
}

// The next message box with the product caption: its X window id. (X reuses window ids across
// processes, so a box is known by being on screen; answer() waits until each box is gone.)
async function nextBox() {
  let found;
  if (!(await waitFor(() => ([found] = visibleBoxes()).length, 60000))) throw new Error('no message box appeared');
  await pause(400);  // let it paint
  return found;
}

function screenshot(name) {
  fs.mkdirSync(screens, { recursive: true });
  fs.writeFileSync(path.join(screens, `${name}.png`), xwdToPng(fs.readFileSync(path.join(frameDir, 'Xvfb_screen0'))));
}

// Answers the box with a key (y, n, Return), sent to that box's window; pressed again if the box
// is still there after a while (a busy machine may drop the first press).
async function answer(id, key) {
  assert.equal(xdotool('getwindowname', id).stdout.trim(), CAPTION);
  for (let attempt = 0; attempt < 5; attempt++) {
    xdotool('key', '--window', id, key);
    if (await waitFor(() => !visibleBoxes().includes(id), 5000)) return;
  }
  throw new Error(`the box did not take the key ${key}`);
}

const edgeDir = () => path.join(unixPath('C:\\Program Files (x86)'), 'Microsoft/Edge/Application');
const edgeRecord = () => path.join(edgeDir(), 'edge-run.txt');

before(async () => {
  xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp', '-fbdir', frameDir],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  display = ':' + (await new Promise((resolve) => xvfb.stdio[3].once('data', (d) => resolve(String(d).trim()))));
  setup = place(built.setup, path.join(user.localAppData, '../../Downloads/KinloomSetup.exe'));
  fs.mkdirSync(edgeDir(), { recursive: true });
  fs.copyFileSync(path.join(build, 'tests/msedge.exe'), path.join(edgeDir(), 'msedge.exe'));
});
after(() => {
  xvfb?.kill();
  fs.rmSync(path.dirname(path.dirname(edgeDir())), { recursive: true, force: true });
  fs.rmSync(frameDir, { recursive: true, force: true });
});
beforeEach(() => {
  removeInstallation();
  fs.rmSync(edgeRecord(), { force: true });
});

test('setup asks first; No changes nothing', async () => {
  const running = start(setup, { display });
  const id = await nextBox();
  screenshot('setup-question');
  await answer(id, 'n');
  const r = await running;
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, [box(TEXT.install, MB.YESNO_QUESTION, IDNO)]);
  assert.ok(!fs.existsSync(user.installDir));
  assert.deepEqual(readBack(), { entry: null, startMenu: null, desktop: null });
});

test('Yes installs; Yes to the last question starts Kinloom, which opens Edge', async () => {
  const running = start(setup, { display });
  await answer(await nextBox(), 'y');
  const done = await nextBox();
  screenshot('setup-installed');
  await answer(done, 'y');
  const r = await running;
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes, [box(TEXT.install, MB.YESNO_QUESTION, IDYES), box(TEXT.installed, MB.YESNO_INFORMATION, IDYES)]);
  assert.ok(fs.readFileSync(path.join(user.installDir, 'Kinloom.exe')).equals(fs.readFileSync(built.launcher)));
  assert.ok(readBack().entry);
  assert.ok(await waitFor(() => fs.existsSync(edgeRecord()) && fs.readFileSync(edgeRecord(), 'utf8').includes('\n')));
  const folder = winPath(user.installDir);
  assert.deepEqual(fs.readFileSync(edgeRecord(), 'utf8').split('\n').slice(0, 2), [
    `"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe" --no-first-run --no-default-browser-check ` +
      `--disable-background-mode --user-data-dir="${winPath(user.localAppData)}\\Kinloom\\BrowserProfile" ` +
      `--app="file:///${folder.replace(/\\/g, '/')}/Kinloom.html"`,
    folder,
  ]);
});

test('No to the last question leaves Kinloom closed', async () => {
  const running = start(setup, { display });
  await answer(await nextBox(), 'y');
  await answer(await nextBox(), 'n');
  const r = await running;
  assert.equal(r.code, 0);
  assert.deepEqual(r.boxes.map((b) => b.result), [IDYES, IDNO]);
  assert.ok(fs.existsSync(path.join(user.installDir, 'Kinloom.html')));
  assert.ok(!fs.existsSync(edgeRecord()));
});

for (const [name, arrange, text, code] of [
  ['a file in place of the folder', () => { fs.mkdirSync(path.dirname(user.installDir), { recursive: true }); fs.writeFileSync(user.installDir, ''); }, TEXT.noFolder, 2],
  ['a folder in place of Kinloom.exe', () => fs.mkdirSync(path.join(user.installDir, 'Kinloom.exe'), { recursive: true }), TEXT.notWritten, 3],
])
  test(`setup shows why it stops: ${name} (code ${code})`, async () => {
    arrange();
    const running = start(setup, { display });
    await answer(await nextBox(), 'y');
    const error = await nextBox();
    screenshot(`setup-error-${code}`);
    await answer(error, 'Return');
    const r = await running;
    assert.equal(r.code, code);
    assert.deepEqual(r.boxes, [box(TEXT.install, MB.YESNO_QUESTION, IDYES), box(text, MB.OK_ERROR, IDOK)]);
    fs.rmSync(user.installDir, { recursive: true, force: true });
  });

// The temporary copies the first stage made: names that carry a process id.
const copies = () => fs.readdirSync(user.temp).filter((f) => /^KLN_Uninstaller/.test(f));

test('uninstalling twice: each first stage runs its own temporary copy, which removes everything', async () => {
  for (const f of copies()) fs.rmSync(path.join(user.temp, f));
  for (const round of [1, 2]) {
    assert.equal(run(setup, { commandLine: `"${setup}" /quiet` }).code, 0);
    fs.mkdirSync(user.profileDir, { recursive: true });
    fs.writeFileSync(path.join(user.profileDir, 'trees.ldb'), 'family');
    const uninstaller = winPath(path.join(user.installDir, 'Uninstall_Kinloom.exe'));
    const running = start(uninstaller, { display });
    const question = await nextBox();
    if (round === 1) screenshot('uninstall-question');
    await answer(question, 'y');
    const notice = await nextBox();
    if (round === 1) screenshot('uninstall-removed');
    await answer(notice, 'Return');
    const r = await running;
    assert.equal(r.code, 0);
    assert.deepEqual(r.boxes, [box(TEXT.uninstall, MB.YESNO_QUESTION, IDYES), box(TEXT.removed, MB.OK_INFORMATION, IDOK)]);
    assert.ok(!fs.existsSync(user.installDir));
    assert.deepEqual(readBack(), { entry: null, startMenu: null, desktop: null });
    assert.equal(fs.readFileSync(path.join(user.profileDir, 'trees.ldb'), 'utf8'), 'family');
    assert.equal(copies().length, round);
  }
  for (const f of copies()) {
    assert.match(f, /^KLN_Uninstaller[1-9][0-9]*\.exe$/);
    assert.ok(fs.readFileSync(path.join(user.temp, f)).equals(fs.readFileSync(built.uninstaller)));
  }
});

for (const [name, TMP, text, code] of [
  ['a temporary folder path of 2,000 characters', 'C:\\' + 't'.repeat(1997), TEXT.noTemp, 3],
  ['a temporary folder that does not exist', 'C:\\kln-no-such-temp', TEXT.notCopied, 4],
])
  test(`the first stage stops on ${name} (code ${code}) and changes nothing`, async () => {
    assert.equal(run(setup, { commandLine: `"${setup}" /quiet` }).code, 0);
    const uninstaller = winPath(path.join(user.installDir, 'Uninstall_Kinloom.exe'));
    const running = start(uninstaller, { display, set: { TMP, TEMP: TMP } });
    await answer(await nextBox(), 'y');
    await answer(await nextBox(), 'Return');
    const r = await running;
    assert.equal(r.code, code);
    assert.deepEqual(r.boxes, [box(TEXT.uninstall, MB.YESNO_QUESTION, IDYES), box(text, MB.OK_ERROR, IDOK)]);
    assert.ok(fs.existsSync(path.join(user.installDir, 'Kinloom.exe')));
    assert.ok(readBack().entry);
  });
