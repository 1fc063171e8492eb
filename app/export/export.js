// Tree export: the header's GEDCOM button and the "Export ▾" menu.
// Owns: no state.

function klnInstallTreeExport() {
  $('backupBtn').textContent = 'Save as GEDCOM';
  onClick('backupBtn', () => toast('GEDCOM export is not available in this version.'));
  onClick('klnExportBtn', () => toast('Picture export is not available in this version.'));
}
