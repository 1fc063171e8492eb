// Base wiring of the page's buttons, inputs and window events; later start-up steps replace some of it.
// Owns: no state.

function onClick(id, fn) {
  const el = $(id);
  if (el) el.addEventListener('click', fn);
}

function openFirstSearchResult() {
  const first = searchMatches(val('search'))[0];
  if (!first) {
    toast('No matches in your tree yet. Import a GEDCOM or add a person.');
    return;
  }
  openSearchResult(first);
}

// Hands the first chosen file to `handler`, then clears the input so the same file can be chosen again.
function onFileChosen(id, handler) {
  const input = $(id);
  input.addEventListener('change', () => {
    const file = input.files && input.files[0];
    Promise.resolve(handler(file)).catch(e => console.warn('Could not read the chosen file:', e));
    input.value = '';
  });
}

function bind() {
  document.querySelectorAll('#side .tab').forEach(b => b.addEventListener('click', () => tab(b.dataset.tab)));
  const search = $('search');
  search.addEventListener('input', showSearch);
  search.addEventListener('keydown', e => {
    if (e.key === 'Escape') hideSearch();
    else if (e.key === 'Enter') { e.preventDefault(); openFirstSearchResult(); }
  });
  onClick('searchGo', openFirstSearchResult);
  document.addEventListener('click', e => {
    if (!e.target.closest || !e.target.closest('#searchArea')) hideSearch();
  });
  onClick('addBtn', () => openPersonModal());
  onClick('welcomeAdd', () => openPersonModal());
  onClick('importBtn', triggerImport);
  onClick('welcomeImport', triggerImport);
  onClick('toolsBtn', showSettings);
  $('statusMsg').addEventListener('dblclick', showSettings);
  onFileChosen('importFile', importFile);
  onFileChosen('restoreFile', restoreBackup);
  document.addEventListener('keydown', e => {
    if (e.key !== 'Escape') return;
    closeOrbMenu();
    if (modalOpen()) closeModal();
  });
  window.addEventListener('resize', canvasSize);
  document.addEventListener('pointerdown', e => {
    const t = e.target;
    if (t.closest && (t.closest('#orbMenu') || t.closest('#tree'))) return;
    closeOrbMenu();
  });
}
