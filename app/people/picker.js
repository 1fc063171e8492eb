// Existing-profile picker: a small search block inside the relationship dialogs that finds a person who
// already exists by name, birth or birthplace, so that nobody has to scroll through the whole tree.
// Owns: pickerKeys.

const PICKER_LIMIT = 40;

// Lower-cased search texts in tree order: entries[i] is [person, name, birth, birthplace, search text,
// lower-cased name] for the i-th person when the tree was last walked; worked out again only where the
// person or one of the three fields differs.
let pickerKeys = { people: null, entries: [] };

const pickerCollator = new Intl.Collator();

function pickerText(v) {
  return v === null || v === undefined ? '' : String(v);
}

function pickerEntry(i, p) {
  const known = pickerKeys.entries[i];
  if (known && known[0] === p && known[1] === p.name && known[2] === p.birth && known[3] === p.birthPlace) return known;
  const name = pickerText(p.name);
  const entry = [p, p.name, p.birth, p.birthPlace,
    [name, pickerText(p.birth), pickerText(p.birthPlace)].join(' ').toLocaleLowerCase(), name.toLocaleLowerCase()];
  pickerKeys.entries[i] = entry;
  return entry;
}

function klnSearchHTML(prefix, label) {
  const id = html(prefix);
  return '<div class="kln-picker">' +
    '<label class="kln-picker-label" for="' + id + 'Input">' + html(label) + '</label>' +
    '<input type="search" id="' + id + 'Input" autocomplete="off" spellcheck="false" ' +
    'placeholder="Search by name or birth year">' +
    '<div id="' + id + 'Choices" class="kln-choices" role="listbox" aria-label="Matching existing profiles"></div>' +
    '<select id="' + id + 'Result" class="kln-sr-only" size="5" aria-label="Search results for ' + html(label) +
    '"></select>' +
    '<div id="' + id + 'Picked" class="kln-picked" aria-live="polite">No profile chosen</div>' +
    '<div id="' + id + 'Count" class="kln-count">Search to find a saved profile.</div></div>';
}

// Picker order: names that begin with the term first, then name and birth in locale order.
function pickerBefore(a, b) {
  if (a.starts !== b.starts) return a.starts;
  const byName = pickerCollator.compare(a.name, b.name);
  if (byName) return byName < 0;
  return pickerCollator.compare(a.birth, b.birth) < 0;
}

// Every match counted, only the first `PICKER_LIMIT` kept in order: one pass with a short sorted list.
function pickerMatches(term, excluded) {
  const best = [];
  let count = 0;
  if (!term) return { best, count };
  if (pickerKeys.people !== persons) pickerKeys = { people: persons, entries: [] };
  let i = 0;
  for (const p of persons.values()) {
    const entry = pickerEntry(i++, p);
    if (!entry[4].includes(term) || excluded.has(p.id)) continue;
    count++;
    const m = { id: p.id, name: pickerText(p.name), birth: pickerText(p.birth), starts: entry[5].startsWith(term) };
    if (best.length === PICKER_LIMIT && !pickerBefore(m, best[PICKER_LIMIT - 1])) continue;
    let at = best.length;
    while (at > 0 && pickerBefore(m, best[at - 1])) at--;
    best.splice(at, 0, m);
    if (best.length > PICKER_LIMIT) best.pop();
  }
  pickerKeys.entries.length = i;
  return { best, count };
}

function pickerLine(p) {
  return (pickerText(p.name) || 'Unnamed') + ' · ' + (pickerText(p.birth) || 'date unknown');
}

function pickerButton(id) {
  const p = persons.get(id);
  const birth = pickerText(p.birth) || 'Date unknown';
  const dates = '<bdi>' + html(birth) + '</bdi>' + (p.death ? ' – <bdi>' + html(pickerText(p.death)) + '</bdi>' : '');
  return '<button type="button" class="kln-profile-result" role="option" aria-selected="false" data-kln-person="' +
    html(id) + '"><b>' + html(pickerText(p.name) || 'Unnamed') + '</b> <span>' + dates + '</span></button>';
}

// Wires the picker block of `prefix`; the result reads the chosen person id, or empty text.
function klnSetupSearch(prefix, exclude) {
  const input = $(prefix + 'Input'), list = $(prefix + 'Result'), choices = $(prefix + 'Choices');
  if (!input || !list || !choices) return () => '';
  const picked = $(prefix + 'Picked'), counter = $(prefix + 'Count');
  const excluded = new Set((Array.isArray(exclude) ? exclude : [exclude]).filter(x => x !== undefined && x !== null));
  let chosen = '';
  const usable = id => !!id && persons.has(id) && !excluded.has(id);
  const setText = (el, text) => { if (el) el.textContent = text; };

  const search = () => {
    const term = input.value.trim().toLocaleLowerCase();
    const { best, count } = pickerMatches(term, excluded);
    choices.innerHTML = best.map(m => pickerButton(m.id)).join('');
    list.innerHTML = best.map(m => '<option value="' + html(m.id) + '">' + html(pickerLine(persons.get(m.id))) +
      '</option>').join('');
    list.selectedIndex = -1;
    chosen = '';
    setText(picked, 'No profile chosen');
    setText(counter, !term ? 'Enter a name to search existing profiles.'
      : countText(count) + ' matching profile' + (count === 1 ? '' : 's') +
        (count > PICKER_LIMIT ? ' · showing first ' + PICKER_LIMIT : ''));
  };

  const choose = id => {
    if (!usable(id)) return;
    chosen = id;
    choices.querySelectorAll('.kln-profile-result').forEach(b => {
      const on = b.dataset.klnPerson === id;
      b.classList.toggle('chosen', on);
      b.setAttribute('aria-selected', on ? 'true' : 'false');
    });
    list.value = id;
    setText(picked, 'Selected: ' + pickerLine(persons.get(id)));
  };

  input.addEventListener('input', search);
  choices.addEventListener('click', e => {
    const button = e.target.closest ? e.target.closest('.kln-profile-result') : null;
    if (button) choose(button.dataset.klnPerson);
  });
  list.addEventListener('change', () => choose(list.value));
  search();
  return () => {
    if (usable(chosen)) return chosen;
    return list.selectedIndex >= 0 && usable(list.value) ? list.value : '';
  };
}
