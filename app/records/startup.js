// Start-up: wires the page in its fixed order, then loads the library and the first tree and starts the
// frame loop. This file comes last in the application script.
// Owns: klnStarted.

let klnStarted = null;

function startKinloom() {
  initSollaryMusic();
  klnInstallUndoRedo();
  bind();
  klnInstallTreeExport();
  installTreeNavigator();
  installEnhancements();
  installSmartFamilyControls();
  installRadialAndLineControls();
  klnInitReconnectUI();
  klnStarted = (async () => {
    try {
      await load();
    } catch (e) {
      console.warn('Loading the family library failed:', e);
    }
    forceConnectedView();
    setLineMode('shared');
    refreshGenerationControls(true);
    update();
    canvasSize();
    showHome();
    requestAnimationFrame(animate);
  })();
}

startKinloom();
