// Deleting and unlinking: removes exactly one profile with the relationship records that touch it, after
// the browser's confirmation box, or exactly one relationship record chosen in a dialog. Every relative
// and every other profile stays in the tree.
// Owns: no state.

function deletePerson(id) {
  const p = id !== undefined && id !== null ? persons.get(id) : null;
  if (!p) return false;
  const name = String(p.name ?? '') || 'this person';
  if (!confirm('Delete ONLY ' + name + '?\n\nThis removes this profile and its direct relationship links. Their ' +
    'spouse, parents, siblings, children and all other relatives are NOT deleted.')) return false;
  const before = persons.size;
  klnCaptureExistingOrbPositions();
  persons.delete(id);
  let count = 0;
  for (const e of edges) if (e && e.a !== id && e.b !== id) edges[count++] = e;
  edges.length = count;
  rebuildEdgeIndex();
  expanded.delete(id);
  markFamilyLayoutStale();
  const view = {};
  if (rootPersonId === id) view.rootPersonId = firstPersonId();
  const root = 'rootPersonId' in view ? view.rootPersonId : rootPersonId;
  if (focus === id) view.focus = root && persons.has(root) ? root : firstPersonId();
  if (selected === id) view.selected = 'focus' in view ? view.focus : focus;
  setViewState(view);
  hideOrbMenu();
  update();
  if (persons.size !== before - 1) console.warn('Kinloom: unexpected profile deletion count', before, persons.size);
  toast('Deleted only ' + name + '. All other ' + countText(persons.size) + ' profiles are kept.');
  return true;
}

// How a relationship record reads from one of its ends.
function unlinkKind(e, id) {
  if (e.type === 'spouse') return 'Spouse / partner';
  if (e.type === 'sibling') return 'Sibling';
  return e.a === id ? 'Child' : 'Parent';
}

function openWheelUnlink(id) {
  const p = id !== undefined && id !== null ? persons.get(id) : null;
  if (!p) return;
  const entries = [];
  edges.forEach((e, i) => { if (e && (e.a === id || e.b === id)) entries.push(i); });
  if (!entries.length) {
    toast('No direct connections to unlink.');
    return;
  }
  hideOrbMenu();
  const options = entries.map(i => {
    const e = edges[i], other = persons.get(e.a === id ? e.b : e.a);
    const otherName = other ? String(other.name ?? '') : 'Unknown';
    return '<option value="' + i + '">' + html(unlinkKind(e, id) + ' · ' + otherName) + '</option>';
  }).join('');
  modal('Unlink one relationship',
    '<p>Choose the relationship to remove from ' + html(p.name) + '. Neither person\'s profile will be deleted.</p>' +
    '<div class="kln-form kln-single"><label>Relationship<select id="wheelUnlinkEdge">' + options +
    '</select></label></div>',
    'Unlink relationship', () => saveWheelUnlink(id));
}

// Removes the chosen record when it is still in the list at the position shown and still involves the person.
function saveWheelUnlink(id) {
  const text = $('wheelUnlinkEdge') ? $('wheelUnlinkEdge').value : '';
  const at = text === '' ? NaN : Number(text);
  if (!Number.isInteger(at) || at < 0 || at >= edges.length) return;
  const e = edges[at];
  if (!e || (e.a !== id && e.b !== id)) return;
  klnCaptureExistingOrbPositions();
  edges.splice(at, 1);
  rebuildEdgeIndex();
  markFamilyLayoutStale();
  closeModal();
  update();
  scheduleSave();
  toast('Relationship unlinked. Both profiles remain.');
}
