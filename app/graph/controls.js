// Command-bar controls: compact bar, graph-only fullscreen, generation slider, descendants switch and
// "Home / Root".
// Owns: COMPACT_TOOLBAR_KEY.

const COMPACT_TOOLBAR_KEY = 'sollary-genealogy-compact-toolbar';

function toggleGraphOnly() {
  document.body.classList.toggle('graph-only');
  setTimeout(canvasSize, 70);
}

function installSmartFamilyControls() {
  onClick('toolbarCompactBtn', () => $('commandBar').classList.toggle('compact'));
  onClick('graphOnlyBtn', toggleGraphOnly);
  onClick('exitGraphOnly', toggleGraphOnly);
  onClick('rootBtn', returnToRoot);
  $('generationRange').addEventListener('input', e => setGenerationDepth(Number(e.target.value)));
  $('generationRange').addEventListener('change', scheduleSave);
  $('showDescendants').addEventListener('change', e => setIncludeDescendants(e.target.checked));
}
