// Family line colours: the family line of each person (father's line, else mother's), the colour of each
// line (home line teal, home mother's line amber, then a sequence of distinct hues, or the head's custom
// colour), the family neighbourhoods that colour everyone else, and the "Colored branches" switch.
// Owns: coloredBranchesEnabled, branchState, lineageColorMemo, visibleLineageColors, COLORED_BRANCHES_KEY,
// MONOCHROME_LINE, branchPalette, LINE_HUES.

const COLORED_BRANCHES_KEY = 'sollary-genealogy-colored-branches';
const MONOCHROME_LINE = '#9ce3e7';
const branchPalette = ['#75e9d9', '#8fbbff', '#ffbe7d', '#f3a7d8', '#c5e99a', '#e7c2ff', '#ff9b9f', '#9cc9ee',
  '#f0d18f', '#90dca8', '#bdb1ff', '#f7b58c'];
const LINE_HUES = [278, 122, 210, 332, 56, 242, 10, 155, 295, 84, 194, 355, 43, 260, 140, 308, 73];
const HOME_LINE_HUE = 174;
const HOME_MOTHER_LINE_HUE = 32;
const NEIGHBOURHOOD_LIMIT = 42;

// The neighbourhoods of the whole tree: {key, map: id → group number, groups, labels}.
let branchState = { key: '', map: new Map(), groups: [], labels: [] };
// The last computed line colours: {key, colors: id → colour}.
let lineageColorMemo = { key: '', colors: new Map() };
// The line colours in use, set by the painter once per frame: {key, colors}; an empty key means none
// (edits empty the key, the next painted frame refills it).
let visibleLineageColors = { key: '', colors: new Map() };
let coloredBranchesEnabled = readColoredBranches();

// Only the stored text "false" turns the switch off; a failing storage leaves it on.
function readColoredBranches() {
  try {
    return localStorage.getItem(COLORED_BRANCHES_KEY) !== 'false';
  } catch (e) {
    console.warn('Could not read the coloured-branches preference:', e);
    return true;
  }
}

function setColoredBranches(on) {
  coloredBranchesEnabled = !!on;
  try {
    localStorage.setItem(COLORED_BRANCHES_KEY, coloredBranchesEnabled ? 'true' : 'false');
  } catch (e) {
    console.warn('Could not store the coloured-branches preference:', e);
  }
  renderNeeded = true;
}

// The "Colored branches" switch; Escape closing the family wheel is wired with the page's other keys.
function installRadialAndLineControls() {
  const toggle = $('coloredBranchesToggle');
  toggle.checked = coloredBranchesEnabled;
  toggle.title = 'Use one gentle line color instead of each paternal family\'s color';
  toggle.addEventListener('change', () => setColoredBranches(toggle.checked));
}

function validBranchHex(value) {
  return typeof value === 'string' && /^#[0-9a-fA-F]{6}$/.test(value);
}

// One parent record's role: the stored role, else from the parent's sex, else by position (first father,
// second mother).
function inferredLineRole(record, position) {
  if (record.role === 'father' || record.role === 'mother') return record.role;
  const sex = String((persons.get(record.a) || {}).sex || '').toUpperCase();
  if (sex === 'M') return 'father';
  if (sex === 'F') return 'mother';
  return position === 0 ? 'father' : position === 1 ? 'mother' : null;
}

// The parent of the given role among a child's records: a single record with that stored role, else a
// single parent of the matching sex among the records not marked with the other role, else a single record
// with that inferred role; otherwise none.
function chooseLineParent(records, role, sex, other) {
  const stored = records.filter(e => e.role === role);
  if (stored.length === 1) return stored[0].a;
  const bySex = records.filter(e => e.role !== other && String((persons.get(e.a) || {}).sex || '').toUpperCase() === sex);
  if (bySex.length === 1) return bySex[0].a;
  const inferred = records.filter((e, i) => inferredLineRole(e, i) === role);
  return inferred.length === 1 ? inferred[0].a : null;
}

// child id → {father, mother}, from the parent records whose both ends exist.
function lineageParentIndex() {
  const index = new Map();
  for (const [child, links] of currentEdgeIndex().parentLinks) {
    if (!persons.has(child)) continue;
    const records = links.filter(e => persons.has(e.a) && e.a !== child);
    if (!records.length) continue;
    const father = chooseLineParent(records, 'father', 'M', 'mother');
    let mother = chooseLineParent(records, 'mother', 'F', 'father');
    if (mother === father) mother = null;
    index.set(child, { father, mother });
  }
  return index;
}

// The topmost person reached by stepping to the father, else the mother; a loop stops the walk.
function lineageFamilyHead(id, parentIndex) {
  const index = parentIndex || lineageParentIndex();
  const seen = new Set([id]);
  let at = id;
  for (;;) {
    const entry = index.get(at);
    const next = entry ? entry.father || entry.mother : null;
    if (!next || seen.has(next)) return at;
    seen.add(next);
    at = next;
  }
}

function fatherLineHead(id) {
  return lineageFamilyHead(id);
}

function lineHue(k) {
  return (LINE_HUES[k % LINE_HUES.length] + (Math.floor(k / LINE_HUES.length) * LINE_HUES.length) % 33) % 360;
}

// Line colours of every member of the forest's trees. The home line and the home mother's line take their
// fixed hues; every other head gets the next hue of the sequence in the forest's breadth-first order. A
// head's valid custom colour wins over its hue.
function lineageColors(forest) {
  const colors = new Map();
  if (!forest || !Array.isArray(forest.groups)) return colors;
  const index = lineageParentIndex();
  // Heads as lineageFamilyHead finds them, walking each line once: a walk that ends at a person without
  // parents settles the head of everyone it passed, and a later walk stops at the first settled person. A
  // walk caught in a loop (possible only in restored records) settles nobody.
  const heads = new Map(), settled = new Map();
  const headOf = id => {
    let head = heads.get(id);
    if (head !== undefined) return head;
    const path = [];
    let seen = null;
    for (let at = id; ;) {
      const known = settled.get(at);
      if (known !== undefined) { head = known; break; }
      path.push(at);
      const entry = index.get(at);
      const next = entry ? entry.father || entry.mother : null;
      if (!next) { head = at; break; }
      if (!seen && path.length > 32) seen = new Set(path);
      if (seen ? seen.has(next) : path.includes(next)) { head = at; path.length = 0; break; }
      if (seen) seen.add(next);
      at = next;
    }
    for (const p of path) settled.set(p, head);
    heads.set(id, head);
    return head;
  };
  // Hue and colour text per head: a line's people share one text.
  const hues = new Map(), lineColour = new Map();
  const home = activeRootPersonId();
  if (home && persons.has(home)) {
    hues.set(headOf(home), HOME_LINE_HUE);
    const mother = (index.get(home) || {}).mother;
    if (mother && !hues.has(headOf(mother))) hues.set(headOf(mother), HOME_MOTHER_LINE_HUE);
  }
  let k = 0;
  for (const group of forest.groups) {
    for (const id of group.members || []) {
      if (!persons.has(id)) continue;
      const head = headOf(id);
      if (!hues.has(head)) hues.set(head, lineHue(k++));
      let colour = lineColour.get(head);
      if (colour === undefined) {
        const custom = (persons.get(head) || {}).branchLineColor;
        colour = validBranchHex(custom) ? custom : 'hsl(' + hues.get(head) + ' 78% 68%)';
        lineColour.set(head, colour);
      }
      colors.set(id, colour);
    }
  }
  return colors;
}

function lineageColorKey() {
  const first = persons.size ? persons.keys().next().value : '';
  return [currentTreeId || '', activeRootPersonId() || '', persons.size, edges.length, first, lastPersonId()].join('|');
}

function cachedLineageColors(forest) {
  const key = lineageColorKey();
  if (lineageColorMemo.key === key && lineageColorMemo.colors) return lineageColorMemo.colors;
  const colors = lineageColors(forest);
  lineageColorMemo = { key, colors };
  return colors;
}

// The painter's once-per-frame refresh of the colours in use: those of the whole home group. While the
// memo key holds, the forest is not even gathered, so a frame of a big tree only compares a key.
function refreshVisibleLineageColors() {
  const home = activeRootPersonId();
  if (!home || !persons.has(home)) {
    visibleLineageColors = { key: '', colors: new Map() };
    return;
  }
  const key = lineageColorKey();
  if (lineageColorMemo.key === key && lineageColorMemo.colors) {
    if (visibleLineageColors.key !== key) visibleLineageColors = { key, colors: lineageColorMemo.colors };
    return;
  }
  const colors = cachedLineageColors(tidyForest(connectedPeople(home), home));
  visibleLineageColors = { key: lineageColorMemo.key, colors };
}

// Breadth-first neighbourhoods of at most `limit` people. Neighbours come parents and children first,
// then spouses, then siblings (ties by id); people a full group could not take become later seeds, so the
// next group grows from where the last one stopped.
function familyNeighborhoods(ids, anchor, limit = NEIGHBOURHOOD_LIMIT) {
  // People by position (the first of an id listed twice), and the neighbour lists as one flat array.
  const at = new Map(), people = [];
  for (const id of ids) if (!at.has(id)) { at.set(id, people.length); people.push(id); }
  const n = people.length;
  const ends = new Int32Array(2 * edges.length), weights = new Int8Array(edges.length);
  const start = new Int32Array(n + 1);
  let m = 0;
  for (const e of edges) {
    const weight = e ? neighbourWeight(e.type) : -1;
    if (weight < 0 || e.a === e.b) continue;
    const i = at.get(e.a), j = at.get(e.b);
    if (i === undefined || j === undefined) continue;
    ends[2 * m] = i; ends[2 * m + 1] = j; weights[m++] = weight;
    start[i + 1]++; start[j + 1]++;
  }
  for (let i = 0; i < n; i++) start[i + 1] += start[i];
  const next = start.slice(0, n), neighbour = new Int32Array(2 * m), weight = new Int8Array(2 * m);
  for (let k = 0; k < m; k++) {
    const i = ends[2 * k], j = ends[2 * k + 1];
    neighbour[next[i]] = j; weight[next[i]++] = weights[k];
    neighbour[next[j]] = i; weight[next[j]++] = weights[k];
  }
  const byId = neighbourIdOrder(people);
  // Each list by weight, then id.
  const after = (j, k) => weight[j] > weight[k] || (weight[j] === weight[k] && byId(neighbour[j], neighbour[k]) > 0);
  const lists = [neighbour, weight];
  for (let i = 0; i < n; i++) sortFlatEntries(start[i], start[i + 1], after, lists);
  const group = new Int32Array(n).fill(-1), groups = [], seeds = at.has(anchor) ? [at.get(anchor)] : [];
  const cap = Math.max(1, limit);
  let nextSeed = 0, nextId = 0;
  const pickSeed = () => {
    while (nextSeed < seeds.length) { const s = seeds[nextSeed++]; if (group[s] < 0) return s; }
    while (nextId < n) { const s = nextId++; if (group[s] < 0) return s; }
    return -1;
  };
  for (let seed = pickSeed(); seed >= 0; seed = pickSeed()) {
    const g = groups.length, members = [seed];
    group[seed] = g;
    for (let i = 0; i < members.length; i++) {
      for (let k = start[members[i]], end = start[members[i] + 1]; k < end; k++) {
        const v = neighbour[k];
        if (group[v] >= 0) continue;
        if (members.length < cap) { group[v] = g; members.push(v); } else seeds.push(v);
      }
    }
    groups.push(members.map(i => people[i]));
  }
  const groupOf = new Map();
  for (let i = 0; i < n; i++) groupOf.set(people[i], group[i]);
  return {
    groups,
    group: groupOf,
    // The neighbour lists as [id, weight] pairs by id, made only when asked for.
    get neighbors() {
      const lists = new Map();
      for (let i = 0; i < n; i++) {
        const list = [];
        for (let k = start[i]; k < start[i + 1]; k++) list.push([people[neighbour[k]], weight[k]]);
        lists.set(people[i], list);
      }
      return lists;
    },
  };
}

function neighbourWeight(type) {
  return type === 'parent' ? 0 : type === 'spouse' ? 1 : type === 'sibling' ? 2 : -1;
}

// The locale order of ids as a comparison of positions. Ids of digits and lower-case letters only (every
// id this application makes) compare in the locale order exactly as in code-unit order, which is far
// cheaper; other ids use the locale comparison.
function neighbourIdOrder(people) {
  const collate = new Intl.Collator().compare;
  const plain = new Uint8Array(people.length);
  for (let i = 0; i < people.length; i++) plain[i] = /^[0-9a-z]*$/.test(people[i]) ? 1 : 0;
  return (i, j) => {
    const a = people[i], b = people[j];
    if (plain[i] && plain[j]) return a < b ? -1 : a > b ? 1 : 0;
    return collate(a, b);
  };
}

// The most frequent last word (over 2 characters) of the members' names, numbered from 1.
function neighbourhoodLabel(members, i) {
  const counts = new Map();
  for (const id of members) {
    const words = String((persons.get(id) || {}).name || '').trim().split(/\s+/);
    const word = words[words.length - 1];
    if (word && word.length > 2) counts.set(word, (counts.get(word) || 0) + 1);
  }
  let best = '', bestCount = 0;
  for (const [word, n] of counts) if (n > bestCount) { best = word; bestCount = n; }
  return (best || 'Family') + ' · ' + (i + 1);
}

function getBranchState() {
  const ids = [...persons.keys()];
  const key = [currentTreeId || '', rootPersonId || '', ids.length, edges.length, ids[0] || '', ids[ids.length - 1] || ''].join(':');
  if (branchState.key === key && branchState.map) return branchState;
  const anchor = rootPersonId && persons.has(rootPersonId) ? rootPersonId : ids[0];
  const { groups, group: map } = familyNeighborhoods(ids, anchor, NEIGHBOURHOOD_LIMIT);
  // Labels are made when asked for: only the selected person's is shown, and a large tree has thousands.
  branchState = { key, map, groups, labels: new Array(groups.length) };
  return branchState;
}

// The label of neighbourhood `i` of a branch state.
function branchGroupLabel(state, i) {
  if (!state.groups || !state.groups[i] || !Array.isArray(state.labels)) return '';
  if (state.labels[i] === undefined) state.labels[i] = neighbourhoodLabel(state.groups[i], i);
  return state.labels[i];
}

function familyColor(id) {
  if (visibleLineageColors && visibleLineageColors.key && visibleLineageColors.colors.has(id)) {
    return visibleLineageColors.colors.get(id);
  }
  let state = branchState;
  if ((!state.map || !state.map.has(id) || !state.key) && persons.has(id)) state = getBranchState();
  const n = state.map && state.map.has(id) ? state.map.get(id) : 0;
  return branchPalette[n % branchPalette.length];
}

function familyLineColor(id) {
  return coloredBranchesEnabled ? familyColor(id) : MONOCHROME_LINE;
}
