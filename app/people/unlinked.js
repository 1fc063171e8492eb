// Unlinked people: the workbench of people without any relationship staged beside the home person, the
// "Show unlinked" switch and its stored preference, and drag-to-relink: an unlinked orb released on a
// person (or between a couple) asks how the two are related and links them only after confirmation.
// Owns: klnFirstUnlinkedCache, klnShowUnlinked, KLN_SHOW_UNLINKED_KEY, klnLinkedPeople, KLN_STAGE_CAP,
// DRAG_PLACEMENT_FIELDS, DROPPED_RELATIONSHIPS.

const KLN_SHOW_UNLINKED_KEY = 'kln-show-unlinked';

let klnShowUnlinked = readShowUnlinked();

// On unless the stored text is exactly "false"; unreadable storage counts as on.
function readShowUnlinked() {
  try {
    return localStorage.getItem(KLN_SHOW_UNLINKED_KEY) !== 'false';
  } catch (e) {
    return true;
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
  box.title = 'Display up to 60 profiles with no recorded relationships so you can reconnect them by dragging';
  box.addEventListener('change', () => {
    klnShowUnlinked = box.checked;
    try {
      localStorage.setItem(KLN_SHOW_UNLINKED_KEY, klnShowUnlinked ? 'true' : 'false');
    } catch (e) { /* the choice still holds for this page */ }
    update();
  });
  const canvas = $('tree');
  canvas.addEventListener('pointerdown', markDragStartedAlone);
  // Capture phase: at the canvas itself it runs before the graph's own release handling forgets the drag.
  canvas.addEventListener('pointerup', relinkOnRelease, true);
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

// The first 60 unlinked people in tree order, kept while the people and their links stay the same: the
// visible family is asked for many times a frame, and on a large tree walking every person each time to
// find the unlinked ones was a large part of a refresh. A kept list is checked whole before it is used.
let klnFirstUnlinkedCache = { persons: null, size: -1, linked: null, ids: [] };

function klnFirstUnlinked() {
  const linked = klnLinkedIds();
  const kept = klnFirstUnlinkedCache;
  if (kept.persons === persons && kept.size === persons.size && kept.linked === linked &&
      kept.ids.every(id => persons.has(id) && !linked.has(id))) return kept.ids;
  const ids = [];
  for (const id of persons.keys()) {
    if (ids.length >= KLN_STAGE_CAP) break;
    if (!linked.has(id)) ids.push(id);
  }
  klnFirstUnlinkedCache = { persons, size: persons.size, linked, ids };
  return ids;
}

// Appends to the visible ids the first 60 unlinked people in tree order that are not listed yet. Only
// unlinked people of the list can be among them, so only those are gathered to check against.
function klnStageUnlinked(ids) {
  if (!klnShowUnlinked) return ids;
  const staged = klnFirstUnlinked();
  if (!staged.length) return ids;
  const linked = klnLinkedIds();
  const listed = new Set();
  for (const id of ids) if (!linked.has(id)) listed.add(id);
  for (const id of staged) if (!listed.has(id)) ids.push(id);
  return ids;
}

// Placement fields of a person that a drag changes, as they were before it (absent ones stay absent).
const DRAG_PLACEMENT_FIELDS = ['orbOffset2D', 'orbOffset3D', 'klnUserMovedOrb'];

// Runs after the graph has turned a primary press into an orb move, before anything has moved; an
// unlinked person's placement is kept so that a drop that asks a question leaves no trace of the drag.
function markDragStartedAlone(ev) {
  if (ev.button !== 0 || !mouseDrag || mouseDrag.act !== 'move' || !mouseDrag.id) return;
  mouseDrag.klnStartedAlone = klnIsUnlinked(mouseDrag.id);
  if (!mouseDrag.klnStartedAlone) return;
  const p = persons.get(mouseDrag.id);
  mouseDrag.klnPlacementBefore = DRAG_PLACEMENT_FIELDS.filter(f => Object.prototype.hasOwnProperty.call(p, f))
    .map(f => [f, structuredClone(p[f])]);
}

function restorePlacement(person, drag) {
  if (!Array.isArray(drag.klnPlacementBefore)) {
    if (mode3) person.orbOffset3D = { ...drag.offset3D };
    else person.orbOffset2D = { ...drag.offset2D };
    return;
  }
  for (const f of DRAG_PLACEMENT_FIELDS) delete person[f];
  for (const [f, v] of drag.klnPlacementBefore) person[f] = v;
}

// An unlinked orb released on a person: back to where it stood before the drag, then the question.
function relinkOnRelease(ev) {
  const drag = mouseDrag;
  if (!drag || !drag.moved || drag.act !== 'move' || !drag.klnStartedAlone || !persons.has(drag.id)) return;
  const p = coords(ev);
  const target = klnDropTarget(drag.id, p.x, p.y);
  if (!target) return;
  restorePlacement(persons.get(drag.id), drag);
  renderNeeded = true;
  const source = drag.id;
  queueMicrotask(() => {
    if (persons.has(source) && persons.has(target)) klnDropRelationshipDialog(source, target);
  });
}

// The person an orb released at screen point (x, y) lands on: the nearest projected person within its
// drop range, or the first person of a couple whose midpoint is nearer still. Null when none.
function klnDropTarget(source, x, y) {
  const ids = displayed();
  const points = positionNodes(ids, buildLayout(ids));
  const candidates = new Map();
  for (const id of ids) {
    const s = points.get(id);
    if (id === source || !s || candidates.has(id)) continue;
    if (s.x < -80 || s.y < -80 || s.x > w + 80 || s.y > h + 80) continue;
    candidates.set(id, s);
  }
  let best = null, bestDistance = Infinity;
  for (const [id, s] of candidates) {
    const scale = Number.isFinite(s.scale) && s.scale ? Math.min(2, Math.max(0.25, s.scale)) : 1;
    const r = Math.max(8, 22 * scale);
    const d = Math.hypot(s.x - x, s.y - y);
    if (d <= Math.max(43, Math.min(75, r + 28)) && d < bestDistance) { best = id; bestDistance = d; }
  }
  for (const e of edges) {
    if (!e || e.type !== 'spouse') continue;
    const a = candidates.get(e.a), b = candidates.get(e.b);
    if (!a || !b) continue;
    const separation = Math.hypot(a.x - b.x, a.y - b.y);
    if (separation > 270) continue;
    const d = Math.hypot((a.x + b.x) / 2 - x, (a.y + b.y) / 2 - y);
    if (d < Math.min(84, Math.max(50, 0.56 * separation)) && d < bestDistance) { best = e.a; bestDistance = d; }
  }
  return best;
}

function klnDropRelationshipDialog(source, target) {
  if (!persons.has(source) || !persons.has(target)) return;
  const partners = spousesOf(target).filter(s => s !== source && persons.has(s));
  if (!partners.length) {
    klnGenericRelationshipDialog(source, target);
    return;
  }
  modal('Reconnect a family',
    '<p>Are ' + html(personName(target)) + ' and their spouse the parents of ' + html(personName(source)) + '?</p>' +
    '<div class="kln-form kln-single"><label>Other parent<select id="klnDroppedSecondParent">' +
    partners.map(s => '<option value="' + html(s) + '">' + html(personName(s)) + '</option>').join('') +
    '</select></label></div>' +
    '<p class="kln-note">This only adds parent relationships after you confirm. Nobody will be merged or deleted.</p>' +
    '<button type="button" id="klnDroppedOther">Choose a different relationship</button>',
    'YES — link as parents', () => saveDroppedParents(source, target));
  $('modalCancel').textContent = 'NO';
  $('klnDroppedOther').addEventListener('click', () => klnGenericRelationshipDialog(source, target));
}

// Links the drop target and the chosen spouse as parents; every check is made before anything is linked.
function saveDroppedParents(source, target) {
  const partner = $('klnDroppedSecondParent') ? $('klnDroppedSecondParent').value : '';
  if (!persons.has(source) || !persons.has(target)) return;
  const recorded = parentsOf(source);
  const wanted = [...new Set([target, partner])].filter(id => id && persons.has(id) && !recorded.includes(id));
  if (recorded.length + wanted.length > 2) {
    toast('This profile already has two parents; review them first.');
    return;
  }
  for (const id of wanted) {
    const refusal = klnParentValidation(id, source);
    if (refusal) {
      toast(refusal);
      return;
    }
  }
  for (const id of wanted) {
    const refusal = klnAddReviewedParent(id, source, '');
    if (refusal) {
      toast(refusal);
      return;
    }
  }
  klnAfterRelink(personName(source) + ' linked to both parents.', source);
}

const DROPPED_RELATIONSHIPS = [
  ['spouse', 'Spouses / partners'],
  ['sourceParent', 'Dragged person is the parent'],
  ['targetParent', 'Drop target is the parent'],
  ['sibling', 'Siblings'],
];

function klnGenericRelationshipDialog(source, target) {
  if (!persons.has(source) || !persons.has(target)) return;
  modal('How are they related?',
    '<p>' + html(personName(source)) + ' (dragged) and ' + html(personName(target)) + ' (drop target)</p>' +
    '<div class="kln-form kln-single"><label>Relationship<select id="klnDroppedRelationship">' +
    DROPPED_RELATIONSHIPS.map(([v, t]) => '<option value="' + v + '">' + t + '</option>').join('') +
    '</select></label></div>' +
    '<p class="kln-note">Confirming creates a relationship in your saved family tree. Cancel leaves both profiles ' +
    'unlinked.</p>',
    'Link profiles', () => saveDroppedRelationship(source, target));
}

// The refusal message of a relationship choice, or empty text once the link is made.
function linkDropped(kind, source, target) {
  if (kind === 'spouse') {
    if (spousesOf(source).includes(target) || !addEdge(source, target, 'spouse'))
      return 'These people are already spouses or cannot be linked.';
    return '';
  }
  if (kind === 'sourceParent') return klnAddReviewedParent(source, target, '');
  if (kind === 'targetParent') return klnAddReviewedParent(target, source, '');
  if (kind === 'sibling') {
    if (getSiblings(source).includes(target)) return 'These people are already recorded as siblings.';
    return linkSibling(source, target) ? '' : 'Could not link these siblings.';
  }
  return 'Choose how these people are related.';
}

function saveDroppedRelationship(source, target) {
  if (!persons.has(source) || !persons.has(target)) return;
  const kind = $('klnDroppedRelationship') ? $('klnDroppedRelationship').value : '';
  const refusal = linkDropped(kind, source, target);
  if (refusal) {
    toast(refusal);
    return;
  }
  klnAfterRelink('Linked ' + personName(source) + ' and ' + personName(target) + '.', source);
}
