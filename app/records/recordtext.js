// The JSON texts of the people and links of the open tree, made incrementally. For each person record and
// each link, the text last made of it is kept with an image of the data it was made from; reading
// the tree again compares every record with its image (a walk over plain data, far cheaper than
// serialising it) and serialises only the records that changed. Joined, the texts are exactly those of
// JSON.stringify(storedPersons(persons)) and JSON.stringify(edges), so they stand for them in the edit
// history's snapshots and keys and in the stored tree record.
// Owns: peopleImages, linkImages, lastPeopleTexts, lastLinkTexts.

// The images (below) of the last reading, in the order of the people and of the links then. An image is
// a list holding what it is found by (a person's id; a link record itself), whether a person's text was
// written as an [id, record] pair, the record's text, and then the record's data. A reading finds a
// record's image at the record's own position when nothing was inserted or removed before it, else
// through a map made once for that reading. The records themselves are left untouched: a property added
// to each of 100,000 records costs more than the whole list.
let peopleImages = [];
let linkImages = [];
const IMAGE_DATA = 3;

// Marks in an image. An image is one flat list per record, so that a large tree costs the collector one
// object per record: a primitive is itself; an object is OBJECT_MARK, then each own enumerable key (in
// the order JSON.stringify writes them) followed by its value's image, then END_MARK; a list is LIST_MARK,
// its length and its items' images. A value that is not plain data (a date, a map, a class instance) is
// NOT_PLAIN_DATA, which matches nothing, so a record holding one is serialised every time.
const OBJECT_MARK = Object.freeze({});
const END_MARK = Object.freeze({});
const LIST_MARK = Object.freeze({});
const NOT_PLAIN_DATA = Object.freeze({});

function isPlainObject(v) {
  const proto = Object.getPrototypeOf(v);
  return proto === Object.prototype || proto === null;
}

function writeImage(v, image) {
  if (typeof v !== 'object' || v === null) {
    image.push(v);
  } else if (Array.isArray(v)) {
    image.push(LIST_MARK, v.length);
    for (let i = 0; i < v.length; i++) writeImage(v[i], image);
  } else if (!isPlainObject(v)) {
    image.push(NOT_PLAIN_DATA);
  } else {
    image.push(OBJECT_MARK);
    for (const key in v) {
      image.push(key);
      writeImage(v[key], image);
    }
    image.push(END_MARK);
  }
}

// Where matchImage is in the image it compares with.
let imageAt = 0;

// True when `v` holds the data written into `image` from imageAt on (keys in the same order, so its text
// is the same); moves imageAt past it. for-in walks a plain object's own keys in the order of Object.keys
// (nothing is inherited: an object whose prototype is not Object.prototype or null never matches).
function matchImage(v, image) {
  if (typeof v !== 'object' || v === null) return v === image[imageAt++];
  const mark = image[imageAt++];
  if (Array.isArray(v)) {
    if (mark !== LIST_MARK || image[imageAt++] !== v.length) return false;
    for (let i = 0; i < v.length; i++) if (!matchImage(v[i], image)) return false;
    return true;
  }
  if (mark !== OBJECT_MARK || !isPlainObject(v)) return false;
  for (const key in v) {
    if (image[imageAt++] !== key || !matchImage(v[key], image)) return false;
  }
  return image[imageAt++] === END_MARK;
}

// The image of one record, its text at [2]: `known` when the record's data did not change since it was
// made, else a new one. `key` is what the image is found by; `id` is the person's id, null for a link.
function recordImage(record, key, id, pairs, known) {
  if (typeof record !== 'object' || record === null) {
    const text = JSON.stringify(record);
    return [key, pairs, memberText(text === undefined ? 'null' : text, id, pairs)];
  }
  if (known !== undefined && known[1] === pairs) {
    imageAt = IMAGE_DATA;
    if (matchImage(record, known)) return known;
  }
  const image = [key, pairs, memberText(JSON.stringify(record), id, pairs)];
  writeImage(record, image);
  return image;
}

// A record's JSON text as its list or object writes it: alone for a link, else with its id as a key or
// as an [id, record] pair.
function memberText(value, id, pairs) {
  if (id === null) return value;
  return pairs ? '[' + JSON.stringify(id) + ',' + value + ']' : JSON.stringify(id) + ':' + value;
}

// Finds the image of the record at position `i` found by `key` among the images of the last reading.
function imageFinder(images) {
  let byKey = null;
  return (i, key) => {
    const at = images[i];
    if (at !== undefined && at[0] === key) return at;
    if (byKey === null) {
      byKey = new Map();
      for (const image of images) byKey.set(image[0], image);
    }
    return byKey.get(key);
  };
}

// Records per run: the texts of the people and of the links are kept as runs of this many records each,
// so that an edit changes one run and storage writes only the runs that changed (treepieces.js). Smaller
// runs would make an edit's write smaller still, but a large tree then opens slowly: IndexedDB reads
// back a few hundred pieces far faster than a few thousand.
const RECORD_RUN = 1000;

// The texts of a list of records: {open, close, texts (one per record), runs: [{text, count, key}], length (of
// the whole text)}. The whole JSON text, open + the runs joined by commas + close, is made only when asked
// for (recordListText): comparing, snapshots and storage work on the runs, which the states of a tree
// share for as long as their records stay the same.
const NO_RECORD_TEXTS = { open: '[', close: ']', texts: [], runs: [], length: 2, text: '[]' };

// The last texts made for people and for links, reused while nothing changed, so that an unchanged tree
// gives the very same object and the same runs.
let lastPeopleTexts = NO_RECORD_TEXTS;
let lastLinkTexts = NO_RECORD_TEXTS;

// Runs of `texts` (each made by recordImage), reusing those of `last` whose records' texts are the same
// strings as before; `last` itself when nothing changed.
function recordRuns(last, texts, open, close) {
  const runs = [];
  let unchanged = open === last.open && texts.length === last.texts.length, length = 1;
  for (let start = 0, n = 0; start < texts.length; start += RECORD_RUN, n++) {
    const end = Math.min(texts.length, start + RECORD_RUN);
    const before = last.runs[n];
    let same = !!before && before.count === end - start && end <= last.texts.length;
    for (let i = start; same && i < end; i++) same = texts[i] === last.texts[i];
    const run = same ? before : { text: texts.slice(start, end).join(','), count: end - start, key: null };
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
  const find = imageFinder(peopleImages);
  const images = new Array(map.size), texts = new Array(map.size);
  let i = 0;
  map.forEach((p, id) => {
    const image = recordImage(p, id, id, pairs, find(i, id));
    images[i] = image;
    texts[i++] = image[2];
  });
  peopleImages = images;
  lastPeopleTexts = recordRuns(lastPeopleTexts, texts, pairs ? '[' : '{', pairs ? ']' : '}');
  return lastPeopleTexts;
}

// The texts of the list of links.
function linkTexts(list) {
  const find = imageFinder(linkImages);
  const images = new Array(list.length), texts = new Array(list.length);
  for (let i = 0; i < list.length; i++) {
    const image = recordImage(list[i], list[i], null, false, find(i, list[i]));
    images[i] = image;
    texts[i] = image[2];
  }
  linkImages = images;
  lastLinkTexts = recordRuns(lastLinkTexts, texts, '[', ']');
  return lastLinkTexts;
}
