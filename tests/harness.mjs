// Browser harness for `node --test` files: opens the real dist/Kinloom.html in headless Chromium through
// playwright-core, one browser (and one fresh profile) per test file, shared by the tests of that file.
//
//   import { test } from 'node:test';
//   import { useApp } from '../harness.mjs';
//   const app = useApp();                      // launches before the first test, closes after the last
//   test('...', async () => { await app.call('addPerson', { name: 'Ada' }); ... });
//
// A console error or an uncaught page error during a test fails that test (checked after each test);
// a test that provokes one on purpose declares it with app.expectConsole(/text/).
// The app keeps its state in top-level let/const of classic scripts, which are not window properties:
// app.eval('persons.size') and app.run(() => persons.size) both run in the page's global scope and see them.

import { before, after, beforeEach, afterEach } from 'node:test';
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const DOCUMENT = process.env.KINLOOM_DOCUMENT || path.join(ROOT, 'dist', 'Kinloom.html');
export const DOCUMENT_URL = pathToFileURL(DOCUMENT).href;

export const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// A scratch folder with the profile and Chromium's own config and cache folders. Chromium writes to
// ~/.config and ~/.cache even with a profile, so XDG_* point into the scratch folder too.
export function scratchFolder(prefix = 'kinloom-test-') {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  fs.mkdirSync(path.join(dir, 'xdg-config'));
  fs.mkdirSync(path.join(dir, 'xdg-cache'));
  process.env.XDG_CONFIG_HOME = path.join(dir, 'xdg-config');
  process.env.XDG_CACHE_HOME = path.join(dir, 'xdg-cache');
  return dir;
}

export async function launchBrowser(profileDir, options = {}) {
  if (!fs.existsSync(DOCUMENT)) throw new Error(`missing ${DOCUMENT}: run make document first`);
  return chromium.launchPersistentContext(profileDir, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: CHROMIUM_ARGS,
    acceptDownloads: true,
    viewport: options.viewport || { width: 1280, height: 800 },
    locale: options.locale || 'en-US',
    timezoneId: options.timezoneId || 'UTC',
  });
}

const matches = (pattern, text) => typeof pattern === 'string' ? text.includes(pattern) : pattern.test(text);

// One application page, kept across the tests of a file. Methods are thin, named after what a user or a
// test does; `page` and `context` stay available for anything else playwright offers.
export class App {
  constructor(options = {}) {
    this.options = options;
    this.dir = null;
    this.context = null;
    this.page = null;
    this.answers = [];        // queued answers for the next confirm/prompt/alert boxes
    this.dialogs = [];        // {type, message, defaultValue, answer} of every box shown in the current test
    this.messages = [];       // {type, text} of every console message in the current test
    this.errors = [];         // console errors and uncaught page errors in the current test
    this.expected = [];       // patterns of console errors the current test provokes on purpose
    this.requests = [];       // addresses the page asked for since the last open/reload
  }

  get profile() { return path.join(this.dir, 'profile'); }

  async launch() {
    if (!this.dir) this.dir = scratchFolder();
    this.context = await launchBrowser(this.profile, this.options);
    this.page = this.context.pages()[0] || await this.context.newPage();
    this.page.setDefaultTimeout(this.options.timeout || 30000);
    this.watch(this.page);
    return this;
  }

  watch(page) {
    page.on('console', msg => {
      const entry = { type: msg.type(), text: msg.text() };
      this.messages.push(entry);
      // Tests run without a network: a portrait address the user typed fails to load, which the browser
      // reports by itself. That is the machine's state, not a fault of the page.
      const offlineLoad = /^Failed to load resource: net::ERR_(NAME_NOT_RESOLVED|INTERNET_DISCONNECTED|ADDRESS_UNREACHABLE|CONNECTION_REFUSED)/;
      if (entry.type === 'error' && !offlineLoad.test(entry.text)) this.errors.push(`console error: ${entry.text}`);
    });
    page.on('pageerror', err => this.errors.push(`uncaught page error: ${err.stack || err.message || err}`));
    page.on('request', req => this.requests.push(req.url()));
    page.on('dialog', async dialog => {
      const type = dialog.type();
      const answer = this.answers.length ? this.answers.shift() : undefined;
      this.dialogs.push({ type, message: dialog.message(), defaultValue: dialog.defaultValue(), answer });
      try {
        if (type === 'alert' || type === 'beforeunload') await dialog.accept();
        else if (type === 'prompt') answer === undefined || answer === null || answer === false
          ? await dialog.dismiss() : await dialog.accept(answer === true ? dialog.defaultValue() : String(answer));
        else answer ? await dialog.accept() : await dialog.dismiss();
      } catch { /* the page went away while the box was open */ }
    });
  }

  // Loads the document and waits until start-up has finished (library overlay shown, a frame painted).
  async open() {
    this.requests = [];
    await this.page.goto(DOCUMENT_URL, { waitUntil: 'load' });
    await this.ready();
    return this;
  }

  async reload() {
    this.requests = [];
    await this.page.reload({ waitUntil: 'load' });
    await this.ready();
    return this;
  }

  // A real restart: the browser closes and starts again on the same profile folder.
  async relaunch() {
    await this.context.close();
    await this.launch();
    return this.open();
  }

  async ready() {
    await this.page.waitForLoadState('load');
    try {
      await this.page.locator('#homeOverlay').waitFor({ state: 'visible' });
    } catch (e) {
      throw new Error(`start-up did not show the library: ${e.message.split('\n')[0]}\n${this.errors.join('\n')}`);
    }
    await this.frames(2);
  }

  // Leaves the start screens as a user does: the studio card (Enter), "Start Exploring", then the library.
  async enter() {
    const splash = this.page.locator('.kln-studio-splash');
    if (await splash.count() && await splash.first().isVisible()) {
      await this.page.keyboard.press('Enter');
      await splash.first().waitFor({ state: 'hidden', timeout: 3000 }).catch(() => {});
    }
    const launch = this.page.locator('#sollaryLaunch');
    if (await launch.isVisible()) {
      await launch.getByRole('button', { name: /Start Exploring/ }).click();
      await launch.waitFor({ state: 'hidden' });
    }
    await this.closeLibrary();
    await this.frames(1);
    return this;
  }

  async closeLibrary() {
    const home = this.page.locator('#homeOverlay');
    if (!await home.isVisible()) return;
    const close = this.page.locator('#homeClose');
    await (await close.count() ? close : home.getByRole('button', { name: /Continue editing|Close/ })).click();
    await home.waitFor({ state: 'hidden' });
  }

  // Waits for n animation frames of the page (the frame loop paints in them).
  frames(n = 1) {
    return this.page.evaluate(n => new Promise(done => {
      const step = () => (n-- > 0 ? requestAnimationFrame(step) : done());
      step();
    }), n);
  }

  // Page-context evaluation: a string expression, or a function with one serialisable argument.
  eval(expression) { return this.page.evaluate(expression); }
  run(fn, arg) { return this.page.evaluate(fn, arg); }

  // Calls a global function of the page by name (found in the page's global scope, let/const included).
  // The name is evaluated by the debugger protocol, not by the page's eval, which the page's CSP forbids;
  // wrapped in a list because playwright would call a function that a string expression yields.
  async call(name, ...args) {
    const fn = await this.page.evaluateHandle(`[${name}]`);
    try {
      return await fn.evaluate(([f], args) => f(...args), args);
    } finally {
      await fn.dispose().catch(() => {});
    }
  }

  // Empties the open tree in memory without going through any dialog.
  emptyTree() {
    return this.run(() => {
      persons.clear();
      edges.length = 0;
      focus = selected = rootPersonId = null;
      expanded = new Set();
      update();
    });
  }

  // Replaces the open tree (unless `keep`) by people and links, added through addPerson and addEdge with
  // bulkImport set, then refreshes once. People are names or person inputs (a `key` names them when the
  // name does not); links are [key, key, type]. Returns {key: id}. A refused link throws.
  build(people, links = [], { keep = false } = {}) {
    return this.run(({ people, links, keep }) => {
      if (!keep) {
        persons.clear();
        try { edges = []; } catch { edges.length = 0; }
        focus = selected = rootPersonId = null;
        expanded = new Set();
      }
      const ids = {};
      bulkImport = true;
      try {
        for (const p of people) {
          const d = typeof p === 'string' ? { name: p } : p;
          const { key, ...input } = d;
          ids[key || d.name] = addPerson(input);
        }
        for (const [a, b, type] of links)
          if (!addEdge(ids[a], ids[b], type)) throw new Error(`refused: ${a} ${type} ${b}`);
      } finally {
        bulkImport = false;
      }
      update();
      return ids;
    }, { people, links, keep });
  }

  // Counts the calls of a global function (which keeps working) until the returned `restore` runs;
  // app.eval(`__calls.NAME`) lists the times (Date.now()) of the calls.
  async countCalls(name) {
    await this.page.evaluate(`(() => {
      window.__calls = window.__calls || {};
      window.__calls[${JSON.stringify(name)}] = [];
      const original = ${name};
      window.__originals = window.__originals || {};
      window.__originals[${JSON.stringify(name)}] = original;
      ${name} = function (...args) {
        window.__calls[${JSON.stringify(name)}].push(Date.now());
        return original.apply(this, args);
      };
    })()`);
    return {
      count: () => this.page.evaluate(`window.__calls[${JSON.stringify(name)}].length`),
      times: () => this.page.evaluate(`window.__calls[${JSON.stringify(name)}]`),
      restore: () => this.page.evaluate(`${name} = window.__originals[${JSON.stringify(name)}]`),
    };
  }

  // Runs `fn(arg)` in the page and counts the calls it makes, synchronously, to the named global functions
  // (work the calls queue for later, such as microtasks, is not counted). Returns {result, calls: {name: n}}.
  runCounting(names, fn, arg) {
    const wrap = names.map(n => `saved.${n} = ${n}; calls.${n} = 0;
      ${n} = function (...args) { calls.${n}++; return saved.${n}.apply(this, args); };`).join('\n');
    const unwrap = names.map(n => `${n} = saved.${n};`).join(' ');
    return this.page.evaluate(`(() => {
      const calls = {}, saved = {};
      ${wrap}
      try {
        return { result: (${fn})(${arg === undefined ? '' : JSON.stringify(arg)}), calls: { ...calls } };
      } finally {
        ${unwrap}
      }
    })()`);
  }

  click(selector, options) { return this.page.locator(selector).first().click(options); }
  dblclick(selector, options) { return this.page.locator(selector).first().dblclick(options); }

  // Types as a user does, key by key, into the element (focused by a click first).
  async type(selector, text) {
    await this.click(selector);
    await this.page.keyboard.type(text);
  }

  fill(selector, text) { return this.page.locator(selector).first().fill(text); }

  async press(key, selector) {
    if (selector) await this.page.locator(selector).first().press(key);
    else await this.page.keyboard.press(key);
  }

  // Answers for the next boxes, in order: true/false for confirm, text (or null to cancel) for prompt.
  // A box with no queued answer is dismissed. Every box is recorded in `dialogs`.
  answer(...answers) { this.answers.push(...answers); }

  // Runs `action` and returns the download it starts: {name, bytes}.
  async download(action) {
    const [download] = await Promise.all([this.page.waitForEvent('download'), action()]);
    const file = await download.path();
    return { name: download.suggestedFilename(), bytes: fs.readFileSync(file) };
  }

  text(selector) { return this.page.locator(selector).first().innerText(); }
  textContent(selector) { return this.page.locator(selector).first().textContent(); }
  visible(selector) { return this.page.locator(selector).first().isVisible(); }
  async exists(selector) { return (await this.page.locator(selector).count()) > 0; }

  async screenshot(file) {
    fs.mkdirSync(path.dirname(path.resolve(file)), { recursive: true });
    await this.page.screenshot({ path: file });
    return file;
  }

  // Replaces the page's timers and clock by playwright's fake clock, stopped: time moves only by tick().
  async pauseClock() {
    await this.page.clock.install();
    const now = await this.page.evaluate(() => Date.now());
    await this.page.clock.pauseAt(now + 1000);
  }

  tick(ms) { return this.page.clock.runFor(ms); }

  // Declares a console error the current test provokes on purpose.
  expectConsole(pattern) { this.expected.push(pattern); }

  startTest() {
    this.answers = [];
    this.dialogs = [];
    this.messages = [];
    this.errors = [];
    this.expected = [];
  }

  // The errors of the current test that were not declared; events still in flight arrive first.
  async unexpectedErrors() {
    if (this.page && !this.page.isClosed()) await this.page.evaluate(() => 0).catch(() => {});
    return this.errors.filter(e => !this.expected.some(p => matches(p, e)));
  }

  async close() {
    if (this.context) await this.context.close().catch(() => {});
    this.context = this.page = null;
    if (this.dir && !process.env.KINLOOM_KEEP_PROFILE) fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// Registers the hooks of a test file: launch and open before the first test (and leave the start screens
// unless `enter: false`), error check after each test, close after the last. `setup(app)` runs last in the
// same hook: a file's own top-level before() would not wait for the launch (root hooks run concurrently).
export function useApp(options = {}) {
  const app = new App(options);
  before(async () => {
    await app.launch();
    app.startTest();
    if (options.open !== false) {
      await app.open();
      if (options.enter !== false) await app.enter();
    }
    if (options.setup) await options.setup(app);
    const errors = await app.unexpectedErrors();
    if (errors.length) throw new Error(`start-up:\n${errors.join('\n')}`);
  });
  beforeEach(() => app.startTest());
  afterEach(async () => {
    const errors = await app.unexpectedErrors();
    if (errors.length) throw new Error(errors.join('\n'));
  });
  after(() => app.close());
  return app;
}
