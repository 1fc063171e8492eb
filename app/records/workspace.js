// The page's view state and the shared refresh cycle: update(), the repaint flag, save scheduling.
// Owns: focus, selected, rootPersonId, expanded, renderNeeded, saveTimer.

let focus = null;
let selected = null;
let rootPersonId = null;
let expanded = new Set();
let renderNeeded = true;
let saveTimer = null;

// Sets any of focus, rootPersonId, selected and expanded, for loaders that replace the open tree.
function setViewState(s) {
  if ('focus' in s) focus = s.focus;
  if ('rootPersonId' in s) rootPersonId = s.rootPersonId;
  if ('selected' in s) selected = s.selected;
  if ('expanded' in s) expanded = new Set(s.expanded);
}

// A new person becomes focus and home when there is none, and always the selection.
function adoptNewPerson(id) {
  if (!focus) focus = id;
  if (!rootPersonId) rootPersonId = id;
  selected = id;
  expanded.add(id);
}

function firstPersonId() {
  return persons.size ? persons.keys().next().value : null;
}

function headerSubtitle() {
  if (!focus) return 'Import your GEDCOM or create relatives manually';
  if (viewScope === 'connected') {
    const n = connectedPeople(focus).length;
    return 'Long family pedigree · ' + countText(n) + ' linked people · use navigator to explore the tall map';
  }
  if (viewScope === 'ancestry4') return 'Classic ancestry chart · four readable generations';
  if (viewScope === 'ancestors') return 'Complete ancestral pedigree · shared ancestors appear once';
  return 'Explore parents, children, siblings and connected generations';
}

// Refresh after any change to people, links, focus, selection or scope.
function update() {
  lineageColorMemo.key = '';
  if (!persons.has(focus)) focus = firstPersonId();
  if (!persons.has(selected)) selected = focus;
  if (!persons.has(rootPersonId)) rootPersonId = focus;
  $('rootBtn').disabled = !rootPersonId;
  $('welcome').classList.toggle('hidden', !!focus);
  $('branchTitle').textContent = focus ? persons.get(focus).name : 'Your family universe';
  $('branchSub').textContent = headerSubtitle();
  renderSide();
  renderNeeded = true;
  updateStats();
  scheduleSave();
}

// Offers the change to the edit history and writes the tree 500 ms after the last of a burst of changes.
function scheduleSave() {
  if (!klnHistory.restoring) klnQueueHistoryMutation();
  clearTimeout(saveTimer);
  saveTimer = setTimeout(save, 500);
}
