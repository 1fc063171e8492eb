// Duplicates and merge: the similarity score that ranks candidate duplicates, the review dialog that shows
// both profiles side by side and refuses merges that would erase a marriage or create an impossible
// pedigree, and the merge itself, which folds one profile into another after a JSON backup has been
// downloaded. The profile the dialog is opened for is always the one removed.
// Owns: MERGE_CARRIED_FIELDS, MERGE_NOTE_FIELDS, MERGE_LIST_LIMIT, MERGE_CLAIM_LENGTH.

// Fields the kept profile takes over from the removed one when it lacks them, in this order.
const MERGE_CARRIED_FIELDS = ['birth', 'death', 'sex', 'birthPlace', 'deathPlace', 'occupation', 'residence', 'bio',
  'photo', 'privacy', 'orbStyle', 'branchLineColor', 'layoutBase', 'orbOffset2D', 'orbOffset3D'];

// Text fields whose differing values are kept as research notes on the merged profile.
const MERGE_NOTE_FIELDS = ['birth', 'death', 'sex', 'birthPlace', 'deathPlace', 'occupation', 'residence', 'bio',
  'privacy'];

const MERGE_LIST_LIMIT = 70;
const MERGE_CLAIM_LENGTH = 160;

function mergeText(v) {
  return v === null || v === undefined ? '' : String(v);
}

// What the similarity score compares of one person: normalised name and its words, birth year and place.
function dupParts(p) {
  const name = norm(p && p.name);
  return { name, words: name ? name.split(' ') : [], year: placeYear(p && p.birth), place: norm(p && p.birthPlace) };
}

// Similarity of two person records: name points, then birth year and birthplace points. Negative when
// the births are far apart.
function dupScore(a, b) {
  return dupPartsScore(dupParts(a), dupParts(b));
}

function dupPartsScore(a, b) {
  if (!a.name || !b.name) return 0;
  let score = 0;
  if (a.name === b.name) score = 65;
  else {
    const wa = a.words, wb = b.words;
    const sameLast = wa[wa.length - 1] === wb[wb.length - 1];
    if (wa[0] === wb[0] && sameLast) score = 52;
    else if (sameLast && wa[0][0] === wb[0][0]) score = 30;
  }
  if (a.year !== null && b.year !== null) {
    const gap = Math.abs(a.year - b.year);
    if (gap === 0) score += 24;
    else if (gap <= 2) score += 15;
    else if (gap > 12) score -= 45;
  }
  if (a.place && a.place === b.place) score += 14;
  return score;
}

function mergeDisplayName(p) {
  return mergeText(p && p.name) || 'Unnamed';
}

// Why two profiles may not be merged, or empty text when they may.
function mergeBlockReason(from, to) {
  if (from === to || !persons.has(from) || !persons.has(to)) return 'Choose two different existing profiles.';
  if (spousesOf(from).includes(to)) return 'These people are recorded as spouses; merging them would erase that marriage.';
  if (relativesIn('siblings', from).includes(to))
    return 'These people are recorded as siblings. Review that relationship before attempting a merge.';
  if (isDescendant(from, to) || isDescendant(to, from))
    return 'These profiles have a recorded ancestor/descendant relationship. Merging them would create a cycle.';
  return '';
}

function mergeEmpty(v) {
  return v === undefined || v === null || v === '';
}

// Carries the removed profile's facts over to the kept one: missing values are taken, differing ones
// become "field: value" claims. Besides the listed fields, a differing name and a clashing free key are
// claims too, so that no fact of the removed profile is lost.
function mergeFields(source, kept) {
  const claims = [];
  const claim = (field, value) => claims.push(field + ': ' + mergeText(value).slice(0, MERGE_CLAIM_LENGTH));
  if (norm(source.name) && norm(kept.name) && norm(source.name) !== norm(kept.name)) claim('name', source.name);
  for (const field of MERGE_CARRIED_FIELDS) {
    if (mergeEmpty(kept[field])) {
      if (Object.prototype.hasOwnProperty.call(source, field)) kept[field] = source[field];
    } else if (MERGE_NOTE_FIELDS.includes(field) && !mergeEmpty(source[field]) &&
        norm(source[field]) !== norm(kept[field])) {
      claim(field, source[field]);
    }
  }
  const ownExternal = mergeIsRecord(kept.external) ? kept.external : {};
  const otherExternal = mergeIsRecord(source.external) ? source.external : {};
  for (const key of Object.keys(otherExternal)) {
    if (!Object.prototype.hasOwnProperty.call(ownExternal, key)) continue;
    if (JSON.stringify(ownExternal[key]) !== JSON.stringify(otherExternal[key]))
      claim('external.' + key, typeof otherExternal[key] === 'string' ? otherExternal[key] : JSON.stringify(otherExternal[key]));
  }
  kept.external = { ...otherExternal, ...ownExternal };
  const notes = [mergeText(kept.notes), mergeText(source.notes)];
  if (claims.length) notes.push('Merged alternate claims (verify): ' + claims.join('; '));
  kept.notes = notes.filter(Boolean).join('\n');
  kept.sources = [...mergeList(kept.sources), ...mergeList(source.sources)];
  kept.events = [...mergeList(kept.events), ...mergeList(source.events)];
}

function mergeIsRecord(v) {
  return !!v && typeof v === 'object' && !Array.isArray(v);
}

function mergeList(v) {
  return Array.isArray(v) ? v : [];
}

function relationshipKey(e) {
  if (e.type === 'parent') return 'parent|' + e.a + '|' + e.b;
  return [e.type, ...[e.a, e.b].sort()].join('|');
}

// Re-points every record of `from` to `to` in place, then keeps the first record of each relationship
// (taking a role only a dropped duplicate had) and drops records that became self links.
function repointRelationships(from, to) {
  const kept = new Map();
  let count = 0;
  for (const e of edges) {
    if (!e) continue;
    if (e.a === from) e.a = to;
    if (e.b === from) e.b = to;
    if (e.a === e.b || !persons.has(e.a) || !persons.has(e.b)) continue;
    const key = relationshipKey(e);
    const first = kept.get(key);
    if (first) {
      if (!first.role && e.role) first.role = e.role;
      continue;
    }
    kept.set(key, e);
    edges[count++] = e;
  }
  // Compacted in place: a spread of a large list into splice() would overflow the call stack.
  edges.length = count;
  rebuildEdgeIndex();
}

// Moved junctions of the old family would bend the merged family's lines: drop every handle naming `from`.
function dropBranchHandles(from) {
  for (const p of persons.values()) {
    const handles = p.familyBranchHandles;
    if (!mergeIsRecord(handles)) continue;
    for (const key of Object.keys(handles)) if (key.split('|').includes(from)) delete handles[key];
  }
}

function invalidateMergeCaches() {
  markFamilyLayoutStale();
  klnInvalidatePositionLayoutCaches();
  lineageColorMemo.key = '';
  visibleLineageColors.key = '';
  renderNeeded = true;
}

// Merges `from` into `to` and deletes `from`. Phases: refusals (missing, same, ancestry, spouse or
// sibling link), facts and notes, relationships re-pointed and de-duplicated, the removed profile
// replaced in the view state, stale handles and caches dropped. Returns false when refused.
function mergePeople(from, to) {
  // The refusals change nothing, so they come before the position capture (which rewrites offsets).
  if (mergeBlockReason(from, to)) return false;
  klnCaptureExistingOrbPositions();
  const source = persons.get(from), kept = persons.get(to);
  mergeFields(source, kept);
  repointRelationships(from, to);
  persons.delete(from);
  rebuildEdgeIndex();
  if (expanded.has(from)) {
    expanded.delete(from);
    expanded.add(to);
  }
  const view = {};
  if (focus === from) view.focus = to;
  if (selected === from) view.selected = to;
  if (rootPersonId === from) view.rootPersonId = to;
  setViewState(view);
  dropBranchHandles(from);
  invalidateMergeCaches();
  return true;
}

// Every other profile, most similar first, ties by displayed name: [{id, text}] where `text` is what the
// search box is matched against (normalised name and birth, lower-case id), worked out once per dialog.
function mergeRanking(sourceId) {
  const source = dupParts(persons.get(sourceId));
  const ranked = [];
  for (const p of persons.values()) {
    if (p.id === sourceId) continue;
    const parts = dupParts(p);
    const name = mergeDisplayName(p);
    ranked.push({ id: p.id, score: dupPartsScore(source, parts), name,
      text: (parts.name || norm(name)) + ' ' + norm(p.birth) + ' ' + String(p.id).toLowerCase() });
  }
  const collator = new Intl.Collator();
  ranked.sort((a, b) => b.score - a.score || collator.compare(a.name, b.name));
  return ranked;
}

function mergeSummary(p) {
  return mergeDisplayName(p) + ' (' + (mergeText(p.birth) || '?') + ' – ' + (mergeText(p.death) || '?') + ') · ' +
    (mergeText(p.birthPlace) || 'Place unknown') + ' · ' + p.id;
}

function mergeCounts(id) {
  return countText(parentsOf(id).length) + ' parents, ' + countText(childrenOf(id).length) + ' children, ' +
    countText(spousesOf(id).length) + ' spouses';
}

function mergeCompareMarkup(sourceId, keepId) {
  if (!keepId || !persons.has(keepId)) return '<p>No matching profile found.</p>';
  const reason = mergeBlockReason(sourceId, keepId);
  return '<h3>Review both profiles</h3>' +
    '<p class="merge-remove">Remove: ' + html(mergeSummary(persons.get(sourceId))) + '</p>' +
    '<p class="merge-keep">Keep: ' + html(mergeSummary(persons.get(keepId))) + '</p>' +
    '<p class="merge-counts">Remove: ' + mergeCounts(sourceId) + '. Keep: ' + mergeCounts(keepId) + '.</p>' +
    (reason ? '<p class="merge-blocked" role="alert">Merge blocked: ' + html(reason) + '</p>' : '');
}

function openMergeModal(sourceId = selected) {
  const source = sourceId !== undefined && sourceId !== null ? persons.get(sourceId) : null;
  if (!source) {
    toast('Select the source profile first.');
    return;
  }
  if (persons.size < 2) {
    toast('Create or import another profile before merging.');
    return;
  }
  hideOrbMenu();
  const ranking = mergeRanking(sourceId);
  modal('Merge profiles — review before combining',
    '<p class="merge-warning"><b>Only merge records you have verified are the same individual.</b> Similar names ' +
    'alone are not evidence. The kept profile survives; the other is removed. A JSON safety backup will download ' +
    'before merging.</p>' +
    '<div class="kln-form kln-single">' +
    '<label>Find the record to KEEP<input type="search" id="mergeQuery" autocomplete="off" spellcheck="false" ' +
    'placeholder="Search name, birth year, or ID"></label>' +
    '<label>Keep profile<select id="mergeId" size="8"></select></label></div>' +
    '<div id="mergeCount" class="kln-count"></div>' +
    '<div id="mergeCompare" class="merge-compare" aria-live="polite"></div>' +
    '<p class="kln-note">Both profiles\' parents, children and marriage links will be preserved when valid. ' +
    'Conflicting details will be placed in research notes. Your existing GEDCOM and photos remain in the ' +
    'downloaded backup.</p>' +
    '<label class="check merge-verify"><input type="checkbox" id="mergeVerify"> I reviewed the evidence and confirm ' +
    'these records describe the SAME person.</label>',
    'Merge selected profiles', () => saveMerge(sourceId));
  const query = $('mergeQuery'), list = $('mergeId');
  const compare = () => { $('mergeCompare').innerHTML = mergeCompareMarkup(sourceId, list.value); };
  const filter = () => {
    const term = norm(query.value);
    const matches = (term ? ranking.filter(r => r.text.includes(term)) : ranking).map(r => r.id)
      .filter(id => persons.has(id));
    const shown = matches.slice(0, MERGE_LIST_LIMIT);
    const before = list.value;
    list.innerHTML = shown.map(id => {
      const p = persons.get(id);
      return '<option value="' + html(id) + '">' + html(mergeDisplayName(p) + ' · ' + (mergeText(p.birth) || '?') +
        ' · ' + id) + '</option>';
    }).join('');
    list.value = shown.includes(before) ? before : shown.length ? shown[0] : '';
    $('mergeCount').textContent = matches.length > MERGE_LIST_LIMIT
      ? 'Showing ' + MERGE_LIST_LIMIT + ' of ' + countText(matches.length) + ' matching profiles. Type to narrow the list.'
      : countText(matches.length) + ' matching profiles';
    compare();
  };
  query.addEventListener('input', filter);
  list.addEventListener('change', compare);
  filter();
  query.focus({ preventScroll: true });
}

function saveMerge(sourceId) {
  const keepId = $('mergeId') ? $('mergeId').value : '';
  if (!$('mergeVerify') || !$('mergeVerify').checked) {
    toast('Confirm that you reviewed both profiles first.');
    return;
  }
  const reason = mergeBlockReason(sourceId, keepId);
  if (reason) {
    toast(reason);
    return;
  }
  exportJSON();
  if (!mergePeople(sourceId, keepId)) {
    toast('Merge was blocked. Your original profiles were preserved.');
    return;
  }
  closeModal();
  hideOrbMenu();
  update();
  scheduleSave();
  toast('Profiles merged. The pre-merge JSON backup was downloaded.');
}
