// Person forms: the full person form (new person, new relative of a reference person, or editing), its
// relation blocks with the existing-profile pickers, and the Enter key of person forms.
// Owns: personFormKeysWired.

let personFormKeysWired = false;

const RELATIONS = ['parent', 'child', 'spouse', 'sibling'];

const PRIVACY_CHOICES = [['unknown', 'Unknown'], ['deceased', 'Deceased'], ['living', 'Living (private)']];
const SEX_CHOICES = [['', 'Unknown / not recorded'], ['F', 'Female'], ['M', 'Male'], ['X', 'Other / unspecified']];

// Label, element id, person field and input kind of every field of the form, in order.
const PERSON_FORM_FIELDS = [
  ['Full name', 'pfName', 'name', 'text'],
  ['Privacy / status', 'pfPrivacy', 'privacy', PRIVACY_CHOICES],
  ['Birth date (or year)', 'pfBirth', 'birth', 'text'],
  ['Death date (or year)', 'pfDeath', 'death', 'text'],
  ['Birthplace', 'pfBirthPlace', 'birthPlace', 'text'],
  ['Death place', 'pfDeathPlace', 'deathPlace', 'text'],
  ['Residence', 'pfResidence', 'residence', 'text'],
  ['Occupation / work', 'pfOccupation', 'occupation', 'text'],
  ['Sex (optional)', 'pfSex', 'sex', SEX_CHOICES],
  ['Portrait URL', 'pfPhoto', 'photo', 'text'],
  ['Life story (facts only)', 'pfBio', 'bio', 'area'],
  ['Research notes / family stories', 'pfNotes', 'notes', 'area'],
];

function formField([label, id, field, kind], p) {
  const value = p && p[field] !== undefined && p[field] !== null ? String(p[field]) : '';
  if (Array.isArray(kind)) {
    const preset = kind.some(([v]) => v === value) ? value : kind[0][0];
    return '<label>' + label + '<select id="' + id + '">' + kind.map(([v, t]) => '<option value="' + v + '"' +
      (v === preset ? ' selected' : '') + '>' + t + '</option>').join('') + '</select></label>';
  }
  if (kind === 'area') return '<label class="wide">' + label + '<textarea id="' + id + '" rows="3">' + html(value) + '</textarea></label>';
  return '<label>' + label + '<input type="text" id="' + id + '" autocomplete="off" value="' + html(value) + '"' +
    (id === 'pfName' ? ' placeholder="First middle surname"' : '') + '></label>';
}

function relationBlock(relation, reference) {
  if (relation === 'child') {
    return '<section class="kln-block"><h3>Connect both parents <span class="kln-grey">(one partner is suggested ' +
      'automatically)</span></h3>' + partnerSelectMarkup(reference) +
      klnSearchHTML('klnDetailedChild', 'Find existing child instead') +
      '<button type="button" id="klnDetailedChildLink">Connect selected existing child</button>' +
      newParentRow('newPartnerRow', 'New spouse / second parent name', 'newPartnerName') + '</section>';
  }
  if (relation === 'sibling') {
    return '<section class="kln-block"><h3>Choose the sibling\'s parents</h3>' + siblingParentMarkup(reference) + '</section>';
  }
  if (relation === 'spouse') {
    return '<section class="kln-block"><h3>Add spouse to ' + html(personName(reference)) + '</h3>' +
      '<p>Make a new person using the fields below, or connect someone already in your tree.</p>' +
      klnSearchHTML('klnSpouseSearch', 'Find an existing spouse profile') +
      '<button type="button" id="klnSpouseSearchLink">Connect selected existing spouse</button></section>';
  }
  return '';
}

// The value of a choice list, or undefined when the dialog has no such list.
function choiceOf(id) {
  const el = $(id);
  return el ? el.value : undefined;
}

function openPersonModal(id, relation, relationReference) {
  const editing = id !== undefined && id !== null && persons.has(id) ? persons.get(id) : null;
  const rel = !editing && RELATIONS.includes(relation) ? relation : '';
  const refId = [relationReference, selected].find(r => r !== undefined && r !== null && persons.has(r));
  const reference = rel && refId !== undefined ? refId : null;
  const title = editing ? 'Edit ancestor' : rel ? 'Add ' + rel : 'Add person';
  const note = rel ? '<p class="kln-note">Will be linked as ' + rel + ' to ' +
    (reference ? html(personName(reference)) : 'the selected person') + '.</p>' : '';
  modal(title, (reference ? relationBlock(rel, reference) : '') +
    '<div class="kln-form person-form">' + PERSON_FORM_FIELDS.map(f => formField(f, editing)).join('') + '</div>' + note,
    editing ? 'Save changes' : 'Add to tree', () => savePersonForm(editing ? editing.id : null, rel, reference));
  wirePersonFormKeys();
  $('modalLayer').dataset.profileForm = 'yes';
  if (reference) wireRelationBlock(rel, reference);
  $('pfName').focus({ preventScroll: true });
}

function wireRelationBlock(relation, reference) {
  if (relation === 'child') {
    revealOnNew('choosePartner', 'newPartnerRow');
    const read = klnSetupSearch('klnDetailedChild', [reference]);
    $('klnDetailedChildLink').addEventListener('click', () => {
      const picked = read();
      if (!picked) {
        toast('Choose an existing child first.');
        return;
      }
      const refusal = klnAttachExistingChild(reference, picked, choiceOf('choosePartner') || '', val('newPartnerName'));
      if (refusal) toast(refusal);
      else klnAfterRelink('Existing child connected: ' + personName(picked), picked);
    });
  } else if (relation === 'sibling') {
    revealOnNew('siblingParentB', 'newSiblingParentRow');
  } else if (relation === 'spouse') {
    klnQuickRelationSearch(reference, 'spouse', 'klnSpouseSearch');
  }
}

// The settings for createRelatedPerson, read from whichever relation block the form holds.
function relationSettings() {
  const settings = {};
  if ($('choosePartner')) {
    settings.partner = choiceOf('choosePartner');
    settings.newPartnerName = val('newPartnerName');
  }
  if ($('siblingParentA')) settings.parentA = choiceOf('siblingParentA');
  if ($('siblingParentB')) {
    settings.parentB = choiceOf('siblingParentB');
    settings.newSiblingParentName = val('newSiblingParentName');
  }
  const share = $('shareSiblingParent');
  settings.shareSecondParent = !(share && !share.checked);
  return settings;
}

function savePersonForm(editId, relation, reference) {
  if (!val('pfName')) {
    toast('Please enter a name.');
    return;
  }
  const fields = {};
  for (const [, element, field] of PERSON_FORM_FIELDS) fields[field] = val(element);
  if (!editId && relation === 'sibling' && choiceOf('siblingParentB') === 'new' && !val('newSiblingParentName')) {
    toast('Enter a name for the new second parent, or select Not specified.');
    return;
  }
  if (!editId && relation === 'child' && choiceOf('choosePartner') === 'new' && !val('newPartnerName')) {
    toast('Enter the second parent’s name, or choose one known parent.');
    return;
  }
  let saved = editId;
  if (editId && persons.has(editId)) {
    Object.assign(persons.get(editId), fields);
  } else if (editId) {
    closeModal();
    return;
  } else {
    saved = addPerson(fields);
    if (relation && reference && persons.has(reference)) createRelatedPerson(saved, relation, reference, relationSettings());
  }
  closeModal();
  setViewState({ selected: saved });
  update();
  refreshGenerationControls(false);
  toast('Profile saved.');
}

// Enter in any field of a person form saves it (Shift+Enter keeps a line break; an input method that is
// still composing keeps the key). The form's mark on the dialog layer goes when the layer is hidden.
function wirePersonFormKeys() {
  if (personFormKeysWired) return;
  personFormKeysWired = true;
  const layer = $('modalLayer');
  layer.addEventListener('keydown', e => {
    if (e.key !== 'Enter' || e.shiftKey || e.isComposing || layer.dataset.profileForm !== 'yes') return;
    const field = e.target;
    if (!field || !/^(INPUT|TEXTAREA|SELECT)$/.test(field.tagName) || !$('pfName')) return;
    e.preventDefault();
    $('modalSave').click();
  });
  new MutationObserver(() => {
    if (layer.classList.contains('hidden')) delete layer.dataset.profileForm;
  }).observe(layer, { attributes: true, attributeFilter: ['class'] });
}
