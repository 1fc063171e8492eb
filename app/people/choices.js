// Parent choices of the person forms: the second-parent list for a new child and the two parent lists for
// a new sibling, each ending in "create a new parent", whose name row shows only while that is chosen.
// Owns: no state.

function personOption(id, tag, chosen) {
  const p = persons.get(id);
  return '<option value="' + html(id) + '"' + (chosen ? ' selected' : '') + '>' + html(p.name) +
    (tag ? ' · ' + html(tag) : '') + '</option>';
}

// Options for everybody in tree order except the people in `skip`.
function otherPeopleOptions(skip) {
  let out = '';
  for (const p of persons.values()) if (!skip.has(p.id)) out += personOption(p.id, '', false);
  return out;
}

function partnerSelectMarkup(id, control = 'choosePartner') {
  const partners = potentialPartners(id);
  const one = partners.length === 1;
  const skip = new Set([id, ...partners]);
  const others = persons.size > skip.size ? otherPeopleOptions(skip) : '';
  return '<label>Second parent / spouse for this child<select id="' + html(control) + '">' +
    '<option value="">Only ' + html(personName(id)) + ' (one known parent)</option>' +
    partners.map(p => personOption(p, one ? 'suggested second parent' : 'partner', one)).join('') +
    (others ? '<optgroup label="Other existing people">' + others + '</optgroup>' : '') +
    '<option value="new">+ Create another parent / spouse</option></select></label>';
}

function siblingParentList(control, label, priority, preset, id, withNew) {
  const skip = new Set([id, ...priority.map(x => x[0])]);
  return '<label>' + label + '<select id="' + control + '"><option value="">Not specified</option>' +
    priority.map(([p, tag]) => personOption(p, tag, p === preset)).join('') + otherPeopleOptions(skip) +
    (withNew ? '<option value="new">+ Create a new second parent</option>' : '') + '</select></label>';
}

function siblingParentMarkup(id) {
  const recorded = orderedParents(id);
  const [first, second] = recorded;
  const suggestions = first ? potentialPartners(first).filter(p => p !== id && !recorded.includes(p)) : [];
  const summary = recorded.length >= 2 ? 'Both recorded parents will be inherited automatically.'
    : recorded.length === 1 ? 'One recorded parent will be inherited automatically.'
      : 'No recorded parents: you can link existing parents or keep a direct sibling connection.';
  const listA = recorded.map(p => [p, 'recorded parent']);
  const listB = suggestions.map(p => [p, 'possible co-parent'])
    .concat(recorded.filter(p => !suggestions.includes(p)).map(p => [p, 'recorded parent']));
  return '<p class="kln-summary">' + summary + ' Change these choices only if the new person is a half-sibling ' +
    'or has different recorded parents.</p>' +
    siblingParentList('siblingParentA', 'First parent', listA, first, id, false) +
    siblingParentList('siblingParentB', 'Second parent / other parent', listB, second, id, true) +
    '<label class="kln-new-row" id="newSiblingParentRow" hidden>New second parent\'s name' +
    '<input type="text" id="newSiblingParentName" autocomplete="off" placeholder="Full name"></label>' +
    '<label class="check"><input type="checkbox" id="shareSiblingParent" checked> Also connect the chosen second ' +
    'parent to ' + html(personName(id)) + ' when a parent is missing (full siblings).</label>' +
    '<p class="kln-note">Existing parent relationships are never erased. Choosing only one common parent creates a ' +
    'half-sibling; if no parents are selected, the app records an explicit sibling link.</p>';
}

// Shows the row `rowId` exactly while the list `selectId` holds "new".
function revealOnNew(selectId, rowId) {
  const list = $(selectId), row = $(rowId);
  if (!list || !row) return;
  const sync = () => { row.hidden = list.value !== 'new'; };
  list.addEventListener('change', sync);
  sync();
}

function newParentRow(rowId, label, inputId) {
  return '<label class="kln-new-row" id="' + rowId + '" hidden>' + label +
    '<input type="text" id="' + inputId + '" autocomplete="off" placeholder="Full name"></label>';
}
