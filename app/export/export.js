// Tree export: the header's GEDCOM button and the "Export ▾" menu.
// Owns: no state.

function klnInstallTreeExport() {
  installGedcomSaveButton();
  klnInstallPictureExport();
}
