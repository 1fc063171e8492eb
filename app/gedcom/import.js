// GEDCOM import: choosing a file and adding its people and families to the open tree.
// Owns: bulkImport.

let bulkImport = false;

function triggerImport() {
  $('importFile').click();
}

async function importFile(file) {
  if (!file) return;
  toast('GEDCOM import is not available in this version.');
}
