// The family library overlay: the list of saved trees, creating, renaming and deleting one tree, and
// deleting the whole library.
// Owns: libraryDeleting.

let libraryDeleting = false;

function libraryShown() {
  return !$('homeOverlay').classList.contains('hidden');
}

function showHome() {
  closeOrbitDial();
  $('homeOverlay').classList.remove('hidden');
  sollaryPlaceMusicControls(true);
  renderTreeLibrary();
}

function hideHome() {
  $('homeOverlay').classList.add('hidden');
  sollaryPlaceMusicControls(false);
  renderNeeded = true;
}

function treeCard(t) {
  const id = html(t.id);
  return '<div class="tree-entry"><h3>' + html(t.name) + '</h3><div class="meta">' +
    html(countText(t.count || 0) + ' people · Updated ' + new Date(t.updated || Date.now()).toLocaleDateString()) +
    '</div><div class="row">' +
    '<button type="button" class="primary" data-tree-open="' + id + '">Open tree</button>' +
    '<button type="button" data-tree-rename="' + id + '">Rename</button>' +
    '<button type="button" class="rose" data-tree-delete="' + id + '">Delete</button></div></div>';
}

function renderTreeLibrary() {
  $('treeLibrary').innerHTML = treeDirectory.length ? treeDirectory.map(treeCard).join('')
    : '<p class="empty">No family trees remain. Create a new tree or import a GEDCOM to begin.</p>';
  $('homeClose').disabled = !treeDirectory.length;
  $('deleteAllTreesBtn').disabled = !treeDirectory.length;
}

async function openTreeFromLibrary(id) {
  await openTree(id);
  hideHome();
}

// Asks for a name, saves the open tree, adds the new tree to the library and opens it empty; then the
// GEDCOM file choice or the person form follows.
async function createTree(importAfter = false) {
  const answer = prompt('Name your new family tree:', importAfter ? 'Imported family tree' : 'My family tree');
  if (answer === null) return;
  const name = answer.trim() || 'Untitled family tree';
  if (currentTreeId) await save();
  const entry = { id: newTreeId(), name, count: 0, updated: Date.now() };
  await changeDirectory(list => { list.push(entry); });
  await openTree(entry.id, false);
  hideHome();
  if (importAfter) triggerImport();
  else openPersonModal();
}

async function renameTree(id) {
  const entry = directoryEntry(id);
  if (!entry) return;
  const answer = prompt('Rename family tree:', entry.name);
  if (answer === null || !answer.trim()) return;
  const name = answer.trim();
  await changeDirectory(list => {
    const stored = list.find(e => e.id === id);
    if (stored) stored.name = name;
  });
  renderTreeLibrary();
  if (id === currentTreeId) await save();
}

// The open tree is closed before its records go, so that no waiting save writes it back.
async function deleteTree(id) {
  const entry = directoryEntry(id);
  if (!entry) return;
  if (treeDirectory.length === 1) {
    toast('Keep at least one family tree. You can clear it from Tools instead.');
    return;
  }
  if (!confirm('Permanently delete "' + entry.name + '" from this browser? Export its backup first.')) return;
  const wasOpen = id === currentTreeId;
  if (wasOpen) closeOpenTree();
  await deleteTreeRecord(id);
  const list = await changeDirectory(l => {
    const at = l.findIndex(e => e.id === id);
    if (at >= 0) l.splice(at, 1);
  });
  if (wasOpen) {
    if (list.length) await openTree(list[0].id, false);
    else clearActiveFamilyAfterDelete();
  }
  renderTreeLibrary();
}

function confirmDeleteAllTrees() {
  if (!treeDirectory.length) {
    toast('There are no family trees to delete.');
    return;
  }
  const people = treeDirectory.reduce((sum, t) => sum + (Number(t.count) || 0), 0);
  modal('Delete all family trees?',
    '<div class="danger-box"><p class="danger-title">Are you sure?</p>' +
    '<p>You are about to permanently delete <b>' + html(countText(treeDirectory.length)) + '</b> family trees (' +
    html(countText(people)) + ' listed people), including their saved portraits and orb settings.</p></div>' +
    '<p>This cannot be undone. Save a JSON backup first if you want to keep any of these trees.</p>',
    'YES', deleteAllFromDialog);
  const yes = $('modalSave'), no = $('modalCancel');
  yes.classList.add('danger-confirm');
  yes.setAttribute('aria-label', 'Yes, permanently delete every saved family tree');
  no.textContent = 'NO';
  no.setAttribute('aria-label', 'No, keep my trees');
  document.querySelector('#modalLayer .modalfoot').classList.add('sollary-delete-yesno');
}

async function deleteAllFromDialog() {
  const yes = $('modalSave');
  yes.disabled = true;
  yes.textContent = 'Deleting…';
  if (await deleteAllSavedFamilyTrees()) {
    closeModal();
    renderTreeLibrary();
    showHome();
    toast('All family trees deleted. Your library is now empty.');
  } else if (yes.isConnected) {
    yes.disabled = false;
    yes.textContent = 'YES';
  }
}

// Deletes every stored tree in both stores. IndexedDB goes first, in one transaction; when it fails for
// any reason but being absent or unopenable, nothing else is touched.
async function deleteAllSavedFamilyTrees() {
  if (libraryDeleting) return false;
  libraryDeleting = true;
  cancelPendingSave();
  try {
    let inDatabase = false;
    try {
      await deleteAllStoredTrees();
      inDatabase = true;
    } catch (e) {
      console.warn('IndexedDB could not delete the saved trees:', e);
      if (!/indexeddb unavailable|storage unavailable/i.test(String(e && e.message || e))) {
        toast('Deletion could not finish. No trees were removed from the library list.');
        return false;
      }
    }
    if (!deleteAllLocalTrees() && !inDatabase) {
      toast('Browser storage could not be cleared. Please try again.');
      return false;
    }
    setDirectory([]);
    clearActiveFamilyAfterDelete();
    announceLibraryChange({ kind: 'directory' });
    return true;
  } finally {
    libraryDeleting = false;
  }
}

function installLibraryControls() {
  onClick('newTreeBtn', () => createTree());
  onClick('importNewTreeBtn', () => createTree(true));
  onClick('homeRefresh', renderTreeLibrary);
  onClick('homeClose', () => {
    if (!treeDirectory.length) { toast('Create or import a family tree to continue.'); return; }
    hideHome();
  });
  onClick('deleteAllTreesBtn', confirmDeleteAllTrees);
  $('treeLibrary').addEventListener('click', e => {
    const button = e.target.closest && e.target.closest('button');
    if (!button) return;
    if (button.dataset.treeOpen) openTreeFromLibrary(button.dataset.treeOpen);
    else if (button.dataset.treeRename) renameTree(button.dataset.treeRename);
    else if (button.dataset.treeDelete) deleteTree(button.dataset.treeDelete);
  });
  const brand = $('homeBrand');
  const openLibrary = async () => {
    await save();
    showHome();
  };
  brand.addEventListener('click', openLibrary);
  brand.addEventListener('keydown', e => {
    if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); openLibrary(); }
  });
}
