// Life story: the generated biography, the biographical timeline, the world events that overlap a life and
// the monogram drawn when there is no portrait. Pure functions of a person record.
// Owns: EVENTS.

// World events for historical context, inclusive years, in the order the timeline lists them.
const EVENTS = [
  { from: 1775, to: 1783, title: 'American Revolutionary War', desc: 'War and independence movements in North America.' },
  { from: 1789, to: 1789, title: 'French Revolution begins', desc: 'Political upheaval begins in France.' },
  { from: 1804, to: 1804, title: 'Haitian independence', desc: 'Haiti becomes an independent nation.' },
  { from: 1845, to: 1852, title: 'Great Famine in Ireland', desc: 'Mass migration and population loss affect Ireland.' },
  { from: 1861, to: 1865, title: 'American Civil War', desc: 'Civil war in the United States.' },
  { from: 1880, to: 1914, title: 'Major transatlantic migration era', desc: 'Large-scale migration reshapes communities in the Americas and Europe.' },
  { from: 1914, to: 1918, title: 'First World War', desc: 'Global conflict centered in Europe, with broad international effects.' },
  { from: 1918, to: 1920, title: 'Influenza pandemic', desc: 'A global influenza pandemic affects societies worldwide.' },
  { from: 1929, to: 1939, title: 'Great Depression', desc: 'Global economic hardship spreads through many countries.' },
  { from: 1939, to: 1945, title: 'Second World War', desc: 'Global conflict transforms political and civilian life.' },
  { from: 1969, to: 1969, title: 'Apollo 11 Moon landing', desc: 'Humanity lands on the Moon.' },
  { from: 1989, to: 1989, title: 'Fall of the Berlin Wall', desc: 'A pivotal change in European political history.' },
  { from: 2001, to: 2001, title: 'September 11 attacks', desc: 'Attacks in the United States have global consequences.' },
  { from: 2020, to: 2022, title: 'COVID-19 pandemic', desc: 'Global public-health emergency and far-reaching social disruption.' },
];

// The last year a life without a recorded death year is taken to reach.
const CONTEXT_END_YEAR = 2026;
const CONTEXT_LIMIT = 18;

// Plain text of a field that may be missing or not text.
function fieldText(v) {
  return v === null || v === undefined ? '' : String(v);
}

// " in {place}" when the place is recorded.
function inPlace(place) {
  const text = fieldText(place);
  return text ? ' in ' + text : '';
}

function makeBio(p) {
  const name = fieldText(p.name);
  const out = [p.birth ? name + ' was born ' + fieldText(p.birth) + inPlace(p.birthPlace) + '.'
    : name + ' is recorded in the family tree.'];
  if (p.occupation) out.push('Recorded occupation: ' + fieldText(p.occupation) + '.');
  if (p.residence) out.push('Recorded residence: ' + fieldText(p.residence) + '.');
  if (p.death) out.push('Recorded death: ' + fieldText(p.death) + inPlace(p.deathPlace) + '.');
  return out.join(' ');
}

// Personal facts in a fixed order, never sorted by date: birth, residence, occupation, events, death.
function makeTimeline(p) {
  const out = [];
  if (p.birth) out.push({ when: fieldText(p.birth), text: 'Born' + inPlace(p.birthPlace) });
  if (p.residence) out.push({ when: 'Date unconfirmed', text: 'Residence recorded: ' + fieldText(p.residence) });
  if (p.occupation) out.push({ when: 'Date unconfirmed', text: 'Occupation recorded: ' + fieldText(p.occupation) });
  for (const e of Array.isArray(p.events) ? p.events : []) {
    const event = e && typeof e === 'object' ? e : {};
    out.push({ when: fieldText(event.when) || 'Date unknown', text: fieldText(event.text) });
  }
  if (p.death) out.push({ when: fieldText(p.death), text: 'Died' + inPlace(p.deathPlace) });
  return out;
}

// Every world event that overlaps the years from the birth to the death (or to the present).
function historyContext(p) {
  const start = placeYear(p.birth);
  if (start === null) return [];
  const end = placeYear(p.death) ?? CONTEXT_END_YEAR;
  return EVENTS.filter(e => e.to >= start && e.from <= end).slice(0, CONTEXT_LIMIT)
    .map(e => ({ ...e, date: e.from === e.to ? String(e.from) : e.from + '–' + e.to }));
}

// The first characters of the first two words, upper-cased; "?" when the name has none.
function initials(name) {
  const words = fieldText(name).trim().split(/\s+/).filter(Boolean);
  const text = words.slice(0, 2).map(w => String.fromCodePoint(w.codePointAt(0))).join('').toUpperCase();
  return text || '?';
}
