// Merge, delete and unlink on a 100,000-person tree: opening the merge review (ranking every profile by
// similarity), one keystroke in its search box, the merge itself, deleting one person and unlinking one
// relationship. Each figure is the quickest of a few runs, which keeps a busy machine out of it.
export const name = 'merge';

const PEOPLE = 100000;

// Couples with two children each, generation after generation, with varied names and births.
function buildTree(count) {
  const first = ['Maria', 'José', 'Anna', 'Jean', 'Ólafur', 'Zoë', 'John', 'Mary', 'Wilhelm', 'Sofía', 'Liam', 'Nora'];
  const last = ['Olsen', 'García', "O'Brien", 'Müller', 'Nowak', 'Dubois', 'Smith', 'Rossi', 'Jensen', 'Silva'];
  let seed = 7;
  const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
  const pick = list => list[Math.floor(random() * list.length)];
  const people = new Map(), links = [];
  for (let i = 0; i < count; i++) {
    const id = 'b' + i;
    people.set(id, { id, name: pick(first) + ' ' + pick(last), birth: String(1600 + Math.floor(i / 400) + Math.floor(random() * 10)),
      birthPlace: pick(last) + 'ville', notes: '', sources: [], events: [], external: {} });
  }
  for (let i = 2; i < count; i++) {
    const parent = 'b' + (2 * Math.floor((i - 2) / 4));
    links.push({ a: parent, b: 'b' + i, type: 'parent', source: 'bench' });
    if (i % 2 === 0) links.push({ a: 'b' + i, b: 'b' + (i + 1), type: 'spouse', source: 'bench' });
  }
  replaceFamily(people, links.filter(e => people.has(e.b)));
  setViewState({ focus: 'b0', selected: 'b0', rootPersonId: 'b0', expanded: ['b0'] });
  update();
  return persons.size;
}

function measure() {
  const quickest = (n, f) => {
    let best = Infinity;
    for (let i = 0; i < n; i++) {
      const start = performance.now();
      f(i);
      best = Math.min(best, performance.now() - start);
    }
    return best;
  };
  const PEOPLE_END = persons.size;
  const source = 'b' + (persons.size - 10);
  const open = quickest(3, () => { openMergeModal(source); void $('mergeCompare').offsetHeight; });
  const input = $('mergeQuery');
  const key = quickest(3, i => {
    input.value = i % 2 ? 'mar' : 'ma';
    input.dispatchEvent(new Event('input'));
    void $('mergeCompare').offsetHeight;
  });
  closeModal();
  const realConfirm = window.confirm;
  window.confirm = () => true;
  exportJSON = () => {};
  // Two people of neighbouring families near the end of the tree: neither related as spouses, siblings
  // nor ancestors.
  const merge = quickest(3, i => {
    const from = 'b' + (PEOPLE_END - 20 - 8 * i), to = 'b' + (PEOPLE_END - 27 - 8 * i);
    if (!mergePeople(from, to)) throw new Error('merge refused: ' + from + ' into ' + to);
  });
  const del = quickest(3, i => deletePerson('b' + (1000 + i)));
  const unlink = quickest(3, () => {
    openWheelUnlink('b' + 5000);
    $('modalSave').click();
  });
  window.confirm = realConfirm;
  return { open, key, merge, del, unlink };
}

export async function run(app) {
  const size = await app.run(`(${buildTree})(${PEOPLE})`);
  const t = await app.run(`(${measure})()`);
  const people = size.toLocaleString('en-US') + ' people';
  return [
    [`merge review opened, every profile ranked (${people})`, t.open],
    [`merge review, one keystroke in the search box (${people})`, t.key],
    [`merge of two profiles (${people})`, t.merge],
    [`delete one person (${people})`, t.del],
    [`unlink one relationship (${people})`, t.unlink],
  ];
}
