// Person forms: the dialog that creates a new person. This version asks for the main facts only.
// Owns: no state.

function openPersonModal(id, relation, relationReference) {
  modal('New person',
    '<div class="form-grid">' +
    '<label>Full name<input id="pfName" type="text" autocomplete="off"></label>' +
    '<label>Birth<input id="pfBirth" type="text" autocomplete="off"></label>' +
    '<label>Death<input id="pfDeath" type="text" autocomplete="off"></label>' +
    '<label>Sex<select id="pfSex"><option value="">Unknown</option><option value="F">F</option>' +
    '<option value="M">M</option><option value="X">X</option></select></label></div>',
    'Save person', () => {
      addPerson({ name: val('pfName'), birth: val('pfBirth'), death: val('pfDeath'), sex: val('pfSex') });
      closeModal();
    });
}
