// The "Tree settings" dialog and clearing the open tree.
// Owns: no state.

const SETTINGS_NOTE = 'Save a JSON backup regularly. It preserves pictures, edited positions, and family ' +
  'stories. Different colors distinguish visual family neighborhoods; they do not change or prove ' +
  'relationships. Tidy pedigree hides long cross-branch lines in the overview; it never removes ancestor ' +
  'profiles or parent-child records. Choose Pedigree → Show every link to see all source connections. At ' +
  'full-tree fit, names need zooming to be readable. 3D orb details simplify automatically for speed. This ' +
  'version has no external genealogy searches or browser extensions.';

function showSettings() {
  modal('Workspace settings',
    '<p>Kinloom runs entirely in your browser. GEDCOM import and local family editing are the only ways ' +
    'people are added.</p>' +
    '<div class="settings-actions">' +
    '<button type="button" id="settingsReveal">Reveal all connected relatives</button>' +
    '<button type="button" id="settingsBackup">Full backup / restore (JSON)</button>' +
    '<button type="button" id="settingsResetOrbs">Reset orb positions (2D + 3D)</button>' +
    '<button type="button" id="settingsClear" class="rose">Clear entire tree</button>' +
    '</div><p class="note">' + html(SETTINGS_NOTE) + '</p>',
    'Close', closeModal);
  $('settingsReveal').addEventListener('click', () => { revealAll(); closeModal(); });
  $('settingsBackup').addEventListener('click', () => openBackup());
  $('settingsResetOrbs').addEventListener('click', () => { closeModal(); klnResetAllOrbPositions(); });
  $('settingsClear').addEventListener('click', () => { clearWorkspace(); closeModal(); });
}

function clearWorkspace() {
  if (!confirm('Clear this entire local tree? Download a backup first.')) return;
  replaceFamily(new Map(), []);
  setViewState({ focus: null, rootPersonId: null, selected: null, expanded: [] });
  update();
  toast('Workspace cleared.');
}
