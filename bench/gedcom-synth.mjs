// Synthetic GEDCOM files for the import benchmark: a made-up population over many generations with
// realistic families. Founding couples have two to six children (some none); most children marry children
// of other families of their generation, some marry in from outside the tree, about one in twenty-five
// marries a cousin (pedigree collapse), and about one in twelve married people marries again after the
// first spouse dies, so half siblings appear. Names carry accents; births, deaths, places, occupations and
// notes (some over several lines, some long enough to need CONC) are filled in as a genealogy program
// would write them. The same size and seed always give the same file.
//   node bench/gedcom-synth.mjs 100000 /tmp/family.ged
import fs from 'node:fs';
import { fileURLToPath } from 'node:url';

const GIVEN = {
  M: ['Anders', 'Johan', 'Erik', 'Nils', 'Per', 'Lars', 'Olof', 'Karl', 'Gustav', 'Émile', 'François', 'Jean',
    'Pierre', 'Louis', 'Jiří', 'Tomáš', 'Pavel', 'José', 'Miguel', 'Pádraig', 'Séamus', 'Søren', 'Jürgen',
    'Hans', 'Björn', 'Ólafur', 'Henrik', 'William', 'Thomas', 'James'],
  F: ['Anna', 'Maria', 'Brita', 'Karin', 'Ingrid', 'Elsa', 'Astrid', 'Céline', 'Hélène', 'Zoë', 'Léonie',
    'Amélie', 'Marie', 'Aoife', 'Siobhán', 'Eva', 'Tereza', 'Lucía', 'Inés', 'Margarethe', 'Jördis', 'Åsa',
    'Kirsten', 'Sofia', 'Greta', 'Elizabeth', 'Mary', 'Sarah', 'Ragnhild', 'Dagný'],
};
const SURNAMES = ['Lindqvist', 'Berg', 'Holm', 'Åkesson', 'Ström', 'Sandström', 'Moreau', 'Lefèvre', 'Dubois',
  'Girard', 'Dvořák', 'Novák', 'Müller', 'Schäfer', 'Østergaard', 'Ó Briain', 'Mac Cárthaigh', 'Martínez',
  'García', 'Núñez', 'Smith', 'Taylor', 'Jónsson', 'Þórsdóttir', 'Kowalczyk', 'Wiśniewski', 'Nagy', 'Szabó',
  'Rossi', 'Esposito'];
const PLACES = ['Uppsala, Uppsala län, Sweden', 'Gävle, Gävleborg, Sweden', 'Lyon, Rhône, France',
  'Grenoble, Isère, France', 'Brno, Moravia, Czech Republic', 'Praha, Czech Republic', 'München, Bayern, Germany',
  'Aarhus, Denmark', 'Galway, Ireland', 'Cork, Ireland', 'Sevilla, Spain', 'Kraków, Poland', 'Reykjavík, Iceland',
  'Debrecen, Hungary', 'Napoli, Campania, Italy', 'Boston, Massachusetts, USA', 'Québec, Canada'];
const OCCUPATIONS = ['Farmer', 'Blacksmith', 'Weaver', 'Teacher', 'Carpenter', 'Miller', 'Sailor', 'Clerk',
  'Midwife', 'Engraver', 'Printer', 'Baker', 'Tailor', 'Engineer', 'Nurse'];
const MONTHS = ['JAN', 'FEB', 'MAR', 'APR', 'MAY', 'JUN', 'JUL', 'AUG', 'SEP', 'OCT', 'NOV', 'DEC'];

function generator(seed) {
  let s = seed >>> 0 || 1;
  const random = () => {
    s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0;
    return s / 4294967296;
  };
  return { random, pick: list => list[Math.floor(random() * list.length)], chance: p => random() < p };
}

// The population as people ({sex, given, surname, born, died, birthPlace, deathPlace, occupation, note,
// famc, fams}) and families ({husb, wife, children}), built generation by generation until `size` people.
function population(size, seed) {
  const { random, pick, chance } = generator(seed);
  const people = [], families = [];
  const person = (sex, surname, born, famc = null) => {
    const p = { id: people.length + 1, sex, given: pick(GIVEN[sex]) + (chance(0.3) ? ' ' + pick(GIVEN[sex]) : ''),
      surname, born, died: chance(0.9) ? born + 30 + Math.floor(random() * 60) : 0, birthPlace: pick(PLACES),
      deathPlace: chance(0.7) ? pick(PLACES) : '', occupation: chance(0.5) ? pick(OCCUPATIONS) : '',
      note: chance(0.2) ? noteFor(sex, random, pick) : '', famc, fams: [] };
    people.push(p);
    return p;
  };
  const family = (husb, wife) => {
    const f = { id: families.length + 1, husb, wife, children: [] };
    families.push(f);
    husb.fams.push(f.id);
    wife.fams.push(f.id);
    return f;
  };
  // Unmarried female first cousins of a man: children of his parents' siblings.
  const cousinsOf = man => {
    const f = man.famc && families[man.famc - 1];
    if (!f) return [];
    const found = [];
    for (const parent of [f.husb, f.wife]) {
      const g = parent.famc && families[parent.famc - 1];
      if (!g) continue;
      for (const sibling of g.children) {
        if (sibling === parent.id) continue;
        for (const fid of people[sibling - 1].fams) {
          for (const c of families[fid - 1].children) {
            const cousin = people[c - 1];
            if (cousin.sex === 'F' && !cousin.fams.length && cousin.famc !== man.famc) found.push(cousin);
          }
        }
      }
    }
    return found;
  };
  let couples = [];
  const founders = Math.max(2, Math.round(size / 250));
  for (let i = 0; i < founders; i++) {
    const born = 1600 + Math.floor(random() * 30);
    couples.push(family(person('M', pick(SURNAMES), born), person('F', pick(SURNAMES), born + Math.floor(random() * 6))));
  }
  while (people.length < size) {
    const generation = [];
    for (const f of couples) {
      const count = chance(0.08) ? 0 : 2 + Math.floor(random() * 5);
      for (let k = 0; k < count && people.length < size; k++) {
        const child = person(chance(0.5) ? 'M' : 'F', f.husb.surname, f.wife.born + 20 + k * 2 + Math.floor(random() * 2), f.id);
        f.children.push(child.id);
        generation.push(child);
      }
      // A second marriage after the first spouse's death: half siblings.
      if (people.length < size && chance(0.08)) {
        const again = family(f.husb, person('F', pick(SURNAMES), f.wife.born + 4));
        for (let k = 0; k < 1 + Math.floor(random() * 3) && people.length < size; k++) {
          const child = person(chance(0.5) ? 'M' : 'F', f.husb.surname, again.wife.born + 24 + k * 2, again.id);
          again.children.push(child.id);
          generation.push(child);
        }
      }
    }
    if (!generation.length) break;
    // Marriages of the new generation: cousins now and then, mostly other families, some from outside.
    const men = generation.filter(p => p.sex === 'M'), women = generation.filter(p => p.sex === 'F');
    const next = [];
    const taken = new Set();
    for (const man of men) {
      if (people.length >= size || chance(0.15)) continue;
      let wife = null;
      if (chance(0.04)) wife = cousinsOf(man).find(w => !taken.has(w.id)) || null;
      if (!wife && chance(0.8)) {
        for (let tries = 0; tries < 4 && !wife; tries++) {
          const w = women[Math.floor(random() * women.length)];
          if (w && !taken.has(w.id) && w.famc !== man.famc) wife = w;
        }
      }
      if (!wife) wife = person('F', pick(SURNAMES), man.born + Math.floor(random() * 8) - 3);
      taken.add(wife.id);
      next.push(family(man, wife));
    }
    couples = next.length ? next : couples.slice(0, 1);
  }
  return { people, families };
}

function noteFor(sex, random, pick) {
  const lines = [`Listed as ${sex === 'M' ? 'husbandman' : 'householder'} and ${pick(OCCUPATIONS).toLowerCase()} in ${pick(PLACES)}.`];
  if (random() < 0.5) lines.push(`Moved to ${pick(PLACES)} after the harvest failed; letters survive.`);
  if (random() < 0.2) lines.push('Parish register: ' + 'baptised, confirmed and married in the same church, '.repeat(6).trim());
  return lines.join('\n');
}

const date = (year, n) => `${1 + (n % 28)} ${MONTHS[n % 12]} ${year}`;

// GEDCOM text of the population: header, one INDI per person (with FAMC and FAMS), one FAM per family.
function gedcomOf({ people, families }) {
  const out = ['0 HEAD', '1 SOUR SYNTHETIC', '1 GEDC', '2 VERS 5.5.1', '2 FORM LINEAGE-LINKED', '1 CHAR UTF-8'];
  for (const p of people) {
    out.push(`0 @I${p.id}@ INDI`, `1 NAME ${p.given} /${p.surname}/`, `2 GIVN ${p.given}`, `2 SURN ${p.surname}`,
      `1 SEX ${p.sex}`, '1 BIRT', `2 DATE ${date(p.born, p.id)}`, `2 PLAC ${p.birthPlace}`);
    if (p.died) {
      out.push('1 DEAT', `2 DATE ${date(p.died, p.id * 7)}`);
      if (p.deathPlace) out.push(`2 PLAC ${p.deathPlace}`);
    }
    if (p.occupation) out.push(`1 OCCU ${p.occupation}`);
    if (p.note) {
      p.note.split('\n').forEach((line, i) => {
        for (let at = 0, first = true; at < line.length || first; first = false) {
          let end = Math.min(line.length, at + 200);
          while (end < line.length && end > at + 1 && (line[end - 1] === ' ' || line[end] === ' ')) end--;
          const tag = i === 0 && at === 0 ? '1 NOTE' : at === 0 ? '2 CONT' : '2 CONC';
          out.push(`${tag} ${line.slice(at, end)}`);
          at = end;
        }
      });
    }
    out.push('1 CHAN', '2 DATE 1 JAN 2024');
    if (p.famc) out.push(`1 FAMC @F${p.famc}@`);
    for (const f of p.fams) out.push(`1 FAMS @F${f}@`);
  }
  for (const f of families) {
    out.push(`0 @F${f.id}@ FAM`, `1 HUSB @I${f.husb.id}@`, `1 WIFE @I${f.wife.id}@`);
    for (const c of f.children) out.push(`1 CHIL @I${c}@`);
    out.push('1 MARR', `2 DATE ${Math.max(f.husb.born, f.wife.born) + 22}`);
  }
  out.push('0 TRLR');
  return out.join('\r\n') + '\r\n';
}

export function syntheticGedcom(size, seed = 20240601) {
  return gedcomOf(population(size, seed));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const size = Number(process.argv[2] || 10000);
  const out = process.argv[3] || `synthetic-${size}.ged`;
  fs.writeFileSync(out, syntheticGedcom(size));
  console.log(`${out}: ${size} people`);
}
