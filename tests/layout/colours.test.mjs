// Family line colours: the recorded father and mother of each child, line heads, the teal home line and
// amber mother's line, the hue sequence, custom line colours, neighbourhoods and their labels, and the
// "Colored branches" switch with its stored preference.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp();

const TEAL = 'hsl(174 78% 68%)';
const AMBER = 'hsl(32 78% 68%)';
const hsl = hue => `hsl(${hue} 78% 68%)`;

// The colours in use after a painted frame, by key.
async function paintedColours(ids) {
  await app.run(() => { renderNeeded = true; draw(); });
  return app.run(ids => Object.fromEntries(Object.entries(ids).map(([k, id]) => [k, familyColor(id)])), ids);
}

async function setHome(key, ids) {
  await app.run(id => { rootPersonId = focus = selected = id; update(); }, ids[key]);
}

// Parent records of one child (Kid): [parent key, sex, stored role]; the expected father and mother.
const PARENT_CASES = [
  ['no role, no sex: first father, second mother', [['P1', '', null], ['P2', '', null]], 'P1', 'P2'],
  ['sex beats position', [['P1', 'F', null], ['P2', 'M', null]], 'P2', 'P1'],
  ['a stored role beats sex', [['P1', 'M', 'mother'], ['P2', 'F', 'father']], 'P2', 'P1'],
  ['two "father" roles: the one man among them', [['P1', 'F', 'father'], ['P2', 'M', 'father']], 'P2', null],
  ['two "father" roles, two men: nobody', [['P1', 'M', 'father'], ['P2', 'M', 'father']], null, null],
  ['a third parent without sex takes no role', [['P1', 'M', null], ['P2', 'F', null], ['P3', '', null]], 'P1', 'P2'],
  ['one parent of unknown sex is the father', [['P1', '', null]], 'P1', null],
  ['one woman is the mother only', [['P1', 'F', null]], null, 'P1'],
];

for (const [name, parents, father, mother] of PARENT_CASES) {
  test(`parent index: ${name}`, async () => {
    const ids = await app.build([...parents.map(([key, sex]) => ({ name: key, sex })), 'Kid'],
      parents.map(([key]) => [key, 'Kid', 'parent']));
    await app.run(({ ids, parents }) => {
      for (const [key, , role] of parents) if (role) edges.find(e => e.a === ids[key] && e.b === ids.Kid).role = role;
      rebuildEdgeIndex();
    }, { ids, parents });
    const got = await app.run(id => lineageParentIndex().get(id), ids.Kid);
    assert.deepEqual(got, { father: father ? ids[father] : null, mother: mother ? ids[mother] : null });
  });
}

test('a loop of fathers stops at the last person before it closes', async () => {
  const heads = await app.run(() => {
    const index = new Map([['a', { father: 'b', mother: null }], ['b', { father: 'c', mother: null }], ['c', { father: 'a', mother: null }],
      ['d', { father: null, mother: 'e' }]]);
    return ['a', 'd', 'e'].map(id => lineageFamilyHead(id, index));
  });
  assert.deepEqual(heads, ['c', 'e', 'e']);
});

// Lines walked once for many people must end where a walk from each person alone ends: a line of 50
// fathers (past the length where the walk keeps a set), people joining it half way, a loop of fathers in
// restored records and people leading into the loop from outside it.
test('line colours group people exactly by the head a walk from each of them finds', async () => {
  const r = await app.run(() => {
    persons.clear();
    edges = [];
    const add = id => persons.set(id, { id, name: id, sex: 'M' });
    const father = (a, b) => edges.push({ a, b, type: 'parent' });
    for (let i = 0; i < 50; i++) { add('c' + i); if (i) father('c' + i, 'c' + (i - 1)); }
    for (let i = 0; i < 5; i++) { add('j' + i); father('c' + (10 * i + 5), 'j' + i); }
    for (const id of ['x', 'y', 'z', 'in1', 'in2']) add(id);
    father('x', 'y'); father('y', 'z'); father('z', 'x'); father('x', 'in1'); father('in1', 'in2');
    const ids = [...persons.keys()].reverse();
    const colours = lineageColors({ groups: [{ members: ids }] });
    const index = lineageParentIndex();
    const byHead = new Map(), byColour = new Map();
    for (const id of ids) {
      const head = lineageFamilyHead(id, index);
      byHead.set(head, [...(byHead.get(head) || []), id]);
      byColour.set(colours.get(id), [...(byColour.get(colours.get(id)) || []), id]);
    }
    return { heads: [...byHead.values()].map(l => l.join()).sort(), colours: [...byColour.values()].map(l => l.join()).sort(),
      loop: ['x', 'y', 'z', 'in2'].map(id => lineageFamilyHead(id, index)) };
  });
  assert.deepEqual(r.colours, r.heads);
  assert.deepEqual(r.loop, ['y', 'z', 'x', 'y']);
});

test('home line teal, the mother\'s line amber, the next line the first hue of the sequence', async () => {
  const ids = await app.build([
    { name: 'Home', sex: 'M' }, { name: 'Dad', sex: 'M' }, { name: 'Mum', sex: 'F' }, { name: 'Grandpa', sex: 'M' },
    { name: 'Granny', sex: 'F' }, { name: 'MumDad', sex: 'M' }, { name: 'MumMum', sex: 'F' }, { name: 'Wife', sex: 'F' },
    { name: 'Son', sex: 'M' }],
  [['Dad', 'Home', 'parent'], ['Mum', 'Home', 'parent'], ['Grandpa', 'Dad', 'parent'], ['Granny', 'Dad', 'parent'],
    ['MumDad', 'Mum', 'parent'], ['MumMum', 'Mum', 'parent'], ['Home', 'Wife', 'spouse'], ['Home', 'Son', 'parent'],
    ['Wife', 'Son', 'parent']]);
  await setHome('Home', ids);
  const c = await paintedColours(ids);
  for (const k of ['Home', 'Dad', 'Grandpa', 'Son']) assert.equal(c[k], TEAL, k);
  for (const k of ['Mum', 'MumDad']) assert.equal(c[k], AMBER, k);
  const others = new Set([c.Granny, c.MumMum, c.Wife]);
  assert.equal(others.size, 3, 'each further line has its own hue');
  assert.ok([...others].every(v => /^hsl\((\d+) 78% 68%\)$/.test(v) && v !== TEAL && v !== AMBER));
  assert.ok(others.has(hsl(278)), 'the first further line takes hue 278');
});

test('a child with only a mother follows her line; a father added later takes the child and its descendants', async () => {
  const ids = await app.build([{ name: 'Home', sex: 'F' }, { name: 'Mum', sex: 'F' }, { name: 'Kid', sex: 'M' },
    { name: 'Grandkid', sex: 'M' }, { name: 'Stranger', sex: 'M' }],
  [['Mum', 'Home', 'parent'], ['Home', 'Kid', 'parent'], ['Kid', 'Grandkid', 'parent'], ['Home', 'Stranger', 'spouse']]);
  await setHome('Home', ids);
  let c = await paintedColours(ids);
  for (const k of ['Home', 'Mum', 'Kid', 'Grandkid']) assert.equal(c[k], TEAL, k);
  const strangerHue = c.Stranger;
  assert.notEqual(strangerHue, TEAL);
  await app.run(ids => { addEdge(ids.Stranger, ids.Kid, 'parent'); update(); }, ids);
  c = await paintedColours(ids);
  assert.equal(c.Kid, c.Stranger, 'the child switches to the father\'s line');
  assert.equal(c.Grandkid, c.Stranger, 'and so do its descendants');
  assert.notEqual(c.Kid, TEAL);
});

test('custom line colours: six hex digits in any case are used as they stand, anything else is ignored', async () => {
  for (const [stored, expected] of [['#ABCDEF', '#ABCDEF'], ['#12ab9f', '#12ab9f'], ['#abc', null], ['#abcdefg', null], ['red', null], [12, null]]) {
    const ids = await app.build([{ name: 'Head', sex: 'M', branchLineColor: stored }, 'Kid', 'Home'],
      [['Head', 'Kid', 'parent'], ['Home', 'Kid', 'spouse']]);
    await app.run(({ id, stored }) => { persons.get(id).branchLineColor = stored; }, { id: ids.Head, stored });
    await setHome('Home', ids);
    const c = await paintedColours(ids);
    assert.equal(c.Kid, expected || hsl(278), String(stored));
    assert.equal(c.Head, c.Kid, 'the whole line shares the colour');
    assert.equal(await app.call('validBranchHex', stored), expected !== null, 'validBranchHex ' + stored);
  }
});

test('the hue sequence: line k = 1 is 122, k = 16 is 73, k = 17 is 295, k = 34 is 279', async () => {
  const ids = await app.build(['Home', ...Array.from({ length: 40 }, (_, i) => 'L' + i)]);
  const colours = await app.run(ids => {
    rootPersonId = focus = ids.Home;
    const members = [ids.Home, ...Array.from({ length: 40 }, (_, i) => ids['L' + i])];
    const map = lineageColors({ groups: [{ members }] });
    return members.map(id => map.get(id));
  }, ids);
  assert.equal(colours[0], TEAL);
  assert.deepEqual([colours[1], colours[2], colours[17], colours[18], colours[35]], [hsl(278), hsl(122), hsl(73), hsl(295), hsl(279)]);
});

test('someone outside the home group takes a neighbourhood colour; the panel shows the neighbourhood label', async () => {
  const ids = await app.build(['Ann Smith', 'Bob Smith', 'Cy Jones', 'Dee Jones', 'Lone Walker'],
    [['Ann Smith', 'Bob Smith', 'spouse'], ['Cy Jones', 'Dee Jones', 'sibling']]);
  await setHome('Ann Smith', ids);
  const c = await paintedColours(ids);
  const state = await app.run(() => ({ map: [...getBranchState().map], labels: getBranchState().groups.map((g, i) => branchGroupLabel(getBranchState(), i)), palette: branchPalette }));
  const group = new Map(state.map);
  assert.deepEqual(state.labels, ['Smith · 1', 'Jones · 2', 'Walker · 3']);
  assert.equal(c['Cy Jones'], state.palette[group.get(ids['Cy Jones'])]);
  assert.equal(c['Lone Walker'], state.palette[2]);
  assert.equal(c['Ann Smith'], TEAL);
  await app.run(id => { selectPerson(id); }, ids['Cy Jones']);
  assert.match(await app.text('#sideBody'), /Jones · 2/);
});

test('neighbourhood labels: most frequent last word over two letters, the first on a tie, else "Family"', async () => {
  const labels = await app.run(() => {
    const cases = [['Ann Lee', 'Bo Lee', 'Cy Ng'], ['Ann Moor', 'Bo Hill', 'Cy Hill', 'Di Moor'], ['Al', 'Bo Ng'], [' Eve  Stone  ']];
    return cases.map((names, i) => {
      persons.clear();
      edges = [];
      const ids = names.map(name => addPerson({ name }));
      for (let j = 1; j < ids.length; j++) addEdge(ids[0], ids[j], 'sibling');
      rootPersonId = focus = selected = ids[0];
      update();
      return branchGroupLabel(getBranchState(), 0);
    });
  });
  assert.deepEqual(labels, ['Lee · 1', 'Moor · 1', 'Family · 1', 'Stone · 1']);
});

test('a chain of 100 people from the home person makes neighbourhoods of 42, 42 and 16', async () => {
  const names = Array.from({ length: 100 }, (_, i) => 'P' + String(i).padStart(3, '0'));
  const links = names.slice(1).map((n, i) => [names[i], n, 'parent']);
  const ids = await app.build(names, links);
  await setHome('P000', ids);
  const groups = await app.run(() => getBranchState().groups);
  assert.deepEqual(groups.map(g => g.length), [42, 42, 16]);
  const order = names.map(n => ids[n]);
  assert.deepEqual(groups, [order.slice(0, 42), order.slice(42, 84), order.slice(84)]);
  await setHome('P099', ids);
  const fromEnd = await app.run(() => getBranchState().groups.map(g => g.length));
  assert.deepEqual(fromEnd, [42, 42, 16], 'the home person at the other end starts from there');
  assert.equal(await app.run(id => getBranchState().groups[0][0], null), ids.P099);
});

test('neighbours are taken parents and children first, then spouses, then siblings', async () => {
  const ids = await app.build(['Mid', 'Sib', 'Wife', 'Kid', 'Other'],
    [['Mid', 'Sib', 'sibling'], ['Mid', 'Wife', 'spouse'], ['Mid', 'Kid', 'parent'], ['Other', 'Sib', 'spouse']]);
  const groups = await app.run(ids => familyNeighborhoods([...persons.keys()], ids.Mid, 3).groups, ids);
  assert.deepEqual(groups, [[ids.Mid, ids.Kid, ids.Wife], [ids.Sib, ids.Other]]);
});

// Neighbourhoods of a random tree whose ids mix the application's own (lower-case letters and digits) with
// upper-case, accented and punctuated ones, and one person with 60 children, against the grouping done
// the plain way: lists of [id, weight] pairs sorted with the locale comparison.
test('neighbourhoods keep the locale order of ids of every kind, also for long neighbour lists', async () => {
  const result = await app.run(() => {
    const names = ['p1', 'p10', 'p9', 'pa', 'pB', 'Pa', 'é1', 'e2', 'a-b', 'ab', 'AB', 'z', '10', '9', 'ñ'];
    let seed = 11;
    const random = k => (seed = (seed * 16807) % 2147483647) % k;
    persons.clear();
    edges = [];
    const ids = [];
    for (let i = 0; i < 300; i++) {
      const id = names[i % names.length] + (i < names.length ? '' : String.fromCharCode(97 + random(26)) + i);
      ids.push(id);
      persons.set(id, { id, name: 'Person ' + i });
    }
    const types = ['parent', 'spouse', 'sibling'];
    for (let i = 1; i < 300; i++) edges.push({ id: 'e' + i, a: ids[random(i)], b: ids[i], type: types[random(3)] });
    for (let i = 100; i < 160; i++) edges.push({ id: 'h' + i, a: ids[7], b: ids[i], type: 'parent' });
    const plain = (list, anchor, limit) => {
      const inside = new Set(list), neighbors = new Map(list.map(id => [id, []]));
      const weight = { parent: 0, spouse: 1, sibling: 2 };
      for (const e of edges) {
        if (!inside.has(e.a) || !inside.has(e.b) || e.a === e.b || !(e.type in weight)) continue;
        neighbors.get(e.a).push([e.b, weight[e.type]]);
        neighbors.get(e.b).push([e.a, weight[e.type]]);
      }
      const byId = new Intl.Collator().compare;
      for (const l of neighbors.values()) l.sort((p, q) => p[1] - q[1] || byId(p[0], q[0]));
      const group = new Map(), groups = [], seeds = [anchor];
      let nextSeed = 0, nextId = 0;
      const pick = () => {
        while (nextSeed < seeds.length) { const s = seeds[nextSeed++]; if (!group.has(s)) return s; }
        while (nextId < list.length) { const s = list[nextId++]; if (!group.has(s)) return s; }
        return null;
      };
      for (let s = pick(); s !== null; s = pick()) {
        const members = [s];
        group.set(s, groups.length);
        for (let i = 0; i < members.length; i++) {
          for (const [v] of neighbors.get(members[i])) {
            if (group.has(v)) continue;
            if (members.length < limit) { group.set(v, groups.length); members.push(v); } else seeds.push(v);
          }
        }
        groups.push(members);
      }
      return groups;
    };
    const cases = [[ids[0], 42], [ids[7], 5], [ids[150], 1]];
    return cases.map(([anchor, limit]) => {
      const fast = familyNeighborhoods(ids, anchor, limit);
      return { fast: fast.groups, plain: plain(ids, anchor, limit), mapped: ids.every(id => fast.groups[fast.group.get(id)].includes(id)) };
    });
  });
  for (const { fast, plain, mapped } of result) {
    assert.deepEqual(fast, plain);
    assert.ok(mapped, 'every person maps to the group that holds them');
  }
});

test('"Colored branches" off: every line is #9ce3e7, orbs keep their colours, and the switch survives a restart', async () => {
  const ids = await app.build([{ name: 'Dad', sex: 'M' }, { name: 'Mum', sex: 'F' }, 'Kid'],
    [['Dad', 'Kid', 'parent'], ['Mum', 'Kid', 'parent']]);
  await setHome('Kid', ids);
  const before = await paintedColours(ids);
  assert.equal(await app.run(() => localStorage.getItem('sollary-genealogy-colored-branches')), null);
  assert.equal(await app.page.locator('#coloredBranchesToggle').isChecked(), true);
  await app.click('#coloredBranchesToggle');
  assert.equal(await app.run(() => localStorage.getItem('sollary-genealogy-colored-branches')), 'false');
  const lines = await app.run(ids => Object.values(ids).map(id => familyLineColor(id)), ids);
  assert.deepEqual(lines, ['#9ce3e7', '#9ce3e7', '#9ce3e7']);
  assert.deepEqual(await paintedColours(ids), before, 'orb colours do not change');
  await app.relaunch();
  await app.enter();
  assert.equal(await app.page.locator('#coloredBranchesToggle').isChecked(), false);
  assert.equal(await app.eval('coloredBranchesEnabled'), false);
  await app.click('#coloredBranchesToggle');
  assert.equal(await app.run(() => localStorage.getItem('sollary-genealogy-colored-branches')), 'true');
  assert.equal(await app.eval('coloredBranchesEnabled'), true);
});

test('only the stored text "false" turns the switch off', async () => {
  for (const [stored, on] of [['false', false], ['0', true], ['FALSE', true], ['', true]]) {
    await app.run(v => localStorage.setItem('sollary-genealogy-colored-branches', v), stored);
    assert.equal(await app.call('readColoredBranches'), on, JSON.stringify(stored));
  }
  await app.run(() => localStorage.removeItem('sollary-genealogy-colored-branches'));
});

test('line colours are kept under a key and recomputed after an edit', async () => {
  const ids = await app.build([{ name: 'Home', sex: 'M' }, { name: 'Kid', sex: 'M' }], [['Home', 'Kid', 'parent']]);
  await setHome('Home', ids);
  await paintedColours(ids);
  const same = await app.run(() => {
    const forest = tidyForest(connectedPeople(rootPersonId), rootPersonId);
    return cachedLineageColors(forest) === cachedLineageColors(forest);
  });
  assert.ok(same, 'a second call returns the memo');
  await app.run(id => { persons.get(id).branchLineColor = '#112233'; update(); }, ids.Home);
  const c = await paintedColours(ids);
  assert.deepEqual(c, { Home: '#112233', Kid: '#112233' });
});
