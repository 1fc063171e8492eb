// Unlinked people: the "Show unlinked" switch and its stored preference.
// Owns: klnShowUnlinked, KLN_SHOW_UNLINKED_KEY.

const KLN_SHOW_UNLINKED_KEY = 'kln-show-unlinked';

let klnShowUnlinked = readShowUnlinked();

function readShowUnlinked() {
  try {
    return localStorage.getItem(KLN_SHOW_UNLINKED_KEY) === '1';
  } catch (e) {
    console.warn('Could not read the show-unlinked preference:', e);
    return false;
  }
}

function klnInitReconnectUI() {
  const box = $('klnShowUnlinked');
  box.checked = klnShowUnlinked;
  box.addEventListener('change', () => {
    klnShowUnlinked = box.checked;
    try {
      localStorage.setItem(KLN_SHOW_UNLINKED_KEY, klnShowUnlinked ? '1' : '0');
    } catch (e) {
      console.warn('Could not store the show-unlinked preference:', e);
    }
    renderNeeded = true;
  });
}
