// Bulk building of a large family through addPerson and addEdge, as a GEDCOM import does.
export const name = 'records';

// Builds `people` people in couples with children across generations, in the page, with bulkImport set.
// Each generation's children pair up into the next generation's couples, some with spouses from outside
// the tree; a child gets both parents' links, or only the mother's in about one family in three (a father not
// recorded), and about one child in ten an explicit sibling link to an elder sibling. Links stop at
// `links`. Returns the counts and the time taken by the addPerson/addEdge calls alone.
function buildFamily({ people, links }) {
  persons.clear();
  try { edges = []; } catch { edges.length = 0; }
  focus = selected = rootPersonId = null;
  expanded = new Set();
  let seed = 7;
  const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
  let added = 0, linked = 0;
  const start = performance.now();
  bulkImport = true;
  try {
    const person = (gen, sex) => { added++; return addPerson({ name: `Person ${added}`, sex, birth: String(1600 + gen * 28) }); };
    const link = (a, b, type) => { if (linked < links && addEdge(a, b, type, 'GEDCOM')) linked++; };
    let couples = [];
    for (let i = 0; i < 60; i++) {
      const a = person(0, 'M'), b = person(0, 'F');
      link(a, b, 'spouse');
      couples.push([a, b]);
    }
    for (let gen = 1; added < people; gen++) {
      const next = [];
      const singles = [];
      for (const [father, mother] of couples) {
        const kids = [];
        const count = 2 + Math.floor(random() * 3);
        const fatherKnown = random() >= 0.35;
        for (let k = 0; k < count && added < people; k++) {
          const kid = person(gen, random() < 0.5 ? 'M' : 'F');
          if (fatherKnown) link(father, kid, 'parent');
          link(mother, kid, 'parent');
          if (kids.length && random() < 1 / 10) link(kids[kids.length - 1], kid, 'sibling');
          kids.push(kid);
          singles.push(kid);
        }
      }
      // Children of different families marry; some marry in from outside the tree.
      for (let i = 0; i + 1 < singles.length; i += 2) {
        const a = singles[i], b = random() < 0.2 && added < people ? person(gen, '') : singles[i + 1];
        link(a, b, 'spouse');
        next.push([a, b]);
      }
      couples = next.length ? next.slice(-Math.max(60, Math.floor(next.length * 0.9))) : couples;
    }
  } finally {
    bulkImport = false;
  }
  const built = performance.now() - start;
  const updateStart = performance.now();
  update();
  return { people: persons.size, links: edges.length, built, refreshed: performance.now() - updateStart };
}

export async function run(app) {
  const r = await app.run(`(${buildFamily})({ people: 100000, links: 200000 })`);
  return [
    [`addPerson x${r.people.toLocaleString('en-US')} + addEdge x${r.links.toLocaleString('en-US')} (bulkImport)`, r.built],
    [`update() after the bulk build (${r.people.toLocaleString('en-US')} people)`, r.refreshed],
  ];
}
