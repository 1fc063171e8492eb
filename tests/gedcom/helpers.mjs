// Helpers shared by the GEDCOM tests: accepting the import advisory, importing through the file input,
// reading the tree back in a comparable form.
import path from 'node:path';
import { ROOT } from '../harness.mjs';

export const SHARED_GEDCOM = path.resolve(ROOT, '..', 'shared', 'gedcom');
export const ADVISORY_KEY = 'kinloom:gedcom-import-notice:v1';

// Marks the advisory accepted on this profile and restarts the page, as after a first confirmed import.
export async function acceptAdvisory(app) {
  await app.run(key => localStorage.setItem(key, 'accepted'), ADVISORY_KEY);
  await app.reload();
  await app.enter();
}

// The file as the file input takes it: text (a name is made up) or {path} relative to the repository.
export function fileFor(input, name = 'family.ged') {
  if (typeof input === 'object' && input.path) return path.resolve(ROOT, input.path);
  return { name, mimeType: 'text/plain', buffer: Buffer.isBuffer(input) ? input : Buffer.from(input, 'utf8') };
}

// Waits for the next toast and returns its text.
export async function nextToast(app, action) {
  await app.run(() => { $('toast').textContent = ''; });
  await action();
  await app.page.waitForFunction(() => $('toast').textContent !== '', null, { timeout: 60000 });
  return app.text('#toast');
}

// Chooses the file in the import file input (as the file chooser does) and returns the toast it ends with.
export function importText(app, input, name) {
  return nextToast(app, () => app.page.setInputFiles('#importFile', fileFor(input, name)));
}

// The open tree by names: people in order, their sexes, and links as [a, b, type, source, role].
export function treeSummary(app) {
  return app.run(() => {
    const name = id => persons.get(id).name;
    return {
      names: [...persons.values()].map(p => p.name),
      sexes: [...persons.values()].map(p => p.sex),
      links: edges.map(e => [name(e.a), name(e.b), e.type, e.source, e.role || null]),
    };
  });
}
