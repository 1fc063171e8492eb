// JSON backup and restore: the whole open tree as one JSON file (the stored tree record with a format label
// and the export time in front), the backup dialog, and replacing the open tree by a chosen backup.
// Owns: BACKUP_SCOPES.

const BACKUP_SCOPES = ['ancestry4', 'ancestors', 'near', 'extended', 'connected', 'all'];

const BACKUP_NOTE = 'This is an offline app. Browser storage can be deleted by browser settings or by moving the ' +
  'HTML to a different location. Download backups often. GEDCOM 5.5.1 may omit portraits, custom sibling links, ' +
  'and orb positions; JSON backs those up.';

function openBackup() {
  modal('Save and restore your tree',
    '<p><strong>JSON backup</strong> preserves pictures, orb positions, notes, and family relationships. ' +
    '<strong>GEDCOM</strong> transfers names, dates, and core family links to other programs.</p>' +
    '<div class="settings-actions">' +
    '<button type="button" class="primary" id="backupDownload">Download full backup</button>' +
    '<button type="button" id="backupRestore">Restore a backup</button>' +
    '<button type="button" id="backupGedcom">Export GEDCOM</button>' +
    '</div><p class="note">' + html(BACKUP_NOTE) + '</p>',
    'Close', closeModal);
  $('backupDownload').addEventListener('click', exportJSON);
  $('backupRestore').addEventListener('click', () => $('restoreFile').click());
  $('backupGedcom').addEventListener('click', exportGedcom);
}

function exportJSON() {
  const backup = { format: 'Kinloom v1', exported: new Date().toISOString(), ...treeData() };
  download('Kinloom_Backup.json', JSON.stringify(backup, null, 2), 'application/json');
}

// Keys of the object stored under `key` in the top-level object of JSON text, in the order the text lists
// them (JSON.parse puts integer-like keys first). Walks the text once, skipping strings; the last member
// of that name wins, as in JSON.parse. Returns null when there is no such object.
function jsonKeysInTextOrder(text, key) {
  let keys = null, current = null, depth = 0, pendingTop = false, topKey = null;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (c === '"') {
      let j = i + 1;
      while (j < text.length && text[j] !== '"') j += text[j] === '\\' ? 2 : 1;
      let k = j + 1;
      while (k < text.length && ' \t\r\n'.includes(text[k])) k++;
      if (text[k] === ':') {
        if (depth === 1) topKey = JSON.parse(text.slice(i, j + 1));
        else if (depth === 2 && current) current.push(JSON.parse(text.slice(i, j + 1)));
      }
      i = j;
    } else if (c === ':' && depth === 1) {
      pendingTop = topKey === key;
    } else if (c === '{' || c === '[') {
      depth++;
      if (depth === 2 && pendingTop && c === '{') current = [];
      pendingTop = false;
    } else if (c === '}' || c === ']') {
      depth--;
      if (depth === 1 && current) { keys = current; current = null; }
    } else if (c === ',' && depth === 1) {
      pendingTop = false;
    }
  }
  return keys;
}

const backupPlainRecord = v => !!v && typeof v === 'object' && !Array.isArray(v);

// The people of a backup as an ordered map: a list of [id, record] pairs (or of records with their ids), or
// an object read in the order of its text, since JSON.parse puts integer-like keys first. Entries that are
// not person records are dropped.
function backupPersonMap(value, text) {
  const map = new Map();
  if (Array.isArray(value)) {
    for (const entry of value) {
      if (Array.isArray(entry) && entry.length === 2 && backupPlainRecord(entry[1])) map.set(String(entry[0]), entry[1]);
      else if (backupPlainRecord(entry) && typeof entry.id === 'string') map.set(entry.id, entry);
    }
    return map;
  }
  let ids = Object.keys(value);
  if (ids.some(id => /^(0|[1-9]\d*)$/.test(id))) ids = [...(jsonKeysInTextOrder(text, 'persons') || []), ...ids];
  for (const id of ids) {
    if (!map.has(id) && Object.hasOwn(value, id) && backupPlainRecord(value[id])) map.set(id, value[id]);
  }
  return map;
}

function isBackupRecord(data) {
  return backupPlainRecord(data) && !!data.persons && typeof data.persons === 'object' && Array.isArray(data.edges);
}

// Older backups hold 3D offsets in the screen plane of the 3D camera; they become world offsets.
function backupOffsetsToWorld(cam) {
  const num = v => (typeof v === 'number' && Number.isFinite(v) ? v : 0);
  const yaw = cam && Number.isFinite(cam.rotation) ? cam.rotation : 0.28;
  const pitch = cam && Number.isFinite(cam.tilt) ? cam.tilt : 0.32;
  for (const p of persons.values()) {
    if (backupPlainRecord(p.orbOffset) && p.orbOffset2D === undefined) p.orbOffset2D = { ...p.orbOffset };
    if (p.orbOffset3D === undefined) continue;
    const o = p.orbOffset3D || {};
    const dx = num(o.x), dy = num(o.y);
    const X = dx, Z = -dy * Math.sin(pitch);
    p.orbOffset3D = { x: X * Math.cos(yaw) + Z * Math.sin(yaw), y: dy * Math.cos(pitch), z: -X * Math.sin(yaw) + Z * Math.cos(yaw) };
  }
}

// Makes a backup the open tree: people and links (without dangling links), focus, home and selection
// falling back to existing people, the stored generation settings and scope, the cameras with the 2D view
// active, and world offsets for older 3D offsets. The edit history is kept, so the restore can be undone.
function applyBackupRecord(data, people) {
  replaceFamily(people, data.edges);
  const named = id => (id !== null && id !== undefined && persons.has(String(id)) ? String(id) : null);
  const focusId = named(data.focus) || firstPersonId();
  const expandedIds = (Array.isArray(data.expanded) ? data.expanded : []).map(named).filter(Boolean);
  if (focusId) expandedIds.push(focusId);
  setViewState({ focus: focusId, rootPersonId: named(data.rootPersonId) || focusId,
    selected: named(data.selected) || focusId, expanded: expandedIds });
  setLineMode('shared');
  forceConnectedView();
  restoreGenerationSettings(data.generationDepth, data.includeDescendants);
  singleLayoutCache.key = '';
  setViewScope(BACKUP_SCOPES.includes(data.viewScope) ? data.viewScope : 'connected');
  loadTreeCameras(data);
  if (!data.worldOffsets3D) backupOffsetsToWorld(camera3);
  portraitCache.clear();
  closeFamilyWheel();
  update();
}

async function restoreBackup(file) {
  if (!file) return;
  try {
    const text = await file.text();
    const data = JSON.parse(text);
    if (!isBackupRecord(data)) throw new Error('This is not a Kinloom backup.');
    const people = backupPersonMap(data.persons, text);
    if (persons.size && !confirm('Replace your current tree with this backup? Download a backup of the current tree first.')) return;
    applyBackupRecord(data, people);
    await save();
    toast('Restored ' + persons.size + ' people from backup.');
  } catch (e) {
    console.warn('Restore failed:', e);
    toast('Restore failed: ' + (e && e.message ? e.message : String(e)));
  }
}
