// Quick child dialog: adds a child to a person with only a name and a second-parent choice, or connects a
// child who already exists; "More profile details" carries what was typed into the full person form.
// Owns: no state.

function quickChildNote(parentId) {
  const n = potentialPartners(parentId).length;
  if (n === 1) return 'A known spouse or co-parent is suggested. You can change it before adding the child.';
  if (n > 1) return 'Select which spouse or co-parent belongs to this child.';
  return 'No second parent is recorded. You can add the child with one parent, select someone already in the ' +
    'tree, or create another parent.';
}

function openQuickChildDialog(parentId) {
  if (parentId === undefined || parentId === null || !persons.has(parentId)) {
    toast('Select a parent first.');
    return;
  }
  modal('Add child', '<p>' + quickChildNote(parentId) + '</p><div class="kln-form">' +
    '<label>Child\'s name<input type="text" id="quickChildName" autocomplete="off" placeholder="Full name"></label>' +
    partnerSelectMarkup(parentId, 'quickChildPartner') +
    newParentRow('quickChildPartnerRow', 'New second parent\'s name', 'quickChildPartnerNew') + '</div>' +
    '<button type="button" id="quickChildMore">More profile details</button>' +
    '<p class="kln-note">The selected person, ' + html(personName(parentId)) + ', is always the first recorded ' +
    'parent. Choosing another parent records both links.</p>' +
    klnSearchHTML('klnFindExisting', 'Find an existing child profile') +
    '<button type="button" id="klnFindExistingLink">Connect selected existing child</button>',
    'Add child', () => saveQuickChild(parentId));
  revealOnNew('quickChildPartner', 'quickChildPartnerRow');
  klnQuickRelationSearch(parentId, 'child');
  $('quickChildMore').addEventListener('click', () => moreChildDetails(parentId));
  $('quickChildName').focus({ preventScroll: true });
}

// Opens the full form for a new child of the same parent with the name and second-parent choice carried over.
function moreChildDetails(parentId) {
  const name = $('quickChildName').value, partner = $('quickChildPartner').value;
  const newName = $('quickChildPartnerNew').value;
  openPersonModal(null, 'child', parentId);
  $('pfName').value = name;
  const list = $('choosePartner');
  if (list && [...list.options].some(o => o.value === partner)) {
    list.value = partner;
    list.dispatchEvent(new Event('change'));
  }
  if ($('newPartnerName')) $('newPartnerName').value = newName;
}

function saveQuickChild(parentId) {
  const name = val('quickChildName');
  const partner = $('quickChildPartner') ? $('quickChildPartner').value : '';
  const newName = val('quickChildPartnerNew');
  if (!name) {
    toast('Enter the child’s name.');
    return;
  }
  if (partner === 'new' && !newName) {
    toast('Enter the second parent’s name, or choose one known parent.');
    return;
  }
  if (partner && partner !== 'new' && (!persons.has(partner) || partner === parentId)) {
    toast('Choose a valid second parent.');
    return;
  }
  if (!persons.has(parentId)) {
    toast('Select a parent first.');
    return;
  }
  const child = addPerson({ name });
  createRelatedPerson(child, 'child', parentId, { partner, newPartnerName: newName });
  for (const p of parentsOf(child)) {
    const sex = String((persons.get(p) || {}).sex || '').toUpperCase();
    if (sex === 'M') setParentRole(p, child, 'father');
    else if (sex === 'F') setParentRole(p, child, 'mother');
  }
  closeModal();
  setViewState({ selected: child });
  refreshGenerationControls(false);
  update();
  toast('Added ' + personName(child) + ' to ' + personName(parentId) + '’s family.');
}
