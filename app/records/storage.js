// Tree storage and the family library overlay. This minimal version keeps the library in memory for the
// life of the page; browser storage replaces it.
// Owns: treeDirectory, currentTreeId, DIRECTORY_KEY, STORAGE.

const DIRECTORY_KEY = 'sollary_genealogy_directory_v3';
const STORAGE = 'sollary_genealogy_workspace_v1';

let treeDirectory = [];
let currentTreeId = null;

function newTreeId() {
  return 'tree-' + Date.now().toString(36) + Math.random().toString(36).slice(2, 5);
}

function setSaveIndicator(text) {
  $('saveIndicator').textContent = text;
}

function treeData() {
  return {
    version: 6, worldOffsets3D: true, persons: Object.fromEntries(persons), edges, focus, rootPersonId,
    selected, expanded: [...expanded], lineMode, viewScope, pedigreeMode, generationDepth, includeDescendants,
    camera2, camera3,
  };
}

async function save() {
  if (!currentTreeId) return;
  const entry = treeDirectory.find(t => t.id === currentTreeId);
  if (entry) { entry.count = persons.size; entry.updated = Date.now(); }
}

async function load() {
  treeDirectory = [{ id: newTreeId(), name: 'My family tree', count: 0, updated: Date.now() }];
  currentTreeId = treeDirectory[0].id;
}

function renderTreeLibrary() {
  const list = $('treeLibrary');
  if (!treeDirectory.length) {
    list.innerHTML = '<p class="empty">No family trees remain. Create a new tree or import a GEDCOM to begin.</p>';
  } else {
    list.innerHTML = treeDirectory.map(t =>
      '<div class="tree-entry"><h3>' + html(t.name) + '</h3><div class="meta">' +
      html(countText(t.count) + ' people · Updated ' + new Date(t.updated || Date.now()).toLocaleDateString()) +
      '</div><div class="row"><button type="button" class="primary" data-open="' + html(t.id) +
      '">Open tree</button></div></div>').join('');
  }
  $('homeClose').disabled = !treeDirectory.length;
  $('deleteAllTreesBtn').disabled = !treeDirectory.length;
}

function showHome() {
  $('homeOverlay').classList.remove('hidden');
  sollaryPlaceMusicControls(true);
  renderTreeLibrary();
}

function hideHome() {
  $('homeOverlay').classList.add('hidden');
  sollaryPlaceMusicControls(false);
  renderNeeded = true;
}

function installLibraryControls() {
  onClick('homeClose', () => {
    if (!treeDirectory.length) { toast('Create or import a family tree to continue.'); return; }
    hideHome();
  });
  onClick('homeRefresh', renderTreeLibrary);
  $('treeLibrary').addEventListener('click', e => {
    if (e.target.closest('[data-open]')) hideHome();
  });
  const brand = $('homeBrand');
  const openLibrary = () => Promise.resolve(save()).then(showHome);
  brand.addEventListener('click', openLibrary);
  brand.addEventListener('keydown', e => {
    if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); openLibrary(); }
  });
}
