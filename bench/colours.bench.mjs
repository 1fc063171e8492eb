// Family line colours: the line colours of a whole home group (parent index, heads, hues) and the
// neighbourhoods of the whole tree, cold (keys emptied, best of three) and cached (median of single calls),
// for families of 10,000 and 100,000 people.
export const name = 'colours';

// A connected family of `size` people: couples with two to four children, children marrying each other or
// partners from outside, generation after generation.
function buildFamily(size) {
  persons.clear();
  try { edges = []; } catch { edges.length = 0; }
  setViewState({ focus: null, selected: null, rootPersonId: null, expanded: [] });
  let seed = 7;
  const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
  let count = 0;
  const person = sex => addPerson({ name: `Person ${++count} Line${count % 97}`, sex });
  bulkImport = true;
  try {
    const a = person('M'), b = person('F');
    addEdge(a, b, 'spouse');
    let couples = [[a, b]];
    while (count < size) {
      const kids = [];
      for (const [father, mother] of couples) {
        const n = 2 + Math.floor(random() * 3);
        for (let k = 0; k < n && count < size; k++) {
          const kid = person(random() < 0.5 ? 'M' : 'F');
          addEdge(father, kid, 'parent');
          addEdge(mother, kid, 'parent');
          kids.push(kid);
        }
      }
      const next = [];
      for (let i = 0; i < kids.length && count < size; i++) {
        const partner = random() < 0.3 && i + 1 < kids.length ? kids[++i] : person(random() < 0.5 ? 'M' : 'F');
        addEdge(kids[i], partner, 'spouse');
        next.push([kids[i], partner]);
      }
      couples = next.length ? next : couples;
    }
  } finally {
    bulkImport = false;
  }
  const home = [...persons.keys()][Math.floor(persons.size / 2)];
  setViewState({ rootPersonId: home, focus: home });
  update();
  return persons.size;
}

function measure() {
  const home = activeRootPersonId();
  const forest = tidyForest(connectedPeople(home), home);
  const best = f => {
    let least = Infinity;
    for (let i = 0; i < 3; i++) { const t = performance.now(); f(); least = Math.min(least, performance.now() - t); }
    return least;
  };
  const median = f => {
    const times = [];
    for (let i = 0; i < 21; i++) { const t = performance.now(); f(); times.push(performance.now() - t); }
    return times.sort((a, b) => a - b)[10];
  };
  return {
    linesCold: best(() => { lineageColorMemo.key = ''; cachedLineageColors(forest); }),
    linesCached: median(() => refreshVisibleLineageColors()),
    neighbourhoodsCold: best(() => { branchState.key = ''; getBranchState(); }),
    groups: getBranchState().groups.length,
  };
}

export async function run(app) {
  const rows = [];
  for (const size of [10000, 100000]) {
    const people = await app.run(`(${buildFamily})(${size})`);
    const m = await app.run(`(${measure})()`);
    const label = `${people.toLocaleString('en-US')} people`;
    rows.push([`line colours cold (best of 3), ${label}`, m.linesCold]);
    rows.push([`line colours per frame (cached), ${label}`, m.linesCached]);
    rows.push([`neighbourhoods cold (best of 3), ${label}, ${m.groups.toLocaleString('en-US')} groups`, m.neighbourhoodsCold]);
  }
  return rows;
}
