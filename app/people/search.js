// Header search: people whose names match the typed text, accents ignored.
// Owns: no state.

function searchMatches(text) {
  const key = norm(text);
  if (!key) return [];
  const out = [];
  for (const p of persons.values()) {
    if (norm(p.name).includes(key)) out.push(p.id);
    if (out.length >= 30) break;
  }
  return out;
}

function hideSearch() {
  $('searchdrop').classList.add('hidden');
}

function openSearchResult(id) {
  hideSearch();
  selectPerson(id);
}

function showSearch() {
  const drop = $('searchdrop');
  const text = val('search');
  if (!text) { hideSearch(); return; }
  const ids = searchMatches(text);
  drop.innerHTML = ids.length
    ? ids.map(id => {
      const p = persons.get(id);
      return '<button type="button" class="result" data-id="' + html(id) + '">' + html(p.name) +
        '<small>' + html([p.birth, p.death].filter(Boolean).join(' – ')) + '</small></button>';
    }).join('')
    : '<div class="empty">No matches in your tree yet.</div>';
  drop.querySelectorAll('.result').forEach(b => b.addEventListener('click', () => openSearchResult(b.dataset.id)));
  drop.classList.remove('hidden');
}
