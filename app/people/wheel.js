// Family wheel: the radial menu of eight family actions around a disc with the person's portrait and name,
// opened by a double-click on an orb, and the add-parents dialog of its "Add parents" sector. The wheel
// covers the graph while open; every change to the tree happens in the dialog an action opens.
// Owns: wheelPerson, wheelKeysWired, WHEEL_ACTIONS, WHEEL_ICONS and the WHEEL_ geometry constants.

// The person the open wheel is for, or null while it is closed.
let wheelPerson = null;
let wheelKeysWired = false;

// [action, label, angle in degrees clockwise from straight up].
const WHEEL_ACTIONS = [
  ['delete', 'Delete', -22.5],
  ['parent', 'Add parents', 22.5],
  ['spouse', 'Add spouse', 67.5],
  ['child', 'Add child', 112.5],
  ['sibling', 'Add sibling', 157.5],
  ['merge', 'Merge profiles', 202.5],
  ['unlink', 'Unlink', 247.5],
  ['style', 'Customize orb', 292.5],
];

const WHEEL_CENTRE = 195;
const WHEEL_INNER = 93;
const WHEEL_OUTER = 182;
const WHEEL_BUTTON_RADIUS = 139;
const WHEEL_HALF_SPAN = 21.9;

const WHEEL_ICONS = {
  delete: '<path d="M4 7h16"/><path d="M9 7V4.5h6V7"/><path d="M6.5 7l1 13h9l1-13"/><path d="M10 11v6M14 11v6"/>',
  parent: '<circle cx="8" cy="6.5" r="3"/><path d="M2.5 20v-3a5.5 5.5 0 0 1 11 0v3"/><circle cx="17" cy="10" r="2.2"/>' +
    '<path d="M13.5 20v-2a3.5 3.5 0 0 1 7 0v2"/>',
  spouse: '<path d="M12 20s-7.5-4.6-7.5-10A4.2 4.2 0 0 1 12 7.4 4.2 4.2 0 0 1 19.5 10c0 5.4-7.5 10-7.5 10z"/>',
  child: '<circle cx="12" cy="8" r="3.2"/><path d="M6.5 20v-2.5a5.5 5.5 0 0 1 11 0V20"/><path d="M12 4.8c1.6-2 3.6-1.2 3 .6"/>',
  sibling: '<circle cx="7.5" cy="8" r="2.8"/><circle cx="16.5" cy="8" r="2.8"/><path d="M2.5 19.5v-2a5 5 0 0 1 10 0v2"/>' +
    '<path d="M11.5 19.5v-2a5 5 0 0 1 10 0v2"/>',
  unlink: '<path d="M9.5 14.5l-2 2a3.2 3.2 0 0 1-4.5-4.5l2.5-2.5a3.2 3.2 0 0 1 4.3-.2"/>' +
    '<path d="M14.5 9.5l2-2a3.2 3.2 0 0 1 4.5 4.5l-2.5 2.5a3.2 3.2 0 0 1-4.3.2"/><path d="M4 4l2.5 2.5M20 20l-2.5-2.5"/>',
  merge: '<circle cx="6" cy="12" r="3.5"/><circle cx="18" cy="12" r="3.5"/><path d="M9.5 12h5"/><path d="M12.5 10l2 2-2 2"/>',
  style: '<circle cx="12" cy="12" r="7.5"/><path d="M12 2v5M12 17v5M2 12h5M17 12h5"/>' +
    '<path d="M12 9.5l.8 1.7 1.7.8-1.7.8-.8 1.7-.8-1.7-1.7-.8 1.7-.8z"/>',
};

function wheelPoint(cx, cy, r, angle) {
  const a = angle * Math.PI / 180;
  return (cx + r * Math.sin(a)) + ' ' + (cy - r * Math.cos(a));
}

// The outline of one ring sector as SVG path data: outer arc clockwise, inner arc back.
function radialWheelPath(cx, cy, inner, outer, a0, a1) {
  return ['M', wheelPoint(cx, cy, outer, a0), 'A', outer, outer, 0, 0, 1, wheelPoint(cx, cy, outer, a1),
    'L', wheelPoint(cx, cy, inner, a1), 'A', inner, inner, 0, 0, 0, wheelPoint(cx, cy, inner, a0), 'Z'].join(' ');
}

function radialWheelIcon(action) {
  const body = Object.prototype.hasOwnProperty.call(WHEEL_ICONS, action) ? WHEEL_ICONS[action] : '';
  return '<svg class="orb-wheel-icon" viewBox="0 0 24 24" width="27" height="27" fill="none" stroke="currentColor" ' +
    'stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round" aria-hidden="true" focusable="false">' +
    body + '</svg>';
}

// Where the stage's centre goes in a graph of w × h pixels, kept clear of the edges at the drawn scale.
function wheelPlacement(width, height) {
  const side = Math.min(width, height);
  const scale = side < 460 ? 0.70 : side < 760 ? 0.81 : 1;
  const clearance = 197 * scale;
  const y = Math.max(clearance + 7, Math.min(height / 2 + 23, height - clearance - 7));
  return { x: width / 2, y, scale, clearance };
}

function wheelPortrait(p) {
  const name = String(p.name ?? '');
  const src = photoSrc(p.photo);
  const face = src ? '<img src="' + html(src) + '" alt="">' : '<span class="orb-wheel-initials">' + html(initials(name)) + '</span>';
  return '<button type="button" class="orb-wheel-portrait" data-act="picture" title="Upload or change this person\'s photo" ' +
    'aria-label="' + html('Upload photo for ' + name) + '">' + face + '<span class="orb-wheel-badge" aria-hidden="true">+</span></button>';
}

function wheelMarkup(p) {
  const name = String(p.name ?? '');
  const c = WHEEL_CENTRE;
  const sectors = WHEEL_ACTIONS.map(([act, label, angle]) =>
    '<path class="orb-sector' + (act === 'delete' ? ' danger' : '') + '" data-act="' + act + '" role="button" ' +
    'aria-label="' + html(label) + '" d="' + radialWheelPath(c, c, WHEEL_INNER, WHEEL_OUTER, angle - WHEEL_HALF_SPAN,
      angle + WHEEL_HALF_SPAN) + '"></path>').join('');
  const buttons = WHEEL_ACTIONS.map(([act, label, angle], i) => {
    const a = angle * Math.PI / 180;
    const x = c + WHEEL_BUTTON_RADIUS * Math.sin(a), y = c - WHEEL_BUTTON_RADIUS * Math.cos(a);
    return '<button type="button" class="orb-wheel-action' + (act === 'delete' ? ' danger' : '') + '" data-act="' + act +
      '" data-index="' + i + '" style="left:' + x.toFixed(2) + 'px;top:' + y.toFixed(2) + 'px;animation-delay:' +
      (i * 29) + 'ms">' + radialWheelIcon(act) + '<span>' + html(label) + '</span></button>';
  }).join('');
  return '<div class="orb-wheel-anchor"><div class="orb-wheel-stage" role="dialog" aria-modal="true" aria-label="' +
    html('Family actions for ' + name) + '">' +
    '<svg class="orb-wheel-ring" viewBox="0 0 390 390" width="390" height="390">' +
    '<circle class="orb-wheel-halo" cx="' + c + '" cy="' + c + '" r="185"></circle>' + sectors + '</svg>' + buttons +
    '<div class="orb-wheel-disc">' + wheelPortrait(p) +
    '<button type="button" class="orb-wheel-name" data-act="edit" title="' + html('Edit ' + name) + '">' +
    '<b>' + html(name) + '</b><span>✎ Edit profile</span></button></div>' +
    '<button type="button" class="orb-wheel-close" data-act="close" aria-label="Close menu">×</button></div>' +
    '<div class="orb-wheel-hint">Click portrait to upload · Esc to close</div></div>';
}

function showOrbMenu(id, pos) {
  const p = id !== undefined && id !== null ? persons.get(id) : null;
  if (!p) return;
  setViewState({ selected: id });
  renderSide();
  renderNeeded = true;
  wireWheelKeys();
  const menu = $('orbMenu');
  const at = wheelPlacement(w, h);
  wheelPerson = id;
  menu.innerHTML = wheelMarkup(p);
  menu.style.setProperty('--wheel-x', at.x + 'px');
  menu.style.setProperty('--wheel-y', at.y + 'px');
  menu.classList.remove('hidden');
  menu.classList.add('radial-open');
  menu.setAttribute('aria-hidden', 'false');
  menu.onclick = wheelClick;
  menu.onpointerdown = ev => ev.stopPropagation();
  menu.onpointerup = ev => ev.stopPropagation();
  menu.onwheel = ev => { ev.preventDefault(); ev.stopPropagation(); };
  menu.ondblclick = ev => ev.stopPropagation();
}

function hideOrbMenu() {
  const menu = $('orbMenu');
  wheelPerson = null;
  if (!menu) return;
  menu.classList.add('hidden');
  menu.classList.remove('radial-open');
  menu.setAttribute('aria-hidden', 'true');
  menu.innerHTML = '';
  menu.onclick = menu.onpointerdown = menu.onpointerup = menu.onwheel = menu.ondblclick = null;
  menu.style.removeProperty('--wheel-x');
  menu.style.removeProperty('--wheel-y');
}

// The older name of hideOrbMenu, still called by the page's general wiring.
function closeOrbMenu() {
  hideOrbMenu();
}

// A click on an action closes the wheel and opens that action for the wheel's person; a click on the
// dimmed backdrop only closes it.
function wheelClick(ev) {
  const menu = $('orbMenu');
  const target = ev.target.closest ? ev.target.closest('[data-act]') : null;
  const id = wheelPerson;
  if (!target || !menu.contains(target)) {
    if (!ev.target.closest || !ev.target.closest('.orb-wheel-stage')) hideOrbMenu();
    return;
  }
  const act = target.dataset.act;
  hideOrbMenu();
  if (act === 'close' || !persons.has(id)) return;
  setViewState({ selected: id });
  renderSide();
  renderNeeded = true;
  runWheelAction(act, id);
}

function runWheelAction(act, id) {
  const actions = {
    delete: () => deletePerson(id),
    parent: () => openWheelAddParents(id),
    spouse: () => openPersonModal(null, 'spouse', id),
    child: () => openQuickChildDialog(id),
    sibling: () => openPersonModal(null, 'sibling', id),
    merge: () => openMergeModal(id),
    unlink: () => openWheelUnlink(id),
    style: () => {
      if (typeof openOrbStudio === 'function') openOrbStudio(id);
      else toast('The orb studio is not available in this version.');
    },
    picture: () => choosePortrait(id),
    edit: () => openPersonModal(id),
  };
  if (Object.prototype.hasOwnProperty.call(actions, act)) actions[act]();
}

// Escape closes an open wheel and nothing else: the key is stopped before the page's other handlers
// (leaving graph-only fullscreen, closing dialogs) see it.
function wireWheelKeys() {
  if (wheelKeysWired) return;
  wheelKeysWired = true;
  window.addEventListener('keydown', ev => {
    if (ev.key !== 'Escape' || wheelPerson === null) return;
    ev.preventDefault();
    ev.stopImmediatePropagation();
    hideOrbMenu();
  }, true);
}

// The father and mother roles that no recorded parent of the person holds, in that order.
function freeParentRoles(id) {
  const taken = parentsOf(id).map(p => parentRoleFor(id, p));
  return ['father', 'mother'].filter(role => !taken.includes(role));
}

function openWheelAddParents(id) {
  const p = id !== undefined && id !== null ? persons.get(id) : null;
  if (!p) return;
  const count = parentsOf(id).length;
  if (count >= 2) {
    toast('This person already has two recorded parents. Use Unlink first if a relationship is incorrect.');
    return;
  }
  hideOrbMenu();
  const free = freeParentRoles(id);
  const slots = 2 - count;
  const roleLabel = role => (role === 'father' ? 'Parent 1' : 'Parent 2');
  const input = role => {
    const field = role === 'father' ? 'wheelParentA' : 'wheelParentB';
    return '<label>' + roleLabel(role) + ' name<input type="text" id="' + field + '" autocomplete="off" placeholder="Full name' +
      (role === 'mother' ? ' (optional)' : '') + '"></label>';
  };
  modal('Add parents to ' + String(p.name ?? ''),
    '<p>Add up to ' + slots + ' parent' + (count === 0 ? 's' : '') + '. Existing parents are preserved. Parent 1 and ' +
    'Parent 2 determine the paternal and maternal branch assignments.</p>' +
    klnSearchHTML('klnExistingParent', 'Find an existing parent profile') +
    '<div class="kln-form kln-single"><label>Which parent role?<select id="klnExistingParentRole">' +
    free.map(role => '<option value="' + role + '">' + roleLabel(role) + '</option>').join('') + '</select></label></div>' +
    '<button type="button" id="klnExistingParentLink">Connect selected existing parent</button>' +
    '<hr class="kln-rule"><p class="kln-grey">Or create a new parent:</p>' +
    '<div class="kln-form kln-single">' + free.map(input).join('') + '</div>',
    'Add parents', () => saveWheelAddParents(id));
  klnQuickRelationSearch(id, 'parent', 'klnExistingParent');
}

function saveWheelAddParents(id) {
  if (!persons.has(id)) {
    closeModal();
    return;
  }
  const requests = freeParentRoles(id).filter(role => val(role === 'father' ? 'wheelParentA' : 'wheelParentB'));
  if (!requests.length) {
    toast('Enter at least one parent name.');
    return;
  }
  if (requests.length > 2 - parentsOf(id).length) {
    toast('No more parent slots are available.');
    return;
  }
  const names = requests.map(role => val(role === 'father' ? 'wheelParentA' : 'wheelParentB'));
  requests.forEach((role, i) => {
    const parent = addPerson({ name: names[i], sex: role === 'father' ? 'M' : 'F' });
    createRelatedPerson(parent, 'parent', id, { parentRole: role });
  });
  setViewState({ selected: id });
  closeModal();
  update();
  refreshGenerationControls(false);
  scheduleSave();
  toast((requests.length > 1 ? 'Parents added to ' : 'Parent added to ') + personName(id));
}
