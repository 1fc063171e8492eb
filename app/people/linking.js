// Linking existing people: the plain link dialog of the person panel, and the reviewed operations behind
// the existing-profile pickers, which refuse a third parent, a repeated link or an ancestry cycle with a
// readable message before anything changes, assign parent roles and all end the same way.
// Owns: no state.

const LINK_RELATIONS = [
  ['parent', 'Selected person is parent of chosen person'],
  ['child', 'Selected person is child of chosen person'],
  ['spouse', 'Spouses / partners'],
  ['sibling', 'Siblings (share parents if known)'],
];

function personName(id) {
  const p = persons.get(id);
  return p ? String(p.name ?? '') : '';
}

function openLinkModal() {
  const id = selected;
  const p = id !== null && id !== undefined ? persons.get(id) : null;
  if (!p) return;
  if (persons.size < 2) {
    toast('Add another person first.');
    return;
  }
  let people = '';
  for (const other of persons.values()) {
    if (other.id === id) continue;
    people += '<option value="' + html(other.id) + '">' + html(other.name) + ' (' + html(other.birth || '?') + ')</option>';
  }
  modal('Link an existing person',
    '<p>Choose a relationship to ' + html(p.name) + '. Check your evidence before linking.</p>' +
    '<div class="kln-form kln-single"><label>Person<select id="linkTo">' + people + '</select></label>' +
    '<label>Relationship<select id="linkRel">' + LINK_RELATIONS.map(([v, t]) =>
      '<option value="' + v + '">' + t + '</option>').join('') + '</select></label></div>',
    'Link people', () => saveLinkModal(id));
}

function saveLinkModal(id) {
  const other = $('linkTo') ? $('linkTo').value : '';
  const relation = $('linkRel') ? $('linkRel').value : '';
  let linked = false;
  if (persons.has(id) && persons.has(other)) {
    if (relation === 'parent') linked = addEdge(id, other, 'parent');
    else if (relation === 'child') linked = addEdge(other, id, 'parent');
    else if (relation === 'spouse') linked = addEdge(id, other, 'spouse');
    else if (relation === 'sibling') linked = linkSibling(id, other);
  }
  closeModal();
  update();
  toast(linked ? 'People linked.' : 'Already linked or invalid connection.');
}

function klnParentValidation(parent, child) {
  if (!persons.has(parent) || !persons.has(child) || parent === child) return 'Choose two different valid profiles.';
  const parents = parentsOf(child);
  if (parents.includes(parent)) return 'That parent-child connection already exists.';
  if (parents.length >= 2) return personName(child) + ' already has two recorded parents. Review their relationships first.';
  if (isDescendant(parent, child)) return 'This would create an impossible parent-child ancestry cycle.';
  return '';
}

function oppositeRole(role) {
  return role === 'mother' ? 'father' : 'mother';
}

function klnAddReviewedParent(parent, child, role) {
  const refusal = klnParentValidation(parent, child);
  if (refusal) return refusal;
  const sex = String((persons.get(parent) || {}).sex || '').toUpperCase();
  let chosen = role === 'father' || role === 'mother' ? role
    : sex === 'M' ? 'father' : sex === 'F' ? 'mother' : nextParentRole(child);
  if (!addEdge(parent, child, 'parent')) return 'Could not link these profiles.';
  if (chosen) {
    const taken = parentsOf(child).some(other => other !== parent && parentRoleFor(child, other) === chosen);
    if (taken) chosen = oppositeRole(chosen);
    setParentRole(parent, child, chosen);
  }
  return '';
}

// Makes `child` a child of `parent` and, when given, of a second parent: an existing person, or `new` to
// create one named `newPartnerName`. Every refusal is decided before anything is written.
function klnAttachExistingChild(parent, child, partner, newPartnerName) {
  if (!persons.has(parent) || !persons.has(child)) return 'Choose a valid child.';
  const isNew = partner === 'new';
  if (partner && !isNew && (!persons.has(partner) || partner === parent || partner === child))
    return 'Choose a valid second parent.';
  const recorded = parentsOf(child);
  const wanted = partner && !isNew ? [parent, partner] : [parent];
  const missing = wanted.filter(id => !recorded.includes(id));
  if (recorded.length + missing.length + (isNew ? 1 : 0) > 2)
    return 'This child already has too many recorded parents for the chosen connection.';
  for (const id of missing) {
    const refusal = klnParentValidation(id, child);
    if (refusal) return refusal;
  }
  const name = String(newPartnerName ?? '').trim();
  if (isNew && !name) return 'Enter the new second parent’s name.';
  if (isNew) {
    const created = addPerson({ name });
    addEdge(parent, created, 'spouse');
    if (typeof placeRelative === 'function') placeRelative(created, parent, 'spouse', {});
    missing.push(created);
  } else if (partner) {
    addEdge(parent, partner, 'spouse');
  }
  for (const id of missing) {
    const refusal = klnAddReviewedParent(id, child, '');
    if (refusal) return refusal;
  }
  if (!missing.length) {
    update();
    return 'The selected people are already connected as parents of this child.';
  }
  return '';
}

// Wires a picker and its button `prefix + "Link"` to connect the picked person to `base` as `kind`.
function klnQuickRelationSearch(base, kind, prefix = 'klnFindExisting') {
  const read = klnSetupSearch(prefix, [base]);
  const button = $(prefix + 'Link');
  if (!button) return read;
  button.addEventListener('click', () => {
    const picked = read();
    if (!picked || !persons.has(picked)) {
      toast('Choose a matching existing profile first.');
      return;
    }
    let refusal = '';
    if (kind === 'child') {
      const partner = $('quickChildPartner') ? $('quickChildPartner').value : '';
      refusal = klnAttachExistingChild(base, picked, partner, val('quickChildPartnerNew'));
    } else if (kind === 'spouse') {
      if (spousesOf(base).includes(picked)) refusal = 'These two people are already spouses.';
      else if (!addEdge(base, picked, 'spouse')) refusal = 'Could not link these spouses.';
    } else if (kind === 'parent') {
      refusal = klnAddReviewedParent(picked, base, val('klnExistingParentRole'));
    }
    if (refusal) {
      toast(refusal);
      return;
    }
    klnAfterRelink('Connected existing ' + kind + ' profile: ' + personName(picked), picked);
  });
  return read;
}

// A new link may join two separate parts of the tree: every cached layout and connectivity goes stale.
function invalidateRelinkCaches() {
  if (typeof singleLayoutCache === 'object' && singleLayoutCache) singleLayoutCache.key = '';
  if (typeof coupleTreeCache === 'object' && coupleTreeCache) coupleTreeCache.key = '';
  if (typeof klnNearbySpouseCache === 'object' && klnNearbySpouseCache) klnNearbySpouseCache.key = '';
  if (typeof connectivityCache === 'object' && connectivityCache) connectivityCache.key = '';
  if (typeof tidyCache === 'object' && tidyCache) tidyCache.key = '';
}

function klnAfterRelink(message, selection) {
  if (selection !== undefined && selection !== null && persons.has(selection)) setViewState({ selected: selection });
  invalidateRelinkCaches();
  closeModal();
  refreshGenerationControls(false);
  update();
  scheduleSave();
  toast(message);
}
