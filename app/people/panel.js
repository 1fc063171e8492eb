// Person details panel: the selected person's Profile, Timeline and Sources tabs, rebuilt whole from the
// record on every redraw, with the inline edit box, the source list and the entry points to every
// relationship action. One set of delegated listeners on the panel body serves every redraw.
// Owns: activeTab, panelWired.

let activeTab = 'profile';
let panelWired = false;

const PANEL_TABS = ['profile', 'timeline', 'sources'];

const PRIVACY_TAGS = new Map([['living', 'Living · private by default'], ['deceased', 'Deceased']]);

const DETAIL_ROWS = [['Born', 'birth'], ['Birthplace', 'birthPlace'], ['Died', 'death'],
  ['Death place', 'deathPlace'], ['Residence', 'residence'], ['Occupation', 'occupation']];

const INLINE_FIELDS = [['Full name', 'name'], ['Birth date', 'birth'], ['Birthplace', 'birthPlace'],
  ['Death date', 'death'], ['Death place', 'deathPlace'], ['Residence', 'residence'], ['Occupation', 'occupation']];
const INLINE_AREAS = [['Life story', 'bio'], ['Research notes', 'notes']];

const RELATIVE_BUTTONS = [['parent', '+ Parent'], ['sibling', '+ Sibling'], ['spouse', '+ Spouse'],
  ['child', '+ Child'], ['link', 'Link existing']];

function tab(t) {
  if (PANEL_TABS.includes(t)) activeTab = t;
  renderSide();
}

function selectedPerson() {
  return selected !== null && selected !== undefined ? persons.get(selected) || null : null;
}

function renderSide() {
  wirePanel();
  document.querySelectorAll('#side .tab').forEach(b => b.classList.toggle('active', b.dataset.tab === activeTab));
  const body = $('sideBody');
  const p = selectedPerson();
  if (!p) {
    body.innerHTML = emptyPanelMarkup();
    return;
  }
  if (activeTab === 'timeline') body.innerHTML = timelineMarkup(p);
  else if (activeTab === 'sources') body.innerHTML = sourcesMarkup(p);
  else {
    body.innerHTML = profileMarkup(p) + inlineEditMarkup(p);
    paintBranchDot(p.id);
  }
}

function emptyPanelMarkup() {
  return '<div class="pp-hero"><div class="pp-portrait"><span class="pp-monogram">✧</span></div>' +
    '<h2 class="pp-name">Your Family Explorer</h2>' +
    '<p class="pp-lead">Select a person to see their biography, relatives, timeline and sources. Import a GEDCOM ' +
    'or start with a new person.</p></div>' +
    '<div class="pp-actions"><button type="button" class="primary" data-act="add">+ Add person</button>' +
    '<button type="button" data-act="import">Import GEDCOM</button></div>' +
    '<p class="pp-note">Your family tree is local to this browser. Download regular backups to protect your research.</p>';
}

function portraitMarkup(p) {
  const src = photoSrc(p.photo);
  return '<div class="pp-portrait"><span class="pp-monogram">' + html(initials(p.name)) + '</span>' +
    (src ? '<img alt="Portrait" src="' + html(src) + '">' : '') + '</div>';
}

// The short label of the person's family neighbourhood, when the colour groups are known.
function branchLabel(id) {
  if (typeof getBranchState !== 'function') return 'Family branch';
  const state = getBranchState() || {};
  const group = state.map && typeof state.map.get === 'function' ? state.map.get(id) : undefined;
  const label = group === undefined ? '' : branchGroupLabel(state, group);
  return label ? String(label) : 'Family branch';
}

// The colour goes through the style object, which ignores anything that is not a colour.
function paintBranchDot(id) {
  const dot = $('sideBody').querySelector('.pp-dot');
  if (dot && typeof familyColor === 'function') dot.style.color = String(familyColor(id) || '');
}

function relativeLinks(ids) {
  const links = [];
  for (const id of ids) {
    const r = persons.get(id);
    if (r) links.push('<a href="#" class="pp-link" data-person="' + html(id) + '">' + html(r.name) + '</a>');
  }
  return links.length ? links.join(', ') : '<span class="pp-none">Not linked</span>';
}

function profileMarkup(p) {
  const fam = familyGroup(p.id);
  const rows = DETAIL_ROWS.map(([label, field]) => '<dt>' + label + '</dt><dd>' +
    (p[field] ? html(p[field]) : '<span class="pp-none">Not recorded</span>') + '</dd>').join('');
  const family = [['Parents', fam.parents], ['Siblings', fam.siblings], ['Spouses', fam.spouses],
    ['Children', fam.children]].map(([label, ids]) => '<dt>' + label + '</dt><dd>' + relativeLinks(ids) + '</dd>').join('');
  return '<div class="pp-hero">' + portraitMarkup(p) +
    '<span class="pp-status">' + (PRIVACY_TAGS.get(p.privacy) || 'Status unverified') + '</span>' +
    '<h2 class="pp-name">' + html(p.name) + '</h2>' +
    '<div class="pp-life"><bdi>' + html(p.birth || '?') + '</bdi> — <bdi>' + html(p.death || '?') + '</bdi></div>' +
    '<div class="pp-branch" title="Color groups are visual neighborhoods, not independent genealogical proof">' +
    '<span class="pp-dot">●</span> <bdi class="pp-branch-label">' + html(branchLabel(p.id)) + '</bdi> · visual group</div></div>' +
    '<div class="pp-actions"><button type="button" data-act="edit">Edit profile</button>' +
    '<button type="button" data-act="center">Center tree</button>' +
    '<button type="button" data-act="picture">Add / change picture</button></div>' +
    '<h3 class="pp-section">PERSONAL DETAILS</h3><dl class="pp-rows">' + rows + '</dl><hr class="pp-divider">' +
    '<h3 class="pp-section">FAMILY RELATIONSHIPS</h3><dl class="pp-rows">' + family + '</dl>' +
    '<div class="pp-actions pp-relatives">' + RELATIVE_BUTTONS.map(([act, label]) =>
      '<button type="button" data-act="' + act + '">' + label + '</button>').join('') + '</div>' +
    '<h3 class="pp-section">LIFE STORY</h3><p class="pp-story">' + html(p.bio || makeBio(p)) + '</p>' +
    (p.notes ? '<div class="pp-notes"><b>Research notes</b><p>' + html(p.notes) + '</p></div>' : '') +
    '<div class="pp-actions"><button type="button" data-act="merge">Review duplicates / merge</button>' +
    '<button type="button" class="rose" data-act="delete">Delete person</button></div>';
}

function inlineEditMarkup(p) {
  const input = ([label, field]) => '<label>' + label + '<input type="text" autocomplete="off" data-inline="' +
    field + '" value="' + html(p[field]) + '"></label>';
  const area = ([label, field]) => '<label>' + label + '<textarea rows="3" data-inline="' + field + '">' +
    html(p[field]) + '</textarea></label>';
  return '<details class="edit-side"><summary>✎ Edit profile information here</summary><div class="pp-form">' +
    INLINE_FIELDS.map(input).join('') + INLINE_AREAS.map(area).join('') +
    '<button type="button" class="primary" data-act="save-inline">Save changes</button>' +
    '<p class="pp-hint">Enter saves a field · Shift+Enter makes a new line in a note.</p></div></details>';
}

function timelineMarkup(p) {
  const life = makeTimeline(p).map(e => '<li><span class="pp-when">' + html(e.when) + '</span>' +
    '<span class="pp-what">' + html(e.text) + '</span></li>').join('');
  const context = historyContext(p).map(e => '<li><small>' + html(e.date) + ' · Historical context only</small>' +
    '<b>' + html(e.title) + '</b><span>' + html(e.desc) + '</span></li>').join('');
  return '<h2 class="pp-title">Life &amp; historical context</h2>' +
    '<p class="pp-lead">Personal facts and world events are shown separately; being alive during an event does not ' +
    'prove participation.</p><h3 class="pp-section">BIOGRAPHICAL TIMELINE</h3>' +
    (life ? '<ul class="pp-timeline">' + life + '</ul>' : '<p class="pp-none">Add dates to begin the timeline.</p>') +
    '<h3 class="pp-section">CONTEXT DURING THEIR LIFETIME</h3>' +
    (context ? '<ul class="pp-context">' + context + '</ul>'
      : '<p class="pp-none">Add a birth year to view historical events.</p>') +
    '<p class="pp-note">These are general historical events, not automatically verified experiences of this person. ' +
    'Check historical sources before using them in their biography.</p>';
}

function sourceMarkup(s, i) {
  const entry = s && typeof s === 'object' ? s : {};
  const url = goodUrl(entry.url);
  return '<div class="pp-source"><div class="pp-source-text"><b>' + html(entry.title || 'Untitled source') + '</b>' +
    (entry.detail ? '<p>' + html(entry.detail) + '</p>' : '') +
    (url ? '<a href="' + html(url) + '" target="_blank" rel="noopener noreferrer">Open document ↗</a>' : '') +
    '</div><button type="button" class="ghost" data-remove-source="' + i + '">Remove</button></div>';
}

function sourcesMarkup(p) {
  const list = Array.isArray(p.sources) ? p.sources : [];
  return '<h2 class="pp-title">Evidence &amp; sources</h2>' +
    '<p class="pp-lead">Keep census records, certificates, family interviews, archive links and your confidence ' +
    'notes attached to each ancestor.</p>' +
    (list.length ? list.map(sourceMarkup).join('') : '<p class="pp-none">No sources recorded yet.</p>') +
    '<h3 class="pp-section">ADD A SOURCE</h3><div class="pp-form">' +
    '<label>Source title<input type="text" id="srcTitle" autocomplete="off" placeholder="1900 US Census, birth certificate…"></label>' +
    '<label>Link (optional)<input type="text" id="srcUrl" autocomplete="off" placeholder="https://…"></label>' +
    '<label>What the source establishes<textarea id="srcDetail" rows="3" placeholder="Name, residence, date, citation, uncertainty…"></textarea></label>' +
    '<button type="button" class="primary" data-act="add-source">+ Save source</button></div>' +
    '<p class="pp-note">A relationship should be supported by records whenever possible. Imported claims are leads ' +
    'until verified.</p>';
}

function saveSidebar() {
  const p = selectedPerson();
  if (!p) return;
  const fields = {};
  $('sideBody').querySelectorAll('[data-inline]').forEach(el => { fields[el.dataset.inline] = el.value.trim(); });
  if (!fields.name) {
    toast('Please enter a name.');
    return;
  }
  for (const [, field] of INLINE_FIELDS.concat(INLINE_AREAS)) if (field in fields) p[field] = fields[field];
  update();
  toast('Profile saved.');
}

function addSource() {
  const p = selectedPerson();
  if (!p) return;
  const title = val('srcTitle');
  if (!title) {
    toast('Enter a source title.');
    return;
  }
  if (!Array.isArray(p.sources)) p.sources = [];
  p.sources.push({ title, url: goodUrl(val('srcUrl')), detail: val('srcDetail') });
  update();
  toast('Source saved to this person.');
}

function removeSource(i) {
  const p = selectedPerson();
  const index = Number(i);
  if (!p || !Array.isArray(p.sources) || !Number.isInteger(index) || index < 0 || index >= p.sources.length) return;
  p.sources.splice(index, 1);
  update();
}

// Centres the graph on the person: the camera's own "set focus" when there is one, else select and centre.
function centerOnPerson(id) {
  if (typeof setFocus === 'function') { setFocus(id); return; }
  selectPerson(id);
  if (typeof centerCameraOn === 'function') centerCameraOn(id);
}

function panelAction(act) {
  const id = selected;
  const actions = {
    add: () => openPersonModal(),
    import: () => triggerImport(),
    edit: () => openPersonModal(id),
    center: () => centerOnPerson(id),
    picture: () => choosePortrait(id),
    parent: () => openPersonModal(null, 'parent', id),
    sibling: () => openPersonModal(null, 'sibling', id),
    spouse: () => openPersonModal(null, 'spouse', id),
    child: () => openQuickChildDialog(id),
    link: () => openLinkModal(),
    merge: () => openMergeModal(id),
    delete: () => deletePerson(id),
    'save-inline': saveSidebar,
    'add-source': addSource,
  };
  if (Object.hasOwn(actions, act)) actions[act]();
}

// Listeners on the panel body and its close button, installed once: the body's content is replaced on
// every redraw, its listeners stay.
function wirePanel() {
  if (panelWired) return;
  panelWired = true;
  const body = $('sideBody');
  body.addEventListener('click', e => {
    const target = e.target.closest ? e.target.closest('[data-act], [data-person], [data-remove-source]') : null;
    if (!target || !body.contains(target)) return;
    if (target.dataset.person !== undefined) {
      e.preventDefault();
      selectPerson(target.dataset.person);
    } else if (target.dataset.removeSource !== undefined) {
      removeSource(Number(target.dataset.removeSource));
    } else {
      panelAction(target.dataset.act);
    }
  });
  body.addEventListener('keydown', e => {
    if (e.key !== 'Enter' || e.shiftKey || e.isComposing || !e.target.dataset || !e.target.dataset.inline) return;
    e.preventDefault();
    saveSidebar();
  });
  // A portrait that cannot be loaded hides itself; the monogram behind it shows.
  body.addEventListener('error', e => { if (e.target.tagName === 'IMG') e.target.hidden = true; }, true);
  const close = $('sideClose');
  if (close) close.addEventListener('click', () => $('side').classList.remove('open'));
}
