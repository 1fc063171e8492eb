// GEDCOM import: choosing a file, decoding and checking it, adding its people and families to the open tree
// as people and links, and reporting what was added.
// Owns: bulkImport.

let bulkImport = false;

// A level-0 individual record: "0", white space, @id@, white space, INDI as a whole word.
const GEDCOM_INDI_RECORD = /\b0\s+@[^@]+@\s+INDI\b/;

function gedcomImportSource() {
  return { title: 'Imported GEDCOM file', url: '', detail: 'GEDCOM-provided claim; verify original sources.' };
}

function triggerImport() {
  $('importFile').click();
}

async function importFile(file) {
  if (!file) return;
  try {
    const raw = decodeGedcomBytes(await file.arrayBuffer());
    if (!GEDCOM_INDI_RECORD.test(raw)) throw new Error('This file does not contain GEDCOM individual records.');
    const { count, linked } = importGedcom(raw);
    if (!count) throw new Error('No people were found.');
    const groups = getConnectivity().components.length;
    toast('Imported ' + count + ' people, ' + linked + ' family links, ' + groups + ' parent-linked groups. ' +
      'Start with People → Entire connected tree. Use Tree health for details.');
  } catch (e) {
    console.warn('GEDCOM import failed:', e);
    toast('GEDCOM import failed: ' + (e && e.message ? e.message : String(e)));
  }
}

// Adds one family's links: a parent link from every parent to every child (with the role its sex gives),
// and a spouse link when the family has exactly two parents. Returns the number of links added.
function importFamilyLinks(family, idOf) {
  const parents = [];
  for (const ref of family.parents) {
    const id = idOf.get(ref);
    if (id && !parents.includes(id)) parents.push(id);
  }
  let linked = 0;
  for (const ref of family.children) {
    const child = idOf.get(ref);
    if (!child) continue;
    for (const parent of parents) {
      if (!addEdge(parent, child, 'parent', 'GEDCOM')) continue;
      linked++;
      const sex = String(persons.get(parent).sex || '').toUpperCase();
      if (sex === 'M') setParentRole(parent, child, 'father');
      else if (sex === 'F') setParentRole(parent, child, 'mother');
    }
  }
  if (parents.length === 2 && addEdge(parents[0], parents[1], 'spouse', 'GEDCOM')) linked++;
  return linked;
}

// Adds the people and links of GEDCOM text to the open tree: every draft through addPerson, every family
// through addEdge, every custom sibling reference as a sibling link, all with bulkImport set so nothing
// refreshes or saves halfway. Then the new people become the focus (and the home person of a tree that had
// none), are arranged as one block and the whole connected family is shown, refreshed once and saved.
function importGedcom(raw) {
  const before = persons.size;
  const hadRoot = !!rootPersonId && persons.has(rootPersonId);
  const { nodes, families, siblingRefs } = parseGedcom(raw);
  const refs = Object.keys(nodes);
  const idOf = new Map();
  const added = [];
  let linked = 0;
  bulkImport = true;
  try {
    for (const ref of refs) {
      // The drafts are the import's own, so each is completed in place rather than copied.
      const d = nodes[ref];
      d.name = d.name || 'Unknown ancestor';
      d.sources = [gedcomImportSource()];
      const id = addPerson(d);
      idOf.set(ref, id);
      added.push(id);
    }
    for (const ref of Object.keys(families)) linked += importFamilyLinks(families[ref], idOf);
    for (const [a, b] of siblingRefs) {
      const ia = idOf.get(a), ib = idOf.get(b);
      if (ia && ib && addEdge(ia, ib, 'sibling', 'GEDCOM custom sibling')) linked++;
    }
  } finally {
    bulkImport = false;
  }
  if (added.length) showImportedFamily(added, !hadRoot || before === 0);
  return { count: refs.length, linked };
}

function showImportedFamily(added, newRoot) {
  connectivityCache.key = '';
  tidyCache.key = '';
  const first = added[0];
  setViewState(newRoot ? { rootPersonId: first, focus: first, selected: first } : { focus: first, selected: first });
  autoArrangeTree(added, false);
  forceConnectedView();
  restoreGenerationSettings(999, true);
  singleLayoutCache.key = '';
  applyFamilyScope('connected', false);
  update();
  canvasSize();
  refreshGenerationControls(true);
  exploreTallTree();
}
