// JSON backup and restore of the open tree.
// Owns: no state.

function openBackup() {
  modal('Full backup / restore',
    '<p>Backups keep every person, picture, position and story of this tree in one JSON file.</p>',
    'Close', closeModal);
}

async function restoreBackup(file) {
  if (!file) return;
  toast('Restoring backups is not available in this version.');
}
