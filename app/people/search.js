// Header search: ranks the people whose names match the typed text, accents and punctuation ignored, and
// shows the best 30 under the search field. The comparison key of every name is kept between keystrokes
// and worked out again only when the name changes.
// Owns: searchIndex, searchWarmTimer.

const SEARCH_LIMIT = 30;
const SEARCH_NO_MATCH = 'No matches in this tree. Try a different name or import another GEDCOM.';

// The comparison key of every name, in tree order: records[i] is the i-th person when the list was last
// walked, names[i] its name then and keys[i] the key of that name; byName remembers keys by name text.
// A search walks the tree and the lists side by side and works a key out again only where they differ.
let searchIndex = emptySearchIndex();
let searchWarmTimer = null;

function emptySearchIndex() {
  return { people: persons, records: [], names: [], keys: [], byName: new Map() };
}

function currentSearchIndex() {
  if (searchIndex.people !== persons) searchIndex = emptySearchIndex();
  return searchIndex;
}

// The key of the i-th person of the tree, `p`.
function indexedKey(index, i, p) {
  if (index.records[i] === p && index.names[i] === p.name) return index.keys[i];
  let key = index.byName.get(p.name);
  if (key === undefined) {
    if (index.byName.size > 2 * persons.size + 1000) index.byName.clear();
    key = norm(p.name);
    index.byName.set(p.name, key);
  }
  index.records[i] = p;
  index.names[i] = p.name;
  index.keys[i] = key;
  return key;
}

// Works out the keys of every name in small slices once the search field has the focus, so that the first
// keystroke in a large tree does not pay for all of them at once.
function warmSearchKeys() {
  clearTimeout(searchWarmTimer);
  const index = currentSearchIndex();
  const people = persons.values();
  let i = 0;
  const slice = () => {
    if (index !== searchIndex || index.people !== persons) return;
    const end = performance.now() + 25;
    for (let step = people.next(); !step.done; step = people.next()) {
      indexedKey(index, i++, step.value);
      if (performance.now() > end) {
        searchWarmTimer = setTimeout(slice, 0);
        return;
      }
    }
  };
  searchWarmTimer = setTimeout(slice, 0);
}

$('search').addEventListener('focus', warmSearchKeys);

// 100 for the exact name, 75 for a name that begins with the query, 55 for one holding every word of it.
function searchRank(key, query, words) {
  if (key === query) return 100;
  if (key.startsWith(query)) return 75;
  for (const word of words) if (!key.includes(word)) return 0;
  return 55;
}

// The ids of the best matches, highest rank first, equal ranks in tree order.
function searchMatches(text) {
  const query = norm(text);
  if (!query) return [];
  const words = query.split(' ');
  const index = currentSearchIndex();
  const byRank = { 100: [], 75: [], 55: [] };
  let i = 0;
  for (const p of persons.values()) {
    const rank = searchRank(indexedKey(index, i++, p), query, words);
    if (!rank || byRank[rank].length === SEARCH_LIMIT) continue;
    byRank[rank].push(p.id);
    if (byRank[100].length === SEARCH_LIMIT) return byRank[100];
  }
  index.records.length = index.names.length = index.keys.length = i;
  return byRank[100].concat(byRank[75], byRank[55]).slice(0, SEARCH_LIMIT);
}

function hideSearch() {
  $('searchdrop').classList.add('hidden');
}

function openSearchResult(id) {
  hideSearch();
  if (!persons.has(id)) return;
  centerOnPerson(id);
}

function searchEntryMarkup(id) {
  const p = persons.get(id);
  const place = p.birthPlace || p.residence || '';
  return '<button type="button" class="search-entry" role="option" data-person="' + html(id) + '">' +
    '<span class="search-text"><b>' + html(p.name) + '</b><small><bdi>' + html(p.birth || '?') + '</bdi>–<bdi>' +
    html(p.death || '?') + '</bdi> · <bdi>' + html(place) + '</bdi></small></span><span class="search-chip">Open</span></button>';
}

function showSearch() {
  const drop = $('searchdrop');
  const text = $('search').value;
  if (!norm(text)) {
    hideSearch();
    return;
  }
  const ids = searchMatches(text);
  drop.innerHTML = '<div class="search-head">PEOPLE IN YOUR TREE</div>' + (ids.length
    ? ids.map(searchEntryMarkup).join('') : '<div class="search-none">' + SEARCH_NO_MATCH + '</div>');
  if (!drop.dataset.wired) {
    drop.dataset.wired = 'yes';
    drop.addEventListener('click', e => {
      const entry = e.target.closest ? e.target.closest('[data-person]') : null;
      if (entry) openSearchResult(entry.dataset.person);
    });
  }
  drop.classList.remove('hidden');
}
