// Running the native programs under wine for the end-to-end tests. The prefix (build/wine, created by
// wine.sh init) is shared by all test files and run one at a time; drive T: is the native build folder.
// Programs start through envrun (full exit code, changed environment, exact command line) with
// MessageBoxW relay tracing, so that every message box shown is read back with its text and style.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const repo = process.env.KLN_REPO ? path.resolve(process.env.KLN_REPO) : path.resolve(here, '../../..');
export const build = process.env.KLN_NATIVE_BUILD ? path.resolve(process.env.KLN_NATIVE_BUILD) : path.join(repo, 'build/native');
export const wineRoot = process.env.KLN_WINE_ROOT ? path.resolve(process.env.KLN_WINE_ROOT) : path.join(repo, 'build/wine');
export const prefix = path.join(wineRoot, 'prefix');
const driveC = path.join(prefix, 'drive_c');

// The built programs and the document the setup program carries.
export const built = {
  launcher: path.join(build, 'Kinloom.exe'),
  uninstaller: path.join(build, 'Uninstall_Kinloom.exe'),
  setup: path.join(build, 'KinloomSetup.exe'),
  document: readCache('KINLOOM_DOCUMENT'),
};

function readCache(name) {
  const cache = fs.readFileSync(path.join(build, 'CMakeCache.txt'), 'utf8');
  const m = cache.match(new RegExp(`^${name}:[A-Z]+=(.*)$`, 'm'));
  return m[1];
}

export const CAPTION = 'Kinloom \u2014 Windows Preview';
export const MB = { OK_ERROR: 0x10, YESNO_QUESTION: 0x24, OK_INFORMATION: 0x40, YESNO_INFORMATION: 0x44 };
export const UNINSTALL_KEY = 'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kinloom';
const SHELL_FOLDERS_KEY = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders';

// The prefix's user (the Unix user wine runs as) and the folders of the installed layout.
const userName = () => fs.readdirSync(path.join(driveC, 'users')).find((u) => u !== 'Public');
export const user = {
  get localAppData() { return path.join(driveC, 'users', userName(), 'AppData/Local'); },
  get temp() { return path.join(driveC, 'users', userName(), 'Temp'); },
  get desktop() { return path.join(driveC, 'users', userName(), 'Desktop'); },
  get programs() { return path.join(driveC, 'users', userName(), 'AppData/Roaming/Microsoft/Windows/Start Menu/Programs'); },
  get installDir() { return path.join(this.localAppData, 'Programs/Kinloom'); },
  get profileDir() { return path.join(this.localAppData, 'Kinloom/BrowserProfile'); },
  get desktopShortcut() { return path.join(this.desktop, 'Kinloom.lnk'); },
  get startMenuShortcut() { return path.join(this.programs, 'Kinloom.lnk'); },
};

// Windows path of a Unix path inside drive C: or the build folder (drive T:).
export function winPath(unix) {
  const abs = path.resolve(unix);
  for (const [root, drive] of [[driveC, 'C:'], [build, 'T:']])
    if (abs === root || abs.startsWith(root + path.sep)) return drive + '\\' + path.relative(root, abs).split(path.sep).join('\\');
  throw new Error(`no drive for ${unix}`);
}

// Unix path of a Windows path on C: or T:.
export function unixPath(win) {
  const m = /^([CT]):\\?(.*)$/i.exec(win);
  const root = m[1].toUpperCase() === 'C' ? driveC : build;
  return path.join(root, ...m[2].split('\\').filter(Boolean));
}

export function wineEnv({ display = null, relay = false } = {}) {
  const env = {
    ...process.env,
    HOME: path.join(wineRoot, 'home'),
    WINEPREFIX: prefix,
    WINEDEBUG: relay ? '-all,+relay' : '-all',
    WINEDLLOVERRIDES: 'winemenubuilder.exe=d;mscoree=d;mshtml=d',
  };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  if (display) env.DISPLAY = display;
  return env;
}

export function wine(args, options = {}) {
  const r = spawnSync('wine', args, { env: wineEnv(options), encoding: 'utf8', timeout: 120000, maxBuffer: 64 << 20 });
  if (r.error) throw r.error;
  return r;
}

// Decodes one wine debug string starting at s[i] (just after L"); returns [text, index after it].
function debugString(s, i) {
  let out = '';
  while (i < s.length && s[i] !== '"') {
    if (s[i] !== '\\') { out += s[i++]; continue; }
    const c = s[i + 1];
    if (c === 'n') out += '\n';
    else if (c === 'r') out += '\r';
    else if (c === 't') out += '\t';
    else if (c === '\\' || c === '"') out += c;
    else { out += String.fromCharCode(parseInt(s.slice(i + 1, i + 5), 16)); i += 3; }
    i += 2;
  }
  if (s.startsWith('"...', i)) throw new Error('message text longer than wine traces');
  return [out, i + 1];
}

// The MessageBoxW calls in a relay trace: [{owner, text, caption, style, result}], in order.
export function messageBoxes(stderr) {
  const boxes = [];
  for (const line of stderr.split('\n')) {
    let at = line.indexOf('Call user32.MessageBoxW(');
    if (at >= 0) {
      at += 'Call user32.MessageBoxW('.length;
      const owner = parseInt(line.slice(at, line.indexOf(',', at)), 16);
      const [text, afterText] = debugString(line, line.indexOf('L"', at) + 2);
      const [caption, afterCaption] = debugString(line, line.indexOf('L"', afterText) + 2);
      const style = parseInt(line.slice(afterCaption + 1, line.indexOf(')', afterCaption)), 16);
      boxes.push({ owner, text, caption, style, result: null });
    }
    const ret = /Ret\s+user32\.MessageBoxW\(\) retval=([0-9a-f]+)/.exec(line);
    const open = boxes.findLast((b) => b.result === null);
    if (ret && open) open.result = parseInt(ret[1], 16) | 0;
  }
  return boxes;
}

// The program's own RegSetValueExW calls in a relay trace (calls returning into the image at
// 0x140000000, not those of system DLLs): [{name, type, bytes}], in order.
export function registryWrites(stderr) {
  return [...stderr.matchAll(/Call advapi32\.RegSetValueExW\(\w+,\w+ L"([^"]*)",\w+,(\w+),\w+,(\w+)\) ret=(\w+)/g)]
    .filter((m) => /^14[0-9a-f]{7}$/.test(m[4]))
    .map((m) => ({ name: m[1], type: parseInt(m[2], 16), bytes: parseInt(m[3], 16) }));
}

// Set when the uninstall entry must go before the next program runs: the next envrun or probe start
// deletes it on the way, which saves a wine start of its own.
let entryStale = false;

function envrunArgs({ set = {}, unset = [], cwd = null } = {}) {
  const args = entryStale ? ['-r', UNINSTALL_KEY] : [];
  entryStale = false;
  for (const [k, v] of Object.entries(set)) args.push('-e', `${k}=${v}`);
  for (const k of unset) args.push('-u', k);
  if (cwd) args.push('-d', cwd);
  return args;
}

function result(r) {
  const exit = /exit=(\d+)/.exec(r.stdout);
  const start = /start-failed=(\d+)/.exec(r.stdout);
  return {
    code: exit ? Number(exit[1]) : null,
    startError: start ? Number(start[1]) : null,
    boxes: messageBoxes(r.stderr),
    writes: registryWrites(r.stderr),
    stdout: r.stdout,
    stderr: r.stderr,
  };
}

// Runs a Windows program (path on C: or T:) and waits for it: {code (null if it did not start), boxes,
// writes (its registry writes), stdout, stderr}.
// commandLine is given to the program as it is (default: its quoted path); no display unless given.
export function run(program, { commandLine, display = null, ...envOptions } = {}) {
  const args = ['T:\\tests\\envrun.exe', ...envrunArgs(envOptions), '--', program];
  if (commandLine !== undefined) args.push(commandLine);
  return result(wine(args, { display, relay: true }));
}

// The same, started in the background (for dialogs answered while it runs): a promise of the result.
export function start(program, { commandLine, display = null, ...envOptions } = {}) {
  const args = ['T:\\tests\\envrun.exe', ...envrunArgs(envOptions), '--', program];
  if (commandLine !== undefined) args.push(commandLine);
  const child = spawn('wine', args, { env: wineEnv({ display, relay: true }) });
  let stdout = '', stderr = '';
  child.stdout.on('data', (d) => (stdout += d));
  child.stderr.on('data', (d) => (stderr += d));
  return new Promise((resolve) => child.on('close', () => resolve(result({ stdout, stderr }))));
}

// Copies a built program into the prefix (drive C:) and gives its Windows path.
export function place(file, unixTarget) {
  fs.mkdirSync(path.dirname(unixTarget), { recursive: true });
  fs.copyFileSync(file, unixTarget);
  return winPath(unixTarget);
}

// Answers of probe.exe to several queries at once (one wine start): [[query, lines]].
function probe(queries) {
  const r = wine(['T:\\tests\\probe.exe', ...(entryStale ? ['del', UNINSTALL_KEY] : []), ...queries.flat()]);
  const answers = [];
  for (const line of r.stdout.split('\n')) {
    if (line.startsWith('[del ')) continue;
    if (line.startsWith('[')) answers.push([line, []]);
    else if (line.trim()) answers.at(-1)[1].push(line.replace(/\r$/, ''));
  }
  if (answers.length !== queries.length) throw new Error(`probe answered ${answers.length} of ${queries.length}:\n${r.stdout}${r.stderr}`);
  entryStale = false;
  return answers.map(([, lines]) => lines);
}

function valuesOf(lines) {
  if (lines[0] === 'missing') return null;
  return lines.map((line) => {
    const [name, type, bytes, ...data] = line.split('|');
    return { name, type: Number(type), bytes: Number(bytes), data: data.join('|') };
  }).sort((a, b) => (a.name < b.name ? -1 : 1));
}

function linkOf(lines) {
  if (lines[0] === 'unreadable') return null;
  return Object.fromEntries(lines.map((l) => [l.slice(0, l.indexOf('=')), l.slice(l.indexOf('=') + 1)]));
}

// Registry values of HKCU\subkey by name: [{name, type, bytes, data}], or null without the key.
export function registryValues(subkey = UNINSTALL_KEY) {
  return valuesOf(probe([['reg', subkey]])[0]);
}

// What setup leaves for Windows to read, in one go: {entry (as registryValues), startMenu, desktop
// ({path, arguments, description, workdir, icon} as the shell link object reads them; null when missing)}.
export function readBack() {
  const [entry, startMenu, desktop] = probe([
    ['reg', UNINSTALL_KEY], ['lnk', winPath(user.startMenuShortcut)], ['lnk', winPath(user.desktopShortcut)],
  ]);
  return { entry: valuesOf(entry), startMenu: linkOf(startMenu), desktop: linkOf(desktop) };
}

// The key as `reg export` writes it (UTF-16 file), as text.
export function registryExport(key = 'HKCU\\' + UNINSTALL_KEY) {
  if (entryStale) probe([]);
  const out = path.join(driveC, 'kln-export.reg');
  fs.rmSync(out, { force: true });
  if (wine(['reg', 'export', key, winPath(out), '/y']).status !== 0) return null;
  return fs.readFileSync(out).toString('utf16le').replace(/^\uFEFF/, '').replace(/\r\n/g, '\n');
}

// Points a known user folder ("Programs", "Desktop", "Local AppData") at a folder that does not
// exist, so that the shell cannot find it; gives back a function that restores it.
export function hideShellFolder(name) {
  const r = wine(['reg', 'query', SHELL_FOLDERS_KEY, '/v', name]);
  const old = /REG_EXPAND_SZ\s+(.*)\r?$/m.exec(r.stdout)[1].trim();
  wine(['reg', 'add', SHELL_FOLDERS_KEY, '/v', name, '/t', 'REG_EXPAND_SZ', '/d', 'C:\\missing\\' + name.replace(/ /g, ''), '/f']);
  return () => wine(['reg', 'add', SHELL_FOLDERS_KEY, '/v', name, '/t', 'REG_EXPAND_SZ', '/d', old, '/f']);
}

// Removes every trace of an installation (folder, shortcuts, registration); the profile stays.
export function removeInstallation() {
  fs.rmSync(user.installDir, { recursive: true, force: true });
  fs.rmSync(user.desktopShortcut, { force: true });
  fs.rmSync(user.startMenuShortcut, { force: true });
  entryStale = true;
}

export function sameBytes(a, b) {
  return fs.readFileSync(a).equals(fs.readFileSync(b));
}
