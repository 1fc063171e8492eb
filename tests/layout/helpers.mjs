// Test helpers for the layout: a small GEDCOM loader for real files (individuals, families, husbands, wives
// and children only), and page-side readers of the visible set and its points.
import fs from 'node:fs';
import path from 'node:path';
import { ROOT } from '../harness.mjs';

export const GEDCOM_DIR = path.resolve(ROOT, '..', 'shared', 'gedcom');

// People {key, name, sex, birth} and families {parents, children} of a GEDCOM file, in file order.
export function readGedcomFamilies(file) {
  const text = fs.readFileSync(path.join(GEDCOM_DIR, file), 'utf8').replace(/^\uFEFF/, '');
  const people = [], families = [];
  let person = null, family = null, inBirth = false;
  for (const raw of text.split(/\r\n|\r|\n/)) {
    const m = raw.trim().match(/^(\d+)\s+(?:(@[^@]+@)\s+)?(\S+)\s?(.*)$/);
    if (!m) continue;
    const [, level, xref, tag, value] = m;
    if (level === '0') {
      person = family = null;
      if (tag === 'INDI' && xref) people.push(person = { key: xref, name: '', sex: '', birth: '' });
      else if (tag === 'FAM' && xref) families.push(family = { parents: [], children: [] });
      continue;
    }
    if (level === '1') inBirth = tag === 'BIRT';
    if (person) {
      if (level === '1' && tag === 'NAME' && !person.name) person.name = value.replace(/\//g, '').replace(/\s+/g, ' ').trim();
      else if (level === '1' && tag === 'SEX') person.sex = value.trim();
      else if (level === '2' && tag === 'DATE' && inBirth && !person.birth) person.birth = value.trim();
    } else if (family && level === '1') {
      if (tag === 'HUSB' || tag === 'WIFE') family.parents.push(value.trim());
      else if (tag === 'CHIL') family.children.push(value.trim());
    }
  }
  return { people, families };
}

// Replaces the open tree by the people and families of a GEDCOM file, as an import links them: a parent
// link from each parent to each child, a spouse link for two parents. Refused links are skipped. The
// first person becomes the home person. Returns {key: id}.
export async function loadGedcom(app, file) {
  const { people, families } = readGedcomFamilies(file);
  return app.run(({ people, families }) => {
    persons.clear();
    try { edges = []; } catch { edges.length = 0; }
    setViewState({ focus: null, selected: null, rootPersonId: null, expanded: [] });
    const ids = {};
    bulkImport = true;
    try {
      for (const p of people) ids[p.key] = addPerson({ name: p.name, sex: p.sex, birth: p.birth });
      for (const f of families) {
        const parents = [...new Set(f.parents.map(k => ids[k]).filter(Boolean))];
        for (const c of f.children) if (ids[c]) for (const p of parents) addEdge(p, ids[c], 'parent', 'GEDCOM');
        if (parents.length === 2) addEdge(parents[0], parents[1], 'spouse', 'GEDCOM');
      }
    } finally {
      bulkImport = false;
    }
    update();
    return ids;
  }, { people, families });
}

// The visible ids and their base points: [[id, {x, y, z, gen}]] in visible order (people without a point
// are listed with null).
export function visiblePoints(app) {
  return app.run(() => {
    const ids = displayed();
    const layout = buildLayout(ids);
    return ids.map(id => [id, layout.has(id) ? { ...layout.get(id) } : null]);
  });
}

// Empties every layout and connectivity cache key, so the next call recomputes from the records.
export function forgetLayouts(app) {
  return app.run(() => {
    klnInvalidatePositionLayoutCaches();
    connectivityCache.key = '';
    tidyCache.key = '';
  });
}

// A point with -0 written as 0, for comparisons with literal numbers.
export const plain = p => p && Object.fromEntries(Object.entries(p).map(([k, v]) => [k, Object.is(v, -0) ? 0 : v]));
