// GEDCOM reader: turns GEDCOM text into person drafts, families and custom sibling references without
// touching the open tree. It reads names, sex, birth, death, residence, occupation, notes and family
// membership, skips every line it does not understand, and completes family membership that a file records
// on one side only.
// Owns: no state.

const GEDCOM_POINTER = /^@[^@]+@$/;

// What a CONT or CONC line one level deeper continues: a text field of the person, the name, the person's
// latest note, or a note record.
const CONTINUES_FIELD = 1, CONTINUES_NAME = 2, CONTINUES_NOTE = 3, CONTINUES_NOTE_RECORD = 4;

function gedcomWorkingPerson() {
  return { name: '', birth: '', death: '', birthPlace: '', deathPlace: '', residence: '', occupation: '',
    sex: '', famc: [], fams: [], givn: '', surn: '', rawName: '', noteParts: null };
}

// White space other than line ends, as the line grammar and trim() know it.
function gedcomBlank(c) {
  return c === 32 || c === 9 || c === 11 || c === 12 || c === 0xA0 || c === 0xFEFF || c === 0x1680 ||
    (c >= 0x2000 && c <= 0x200A) || c === 0x2028 || c === 0x2029 || c === 0x202F || c === 0x205F || c === 0x3000;
}

// `@@` in a value stands for one `@`.
function gedcomUnescape(value) {
  return value.indexOf('@@') >= 0 ? value.replace(/@@/g, '@') : value;
}

// The value of a line: what follows the tag, trimmed, with `@@` read as `@`.
function gedcomValue(text, start, stop) {
  return start < stop ? gedcomUnescape(text.slice(start, stop).trim()) : '';
}

// The name without its surname slashes. A slash reads as a blank, so "First/Last/" gives First Last.
function gedcomCleanName(value) {
  return value.replace(/[\s/]+/g, ' ').trim();
}

// The person's notes: each NOTE line starts a part; a part that points to a note record of the file takes
// that record's text (a pointer naming no record stays as written).
function gedcomNotes(parts, noteTexts) {
  let notes = '';
  for (const part of parts) {
    let text = part.text;
    if (part.ref && Object.hasOwn(noteTexts, part.ref)) text = noteTexts[part.ref] + text.slice(part.ref.length);
    notes = notes ? notes + '\n' + text : text;
  }
  return notes;
}

function gedcomDraft(w, noteTexts) {
  const name = w.name || [w.givn, w.surn].filter(Boolean).join(' ') || 'Unknown ancestor';
  return { name, birth: w.birth, death: w.death, birthPlace: w.birthPlace, deathPlace: w.deathPlace,
    residence: w.residence, occupation: w.occupation, bio: '',
    notes: w.noteParts ? gedcomNotes(w.noteParts, noteTexts) : '', sex: w.sex, events: [], sources: [] };
}

// The line grammar: blanks, level, blanks, optional @id@ and blanks, tag, optional blanks and a value.
// Reads the line text[start, stop) into `line` ({level, xref, tag, valueStart}); false when it does not match.
// The value is cut from the text only when a rule uses it: most lines of a real file are skipped.
function gedcomReadLine(text, start, stop, line) {
  let i = start, c = text.charCodeAt(i);
  while (i < stop && gedcomBlank(c)) c = text.charCodeAt(++i);
  if (i >= stop || c < 48 || c > 57) return false;
  let level = 0;
  while (i < stop && c >= 48 && c <= 57) { level = level * 10 + c - 48; c = text.charCodeAt(++i); }
  if (i >= stop || !gedcomBlank(c)) return false;
  while (i < stop && gedcomBlank(c)) c = text.charCodeAt(++i);
  let xref = null;
  if (c === 64) {
    const close = text.indexOf('@', i + 1);
    if (close < 0 || close >= stop || close === i + 1 || !gedcomBlank(text.charCodeAt(close + 1))) return false;
    xref = text.slice(i, close + 1);
    i = close + 1;
    c = text.charCodeAt(i);
    while (i < stop && gedcomBlank(c)) c = text.charCodeAt(++i);
  }
  const tagStart = i;
  let lower = false;
  while (i < stop && ((c >= 65 && c <= 90) || (c >= 48 && c <= 57) || c === 95 || (c >= 97 && c <= 122))) {
    if (c >= 97) lower = true;
    c = text.charCodeAt(++i);
  }
  if (i === tagStart || (i < stop && !gedcomBlank(c))) return false;
  line.level = level;
  line.xref = xref;
  line.tag = lower ? text.slice(tagStart, i).toUpperCase() : text.slice(tagStart, i);
  line.valueStart = i;
  return true;
}

// The reading state: the current level-0 record (a person, a family, a note record or none), the person's
// current event (which level-2 DATE and PLAC lines belong to), and what a CONT or CONC line one level below
// `contLevel` would continue.
function gedcomReading(text) {
  return { text, stop: 0, work: {}, families: {}, siblingRefs: [], noteTexts: {}, person: null, family: null,
    recordId: null, event: '', contLevel: -1, contKind: 0, contField: '' };
}

function gedcomLineValue(r, line) {
  return gedcomValue(r.text, line.valueStart, r.stop);
}

function gedcomContinues(r, kind, level, field = '') {
  r.contKind = kind;
  r.contLevel = level;
  r.contField = field;
}

// CONT adds a line break (a blank in one-line values), CONC adds the text as it is.
function gedcomContinue(r, line) {
  if (!r.contKind || line.level !== r.contLevel + 1) return;
  const value = gedcomLineValue(r, line);
  const cont = line.tag === 'CONT';
  const person = r.person;
  if (r.contKind === CONTINUES_NOTE) {
    person.noteParts[person.noteParts.length - 1].text += cont ? '\n' + value : value;
  } else if (r.contKind === CONTINUES_NOTE_RECORD) {
    r.noteTexts[r.contField] += cont ? '\n' + value : value;
  } else if (r.contKind === CONTINUES_NAME) {
    person.rawName += cont && value ? ' ' + value : value;
    person.name = gedcomCleanName(person.rawName);
  } else if (value) {
    person[r.contField] += cont ? ' ' + value : value;
  }
}

// A level-0 line ends the previous record and may start a person, a family or a note record.
function gedcomRecordStart(r, line) {
  const id = line.xref;
  r.person = r.family = null;
  r.recordId = id;
  r.event = '';
  if (!id) return;
  if (line.tag === 'INDI') {
    r.person = Object.hasOwn(r.work, id) ? r.work[id] : (r.work[id] = gedcomWorkingPerson());
  } else if (line.tag === 'FAM') {
    r.family = Object.hasOwn(r.families, id) ? r.families[id] : (r.families[id] = { parents: [], children: [] });
  } else if (line.tag === 'NOTE') {
    r.noteTexts[id] = gedcomLineValue(r, line);
    gedcomContinues(r, CONTINUES_NOTE_RECORD, 0, id);
  }
}

function gedcomFamilyLine(r, line) {
  const tag = line.tag;
  const parent = tag === 'HUSB' || tag === 'WIFE' || tag === '_PARTNER';
  if (line.level !== 1 || (!parent && tag !== 'CHIL')) return;
  const value = gedcomLineValue(r, line);
  if (value) (parent ? r.family.parents : r.family.children).push(value);
}

function gedcomPersonFact(r, line) {
  const person = r.person, tag = line.tag;
  r.event = tag === 'NAME' || tag === 'BIRT' || tag === 'DEAT' || tag === 'RESI' || tag === 'OCCU' ||
    tag === 'EVEN' || tag === 'MARR' ? tag : '';
  if (tag === 'NAME') {
    person.rawName = gedcomLineValue(r, line);
    person.name = gedcomCleanName(person.rawName);
    gedcomContinues(r, CONTINUES_NAME, 1);
  } else if (tag === 'NOTE') {
    const rawValue = r.text.slice(line.valueStart, r.stop).trim();
    (person.noteParts || (person.noteParts = [])).push({ text: gedcomUnescape(rawValue),
      ref: GEDCOM_POINTER.test(rawValue) ? rawValue : '' });
    gedcomContinues(r, CONTINUES_NOTE, 1);
  } else if (tag === 'SEX') {
    person.sex = gedcomLineValue(r, line);
  } else if (tag === 'FAMC' || tag === 'FAMS' || tag === '_SIBLING') {
    const value = gedcomLineValue(r, line);
    if (!value) return;
    if (tag === 'FAMC') person.famc.push(value);
    else if (tag === 'FAMS') person.fams.push(value);
    else r.siblingRefs.push([r.recordId, value]);
  } else if (tag === 'OCCU' || tag === 'RESI' || tag === 'BIRT' || tag === 'DEAT') {
    const value = gedcomLineValue(r, line);
    // RESI, BIRT and DEAT carry a value only as a short form; Y just says the event happened.
    if (tag !== 'OCCU' && (!value || value === 'Y')) return;
    const field = tag === 'OCCU' ? 'occupation' : tag === 'RESI' ? 'residence' : tag === 'BIRT' ? 'birth' : 'death';
    person[field] = value;
    gedcomContinues(r, CONTINUES_FIELD, 1, field);
  }
}

// Level 2 under the person's current event: the date and place of birth and death, the residence's place,
// the parts of the name.
function gedcomEventDetail(r, line) {
  const tag = line.tag, event = r.event;
  let field = '';
  if (tag === 'DATE') field = event === 'BIRT' ? 'birth' : event === 'DEAT' ? 'death' : '';
  else if (tag === 'PLAC') {
    field = event === 'BIRT' ? 'birthPlace' : event === 'DEAT' ? 'deathPlace' : event === 'RESI' ? 'residence' : '';
  } else if (tag === 'GIVN' && event === 'NAME') field = 'givn';
  else if (tag === 'SURN' && event === 'NAME') field = 'surn';
  if (!field) return;
  r.person[field] = gedcomLineValue(r, line);
  gedcomContinues(r, CONTINUES_FIELD, 2, field);
}

function gedcomApplyLine(r, line) {
  if (line.tag === 'CONT' || line.tag === 'CONC') { gedcomContinue(r, line); return; }
  if (line.level <= r.contLevel) gedcomContinues(r, 0, -1);
  if (line.level === 0) gedcomRecordStart(r, line);
  else if (r.family) gedcomFamilyLine(r, line);
  else if (r.person && line.level === 1) gedcomPersonFact(r, line);
  else if (r.person && line.level === 2 && r.event) gedcomEventDetail(r, line);
}

// Reads GEDCOM text into {nodes, families, siblingRefs}: one pass over the lines (LF, CR or CR LF), then the
// completion of each person: a name from GIVN and SURN when NAME gave none, the family membership that only
// the person's FAMC and FAMS lines record, and notes that point to note records. Never fails: unreadable
// lines are skipped.
function parseGedcom(raw) {
  let text = raw === undefined || raw === null ? '' : String(raw);
  if (text.charCodeAt(0) === 0xFEFF) text = text.slice(1);
  const r = gedcomReading(text);
  const line = { level: 0, xref: null, tag: '', valueStart: 0 };
  const end = text.length;
  let nextLF = -1, nextCR = -1;
  for (let pos = 0; pos < end;) {
    if (nextLF < pos) { nextLF = text.indexOf('\n', pos); if (nextLF < 0) nextLF = end; }
    if (nextCR < pos) { nextCR = text.indexOf('\r', pos); if (nextCR < 0) nextCR = end; }
    const stop = nextLF < nextCR ? nextLF : nextCR;
    const start = pos;
    pos = stop + (stop === nextCR && text.charCodeAt(stop + 1) === 10 ? 2 : 1);
    r.stop = stop;
    if (gedcomReadLine(text, start, stop, line)) gedcomApplyLine(r, line);
  }
  return gedcomCompleted(r);
}

function gedcomCompleted({ work, families, siblingRefs, noteTexts }) {
  const nodes = {};
  for (const id of Object.keys(work)) {
    const w = work[id];
    for (const f of w.famc) {
      if (Object.hasOwn(families, f) && !families[f].children.includes(id)) families[f].children.push(id);
    }
    for (const f of w.fams) {
      if (Object.hasOwn(families, f) && !families[f].parents.includes(id)) families[f].parents.push(id);
    }
    nodes[id] = gedcomDraft(w, noteTexts);
  }
  for (const id of Object.keys(families)) {
    const f = families[id];
    if (f.parents.length > 1) f.parents = [...new Set(f.parents)];
    if (f.children.length > 1) f.children = [...new Set(f.children)];
  }
  return { nodes, families, siblingRefs };
}
