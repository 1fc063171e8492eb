// Messages and dialogs: the toast, the one dialog layer, and form field reading.
// Owns: toastTimer.

let toastTimer = null;

function showToast(msg) {
  const el = $('toast');
  el.textContent = msg;
  el.classList.add('show');
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => el.classList.remove('show'), 4200);
}

function toast(msg) {
  showToast(msg);
}

// Opens a dialog in place of any open one. `inner` is markup; `title` and `saveLabel` are plain text.
function modal(title, inner, saveLabel, saveFn) {
  const layer = $('modalLayer');
  layer.className = 'modalcover';
  layer.innerHTML =
    '<div class="modal" role="dialog" aria-modal="true" aria-labelledby="modalTitle">' +
    '<h2 id="modalTitle">' + html(title) + '</h2>' +
    '<div class="modalbody">' + inner + '</div>' +
    '<div class="modalfoot"><button type="button" class="ghost" id="modalCancel">Cancel</button>' +
    '<button type="button" class="primary" id="modalSave">' + html(saveLabel) + '</button></div></div>';
  $('modalCancel').addEventListener('click', closeModal);
  $('modalSave').addEventListener('click', () => saveFn && saveFn());
  const first = layer.querySelector('input, select, textarea') || $('modalSave');
  first.focus({ preventScroll: true });
}

function closeModal() {
  const layer = $('modalLayer');
  layer.className = 'hidden';
  layer.innerHTML = '';
}

function modalOpen() {
  return !$('modalLayer').classList.contains('hidden');
}

function val(id) {
  const el = $(id);
  return el && typeof el.value === 'string' ? el.value.trim() : '';
}
