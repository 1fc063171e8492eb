// The form in which IndexedDB keeps a tree record: its JSON text cut into pieces. The head, under the
// tree's key, is {revision, pieces}: joined in order, the pieces are the record's JSON text; a short piece
// is text held in the head itself, a long one is {key} naming a text stored on its own under the tree's
// key + "#" + the run's key. The long pieces are runs of people or links (recordtext.js), so
// after an edit a save writes the head and the one or two runs that changed instead of the whole tree:
// IndexedDB spends main-thread time on every byte it is given. Records stored whole (as an object or as
// text) are read as well.
// Owns: pieceCount.

// Pieces shorter than this stay inside the head.
const HEAD_PIECE_LIMIT = 16384;

// The key range of the stored pieces of the tree under `key`.
function pieceRange(key) {
  return IDBKeyRange.bound(key + '#', key + '#\uffff');
}

// Keys of pieces: a run of records keeps one key for as long as it lives (the same run object is the same
// text), made unique across windows and sessions, so a save finds the runs that are stored already
// without reading or hashing any text.
let pieceCount = 0;

function pieceKey(key, run) {
  if (!run.key) run.key = Date.now().toString(36) + '.' + (++pieceCount).toString(36) + '.' + Math.random().toString(36).slice(2, 10);
  return key + '#' + run.key;
}

// The stored form of `record` under `key`: {head, texts (piece key -> text), length of the whole text}.
// `parts`, when given, are the texts of its people and links; made by recordtext.js, they come with their
// runs, which become pieces of their own.
function piecedTree(key, record, parts) {
  const pieces = [], texts = new Map();
  let literal = '{', length = 0, first = true;
  const flush = () => {
    if (literal) pieces.push(literal);
    length += literal.length;
    literal = '';
  };
  for (const name of Object.keys(record)) {
    const member = (first ? '' : ',') + JSON.stringify(name) + ':';
    const runs = parts && (name === 'persons' || name === 'edges') ? parts[name] : null;
    if (runs) {
      literal += member + runs.open;
      runs.runs.forEach((run, i) => {
        if (i) literal += ',';
        if (run.text.length < HEAD_PIECE_LIMIT) {
          literal += run.text;
          return;
        }
        flush();
        const pk = pieceKey(key, run);
        texts.set(pk, run.text);
        pieces.push({ key: pk });
        length += run.text.length;
      });
      literal += runs.close;
      first = false;
      continue;
    }
    const text = JSON.stringify(record[name]);
    if (text === undefined) continue;
    literal += member + text;
    first = false;
  }
  literal += '}';
  flush();
  return { head: { revision: record.revision, pieces }, texts, length };
}

// The whole JSON text of a pieced record, or null when it is not shorter than `limit`.
function piecedText(form, limit = Infinity) {
  if (form.length >= limit) return null;
  return form.head.pieces.map(p => (typeof p === 'string' ? p : form.texts.get(p.key))).join('');
}

function isPiecedHead(value) {
  return !!value && typeof value === 'object' && !Array.isArray(value) && Array.isArray(value.pieces);
}

// In a read-write transaction: stores the pieces of `form` that are not stored yet, then the head, and
// deletes the tree's stored pieces that the head no longer names.
function putPiecedTree(store, key, form, guard) {
  const request = store.getAllKeys(pieceRange(key));
  request.onsuccess = guard(() => {
    const stored = new Set(request.result);
    for (const [pk, text] of form.texts) if (!stored.has(pk)) store.put(text, pk);
    store.put(form.head, key);
    for (const pk of stored) if (!form.texts.has(pk)) store.delete(pk);
  });
}

// The same without reading first (a closing page): every piece of the tree is deleted and written anew.
function putPiecedTreeBlind(store, key, form) {
  store.delete(pieceRange(key));
  for (const [pk, text] of form.texts) store.put(text, pk);
  store.put(form.head, key);
}

// In a transaction: reads the value under `key`; a pieced head is joined with its stored pieces into the
// record's JSON text. `done(value)` gets the value (null when absent); a missing piece fails the
// transaction, as a broken store would.
function getTreeValue(store, key, done, guard) {
  const request = store.get(key);
  request.onsuccess = guard(() => {
    const value = request.result === undefined ? null : request.result;
    if (!isPiecedHead(value)) {
      done(value);
      return;
    }
    const texts = value.pieces.map(p => (typeof p === 'string' ? p : null));
    let waiting = 0;
    value.pieces.forEach((p, i) => {
      if (typeof p === 'string') return;
      if (!p || typeof p.key !== 'string') throw new Error('A piece of ' + key + ' is not named');
      waiting++;
      const got = store.get(p.key);
      got.onsuccess = guard(() => {
        if (typeof got.result !== 'string') throw new Error('A piece of ' + key + ' is missing');
        texts[i] = got.result;
        if (--waiting === 0) done(texts.join(''));
      });
    });
    if (!waiting) done(texts.join(''));
  });
}
