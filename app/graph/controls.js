// Command-bar controls: the compact bar and its stored preference, graph-only fullscreen with the F and
// Escape keys, the Home key, the generation slider, the descendants switch and "Home / Root".
// Owns: COMPACT_TOOLBAR_KEY.

const COMPACT_TOOLBAR_KEY = 'sollary-genealogy-compact-toolbar';

function commandBar() {
  return $('commandBar');
}

function showCompactBar(compact) {
  commandBar().classList.toggle('compact', compact);
  const button = $('toolbarCompactBtn');
  button.setAttribute('aria-expanded', compact ? 'false' : 'true');
  button.title = compact ? 'Expand family tree controls' : 'Minimize family tree controls';
  button.innerHTML = compact
    ? '<span aria-hidden="true">▾</span> <span class="compact-label">Expand</span>'
    : '<span aria-hidden="true">▴</span> <span class="compact-label">Smaller bar</span>';
}

function toggleCompactBar() {
  const compact = !commandBar().classList.contains('compact');
  showCompactBar(compact);
  try {
    localStorage.setItem(COMPACT_TOOLBAR_KEY, compact ? 'true' : 'false');
  } catch (e) {
    console.warn('Could not store the compact-bar preference:', e);
  }
}

function readCompactBar() {
  try {
    return localStorage.getItem(COMPACT_TOOLBAR_KEY) === 'true';
  } catch (e) {
    console.warn('Could not read the compact-bar preference:', e);
    return false;
  }
}

function graphOnlyOn() {
  return document.body.classList.contains('graph-only');
}

function markGraphOnlyButton(on) {
  const button = $('graphOnlyBtn');
  button.textContent = on ? 'Exit fullscreen' : 'Fullscreen';
  button.title = on ? 'Exit graph-only fullscreen (F/Esc)' : 'Graph-only fullscreen (F)';
}

function exitBrowserFullscreen() {
  if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
}

function resizeSoon(ms) {
  setTimeout(() => { canvasSize(); renderNeeded = true; }, ms);
}

// The graph alone on the screen: header, panel, command bar and status line hidden by the stylesheet.
function toggleGraphOnly() {
  dropPortraitFullscreenRestore();
  const on = !graphOnlyOn();
  document.body.classList.toggle('graph-only', on);
  markGraphOnlyButton(on);
  if (on) {
    const root = document.documentElement;
    if (root.requestFullscreen) root.requestFullscreen().catch(() => {});
  } else {
    exitBrowserFullscreen();
  }
  setTimeout(() => { canvasSize(); renderNeeded = true; keepCamera(); }, 70);
}

function leaveGraphOnly(ms) {
  document.body.classList.remove('graph-only');
  markGraphOnlyButton(false);
  exitBrowserFullscreen();
  resizeSoon(ms);
}

// The browser left fullscreen by itself; a file chooser of the portrait editor keeps graph-only mode.
function graphFullscreenChanged() {
  if (document.fullscreenElement || !graphOnlyOn()) return;
  if (portraitFullscreenPending()) { resizeSoon(65); return; }
  leaveGraphOnly(65);
}

function plainKey(ev) {
  return !ev.ctrlKey && !ev.altKey && !ev.metaKey && !isTypingElement(ev.target);
}

// F toggles graph-only mode; Escape leaves it (unless the family wheel takes the key) and closes the
// orbit dial. Listened to in the capture phase, before the wheel's own Escape handling closes it.
function graphOnlyKeys(ev) {
  if (ev.key === 'Escape') {
    if (familyWheelOpen()) return;
    if (graphOnlyOn()) leaveGraphOnly(60);
    closeOrbitDial();
    return;
  }
  if ((ev.key === 'f' || ev.key === 'F') && plainKey(ev) && !(ev.target.closest && ev.target.closest('#modalLayer'))) {
    ev.preventDefault();
    toggleGraphOnly();
  }
}

function homeKey(ev) {
  if (ev.key !== 'Home' || !plainKey(ev)) return;
  ev.preventDefault();
  returnToRoot();
}

function installSmartFamilyControls() {
  showCompactBar(readCompactBar());
  onClick('toolbarCompactBtn', toggleCompactBar);
  onClick('graphOnlyBtn', toggleGraphOnly);
  onClick('exitGraphOnly', toggleGraphOnly);
  document.addEventListener('fullscreenchange', graphFullscreenChanged);
  document.addEventListener('keydown', graphOnlyKeys, true);
  document.addEventListener('keydown', homeKey);
  onClick('rootBtn', returnToRoot);
  const range = $('generationRange');
  range.addEventListener('input', () => { setGenerationDepth(Number(range.value)); renderNeeded = true; });
  range.addEventListener('change', () => { keepCamera(); scheduleSave(); });
  $('showDescendants').addEventListener('change', e => setIncludeDescendants(e.target.checked));
}
