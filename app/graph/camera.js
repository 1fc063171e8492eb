// Camera and canvas sizing for the 2D and 3D views, and selecting a person.
// Owns: mode3, zoom, shiftX, shiftY, rotation, tilt, camera2, camera3, cameraTarget3D, w, h, device.

let mode3 = false;
let zoom = 1;
let shiftX = 0;
let shiftY = 0;
let rotation = 0.28;
let tilt = 0.32;
let camera2 = { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.28, tilt: 0.32 };
let camera3 = { zoom: 1, shiftX: 0, shiftY: 0, rotation: 0.12, tilt: 0.16 };
let cameraTarget3D = { x: 0, y: 0, z: 0 };
let w = 0;
let h = 0;
let device = 1;

// Fits both canvases to the graph area at the screen's pixel ratio and repaints.
function canvasSize() {
  const area = $('graph');
  w = area.clientWidth;
  h = area.clientHeight;
  device = Math.min(window.devicePixelRatio || 1, 2);
  for (const id of ['stars', 'tree']) {
    const c = $(id);
    c.width = Math.max(1, Math.round(w * device));
    c.height = Math.max(1, Math.round(h * device));
  }
  drawStars();
  renderNeeded = true;
}

function project(p) {
  return { x: w / 2 + shiftX + p.x * zoom, y: h / 2 + shiftY + p.y * zoom, scale: zoom, depth: 0 };
}

function selectPerson(id) {
  if (!persons.has(id)) return;
  selected = id;
  renderSide();
  updateStats();
  if (window.innerWidth < 750) $('side').classList.add('open');
  renderNeeded = true;
}

function setViewMode(threeD) {
  mode3 = threeD;
  $('mode2').classList.toggle('active', !threeD);
  $('mode3').classList.toggle('active', threeD);
  canvasSize();
}
