// Placement memory: hand-placed orb offsets and their reset. This version keeps offsets as they are.
// Owns: no state.

const MANUAL_PLACEMENT_FIELDS = ['orbOffset2D', 'orbOffset3D', 'orbOffset', 'orbOffset3DByFormation',
  'klnUserMovedOrb', 'klnPositionLocked', 'layoutBase', 'layoutVersion'];

function klnCaptureExistingOrbPositions() {}

function klnResetAllOrbPositions() {
  for (const p of persons.values()) for (const f of MANUAL_PLACEMENT_FIELDS) delete p[f];
  renderNeeded = true;
  scheduleSave();
  toast('Orb positions reset.');
}
