// Duplicate review: lists the profiles whose names match the chosen one, as a first look before merging.
// Owns: no state.

function openMergeModal(sourceId = selected) {
  const p = sourceId !== undefined && sourceId !== null ? persons.get(sourceId) : null;
  if (!p) {
    toast('Select the source profile first.');
    return;
  }
  if (persons.size < 2) {
    toast('Create or import another profile before merging.');
    return;
  }
  const key = norm(p.name);
  const alike = [];
  for (const other of persons.values()) {
    if (other.id !== p.id && key && norm(other.name) === key) alike.push(other);
    if (alike.length >= 8) break;
  }
  modal('Review duplicates / merge', '<p>Profiles with the same name as ' + html(p.name) + ':</p>' +
    (alike.length ? '<ul class="kln-list">' + alike.map(o => '<li>' + html(o.name) + ' · ' + html(o.birth || '?') +
      '</li>').join('') + '</ul>' : '<p class="kln-note">No profile with the same name was found.</p>'),
    'Close', closeModal);
}
