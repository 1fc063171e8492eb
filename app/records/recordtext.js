// The JSON texts of the people and links of the open tree, made incrementally. Each person record and
// each link keeps the text last made of it together with an image of the data it was made from; reading
// the tree again compares every record with its image (a walk over plain data, far cheaper than
// serialising it) and serialises only the records that changed. Joined, the texts are exactly those of
// JSON.stringify(storedPersons(persons)) and JSON.stringify(edges), so they stand for them in the edit
// history's snapshots and keys and in the stored tree record.
// Owns: recordTexts, lastPeopleTexts, lastLinkTexts.

// record object -> {id, pairs, copy, text}: id and pairs say how a person's text was written (its key,
// and whether as an [id, record] pair); links have id null.
let recordTexts = new WeakMap();

// Marks a value that is not plain data (a date, a map, a class instance): it equals nothing, so a record
// holding one is serialised every time, as JSON.stringify would see it then.
const NOT_PLAIN_DATA = Object.freeze({});

function isPlainObject(v) {
  const proto = Object.getPrototypeOf(v);
  return proto === Object.prototype || proto === null;
}

// An image of plain data to compare it with later: primitives as they are, a list as {list: [images]},
// an object as {keys, values: [images]} (own enumerable keys in their order, as JSON.stringify sees them).
function plainDataCopy(v) {
  if (typeof v !== 'object' || v === null) return v;
  if (Array.isArray(v)) {
    const list = new Array(v.length);
    for (let i = 0; i < v.length; i++) list[i] = plainDataCopy(v[i]);
    return { list, keys: null, values: null };
  }
  if (!isPlainObject(v)) return NOT_PLAIN_DATA;
  const keys = [], values = [];
  for (const key in v) {
    keys.push(key);
    values.push(plainDataCopy(v[key]));
  }
  return { list: null, keys, values };
}

// True when `v` holds the same data as its image, keys in the same order (so that its text is the same).
// for-in walks a plain object's own keys in the order of Object.keys (nothing is inherited: the image of
// an object whose prototype is not Object.prototype or null is never equal) and reads them fast.
function samePlainData(v, image) {
  if (typeof v !== 'object' || v === null) return v === image;
  if (typeof image !== 'object' || image === null || image === NOT_PLAIN_DATA) return false;
  if (Array.isArray(v)) {
    const list = image.list;
    if (list === null || v.length !== list.length) return false;
    for (let i = 0; i < v.length; i++) {
      const x = v[i];
      if (typeof x === 'object' && x !== null ? !samePlainData(x, list[i]) : x !== list[i]) return false;
    }
    return true;
  }
  const keys = image.keys, values = image.values;
  if (keys === null || !isPlainObject(v)) return false;
  let i = 0;
  for (const key in v) {
    if (key !== keys[i]) return false;
    const x = v[key];
    if (typeof x === 'object' && x !== null ? !samePlainData(x, values[i]) : x !== values[i]) return false;
    i++;
  }
  return i === keys.length;
}

// The text of one person (id null: one link), from the record's memory when its data did not change.
function recordText(record, id, pairs) {
  if (typeof record !== 'object' || record === null) {
    const text = JSON.stringify(record);
    const value = text === undefined ? 'null' : text;
    return id === null ? value : pairs ? '[' + JSON.stringify(id) + ',' + value + ']' : JSON.stringify(id) + ':' + value;
  }
  const known = recordTexts.get(record);
  if (known && known.id === id && known.pairs === pairs && samePlainData(record, known.copy)) return known.text;
  const value = JSON.stringify(record);
  const text = id === null ? value : pairs ? '[' + JSON.stringify(id) + ',' + value + ']'
    : JSON.stringify(id) + ':' + value;
  recordTexts.set(record, { id, pairs, copy: plainDataCopy(record), text });
  return text;
}

// Records per run: the texts of the people and of the links are kept as runs of this many records each,
// so that an edit changes one run and storage writes only the runs that changed (treepieces.js).
const RECORD_RUN = 1000;

// The texts of a list of records: {open, close, texts (one per record), runs: [{text, hash}], length (of
// the whole text)}. The whole JSON text, open + the runs joined by commas + close, is made only when asked
// for (recordListText): comparing, snapshots and storage work on the runs, which the states of a tree
// share for as long as their records stay the same.
const NO_RECORD_TEXTS = { open: '[', close: ']', texts: [], runs: [], length: 2, text: '[]' };

// The last texts made for people and for links, reused while nothing changed, so that an unchanged tree
// gives the very same object and the same runs.
let lastPeopleTexts = NO_RECORD_TEXTS;
let lastLinkTexts = NO_RECORD_TEXTS;

// Runs of `texts` (each made by recordText), reusing those of `last` whose records' texts are the same
// strings as before; `last` itself when nothing changed.
function recordRuns(last, texts, open, close) {
  const runs = [];
  let unchanged = open === last.open && texts.length === last.texts.length, length = 1;
  for (let start = 0, n = 0; start < texts.length; start += RECORD_RUN, n++) {
    const end = Math.min(texts.length, start + RECORD_RUN);
    const before = last.runs[n];
    let same = !!before && before.count === end - start && end <= last.texts.length;
    for (let i = start; same && i < end; i++) same = texts[i] === last.texts[i];
    const run = same ? before : { text: texts.slice(start, end).join(','), count: end - start, hash: null };
    runs.push(run);
    length += run.text.length + 1;
    if (!same) unchanged = false;
  }
  if (unchanged && runs.length === last.runs.length) return last;
  return { open, close, texts, runs, length: runs.length ? length : 2, text: null };
}

// The whole JSON text of record texts (made anew each time, so that no state keeps a second copy).
function recordListText(list) {
  return list.text !== null ? list.text : list.open + list.runs.map(r => r.text).join(',') + list.close;
}

// True when two record texts are the same text.
function sameRecordTexts(a, b) {
  if (a === b) return true;
  if (!a || !b || a.length !== b.length || a.open !== b.open || a.runs.length !== b.runs.length) return false;
  for (let i = 0; i < a.runs.length; i++) if (a.runs[i] !== b.runs[i] && a.runs[i].text !== b.runs[i].text) return false;
  return true;
}

// The texts of storedPersons(map): a keyed object, or a list of [id, record] pairs when an id is
// integer-like (see storedPersons).
function peopleTexts(map) {
  const pairs = storedAsPairs(map);
  const texts = new Array(map.size);
  let i = 0;
  map.forEach((p, id) => { texts[i++] = recordText(p, id, pairs); });
  lastPeopleTexts = recordRuns(lastPeopleTexts, texts, pairs ? '[' : '{', pairs ? ']' : '}');
  return lastPeopleTexts;
}

// The texts of the list of links.
function linkTexts(list) {
  const texts = new Array(list.length);
  for (let i = 0; i < list.length; i++) texts[i] = recordText(list[i], null, false);
  lastLinkTexts = recordRuns(lastLinkTexts, texts, '[', ']');
  return lastLinkTexts;
}
