// Shared steps of the people tests: reading the toast and the open dialog, selecting, stubbing a global.

export const toastText = app => app.textContent('#toast');

// Waits until the toast reads `text` (toasts are set synchronously, so this rarely waits).
export async function expectToast(app, text) {
  await app.page.waitForFunction(t => document.getElementById('toast').textContent === t, text, { timeout: 3000 })
    .catch(async () => { throw new Error(`toast is "${await toastText(app)}", expected "${text}"`); });
}

export const dialogOpen = app => app.run(() => !$('modalLayer').classList.contains('hidden'));
export const dialogTitle = app => app.run(() => {
  const layer = $('modalLayer');
  return layer.classList.contains('hidden') ? null : layer.querySelector('h2').textContent;
});

export async function closeDialog(app) {
  if (await dialogOpen(app)) await app.call('closeModal');
}

// Shows the person in the panel on the given tab, as a click on the tab button does.
export async function showPerson(app, id, tab = 'profile') {
  await app.call('selectPerson', id);
  await app.click(`#side .tab[data-tab="${tab}"]`);
}

// Replaces a global function by a recorder (nothing of the original runs) until `restore` is called.
export async function stub(app, name) {
  await app.page.evaluate(`(() => {
    window.__stubs = window.__stubs || {};
    window.__stubs[${JSON.stringify(name)}] = { original: ${name}, calls: [] };
    ${name} = (...args) => { window.__stubs[${JSON.stringify(name)}].calls.push(args); };
  })()`);
  return {
    calls: () => app.page.evaluate(`window.__stubs[${JSON.stringify(name)}].calls`),
    restore: () => app.page.evaluate(`${name} = window.__stubs[${JSON.stringify(name)}].original`),
  };
}

// A button of the panel body or the dialog layer, found by its visible text.
export const panelButton = (app, text) => app.page.locator('#sideBody button', { hasText: text }).first();
export const dialogButton = (app, text) => app.page.locator('#modalLayer button', { hasText: text }).first();

// Person records and relationship records of the open tree, for comparing whole results.
export const record = (app, id) => app.run(id => persons.get(id) || null, id);
export const parentLinks = (app, child) => app.run(child => edges.filter(e => e.type === 'parent' && e.b === child)
  .map(e => ({ a: e.a, role: e.role || null })), child);
export const linksBetween = (app, a, b) => app.run(([a, b]) => edges.filter(e =>
  (e.a === a && e.b === b) || (e.a === b && e.b === a)).map(e => e.type + (e.type === 'parent' ? (e.a === a ? '>' : '<') : '')), [a, b]);
