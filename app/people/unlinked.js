// Unlinked people: the "Show unlinked" switch and its stored preference, and the staging of people without
// any relationship beside the home person.
// Owns: klnShowUnlinked, KLN_SHOW_UNLINKED_KEY, klnLinkedPeople, KLN_STAGE_CAP.

const KLN_SHOW_UNLINKED_KEY = 'kln-show-unlinked';

let klnShowUnlinked = readShowUnlinked();

function readShowUnlinked() {
  try {
    return localStorage.getItem(KLN_SHOW_UNLINKED_KEY) === '1';
  } catch (e) {
    console.warn('Could not read the show-unlinked preference:', e);
    return false;
  }
}

// Shows or hides the staged unlinked people for the moment (picture export), without storing the choice
// or moving the switch.
function klnSetShowUnlinked(on) {
  klnShowUnlinked = !!on;
  renderNeeded = true;
}

function klnInitReconnectUI() {
  const box = $('klnShowUnlinked');
  box.checked = klnShowUnlinked;
  box.addEventListener('change', () => {
    klnShowUnlinked = box.checked;
    try {
      localStorage.setItem(KLN_SHOW_UNLINKED_KEY, klnShowUnlinked ? '1' : '0');
    } catch (e) {
      console.warn('Could not store the show-unlinked preference:', e);
    }
    renderNeeded = true;
  });
}

// People who are an end of some relationship record, for the edge list they were read from.
let klnLinkedPeople = { index: null, length: -1, ids: new Set() };

// Most unlinked people staged beside the home person at once.
const KLN_STAGE_CAP = 60;

function klnLinkedIds() {
  const index = currentEdgeIndex();
  if (klnLinkedPeople.index !== index || klnLinkedPeople.length !== edges.length) {
    const ids = new Set();
    for (const e of edges) if (e) { ids.add(e.a); ids.add(e.b); }
    klnLinkedPeople = { index, length: edges.length, ids };
  }
  return klnLinkedPeople.ids;
}

function klnIsUnlinked(id) {
  return persons.has(id) && !klnLinkedIds().has(id);
}

function klnUnlinkedIds() {
  const linked = klnLinkedIds();
  return [...persons.keys()].filter(id => !linked.has(id));
}

// Appends to the visible ids the first 60 unlinked people in tree order that are not listed yet.
function klnStageUnlinked(ids) {
  if (!klnShowUnlinked) return ids;
  const linked = klnLinkedIds();
  const listed = new Set(ids);
  let taken = 0;
  for (const id of persons.keys()) {
    if (taken >= KLN_STAGE_CAP) break;
    if (linked.has(id)) continue;
    taken++;
    if (!listed.has(id)) ids.push(id);
  }
  return ids;
}
