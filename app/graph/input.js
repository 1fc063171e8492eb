// Pointer and keyboard input on the graph, the 2D/3D switch and "Refresh graph".
// Owns: mouseDrag.

let mouseDrag = null;

function coords(ev) {
  const r = $('tree').getBoundingClientRect();
  return { x: ev.clientX - r.left, y: ev.clientY - r.top };
}

function installEnhancements() {
  const canvas = $('tree');
  canvas.addEventListener('click', ev => {
    const p = coords(ev);
    const id = nearest(p.x, p.y);
    if (id) selectPerson(id);
  });
  onClick('mode2', () => setViewMode(false));
  onClick('mode3', () => setViewMode(true));
  onClick('refreshBtn', () => {
    closeOrbMenu();
    canvasSize();
    updateStats();
    toast('Tree view refreshed.');
    scheduleSave();
  });
  installLibraryControls();
}
