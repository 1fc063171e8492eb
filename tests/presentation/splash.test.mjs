// The studio splash: 3.5 s after the document is parsed it fades out and is removed within 1 s; Enter,
// Escape, Space or a click end it at once, and those keys reach nothing else while it is up.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp, DOCUMENT_URL } from '../harness.mjs';

const app = useApp({ open: false });

const splashState = page => page.evaluate(() => {
  const el = document.getElementById('kln-studio-splash');
  return el ? (el.classList.contains('kln-splash-out') ? 'fading' : 'showing') : 'gone';
});

// A fresh page on a stopped fake clock (so the splash's own timer cannot end it while a slow machine
// catches up), loaded until the document is parsed, with a key listener registered after the splash's own
// (as every other listener of the page is). Closed after `fn`.
async function withPage(fn) {
  const page = await app.context.newPage();
  app.watch(page);
  try {
    await page.clock.install({ time: new Date('2030-01-01T00:00:00Z') });
    await page.clock.pauseAt(new Date('2030-01-01T00:00:10Z'));
    await page.goto(DOCUMENT_URL, { waitUntil: 'domcontentloaded' });
    await page.evaluate(() => {
      window.__keys = [];
      window.addEventListener('keydown', e => window.__keys.push(e.key), true);
    });
    await fn(page);
  } finally {
    await page.close();
  }
}

const keysSeen = page => page.evaluate(() => window.__keys);

// The card is removed when its fade ends (or by a fallback timer on the fake clock).
async function removed(page) {
  await page.clock.runFor(1000);
  assert.equal(await splashState(page), 'gone');
}

for (const [key, name] of [['Enter', 'Enter'], ['Escape', 'Escape'], [' ', 'Space']]) {
  test(`${name} ends the splash at once and is not passed on; afterwards the key passes`, () => withPage(async page => {
    assert.equal(await splashState(page), 'showing');
    await page.keyboard.press(name);
    assert.equal(await splashState(page), 'fading');
    assert.deepEqual(await keysSeen(page), []);
    assert.equal(await page.locator('#sollaryLaunch').isVisible(), true, 'the focused "Start Exploring" was not pressed');
    await page.keyboard.press(name);
    assert.deepEqual(await keysSeen(page), [key]);
    await removed(page);
  }));
}

test('other keys pass through and leave the splash up', () => withPage(async page => {
  await page.keyboard.press('a');
  await page.keyboard.press('ArrowDown');
  assert.deepEqual(await keysSeen(page), ['a', 'ArrowDown']);
  assert.equal(await splashState(page), 'showing');
}));

test('a click on the card ends it; it ignores the pointer while it fades and is then removed', () => withPage(async page => {
  await page.locator('#kln-studio-splash').click();
  assert.equal(await splashState(page), 'fading');
  assert.equal(await page.evaluate(() => getComputedStyle(document.getElementById('kln-studio-splash')).pointerEvents), 'none');
  await removed(page);
}));

test('with reduced motion the parts show at once and the fade takes 150 ms', () => withPage(async page => {
  await page.emulateMedia({ reducedMotion: 'reduce' });
  const style = await page.evaluate(() => {
    const card = document.getElementById('kln-studio-splash');
    return { parts: [...card.querySelectorAll('.kln-splash-card > *, .kln-splash-hint')].map(el => getComputedStyle(el).opacity),
      fade: getComputedStyle(card).transitionDuration };
  });
  assert.deepEqual(style, { parts: ['1', '1', '1', '1', '1', '1'], fade: '0.15s' });
}));

test('without a key or click the splash fades 3.5 s after parsing and is gone 1 s later', () => withPage(async page => {
  await page.clock.runFor(3499);
  assert.equal(await splashState(page), 'showing');
  await page.clock.runFor(1);
  assert.equal(await splashState(page), 'fading');
  await removed(page);
}));
