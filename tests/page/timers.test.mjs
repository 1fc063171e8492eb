// Timed behaviour under a stopped fake clock: the toast's 4,200 ms and the 500 ms save debounce.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ setup: app => app.pauseClock() });

// The toast counts as shown when, with its transitions run to their end, it is displayed and opaque.
const toastState = () => app.run(() => {
  const el = $('toast');
  el.getAnimations().forEach(a => a.finish());
  const style = getComputedStyle(el);
  const shown = style.display !== 'none' && style.visibility !== 'hidden' && Number(style.opacity) > 0;
  return { shown, text: el.textContent };
});

for (const name of ['showToast', 'toast'])
  test(`${name} shows the message for 4,200 ms`, async () => {
    await app.call(name, `Hello from ${name}`);
    assert.deepEqual(await toastState(), { shown: true, text: `Hello from ${name}` });
    await app.tick(4199);
    assert.equal((await toastState()).shown, true);
    await app.tick(1);
    assert.equal((await toastState()).shown, false);
  });

test('a second toast 1 s later replaces the first at once and gets its own 4,200 ms', async () => {
  await app.call('toast', 'First');
  await app.tick(1000);
  await app.call('toast', 'Second');
  assert.deepEqual(await toastState(), { shown: true, text: 'Second' });
  await app.tick(3200);
  assert.deepEqual(await toastState(), { shown: true, text: 'Second' }, 'the first toast\'s timer must not hide it');
  await app.tick(999);
  assert.equal((await toastState()).shown, true);
  await app.tick(1);
  assert.equal((await toastState()).shown, false);
});

test('a toast is plain text', async () => {
  const text = '<b>bold</b> & <img src=x onerror="window.__pwned=1">';
  await app.call('toast', text);
  assert.deepEqual(await app.run(() => [$('toast').textContent, $('toast').children.length]), [text, 0]);
  await app.tick(4200);
});

test('ten scheduleSave calls within 100 ms give one save, 500 ms after the last', async () => {
  await app.tick(2000);
  const save = await app.countCalls('save');
  try {
    const start = await app.eval('Date.now()');
    for (let i = 0; i < 10; i++) {
      await app.call('scheduleSave');
      if (i < 9) await app.tick(10);
    }
    await app.tick(499);
    assert.equal(await save.count(), 0);
    await app.tick(1);
    assert.deepEqual(await save.times(), [start + 90 + 500]);
    await app.tick(3000);
    assert.equal(await save.count(), 1);
  } finally {
    await save.restore();
  }
});

test('a change through addPerson is saved 500 ms after its update', async () => {
  await app.tick(2000);
  const save = await app.countCalls('save');
  try {
    await app.run(() => addPerson({ name: 'Saved later' }));
    await app.tick(499);
    assert.equal(await save.count(), 0);
    await app.tick(1);
    assert.equal(await save.count(), 1);
  } finally {
    await save.restore();
  }
});
