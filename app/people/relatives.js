// New relatives: turns "new person X is the parent, child, spouse or sibling of Y" into relationship
// records with parent roles, and the family lookups the person forms offer as choices.
// Owns: no state.

const ROLE_ORDER = { father: 0, mother: 1 };

function choosePossibleParents(id) {
  return parentsOf(id).filter(p => persons.has(p));
}

// Recorded parents ordered father, mother, then parents without a role; stable within each group.
function orderedParents(id) {
  const rank = p => ROLE_ORDER[parentRoleFor(id, p)] ?? 2;
  return choosePossibleParents(id).map((p, i) => [rank(p), i, p]).sort((a, b) => a[0] - b[0] || a[1] - b[1])
    .map(x => x[2]);
}

// Who could be the other parent of a new child of `id`: its spouses, then the other parents of its children.
function potentialPartners(id) {
  const out = new Set();
  for (const s of spousesOf(id)) out.add(s);
  for (const child of childrenOf(id)) for (const p of parentsOf(child)) out.add(p);
  out.delete(id);
  return [...out].filter(p => persons.has(p));
}

function hasKey(settings, key) {
  return Object.prototype.hasOwnProperty.call(settings, key);
}

function linkNewParent(id, reference, settings) {
  const given = settings.parentRole;
  const role = given === 'father' || given === 'mother' ? given : nextParentRole(reference);
  const added = addEdge(id, reference, 'parent');
  if (added && role) setParentRole(id, reference, role, true);
  return added;
}

// The second parent of a new child: the `partner` setting when present, else the only potential partner.
function linkNewChild(id, reference, settings) {
  let second = '';
  if (hasKey(settings, 'partner')) second = settings.partner ?? '';
  else {
    const partners = potentialPartners(reference);
    if (partners.length === 1) second = partners[0];
  }
  const added = addEdge(reference, id, 'parent');
  const newName = String(settings.newPartnerName ?? '').trim();
  if (second === 'new' && newName) {
    second = addPerson({ name: newName });
    addEdge(reference, second, 'spouse');
    if (typeof placeRelative === 'function') placeRelative(second, reference, 'spouse', {});
  }
  if (second && persons.has(second) && second !== reference && second !== id) {
    addEdge(reference, second, 'spouse');
    addEdge(second, id, 'parent');
  } else {
    second = '';
  }
  return { added, coparent: second };
}

// A new sibling inherits the chosen parents with their roles toward the reference. Phases: defaults from
// the reference's recorded parents; a newly created second parent; the chosen parents' links to the new
// sibling; optionally the second parent shared with the reference (full siblings); and an explicit
// sibling link when no chosen parent is a parent of the reference.
function linkNewSibling(id, reference, settings) {
  const recorded = orderedParents(reference);
  let parentA = hasKey(settings, 'parentA') ? settings.parentA ?? '' : recorded[0] || '';
  let parentB = hasKey(settings, 'parentB') ? settings.parentB ?? '' : recorded[1] || '';
  const newName = String(settings.newSiblingParentName ?? '').trim();
  if (parentB === 'new' && newName) {
    const motherFirst = persons.has(parentA) && parentRoleFor(reference, parentA) === 'mother';
    parentB = addPerson({ name: newName, sex: motherFirst ? 'M' : 'F' });
    if (typeof placeRelative === 'function') placeRelative(parentB, reference, 'parent', {});
  }
  const chosen = [];
  for (const p of [parentA, parentB])
    if (p && persons.has(p) && p !== id && p !== reference && !chosen.includes(p) && chosen.length < 2) chosen.push(p);
  const roleA = parentRoleFor(reference, parentA);
  let added = false;
  for (const p of chosen) {
    const role = parentRoleFor(reference, p) || (p === parentA ? 'father' : oppositeRole(roleA));
    if (addEdge(p, id, 'parent')) {
      added = true;
      setParentRole(p, id, role);
    }
  }
  const share = settings.shareSecondParent !== false;
  if (share && persons.has(parentB) && parentB !== reference && parentB !== id &&
      !parentsOf(reference).includes(parentB) && parentsOf(reference).length < 2) {
    if (addEdge(parentB, reference, 'parent')) setParentRole(parentB, reference, oppositeRole(roleA));
  }
  const referenceParents = parentsOf(reference);
  if (!chosen.some(p => referenceParents.includes(p))) added = addEdge(reference, id, 'sibling') || added;
  return added;
}

function createRelatedPerson(id, relation, reference, settings = {}) {
  if (!persons.has(id) || !persons.has(reference) || id === reference) return false;
  const options = settings && typeof settings === 'object' ? settings : {};
  let added = false;
  let coparent = '';
  if (relation === 'parent') added = linkNewParent(id, reference, options);
  else if (relation === 'spouse') added = addEdge(reference, id, 'spouse');
  else if (relation === 'child') ({ added, coparent } = linkNewChild(id, reference, options));
  else if (relation === 'sibling') added = linkNewSibling(id, reference, options);
  else return false;
  if (typeof placeRelative === 'function') placeRelative(id, reference, relation, coparent ? { coparent } : {});
  return added;
}
