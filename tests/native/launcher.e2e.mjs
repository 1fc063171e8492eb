// Kinloom.exe under wine with a stand-in msedge.exe (tests/native/tools/fake_edge.cpp) that records its
// command line and current folder: the exact Edge command line, the probe order, the file address,
// exit code pass-through, and every failure with its message and code.
import { test, before, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { CAPTION, MB, build, built, hideShellFolder, place, removeInstallation, run, unixPath, user, winPath } from './lib/wine.mjs';

const root = path.join(user.localAppData, '../../../../kln');
const appDir = path.join(root, 'app');
// wine resets ProgramFiles for every 64-bit process, so that probe uses the prefix's own folder.
const base = { pf86: path.join(root, 'pf86'), pf: unixPath('C:\\Program Files'), local: path.join(root, 'local') };
const edgeIn = (dir) => path.join(dir, 'Microsoft/Edge/Application/msedge.exe');
const recordIn = (dir) => path.join(dir, 'Microsoft/Edge/Application/edge-run.txt');
const fakeEdge = path.join(build, 'tests/msedge.exe');

const FLAGS = '--no-first-run --no-default-browser-check --disable-background-mode';
const MESSAGES = {
  2: 'The application HTML file is missing. Keep Kinloom.exe and Kinloom.html in the same folder.',
  3: 'Microsoft Edge was not found. Install or repair Microsoft Edge to run this Windows preview. Your family-tree data has not been changed.',
  4: 'Your local user data location is unavailable.',
  5: 'Microsoft Edge could not start Kinloom. Check the Edge installation and try again. Your saved family trees have not been changed.',
};

// Two of the probed variables pointing at our own folders; LOCALAPPDATA doubles as the profile base.
const ENV = { 'ProgramFiles(x86)': winPath(base.pf86), LOCALAPPDATA: winPath(base.local) };

function installApp(dir) {
  const launcher = place(built.launcher, path.join(dir, 'Kinloom.exe'));
  fs.writeFileSync(path.join(dir, 'Kinloom.html'), '<!doctype html><title>Kinloom</title>');
  return launcher;
}

function placeEdge(dir) {
  fs.mkdirSync(path.dirname(edgeIn(dir)), { recursive: true });
  fs.copyFileSync(fakeEdge, edgeIn(dir));
}

// What the stand-in Edge recorded: {commandLine, cwd}, or null when it did not run.
function edgeRun(dir) {
  if (!fs.existsSync(recordIn(dir))) return null;
  const [commandLine, cwd] = fs.readFileSync(recordIn(dir), 'utf8').split('\n');
  return { commandLine, cwd };
}

const edgeCommand = (edge, profile, url) => `"${edge}" ${FLAGS} --user-data-dir="${profile}" --app="${url}"`;

let launcher;
before(() => {
  fs.rmSync(root, { recursive: true, force: true });
  launcher = installApp(appDir);
});
beforeEach(() => {
  for (const dir of Object.values(base)) fs.rmSync(path.join(dir, 'Microsoft'), { recursive: true, force: true });
});

for (const [exitCode, delay] of [[0], [7], [255], [4000], [3221225477], [9, 1500]])
  test(`Edge runs with the exact command line; its exit code ${exitCode} is the launcher's${delay ? ' after a wait' : ''}`, () => {
    placeEdge(base.pf86);
    const set = { ...ENV, FAKE_EDGE_EXIT: String(exitCode), ...(delay ? { FAKE_EDGE_DELAY_MS: String(delay) } : {}) };
    const r = run(launcher, { set });
    assert.equal(r.code, exitCode);
    assert.deepEqual(r.boxes, []);
    assert.deepEqual(edgeRun(base.pf86), {
      commandLine: edgeCommand(winPath(edgeIn(base.pf86)), `${winPath(base.local)}\\Kinloom\\BrowserProfile`,
        'file:///' + winPath(appDir).replace(/\\/g, '/') + '/Kinloom.html'),
      cwd: winPath(appDir),
    });
    assert.ok(!fs.existsSync(path.join(base.local, 'Kinloom')), 'the launcher creates no profile folder');
  });

for (const [folder, url] of [
  ['A B#1 50%', 'file:///C:/kln/A%20B%231%2050%25/Kinloom.html'],
  ['Fam\u00edlia \u5bb6', 'file:///C:/kln/Fam\u00edlia%20\u5bb6/Kinloom.html'],
])
  test(`the document in "${folder}" opens as ${url}`, () => {
    placeEdge(base.pf86);
    const r = run(installApp(path.join(root, folder)), { set: ENV });
    assert.equal(r.code, 0);
    assert.ok(edgeRun(base.pf86).commandLine.endsWith(` --app="${url}"`), edgeRun(base.pf86).commandLine);
    assert.equal(edgeRun(base.pf86).cwd, `C:\\kln\\${folder}`);
  });

for (const [name, arrange, set, used] of [
  ['only ProgramFiles(x86)', () => placeEdge(base.pf86), ENV, 'pf86'],
  ['only ProgramFiles', () => placeEdge(base.pf), ENV, 'pf'],
  ['only the per-user LOCALAPPDATA', () => placeEdge(base.local), ENV, 'local'],
  ['ProgramFiles(x86) before ProgramFiles', () => { placeEdge(base.pf86); placeEdge(base.pf); }, ENV, 'pf86'],
  ['a folder named msedge.exe is passed over', () => { fs.mkdirSync(edgeIn(base.pf86), { recursive: true }); placeEdge(base.pf); }, ENV, 'pf'],
  ['a ProgramFiles(x86) of 1,798 characters is skipped', () => placeEdge(base.pf),
    { ...ENV, 'ProgramFiles(x86)': 'C:\\' + 'x'.repeat(1795) }, 'pf'],
  ['an unset ProgramFiles(x86) is skipped', () => placeEdge(base.pf), { LOCALAPPDATA: ENV.LOCALAPPDATA, unset: true }, 'pf'],
])
  test(`Edge probe: ${name}`, () => {
    arrange();
    const { unset, ...values } = set;
    const r = run(launcher, { set: values, unset: unset ? ['ProgramFiles(x86)'] : [] });
    assert.equal(r.code, 0);
    for (const [key, dir] of Object.entries(base)) assert.equal(edgeRun(dir) !== null, key === used, key);
    assert.ok(edgeRun(base[used]).commandLine.startsWith(`"${winPath(edgeIn(base[used]))}" --no-first-run`));
  });

test('a LOCALAPPDATA of 1,897 characters is the profile base', () => {
  placeEdge(base.pf);
  const long = 'C:\\' + 'p'.repeat(1894);
  const restore = hideShellFolder('Local AppData');
  try {
    const r = run(launcher, { set: { ...ENV, LOCALAPPDATA: long } });
    assert.equal(r.code, 0);
  } finally {
    restore();
  }
  assert.ok(edgeRun(base.pf).commandLine.includes(` --user-data-dir="${long}\\Kinloom\\BrowserProfile" `));
});

const FAILURES = [
  ['the document is missing', 2, () => { placeEdge(base.pf); fs.rmSync(path.join(appDir, 'Kinloom.html')); }, {}],
  ['the document is a folder', 2, () => { placeEdge(base.pf); fs.rmSync(path.join(appDir, 'Kinloom.html')); fs.mkdirSync(path.join(appDir, 'Kinloom.html')); }, {}],
  ['a missing document is reported before a missing Edge', 2, () => fs.rmSync(path.join(appDir, 'Kinloom.html')), {}],
  ['no Edge at any probed place', 3, () => {}, {}],
  ['a missing Edge is reported before a missing data folder', 3, () => {}, { unset: ['LOCALAPPDATA'], hide: true }],
  ['no LOCALAPPDATA and no shell folder', 4, () => placeEdge(base.pf), { unset: ['LOCALAPPDATA'], hide: true }],
  ['a LOCALAPPDATA of 1,898 characters and no shell folder', 4, () => placeEdge(base.pf), { set: { LOCALAPPDATA: 'C:\\' + 'p'.repeat(1895) }, hide: true }],
  ['msedge.exe is not a program', 5, () => { placeEdge(base.pf); fs.writeFileSync(edgeIn(base.pf), 'not a program'); }, {}],
];
for (const [name, code, arrange, { set = {}, unset = [], hide = false }] of FAILURES)
  test(`${name}: message and code ${code}`, () => {
    arrange();
    const restore = hide ? hideShellFolder('Local AppData') : () => {};
    let r;
    try {
      r = run(launcher, { set: { ...ENV, ...set }, unset });
    } finally {
      restore();
      fs.rmSync(path.join(appDir, 'Kinloom.html'), { recursive: true, force: true });
      fs.writeFileSync(path.join(appDir, 'Kinloom.html'), '<!doctype html><title>Kinloom</title>');
    }
    assert.equal(r.code, code);
    assert.deepEqual(r.boxes, [{ owner: 0, text: MESSAGES[code], caption: CAPTION, style: MB.OK_ERROR, result: -1 }]);
    for (const dir of Object.values(base)) assert.equal(edgeRun(dir), null);
  });

test('the installed launcher opens the installed document with the user\'s profile, which it leaves alone', () => {
  removeInstallation();
  const setup = place(built.setup, path.join(root, 'KinloomSetup.exe'));
  assert.equal(run(setup, { commandLine: `"${setup}" /quiet` }).code, 0);
  const programFiles86 = unixPath('C:\\Program Files (x86)');
  placeEdge(programFiles86);
  fs.mkdirSync(user.profileDir, { recursive: true });
  fs.writeFileSync(path.join(user.profileDir, 'Local State'), '{}');
  try {
    const installed = winPath(path.join(user.installDir, 'Kinloom.exe'));
    const r = run(installed, { set: { FAKE_EDGE_EXIT: '0' } });
    assert.equal(r.code, 0);
    const folder = winPath(user.installDir);
    assert.deepEqual(edgeRun(programFiles86), {
      commandLine: edgeCommand('C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe',
        `${winPath(user.localAppData)}\\Kinloom\\BrowserProfile`, 'file:///' + folder.replace(/\\/g, '/') + '/Kinloom.html'),
      cwd: folder,
    });
    assert.equal(fs.readFileSync(path.join(user.profileDir, 'Local State'), 'utf8'), '{}');
  } finally {
    fs.rmSync(path.join(programFiles86, 'Microsoft'), { recursive: true, force: true });
    removeInstallation();
  }
});
