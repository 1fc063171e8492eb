// Person details panel: the selected person's profile, timeline and sources.
// Owns: activeTab.

let activeTab = 'profile';

function tab(t) {
  activeTab = t;
  renderSide();
}

function namesOf(ids) {
  return ids.map(id => html((persons.get(id) || {}).name || '')).join(', ') || '—';
}

function renderSide() {
  document.querySelectorAll('#side .tab').forEach(b => b.classList.toggle('active', b.dataset.tab === activeTab));
  const body = $('sideBody');
  const p = selected && persons.get(selected);
  if (!p) {
    body.innerHTML = '<p class="empty">Select an orb to see the person’s details.</p>';
    return;
  }
  const life = [p.birth, p.death].filter(Boolean).join(' – ');
  let inner = '<h2 class="person-name">' + html(p.name) + '</h2><p class="facts">' + html(life || 'Dates unknown') + '</p>';
  if (activeTab === 'profile') {
    const fam = familyGroup(p.id);
    inner += '<dl>' +
      '<dt>Born</dt><dd>' + html([p.birth, p.birthPlace].filter(Boolean).join(', ') || '—') + '</dd>' +
      '<dt>Died</dt><dd>' + html([p.death, p.deathPlace].filter(Boolean).join(', ') || '—') + '</dd>' +
      '<dt>Occupation</dt><dd>' + html(p.occupation || '—') + '</dd>' +
      '<dt>Parents</dt><dd>' + namesOf(fam.parents) + '</dd>' +
      '<dt>Spouses</dt><dd>' + namesOf(fam.spouses) + '</dd>' +
      '<dt>Children</dt><dd>' + namesOf(fam.children) + '</dd>' +
      '<dt>Siblings</dt><dd>' + namesOf(fam.siblings) + '</dd></dl>';
  } else if (activeTab === 'timeline') {
    inner += (p.events || []).map(e => '<p><b>' + html(e.when) + '</b> ' + html(e.text) + '</p>').join('') ||
      '<p class="empty">No dated events yet.</p>';
  } else {
    inner += (p.sources || []).map(s => '<p>' + html(s.title) + '</p>').join('') ||
      '<p class="empty">No sources recorded.</p>';
  }
  body.innerHTML = inner;
}
