// Deleting a profile: removes exactly one person and the relationship records that touch it, after the
// browser's confirmation box; every relative stays in the tree.
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
  for (let i = edges.length - 1; i >= 0; i--) if (edges[i].a === id || edges[i].b === id) edges.splice(i, 1);
  rebuildEdgeIndex();
  expanded.delete(id);
  markFamilyLayoutStale();
  const view = {};
  if (rootPersonId === id) view.rootPersonId = firstPersonId();
  const root = 'rootPersonId' in view ? view.rootPersonId : rootPersonId;
  if (focus === id) view.focus = root && persons.has(root) ? root : firstPersonId();
  if (selected === id) view.selected = 'focus' in view ? view.focus : focus;
  setViewState(view);
  if (typeof hideOrbMenu === 'function') hideOrbMenu(); else closeOrbMenu();
  update();
  if (persons.size !== before - 1) console.warn('Kinloom: unexpected profile deletion count', before, persons.size);
  toast('Deleted only ' + name + '. All other ' + countText(persons.size) + ' profiles are kept.');
  return true;
}
