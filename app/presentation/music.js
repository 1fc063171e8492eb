// Launch screen and background music: the music state and its stored preferences, the embedded looping
// track, the music menu (in the header, or in the library's action row while the library is shown), the
// launch screen's "Start Exploring" (the user gesture that lets audio play) and the track's source page.
// Owns: sollaryMusicState, SOLLARY_MUSIC_PREFERENCES_KEY.

const SOLLARY_MUSIC_PREFERENCES_KEY = 'sollary-genealogy-music-v1';

let sollaryMusicState = sollaryReadMusicPreferences();

function sollaryClampVolume(v) {
  return Math.min(100, Math.max(0, v));
}

// The stored preferences over the initial values; a field counts only with the right type, and anything
// missing or unreadable leaves the initial values. `started` is never stored: every start is silent.
function sollaryReadMusicPreferences() {
  const state = { enabled: true, muted: false, volume: 25, started: false };
  let text = null;
  try {
    text = localStorage.getItem(SOLLARY_MUSIC_PREFERENCES_KEY);
  } catch (e) {
    console.warn('Could not read the music preferences:', e);
    return state;
  }
  if (text === null) {
    console.info('No stored music preferences; using the defaults.');
    return state;
  }
  let stored;
  try {
    stored = JSON.parse(text);
  } catch (e) {
    console.warn('Unreadable music preferences; using the defaults:', e);
    return state;
  }
  if (!stored || typeof stored !== 'object' || Array.isArray(stored)) {
    console.warn('Malformed music preferences; using the defaults.');
    return state;
  }
  if (typeof stored.enabled === 'boolean') state.enabled = stored.enabled;
  if (typeof stored.muted === 'boolean') state.muted = stored.muted;
  if (typeof stored.volume === 'number' && Number.isFinite(stored.volume)) state.volume = sollaryClampVolume(stored.volume);
  return state;
}

function sollarySaveMusicPreferences() {
  const { enabled, muted, volume } = sollaryMusicState;
  try {
    localStorage.setItem(SOLLARY_MUSIC_PREFERENCES_KEY, JSON.stringify({ enabled, muted, volume }));
  } catch (e) {
    console.warn('Could not store the music preferences:', e);
  }
}

function sollaryMusicLabel() {
  const s = sollaryMusicState, audio = $('sollaryMusicAudio');
  if (!s.enabled) return 'Off';
  if (s.muted || s.volume === 0) return 'Muted';
  if (s.started && (!audio || audio.paused)) return 'Paused';
  return 'Music';
}

function sollaryUpdateMusicUI() {
  const s = sollaryMusicState;
  $('sollaryMusicPower').checked = s.enabled;
  $('sollaryLaunchSound').checked = s.enabled;
  $('sollaryMusicVolume').value = String(s.volume);
  $('sollaryMusicVolumeNumber').textContent = s.volume + '%';
  const mute = $('sollaryMusicMute');
  mute.textContent = s.muted ? 'Unmute music' : 'Mute music';
  mute.setAttribute('aria-pressed', String(s.muted));
  const label = sollaryMusicLabel();
  $('sollaryMusicButtonLabel').textContent = label;
  $('sollaryMusicButton').setAttribute('aria-label', 'Music controls · ' + label);
}

// Volume and mute always reach the audio; it plays only once started and while enabled, and a play
// request the browser refuses leaves it paused (the menu then reads "Paused").
function sollaryApplyMusic(tryPlaying) {
  const s = sollaryMusicState, audio = $('sollaryMusicAudio');
  if (audio) {
    audio.volume = s.volume / 100;
    audio.muted = s.muted || s.volume === 0;
    if (!s.enabled || !s.started) {
      audio.pause();
    } else if (tryPlaying) {
      Promise.resolve(audio.play()).catch(e => {
        console.warn('Music playback awaits user interaction:', e);
        sollaryUpdateMusicUI();
      });
    }
  }
  sollaryUpdateMusicUI();
}

// In the library the menu sits in a card that clips whatever overflows it, so there the open panel floats
// over the page just below the button instead of hanging from the menu.
function sollaryToggleMusicPanel(open) {
  const panel = $('sollaryMusicPanel'), button = $('sollaryMusicButton');
  panel.hidden = !open;
  button.setAttribute('aria-expanded', String(open));
  const floating = open && !!button.closest('#homeOverlay');
  panel.style.position = floating ? 'fixed' : '';
  panel.style.right = floating ? 'auto' : '';
  panel.style.top = panel.style.left = '';
  if (floating) {
    const r = button.getBoundingClientRect();
    panel.style.top = Math.round(r.bottom + 8) + 'px';
    panel.style.left = Math.round(Math.max(8, Math.min(window.innerWidth - panel.offsetWidth - 8, r.right - panel.offsetWidth))) + 'px';
  }
}

// Moves the music menu into the library's action row, in front of "Delete all trees", or back into the
// header search bar after "Find"; the panel closes either way.
function sollaryPlaceMusicControls(onLibrary) {
  const nav = $('sollaryMusicNav'), library = $('deleteAllTreesBtn'), header = $('searchGo');
  if (!nav || !library || !header) return;
  if (onLibrary) library.parentNode.insertBefore(nav, library);
  else header.after(nav);
  sollaryToggleMusicPanel(false);
}

// The address of a short page about where the track comes from, for the "source" credit links. The
// document works offline, so the page is made here rather than linked from somewhere else.
function klnMusicSourcePage() {
  const title = ($('sollaryMusicPanel').querySelector('.kln-track-title') || {}).textContent || 'Background music';
  const licence = 'https://creativecommons.org/publicdomain/zero/1.0/';
  const page = '<!DOCTYPE html><html lang="en"><meta charset="utf-8"><title>' + html(title) + ' · Kinloom music</title>' +
    '<body style="font:15px/1.55 system-ui,sans-serif;max-width:640px;margin:40px auto;padding:0 20px;' +
    'background:#07101e;color:#ecf5ff"><h1 style="font-weight:300">' + html(title) + '</h1>' +
    '<p>Background music of Kinloom, by the Kinloom sound generator.</p>' +
    '<p>Nothing in this track was recorded or sampled. Kinloom\'s own sound generator, a small program that is ' +
    'part of the Kinloom source, composed and rendered it when this copy of Kinloom was built: four slow chords ' +
    'in D major on a swelling pad over a soft bass, and a sparse bell melody on the pentatonic scale that a fixed ' +
    'random seed writes out the same way at every build, with an echo and a reverberant room. The piece loops ' +
    'without a seam and is stored inside the Kinloom document as a lossless FLAC file.</p>' +
    '<p>Licence: dedicated to the public domain under the CC0 1.0 Universal dedication; you may copy, change and ' +
    'use it for any purpose without asking. <a style="color:#71e6d7" href="' + html(licence) + '">' + html(licence) +
    '</a></p></body></html>';
  return URL.createObjectURL(new Blob([page], { type: 'text/html;charset=utf-8' }));
}

function sollaryStartExploring() {
  sollaryMusicState.started = true;
  sollarySaveMusicPreferences();
  $('sollaryLaunch').classList.add('hidden');
  sollaryApplyMusic(true);
  const next = $('homeClose');
  if (next) next.focus({ preventScroll: true });
}

function initSollaryMusic() {
  const s = sollaryMusicState;
  const changed = tryPlaying => { sollarySaveMusicPreferences(); sollaryApplyMusic(tryPlaying); };
  onClick('sollaryMusicButton', () => sollaryToggleMusicPanel($('sollaryMusicPanel').hidden));
  $('sollaryMusicPower').addEventListener('change', e => { s.enabled = e.target.checked; changed(true); });
  onClick('sollaryMusicMute', () => { s.muted = !s.muted; changed(false); });
  $('sollaryMusicVolume').addEventListener('input', e => {
    const v = Number(e.target.value);
    s.volume = sollaryClampVolume(Number.isFinite(v) ? v : 0);
    if (s.volume > 0) s.muted = false;
    changed(false);
  });
  $('sollaryLaunchSound').addEventListener('change', e => { s.enabled = e.target.checked; changed(false); });
  onClick('sollaryLaunchEnter', sollaryStartExploring);
  document.addEventListener('pointerdown', e => {
    if (!$('sollaryMusicPanel').hidden && !(e.target.closest && e.target.closest('#sollaryMusicNav'))) {
      sollaryToggleMusicPanel(false);
    }
  });
  document.addEventListener('keydown', e => {
    if (e.key === 'Escape' && !$('sollaryMusicPanel').hidden) sollaryToggleMusicPanel(false);
  });
  const audio = $('sollaryMusicAudio');
  if (audio) {
    audio.addEventListener('play', sollaryUpdateMusicUI);
    audio.addEventListener('pause', sollaryUpdateMusicUI);
    audio.addEventListener('error', () => console.warn('Unable to load embedded background audio', audio.error));
  }
  const source = klnMusicSourcePage();
  document.querySelectorAll('.kln-track-source').forEach(a => { a.href = source; });
  sollaryApplyMusic(false);
  $('sollaryLaunchEnter').focus({ preventScroll: true });
}
