// GEDCOM writer: the open tree as GEDCOM 5.5.1 lineage-linked text (the subset the reader understands, with
// the custom _SIBLING tag), the shared download function and the header's "Save as GEDCOM" button.
// Owns: GEDCOM_VALUE_LIMIT.

// The longest value on one line, so that no line passes GEDCOM's 255 characters ("2 CONC " is seven).
const GEDCOM_VALUE_LIMIT = 248;

// A value on one line: line breaks become single spaces, the result is trimmed.
function gedEscape(s) {
  if (s === undefined || s === null) return '';
  return String(s).replace(/[\r\n]+/g, ' ').trim();
}

function gedcomBlankChar(ch) {
  return ch !== undefined && ch.trim() === '';
}

// Cuts a value into pieces whose written form (with `@` doubled) fits on a line. A cut never falls beside a
// blank (the reader trims every value), inside a doubled `@` or inside a surrogate pair.
function gedcomPieces(text, limit = GEDCOM_VALUE_LIMIT) {
  const pieces = [];
  let start = 0;
  for (;;) {
    let end = start, width = 0;
    while (end < text.length && width + (text[end] === '@' ? 2 : 1) <= limit) width += text[end++] === '@' ? 2 : 1;
    if (end >= text.length) break;
    const splitsPair = i => { const c = text.charCodeAt(i); return c >= 0xDC00 && c <= 0xDFFF; };
    let cut = end;
    while (cut > start + 1 && (gedcomBlankChar(text[cut - 1]) || gedcomBlankChar(text[cut]) || splitsPair(cut))) cut--;
    if (cut <= start + 1) {
      // Nowhere to cut between two letters within the limit (a long run of blanks): cut at the limit.
      cut = splitsPair(end) ? end - 1 : end;
    }
    pieces.push(text.slice(start, cut));
    start = cut;
  }
  pieces.push(text.slice(start));
  return pieces;
}

function gedcomLine(level, tag, value) {
  return level + ' ' + tag + (value ? ' ' + value.replace(/@/g, '@@') : '');
}

// The lines of one value: the tag line and, for a long value, CONC lines one level deeper. With `keepBreaks`
// (notes) every line break of the text becomes a CONT line.
function gedcomValueLines(out, level, tag, text, keepBreaks = false) {
  const rows = keepBreaks ? String(text).trim().split(/\r\n|\r|\n/).map(r => r.trim()) : [gedEscape(text)];
  rows.forEach((row, r) => {
    gedcomPieces(row).forEach((piece, p) => {
      out.push(gedcomLine(p ? level + 1 : r ? level + 1 : level, p ? 'CONC' : r ? 'CONT' : tag, piece));
    });
  });
}

// "Given names /Surname/": the last word of the name is the surname.
function gedcomNameValue(name) {
  const pieces = String(name === undefined || name === null ? '' : name).trim().split(' ');
  const surname = pieces.length >= 2 ? pieces.pop() : '';
  return pieces.join(' ') + ' /' + surname + '/';
}

// Families as the writer groups them: one per distinct set of parents (children in person order), then one
// childless family per spouse link whose partners share no family yet.
function gedcomFamilies() {
  const families = [];
  const byParents = new Map();
  for (const id of persons.keys()) {
    const parents = [...new Set(parentsOf(id))].filter(p => persons.has(p)).sort();
    if (!parents.length) continue;
    const key = JSON.stringify(parents);
    let family = byParents.get(key);
    if (!family) {
      family = { parents, children: [] };
      byParents.set(key, family);
      families.push(family);
    }
    family.children.push(id);
  }
  const pair = (a, b) => JSON.stringify(a < b ? [a, b] : [b, a]);
  const couples = new Set();
  for (const f of families) {
    for (let i = 0; i < f.parents.length; i++) {
      for (let j = i + 1; j < f.parents.length; j++) couples.add(pair(f.parents[i], f.parents[j]));
    }
  }
  for (const e of edges) {
    if (e.type !== 'spouse' || !persons.has(e.a) || !persons.has(e.b) || couples.has(pair(e.a, e.b))) continue;
    couples.add(pair(e.a, e.b));
    families.push({ parents: [e.a, e.b], children: [] });
  }
  return families;
}

function gedcomPersonLines(out, p, xref, siblings) {
  out.push('0 ' + xref.get(p.id) + ' INDI');
  gedcomValueLines(out, 1, 'NAME', gedcomNameValue(p.name));
  if (p.sex) out.push(gedcomLine(1, 'SEX', gedEscape(p.sex)));
  for (const [tag, date, place] of [['BIRT', p.birth, p.birthPlace], ['DEAT', p.death, p.deathPlace]]) {
    if (!date && !place) continue;
    out.push('1 ' + tag);
    if (date) gedcomValueLines(out, 2, 'DATE', date);
    if (place) gedcomValueLines(out, 2, 'PLAC', place);
  }
  if (p.occupation) gedcomValueLines(out, 1, 'OCCU', p.occupation);
  if (p.residence) {
    out.push('1 RESI');
    gedcomValueLines(out, 2, 'PLAC', p.residence);
  }
  if (p.bio) gedcomValueLines(out, 1, 'NOTE', p.bio, true);
  if (p.notes) gedcomValueLines(out, 1, 'NOTE', p.notes, true);
  for (const other of siblings.get(p.id) || []) out.push('1 _SIBLING ' + xref.get(other));
}

// The open tree as GEDCOM text: header, one individual record per person in person order (@I1@, @I2@, ...),
// the families (@F1@, ...) and the trailer, joined by CR LF without a line break at the end.
function gedcomText() {
  const out = ['0 HEAD', '1 SOUR KINLOOM', '1 GEDC', '2 VERS 5.5.1', '2 FORM LINEAGE-LINKED', '1 CHAR UTF-8'];
  const xref = new Map();
  for (const id of persons.keys()) xref.set(id, '@I' + (xref.size + 1) + '@');
  const siblings = new Map();
  for (const e of edges) {
    if (e.type !== 'sibling' || !xref.has(e.a) || !xref.has(e.b) || e.a === e.b) continue;
    if (!siblings.has(e.a)) siblings.set(e.a, []);
    siblings.get(e.a).push(e.b);
  }
  for (const [id, p] of persons) gedcomPersonLines(out, { ...p, id }, xref, siblings);
  gedcomFamilies().forEach((f, i) => {
    out.push('0 @F' + (i + 1) + '@ FAM');
    f.parents.forEach((id, k) => {
      const sex = persons.get(id).sex;
      const tag = sex === 'F' ? 'WIFE' : sex === 'M' ? 'HUSB' : k === 0 ? 'HUSB' : 'WIFE';
      out.push('1 ' + tag + ' ' + xref.get(id));
    });
    for (const id of f.children) out.push('1 CHIL ' + xref.get(id));
  });
  out.push('0 TRLR');
  return out.join('\r\n');
}

function exportGedcom() {
  download('Kinloom_Tree.ged', gedcomText(), 'text/plain');
}

// Hands `content` to the browser as a download named `filename`; the address is released `keepMs` later.
function download(filename, content, mime, keepMs = 3000) {
  const url = URL.createObjectURL(new Blob([content], { type: mime }));
  const a = document.createElement('a');
  a.href = url;
  a.download = filename;
  a.hidden = true;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), keepMs);
}

function installGedcomSaveButton() {
  const button = $('backupBtn');
  button.textContent = 'Save as GEDCOM';
  button.title = 'Download family data as a GEDCOM file (does not include custom layouts or photos)';
  button.addEventListener('click', () => {
    if (!persons.size) {
      toast('Create or import a family tree first.');
      return;
    }
    exportGedcom();
  });
}
