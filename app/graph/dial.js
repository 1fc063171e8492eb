// 3D orbit dial: a small panel that moves one orb in a horizontal circle around its family anchor (its
// parents, its partner or the home person) at the orb's own height. Only the person's 3D offset changes;
// the camera and the 2D chart are never touched.
// Owns: orbitDialPerson, orbitDialDragging, orbitalCenter, orbitalRadius, orbitalAngle, orbitDialOpen,
// orbitDialWired.

const ORBIT_MIN_RADIUS = 160;
const ORBIT_KNOB_REACH = 68;
const ORBIT_KEY_STEP = Math.PI / 24;
const ORBIT_BUTTON_STEP = Math.PI / 14;

let orbitDialPerson = null;
let orbitDialDragging = false;
let orbitalCenter = null;
let orbitalRadius = 300;
let orbitalAngle = 0;
// What the open dial keeps beside the public state: {base, worldY, screen} of the person at opening.
let orbitDialOpen = null;
let orbitDialWired = false;

// The point an orb circles in the 3D view: its parents' mean, else its first placed partner, else the home
// person, else the graph centre; always at the person's own height. Null when the person is not placed.
function getOrbitalAnchor(id) {
  const p = worldAt(id);
  if (!p) return null;
  const parents = [];
  for (const e of parentRecords(id)) {
    if (!persons.has(e.a)) continue;
    const q = worldAt(e.a);
    if (q) parents.push(q);
  }
  if (parents.length) {
    return { x: meanOf(parents, q => q.x), y: p.y, z: meanOf(parents, q => q.z), label: parents.length === 1 ? 'Parent' : 'Parents' };
  }
  for (const e of edges) {
    if (e.type !== 'spouse' || (e.a !== id && e.b !== id)) continue;
    const partner = e.a === id ? e.b : e.a;
    const q = persons.has(partner) && partner !== id ? worldAt(partner) : null;
    if (q) return { x: q.x, y: p.y, z: q.z, label: 'Partner' };
  }
  const home = rootPersonId && rootPersonId !== id && persons.has(rootPersonId) ? worldAt(rootPersonId) : null;
  if (home) return { x: home.x, y: p.y, z: home.z, label: 'Home person' };
  return { x: 0, y: p.y, z: 0, label: 'Graph center' };
}

function orbitMaxRadius(radius) {
  return Math.max(1200, Math.ceil(1.6 * radius / 100) * 100);
}

function foldDegrees(radians) {
  const degrees = Math.round(radians * 180 / Math.PI);
  return ((degrees + 180) % 360 + 360) % 360 - 180;
}

// Opens the dial for a person at a screen point (the right-click point), else beside the person's orb.
function open3DOrbitMenu(id, screen) {
  if (!mode3 || !persons.has(id)) return;
  closeFamilyWheel();
  close3DOrbitMenu();
  const p = worldAt(id), anchor = getOrbitalAnchor(id), base = buildLayout(displayed()).get(id);
  if (!p || !anchor || !base) return;
  setViewState({ selected: id });
  renderSide();
  renderNeeded = true;
  orbitDialPerson = id;
  orbitalCenter = anchor;
  orbitalAngle = Math.atan2(p.z - anchor.z, p.x - anchor.x);
  orbitalRadius = Math.max(ORBIT_MIN_RADIUS, Math.hypot(p.x - anchor.x, p.z - anchor.z));
  const at = screen && Number.isFinite(screen.x) && Number.isFinite(screen.y) ? { x: screen.x, y: screen.y } : project(p);
  orbitDialOpen = { base: { x: finiteNumber(base.x), y: finiteNumber(base.y), z: finiteNumber(base.z) }, worldY: p.y, screen: at };
  const panel = $('orbitPivotMenu');
  panel.style.left = Math.max(10, Math.min(at.x + 25, w - 274)) + 'px';
  panel.style.top = Math.max(10, Math.min(at.y - 140, h - 335)) + 'px';
  const name = String(persons.get(id).name || '');
  panel.setAttribute('aria-label', 'Move ' + name + ' around the family in 3D');
  panel.innerHTML = orbitDialMarkup(name, anchor.label, orbitMaxRadius(orbitalRadius));
  wireOrbitDial(panel);
  panel.classList.remove('hidden');
  panel.setAttribute('aria-hidden', 'false');
  syncOrbitRing();
}

function orbitDialMarkup(name, label, max) {
  const value = Math.min(max, Math.round(orbitalRadius / 10) * 10);
  return '<div class="orbit-head"><span class="orbit-sign" aria-hidden="true">✦</span>' +
    '<b class="orbit-title" title="' + html(name) + '">Move orb · ' + html(name) + '</b>' +
    '<button type="button" id="orbitDialClose" title="Close orbit controls" aria-label="Close orbit controls">×</button></div>' +
    '<p class="orbit-line">Drag the ring to move this orb around ' + html(label.toLowerCase()) + '</p>' +
    '<div id="orbitDial" class="orbit-dial" role="slider" tabindex="0" aria-label="Move this orb around its family branch"' +
    ' aria-valuemin="-180" aria-valuemax="180" aria-valuenow="0">' +
    '<span class="orbit-knob"></span><span class="orbit-core"><b>◉</b><span>MOVE</span><span>ORB</span></span></div>' +
    '<div class="orbit-steps"><button type="button" id="orbitStepLeft" title="Move orb around its family to the left">↶ Left</button>' +
    '<button type="button" id="orbitStepRight" title="Move orb around its family to the right">Right ↷</button></div>' +
    '<label class="orbit-distance"><span>Orbit distance <b id="orbitDistanceNumber">' + Math.round(orbitalRadius) + '</b></span>' +
    '<input type="range" id="orbitDistance" min="' + ORBIT_MIN_RADIUS + '" max="' + max + '" step="10" value="' + value + '"></label>' +
    '<button type="button" id="orbitDialReset" title="Return orb to its automatic 3D layout position">Reset orb position</button>' +
    '<p class="orbit-help">This moves only the orb in 3D. Its connections follow it; the 2D map and camera angle stay unchanged. ' +
    'Right-drag elsewhere to pan.</p>';
}

// Handlers of one dial's content; they go with the content when the dial closes or opens again.
function wireOrbitDial(panel) {
  if (!orbitDialWired) {
    orbitDialWired = true;
    for (const type of ['pointerdown', 'pointerup', 'mousedown', 'mouseup', 'wheel', 'click', 'dblclick', 'contextmenu']) {
      panel.addEventListener(type, ev => ev.stopPropagation());
    }
    // Ahead of the graph's capture-phase keys, so that the ring's arrows turn the orb and never pan.
    window.addEventListener('keydown', orbitRingKey, true);
  }
  const ring = $('orbitDial');
  ring.addEventListener('pointerdown', orbitRingPress);
  ring.addEventListener('pointermove', orbitRingMove);
  ring.addEventListener('pointerup', orbitRingRelease);
  ring.addEventListener('pointercancel', orbitRingRelease);
  ring.addEventListener('lostpointercapture', orbitRingRelease);
  $('orbitDialClose').addEventListener('click', close3DOrbitMenu);
  $('orbitStepLeft').addEventListener('click', () => turnOrbit(-ORBIT_BUTTON_STEP));
  $('orbitStepRight').addEventListener('click', () => turnOrbit(ORBIT_BUTTON_STEP));
  $('orbitDistance').addEventListener('input', ev => {
    const r = Number(ev.target.value);
    if (!Number.isFinite(r)) return;
    orbitalRadius = r;
    $('orbitDistanceNumber').textContent = String(Math.round(r));
    placeOrbitingOrb();
    scheduleSave();
  });
  $('orbitDialReset').addEventListener('click', resetOrbitingOrb);
}

function close3DOrbitMenu() {
  orbitDialPerson = null;
  orbitDialDragging = false;
  orbitDialOpen = null;
  const panel = $('orbitPivotMenu');
  if (!panel) return;
  panel.innerHTML = '';
  panel.classList.add('hidden');
  panel.setAttribute('aria-hidden', 'true');
}

// Moves the orb to the dial's angle and radius around the centre, at the height it had at opening.
function placeOrbitingOrb() {
  const id = orbitDialPerson, open = orbitDialOpen;
  if (id && open && orbitalCenter && persons.has(id)) {
    storeOffset3D(id, {
      x: orbitalCenter.x + orbitalRadius * Math.cos(orbitalAngle) - open.base.x,
      y: open.worldY - open.base.y,
      z: orbitalCenter.z + orbitalRadius * Math.sin(orbitalAngle) - open.base.z,
    });
  }
  syncOrbitRing();
  renderNeeded = true;
}

// Angle 0 puts the knob on the right of the ring; the slider value is the angle in whole degrees.
function syncOrbitRing() {
  const ring = $('orbitDial');
  if (!ring) return;
  const knob = ring.querySelector('.orbit-knob');
  if (knob) knob.style.transform = 'translate(-50%, -50%) rotate(' + (orbitalAngle + Math.PI / 2) + 'rad) translateY(-' + ORBIT_KNOB_REACH + 'px)';
  ring.setAttribute('aria-valuenow', String(foldDegrees(orbitalAngle)));
}

function turnOrbit(by) {
  if (!orbitDialPerson) return;
  orbitalAngle += by;
  placeOrbitingOrb();
  scheduleSave();
}

function ringAngleAt(ev) {
  const r = $('orbitDial').getBoundingClientRect();
  return Math.atan2(ev.clientY - (r.top + r.height / 2), ev.clientX - (r.left + r.width / 2));
}

function orbitRingPress(ev) {
  if (ev.button !== 0 || !orbitDialPerson) return;
  ev.preventDefault();
  orbitalAngle = ringAngleAt(ev);
  orbitDialDragging = true;
  try { ev.currentTarget.setPointerCapture(ev.pointerId); } catch (e) { /* the pointer is already gone */ }
  placeOrbitingOrb();
}

function orbitRingMove(ev) {
  if (!orbitDialDragging) return;
  orbitalAngle = ringAngleAt(ev);
  placeOrbitingOrb();
}

function orbitRingRelease() {
  if (!orbitDialDragging) return;
  orbitDialDragging = false;
  scheduleSave();
}

function orbitRingKey(ev) {
  if (ev.key !== 'ArrowLeft' && ev.key !== 'ArrowRight') return;
  const ring = $('orbitDial');
  if (!ring || ev.target !== ring || !orbitDialPerson) return;
  ev.preventDefault();
  ev.stopPropagation();
  turnOrbit(ev.key === 'ArrowLeft' ? -ORBIT_KEY_STEP : ORBIT_KEY_STEP);
}

// Back to the automatic place; the dial opens again there with the recomputed anchor, angle and radius.
function resetOrbitingOrb() {
  const id = orbitDialPerson, open = orbitDialOpen;
  if (!id || !open) return;
  if (persons.has(id)) storeOffset3D(id, { x: 0, y: 0, z: 0 });
  renderNeeded = true;
  open3DOrbitMenu(id, open.screen);
  scheduleSave();
}
