// Launch screen and background music controls.
// Owns: sollaryMusicState, SOLLARY_MUSIC_PREFERENCES_KEY.

const SOLLARY_MUSIC_PREFERENCES_KEY = 'sollary-genealogy-music-v1';

let sollaryMusicState = { enabled: true, muted: false, volume: 25, started: false };

function sollaryToggleMusicPanel(open) {
  const panel = $('sollaryMusicPanel');
  panel.hidden = !open;
  $('sollaryMusicButton').setAttribute('aria-expanded', String(open));
}

// Moves the music menu into the library's action row or back into the header after "Find".
function sollaryPlaceMusicControls(onLibrary) {
  const nav = $('sollaryMusicNav');
  const anchor = onLibrary ? $('deleteAllTreesBtn') : $('searchGo');
  if (!nav || !anchor) return;
  if (onLibrary) anchor.parentNode.insertBefore(nav, anchor);
  else anchor.after(nav);
  sollaryToggleMusicPanel(false);
}

function initSollaryMusic() {
  onClick('sollaryMusicButton', () => sollaryToggleMusicPanel($('sollaryMusicPanel').hidden));
  onClick('sollaryLaunchEnter', () => {
    sollaryMusicState.started = true;
    $('sollaryLaunch').classList.add('hidden');
    $('homeClose').focus({ preventScroll: true });
  });
  document.addEventListener('pointerdown', e => {
    if (!$('sollaryMusicPanel').hidden && !e.target.closest('#sollaryMusicNav')) sollaryToggleMusicPanel(false);
  });
  document.addEventListener('keydown', e => {
    if (e.key === 'Escape' && !$('sollaryMusicPanel').hidden) sollaryToggleMusicPanel(false);
  });
}
