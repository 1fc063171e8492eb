// The music state: stored preferences and how they are read, the launch screen's "Start Exploring", every
// control of the music menu, its placement in the header or the library, and the track's credit links.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useApp } from '../harness.mjs';

const app = useApp({ enter: false });
const KEY = 'sollary-genealogy-music-v1';

// Stores `record` (text, or null for none) and starts the page again with it, leaving the studio card.
async function startWith(record) {
  await app.run(({ key, record }) => {
    if (record === null) localStorage.removeItem(key);
    else localStorage.setItem(key, record);
  }, { key: KEY, record });
  await app.reload();
  await app.press('Enter');
  await app.page.locator('#kln-studio-splash').waitFor({ state: 'detached' });
}

const music = () => app.run(() => {
  const audio = $('sollaryMusicAudio');
  return {
    state: { ...sollaryMusicState },
    ui: {
      power: $('sollaryMusicPower').checked, launch: $('sollaryLaunchSound').checked, slider: $('sollaryMusicVolume').value,
      number: $('sollaryMusicVolumeNumber').textContent, mute: $('sollaryMusicMute').textContent,
      label: $('sollaryMusicButtonLabel').textContent, aria: $('sollaryMusicButton').getAttribute('aria-label'),
    },
    audio: { paused: audio.paused, muted: audio.muted, volume: audio.volume },
  };
});

const stored = () => app.run(key => JSON.parse(localStorage.getItem(key)), KEY);

// Moves the volume slider as a drag does: a new value and an input event.
const slide = value => app.run(v => {
  const slider = $('sollaryMusicVolume');
  slider.value = String(v);
  slider.dispatchEvent(new Event('input', { bubbles: true }));
}, value);

const startExploring = async () => {
  await app.click('#sollaryLaunchEnter');
  await app.page.locator('#sollaryLaunch').waitFor({ state: 'hidden' });
};

const PREFERENCES = [
  ['no record', null, { enabled: true, muted: false, volume: 25 }, 'Music'],
  ['music switched off', '{"enabled":false}', { enabled: false, muted: false, volume: 25 }, 'Off'],
  ['a volume above 100', '{"volume":150}', { enabled: true, muted: false, volume: 100 }, 'Music'],
  ['a volume written as text', '{"volume":"30"}', { enabled: true, muted: false, volume: 25 }, 'Music'],
  ['a negative volume', '{"volume":-4}', { enabled: true, muted: false, volume: 0 }, 'Muted'],
  ['muted', '{"muted":true,"volume":40}', { enabled: true, muted: true, volume: 40 }, 'Muted'],
  ['fields of the wrong type', '{"enabled":"no","muted":1,"volume":null}', { enabled: true, muted: false, volume: 25 }, 'Music'],
  ['a damaged record', '{"enabled":fal', { enabled: true, muted: false, volume: 25 }, 'Music'],
  ['a list', '[false, true, 5]', { enabled: true, muted: false, volume: 25 }, 'Music'],
  ['null', 'null', { enabled: true, muted: false, volume: 25 }, 'Music'],
];

for (const [name, record, state, label] of PREFERENCES) {
  test(`stored preferences, ${name}: read into the state and the controls, silent until started`, async () => {
    await startWith(record);
    const m = await music();
    assert.deepEqual(m.state, { ...state, started: false });
    assert.deepEqual(m.ui, {
      power: state.enabled, launch: state.enabled, slider: String(state.volume), number: state.volume + '%',
      mute: state.muted ? 'Unmute music' : 'Mute music', label, aria: 'Music controls · ' + label,
    });
    assert.equal(m.audio.paused, true);
  });
}

test('the embedded track: looping, not preloaded, a FLAC data address', async () => {
  assert.deepEqual(await app.run(() => {
    const a = $('sollaryMusicAudio');
    return [a.loop, a.preload, a.hasAttribute('playsinline'), a.getAttribute('src').slice(0, 23)];
  }), [true, 'none', true, 'data:audio/flac;base64,']);
});

test('"Start Exploring" starts the music, stores the preferences and moves on to the library', async () => {
  await startWith(null);
  assert.equal(await app.eval('document.activeElement.id'), 'sollaryLaunchEnter');
  await startExploring();
  const m = await music();
  assert.equal(m.state.started, true);
  assert.deepEqual(m.audio, { paused: false, muted: false, volume: 0.25 });
  assert.equal(m.ui.label, 'Music');
  assert.deepEqual(await stored(), { enabled: true, muted: false, volume: 25 });
  assert.equal(await app.eval('document.activeElement.id'), 'homeClose');
  assert.equal(await app.visible('#homeOverlay'), true);
});

test('with the music switched off, "Start Exploring" plays nothing and the menu reads "Off"', async () => {
  await startWith('{"enabled":false}');
  await startExploring();
  const m = await music();
  assert.equal(m.audio.paused, true);
  assert.equal(m.ui.label, 'Off');
});

test('the launch check box switches the music without playing it', async () => {
  await startWith(null);
  await app.click('#sollaryLaunchSound');
  let m = await music();
  assert.deepEqual([m.state.enabled, m.ui.power, m.audio.paused], [false, false, true]);
  assert.deepEqual(await stored(), { enabled: false, muted: false, volume: 25 });
  await app.click('#sollaryLaunchSound');
  m = await music();
  assert.deepEqual([m.state.enabled, m.ui.power, m.audio.paused, m.ui.label], [true, true, true, 'Music']);
});

test('volume, mute and power act on the playing music and are stored at once', async () => {
  await startWith(null);
  await startExploring();
  await app.click('#homeClose');
  await app.click('#sollaryMusicButton');

  await slide(0);
  let m = await music();
  assert.deepEqual([m.state.volume, m.state.muted, m.audio.muted, m.ui.label, m.ui.number], [0, false, true, 'Muted', '0%']);
  await slide(30);
  m = await music();
  assert.deepEqual([m.state.volume, m.audio.muted, m.audio.volume, m.ui.label], [30, false, 0.3, 'Music']);

  await app.click('#sollaryMusicMute');
  m = await music();
  assert.deepEqual([m.state.muted, m.audio.muted, m.audio.paused, m.ui.mute, m.ui.label], [true, true, false, 'Unmute music', 'Muted']);
  assert.deepEqual(await stored(), { enabled: true, muted: true, volume: 30 });
  await slide(45);
  m = await music();
  assert.deepEqual([m.state.muted, m.audio.muted, m.ui.mute], [false, false, 'Mute music'], 'a volume above 0 clears mute');

  await app.click('#sollaryMusicPower');
  m = await music();
  assert.deepEqual([m.state.enabled, m.audio.paused, m.ui.label, m.ui.launch], [false, true, 'Off', false]);
  assert.deepEqual(await stored(), { enabled: false, muted: false, volume: 45 });
  await app.click('#sollaryMusicPower');
  await app.page.waitForFunction(() => !$('sollaryMusicAudio').paused);
  assert.equal((await music()).ui.label, 'Music');
});

test('a play request the browser refuses leaves the music paused and the menu at "Paused"', async () => {
  await startWith(null);
  await app.eval(`(() => {
    window.__play = HTMLMediaElement.prototype.play;
    HTMLMediaElement.prototype.play = () => Promise.reject(new DOMException('needs a gesture', 'NotAllowedError'));
  })()`);
  try {
    await startExploring();
    await app.page.waitForFunction(() => $('sollaryMusicButtonLabel').textContent === 'Paused');
    assert.equal((await music()).audio.paused, true);
    assert.ok(app.messages.some(m => m.text.startsWith('Music playback awaits user interaction:')));
  } finally {
    await app.eval('HTMLMediaElement.prototype.play = window.__play');
  }
  await app.click('#homeClose');
  await app.click('#sollaryMusicButton');
  await app.click('#sollaryMusicPower');
  await app.click('#sollaryMusicPower');
  await app.page.waitForFunction(() => !$('sollaryMusicAudio').paused);
  assert.equal((await music()).ui.label, 'Music', 'switching off and on again retries');
});

test('the menu opens and closes with its button, a press elsewhere, and Escape', async () => {
  await startWith(null);
  await startExploring();
  await app.click('#homeClose');
  const panel = async () => [await app.visible('#sollaryMusicPanel'),
    await app.eval("$('sollaryMusicButton').getAttribute('aria-expanded')")];
  assert.deepEqual(await panel(), [false, 'false']);
  await app.click('#sollaryMusicButton');
  assert.deepEqual(await panel(), [true, 'true']);
  await app.click('#sollaryMusicVolume');
  assert.deepEqual(await panel(), [true, 'true'], 'a press inside the menu keeps it open');
  await app.click('#sollaryMusicButton');
  assert.deepEqual(await panel(), [false, 'false']);
  await app.click('#sollaryMusicButton');
  await app.page.mouse.click(400, 400);
  assert.deepEqual(await panel(), [false, 'false']);
  await app.click('#sollaryMusicButton');
  await app.press('Escape');
  assert.deepEqual(await panel(), [false, 'false']);
});

test('the menu moves to the library next to "Delete all trees" and back to the header after "Find"', async () => {
  await startWith(null);
  await startExploring();
  const place = () => app.run(() => {
    const nav = $('sollaryMusicNav');
    return { before: nav.nextElementSibling && nav.nextElementSibling.id, after: nav.previousElementSibling && nav.previousElementSibling.id,
      open: !$('sollaryMusicPanel').hidden };
  });
  await app.click('#sollaryMusicButton');
  const inLibrary = await place();
  assert.deepEqual([inLibrary.before, inLibrary.open], ['deleteAllTreesBtn', true]);
  // The open panel in the library is not cut off by the library card.
  const box = await app.page.locator('#sollaryMusicPanel').boundingBox();
  assert.equal(await app.run(({ x, y, width, height }) =>
    document.elementFromPoint(x + width / 2, y + height - 4).closest('#sollaryMusicPanel') !== null, box), true);
  await app.click('#homeClose');
  assert.deepEqual(await place(), { before: 'searchdrop', after: 'searchGo', open: false });
  await app.click('#sollaryMusicButton');
  await app.click('#homeBrand');
  await app.page.locator('#homeOverlay').waitFor({ state: 'visible' });
  assert.deepEqual(await place(), { before: 'deleteAllTreesBtn', after: 'homeClose', open: false });
});

test('deleting all trees leaves the music preferences as they were', async () => {
  await startWith('{"enabled":false,"muted":true,"volume":60}');
  await startExploring();
  app.answer(true, true, true);
  await app.click('#deleteAllTreesBtn');
  await app.frames(2);
  assert.deepEqual(await stored(), { enabled: false, muted: true, volume: 60 });
  assert.deepEqual((await music()).state, { enabled: false, muted: true, volume: 60, started: true });
});

test('the credit links: a page about the track\'s source, and the public-domain dedication', async () => {
  await startWith(null);
  const links = await app.run(() => [...document.querySelectorAll('.kln-track-source, .kln-track-license')]
    .map(a => [a.className, a.textContent, a.getAttribute('href').replace(/^blob:.*/, 'blob:'), a.target]));
  assert.deepEqual(links, [
    ['kln-track-source', 'Track source', 'blob:', '_blank'],
    ['kln-track-license', 'Licence', 'https://creativecommons.org/publicdomain/zero/1.0/', '_blank'],
    ['kln-track-source', 'Music credit & source', 'blob:', '_blank'],
    ['kln-track-license', 'License', 'https://creativecommons.org/publicdomain/zero/1.0/', '_blank'],
  ]);
  const [popup] = await Promise.all([app.context.waitForEvent('page'), app.click('#sollaryLaunch .kln-track-source')]);
  await popup.waitForLoadState();
  const text = await popup.locator('body').innerText();
  assert.match(text, /^Slow Orbits\n/);
  assert.match(text, /Kinloom sound generator/);
  assert.match(text, /Nothing in this track was recorded or sampled/);
  assert.match(text, /CC0 1\.0 Universal/);
  await popup.close();
});
