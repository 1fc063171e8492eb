// Orb styles: normalising stored styles, the orb tint, the animated effects (particle caps, per-person
// phase, determinism, context left as found), untouched orbs painted like default ones, and hostile styles
// and picture addresses arriving in a restored backup.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import { useApp, DOCUMENT_URL } from '../harness.mjs';

const app = useApp();

const DEFAULT = { size: 100, glow: 100, ring: 65, effect: 'none', density: 9, speed: 100, color: null };

test('orbStyleOf normalises every stored value', async () => {
  const cases = [
    [undefined, {}],
    [null, {}],
    ['sparkles', {}],
    [{ size: 500, glow: -5, density: 3.2 }, { size: 230, glow: 0, density: 3.2 }],
    [{ size: '150', ring: '', speed: null, glow: 'bright' }, { size: 150, ring: 0, speed: 20, glow: 100 }],
    [{ size: Infinity, glow: NaN, density: 99, speed: 1 }, { density: 24, speed: 20 }],
    [{ size: { valueOf: 1 }, ring: [70], glow: true }, { glow: 1 }],
    [{ effect: 'comet' }, { effect: 'comet' }],
    [{ effect: 'Comet' }, {}],
    [{ effect: '<img src=x onerror=alert(1)>' }, {}],
    [{ color: '#abc' }, {}],
    [{ color: '#ABCdef' }, { color: '#ABCdef' }],
    [{ color: '#abcdef0' }, {}],
    [{ color: 'red' }, {}],
    [{ color: '#abcdef;background:url(x)' }, {}],
    [{ color: 123456 }, {}],
  ];
  for (const [orbStyle, changes] of cases) {
    const person = orbStyle === undefined ? { name: 'X' } : { name: 'X', orbStyle };
    assert.deepEqual(await app.call('orbStyleOf', person), { ...DEFAULT, ...changes }, JSON.stringify(orbStyle));
  }
  assert.deepEqual(await app.call('orbStyleOf', null), DEFAULT);
  // A stored style changed in place is read afresh.
  assert.deepEqual(await app.run(() => {
    const p = { orbStyle: { size: 120, effect: 'pulse' } };
    const first = orbStyleOf(p);
    p.orbStyle.size = 999;
    p.orbStyle.effect = 'nonsense';
    return [first.size, first.effect, orbStyleOf(p).size, orbStyleOf(p).effect];
  }), [120, 'pulse', 230, 'none']);
});

test('orbTint: own colour, else gold for the home person, else the family colour', async () => {
  const ids = await app.build([{ name: 'Home Person', key: 'H' }, { name: 'Other Person', key: 'O' }], [['H', 'O', 'parent']]);
  const tint = (id, orbStyle, root) => app.run(([id, orbStyle, root]) => {
    const p = persons.get(id);
    p.orbStyle = orbStyle;
    return { tint: orbTint(id, p, root), family: familyColourOf(id) };
  }, [id, orbStyle, root]);
  assert.equal((await tint(ids.H, undefined, true)).tint, '#efc85d');
  assert.equal((await tint(ids.H, { color: '#123456' }, true)).tint, '#123456');
  assert.equal((await tint(ids.H, { color: '#12345' }, true)).tint, '#efc85d');
  const other = await tint(ids.O, undefined, false);
  assert.equal(other.tint, other.family);
  assert.equal((await tint(ids.O, { color: '#a0b0c0' }, false)).tint, '#a0b0c0');
});

// Glowing dots one effect draws (circles under 5 pixels): the particle count is capped, and follows the
// density rounded up.
test('drawOrbFx draws the number of dots each effect allows', async () => {
  const cases = [
    ['none', 9, 30, 0], ['sparkles', 3.2, 30, 4], ['sparkles', 24, 30, 24], ['sparkles', 80, 30, 24],
    ['stardust', 2, 30, 2], ['fireflies', 16, 30, 16], ['orbit', 9, 30, 3], ['orbit', 24, 30, 4], ['orbit', 2, 30, 1],
    ['comet', 24, 30, 6], ['pulse', 24, 30, 0], ['aurora', 24, 30, 0], ['sparkles', 9, 1.9, 0], ['bogus', 9, 30, 0],
  ];
  for (const [effect, density, r, dots] of cases) {
    const drawn = await app.run(([effect, density, r]) => {
      const g = document.createElement('canvas').getContext('2d');
      const arc = g.arc.bind(g);
      let small = 0;
      g.arc = (x, y, radius, ...rest) => { if (radius < 5) small++; arc(x, y, radius, ...rest); };
      drawOrbFx(g, 'p1', { x: 50, y: 50, scale: 1 }, r, '#88ffee', orbStyleOf({ orbStyle: { effect, density } }), 1234);
      return small;
    }, [effect, density, r]);
    assert.equal(drawn, dots, `${effect} ${density} r=${r}`);
  }
});

// The phase follows a 32-bit hash of the id's UTF-16 units (hash × 31 + unit, wrapped at each step).
test('the per-person phase', async () => {
  const reference = id => {
    let h = 0n;
    for (const unit of id.split('').map(c => c.charCodeAt(0))) h = BigInt.asIntN(32, h * 31n + BigInt(unit));
    return Number(BigInt.asUintN(32, h) % 1000n) / 1000 * Math.PI * 2;
  };
  for (const id of ['a', 'p1', 'plq3x9k2abcdef', 'p' + 'z'.repeat(40), 'Ωmega 👪', '']) {
    assert.ok(Math.abs(await app.call('orbFxPhase', id) - reference(id)) < 1e-12, id);
  }
  assert.ok(Math.abs(await app.call('orbFxPhase', 'a') - 0.097 * 2 * Math.PI) < 1e-12);
});

// Pixels of one effect drawn alone on a small canvas, as a short fingerprint.
function fxPixels(id, effect, time, extra = {}) {
  return app.run(([id, effect, time, extra]) => {
    const c = document.createElement('canvas');
    c.width = c.height = 120;
    const g = c.getContext('2d');
    g.fillStyle = '#102030';
    g.globalAlpha = 0.8;
    g.lineWidth = 7;
    drawOrbFx(g, id, { x: 60, y: 60, scale: 1 }, 22, '#ffd070', orbStyleOf({ orbStyle: { effect, density: 12, ...extra } }), time);
    const state = [g.fillStyle, g.globalAlpha, g.lineWidth, g.shadowBlur, g.filter];
    return { state, data: c.toDataURL() };
  }, [id, effect, time, extra]).then(({ state, data }) => ({ state, data: digest(data) }));
}

const digest = text => crypto.createHash('sha1').update(text).digest('hex');

test('effects are deterministic, differ between people and in time, and leave the context as found', async () => {
  for (const effect of ['sparkles', 'stardust', 'fireflies', 'orbit', 'comet', 'pulse', 'aurora']) {
    const a = await fxPixels('pA1', effect, 5000);
    assert.deepEqual(a.state, ['#102030', 0.8, 7, 0, 'none'], effect);
    assert.equal((await fxPixels('pA1', effect, 5000)).data, a.data, `${effect} repeats`);
    assert.notEqual((await fxPixels('pB2', effect, 5000)).data, a.data, `${effect} phase differs by id`);
    assert.notEqual((await fxPixels('pA1', effect, 5600)).data, a.data, `${effect} moves`);
  }
  // Speed scales time: half the speed at twice the time is the same picture.
  assert.equal((await fxPixels('pA1', 'fireflies', 8000, { speed: 50 })).data,
    (await fxPixels('pA1', 'fireflies', 4000, { speed: 100 })).data);
});

// The detailed painter's picture of one lone orb, as data of the whole canvas.
async function paintedOrb(id, orbStyle) {
  await app.run(([id, orbStyle]) => {
    const p = persons.get(id);
    if (orbStyle === undefined) delete p.orbStyle; else p.orbStyle = orbStyle;
    selected = null;
  }, [id, orbStyle]);
  return digest(await app.run(() => {
    const clock = performance.now;
    performance.now = () => 5000;
    try {
      renderNeeded = true;
      draw();
    } finally {
      performance.now = clock;
    }
    return $('tree').toDataURL();
  }));
}

test('an orb without a style is painted exactly like one with the default style', async () => {
  const ids = await app.build([{ name: 'Lone Star', key: 'L' }, { name: 'Second Star', key: 'S' }], [['L', 'S', 'spouse']]);
  await app.run(ids => { rootPersonId = focus = ids.L; selected = null; viewScope = 'connected'; update(); fitGraph(); }, ids);
  for (const id of [ids.L, ids.S]) {
    const plain = await paintedOrb(id, undefined);
    assert.equal(await paintedOrb(id, { ...DEFAULT }), plain);
    assert.equal(await paintedOrb(id, { size: '100', effect: 'glitter', color: 'teal' }), plain);
    assert.notEqual(await paintedOrb(id, { ...DEFAULT, size: 180 }), plain);
  }
});

test('a restored backup with broken styles and hostile picture addresses paints only normalised values', async () => {
  const person = (id, extra) => ({ id, name: 'Person ' + id, ...extra });
  const hostile = {
    a: person('a', { orbStyle: { size: 9000, glow: '-4', ring: 'x', effect: 'meteor', density: 1e9, speed: -1, color: 'red' },
      photo: 'javascript:alert(1)' }),
    b: person('b', { orbStyle: '"><script>alert(1)</script>', photo: 'data:image/gif;base64,R0lGODlhAQABAAAAACw=' }),
    c: person('c', { orbStyle: { color: '#ff0000"><b>x</b>', effect: 'comet' }, photo: 'data:image/svg+xml;base64,PHN2Zy8+' }),
    d: person('d', { photo: 'file:///etc/passwd' }),
    e: person('e', { photo: 'data:image/png;base64,iVBOR"><img src=x onerror=alert(1)>' }),
  };
  const backup = { format: 'Kinloom v1', persons: hostile, edges: [{ a: 'a', b: 'b', type: 'parent' },
    { a: 'a', b: 'c', type: 'parent' }, { a: 'a', b: 'd', type: 'parent' }, { a: 'a', b: 'e', type: 'parent' }] };
  await app.click('#toolsBtn');
  await app.page.getByRole('button', { name: 'Full backup / restore (JSON)' }).click();
  const [chooser] = await Promise.all([app.page.waitForEvent('filechooser'),
    app.page.getByRole('button', { name: 'Restore a backup' }).click()]);
  app.answer(true);
  await chooser.setFiles({ name: 'Kinloom_Backup.json', mimeType: 'application/json', buffer: Buffer.from(JSON.stringify(backup)) });
  await app.page.waitForFunction(() => persons.has('e'));
  await app.run(() => { if (modalOpen()) closeModal(); });
  await app.run(() => { rootPersonId = focus = 'a'; update(); fitGraph(); renderNeeded = true; draw(); });
  const styles = await app.run(() => ['a', 'b', 'c'].map(id => orbStyleOf(persons.get(id))));
  assert.deepEqual(styles, [
    { size: 230, glow: 0, ring: 65, effect: 'none', density: 24, speed: 20, color: null },
    DEFAULT,
    { ...DEFAULT, effect: 'comet' },
  ]);
  for (const id of ['a', 'b', 'c', 'd', 'e']) {
    await app.call('selectPerson', id);
    assert.equal(await app.exists('#sideBody .pp-portrait img'), false, id);
  }
  assert.deepEqual(await app.run(() => [...portraitCache.keys()]), []);
  assert.deepEqual(app.requests.filter(u => u !== DOCUMENT_URL && /^(javascript|file):|image\/(gif|svg)/.test(u)).map(u => u.slice(0, 60)), []);
});
