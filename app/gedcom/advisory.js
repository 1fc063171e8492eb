// GEDCOM import advisory: before the first import on this browser profile, a note that large trees may be
// slow and crowded. Until the user accepts it, clicks on import buttons and GEDCOM file choices are stopped at
// window level in the capture phase (ahead of every button handler) and the note is shown; confirming replays
// the attempt. Acceptance is kept in localStorage, or for this page alone when storage fails.
// Runs as a script of its own after the application script. Owns: window.klnGedcomAdvisory.
(function installGedcomImportAdvisory() {
  if (window.klnGedcomAdvisory) return;
  const KEY = 'kinloom:gedcom-import-notice:v1';
  const IMPORT_IDS = ['importNewTreeBtn', 'importBtn', 'welcomeImport'];
  const state = { accepted: readAccepted(), showing: false };
  window.klnGedcomAdvisory = state;

  function readAccepted() {
    try {
      return localStorage.getItem(KEY) === 'accepted';
    } catch (e) {
      console.warn('Could not read the GEDCOM advisory setting:', e);
      return false;
    }
  }

  function accept() {
    state.accepted = true;
    try {
      localStorage.setItem(KEY, 'accepted');
    } catch (e) {
      console.warn('Could not store the GEDCOM advisory setting:', e);
    }
  }

  function marked(el) {
    return el.getAttribute('data-gedcom-import') === 'true';
  }

  function isImportButton(el) {
    if (IMPORT_IDS.includes(el.id) || marked(el)) return true;
    const text = (el.textContent || '').trim() || (typeof el.value === 'string' ? el.value : '') ||
      el.getAttribute('aria-label') || '';
    return /^(?:[+⇧↑]\s*)?import gedcom/i.test(text.trim());
  }

  function isImportInput(el) {
    if (!(el instanceof HTMLInputElement) || el.type !== 'file') return false;
    if (el.id.toLowerCase() === 'importfile' || marked(el)) return true;
    const accept = (el.getAttribute('accept') || '').toLowerCase().split(',').map(s => s.trim());
    return accept.includes('.ged') || accept.includes('.gedcom');
  }

  // The element clicked, or its closest button, when it starts an import.
  function importTarget(target) {
    if (!(target instanceof Element)) return null;
    const button = target.closest('button, [role="button"], input[type="button"]');
    for (const el of [target, button]) if (el && (isImportInput(el) || isImportButton(el))) return el;
    return null;
  }

  window.addEventListener('click', e => {
    if (state.accepted || state.showing || e.button !== 0) return;
    const el = importTarget(e.target);
    if (!el) return;
    e.preventDefault();
    e.stopImmediatePropagation();
    show(() => { if (el.isConnected) el.click(); }, () => {});
  }, true);

  window.addEventListener('change', e => {
    if (state.accepted || state.showing || !isImportInput(e.target)) return;
    const input = e.target;
    if (![...(input.files || [])].some(f => /\.(ged|gedcom)(\.txt)?$/i.test(f.name))) return;
    e.preventDefault();
    e.stopImmediatePropagation();
    show(() => input.dispatchEvent(new Event('change', { bubbles: true })), () => { input.value = ''; });
  }, true);

  const STYLE = `
.kln-gedcom-notice-layer { position: fixed; inset: 0; z-index: 900; display: flex; align-items: center;
  justify-content: center; padding: 20px; background: rgba(3, 8, 16, .72); backdrop-filter: blur(9px); }
.kln-gedcom-notice-dialog { width: min(520px, 100%); max-height: calc(100vh - 40px); overflow: auto;
  padding: 22px 24px 16px; background: #101b2c; color: #ecf5ff; border: 1px solid #293d57; border-radius: 18px;
  box-shadow: 0 30px 90px rgba(0, 0, 0, .6); outline: none; }
.kln-gedcom-notice-eyebrow { font-size: 11px; letter-spacing: .14em; text-transform: uppercase; color: #71e6d7; }
.kln-gedcom-notice-dialog h2 { margin: 6px 0 10px; font-size: 19px; font-weight: 600; }
.kln-gedcom-notice-dialog p { margin: 0 0 12px; color: #9ab0c8; line-height: 1.45; }
.kln-gedcom-notice-points { margin: 0 0 12px; padding: 12px 14px 12px 30px; background: #15243a;
  border: 1px solid rgba(233, 194, 143, .35); border-radius: 12px; line-height: 1.45; }
.kln-gedcom-notice-points li + li { margin-top: 6px; }
.kln-gedcom-notice-points strong { color: #e9c28f; }
.kln-gedcom-notice-actions { display: flex; justify-content: flex-end; gap: 8px; margin: 4px 0 10px; }
.kln-gedcom-notice-dialog .kln-gedcom-notice-foot { margin: 0; font-size: 11px; color: #718ca7; }
`;

  const MARKUP =
    '<div class="kln-gedcom-notice-eyebrow">Before importing your family tree</div>' +
    '<h2 id="klnGedcomNoticeTitle">A quick note about large GEDCOM files</h2>' +
    '<p id="klnGedcomNoticeText">Kinloom supports large family trees, but their appearance and performance can ' +
    'vary depending on how many relatives are connected.</p>' +
    '<ul class="kln-gedcom-notice-points">' +
    '<li><strong>Large trees may run more slowly</strong>, especially in 3D mode.</li>' +
    '<li><strong>Automatic layouts are not always perfect.</strong> You may need to move people or edit ' +
    'branches to get the appearance you want.</li>' +
    '<li><strong>Trees with many descendants can appear crowded or unusual</strong> in some family formations. ' +
    'Descendant-heavy layouts are still being refined.</li></ul>' +
    '<p>You can still import your GEDCOM. This is a visual and performance advisory, not a restriction.</p>' +
    '<div class="kln-gedcom-notice-actions">' +
    '<button type="button" class="kln-gedcom-notice-cancel">Cancel import</button>' +
    '<button type="button" class="primary kln-gedcom-notice-continue">I understand — continue</button></div>' +
    '<p class="kln-gedcom-notice-foot">This notice appears once per app profile after you confirm.</p>';

  // Shows the note; `onConfirm` replays the stopped attempt, `onCancel` undoes what it left behind.
  function show(onConfirm, onCancel) {
    state.showing = true;
    const returnFocus = document.activeElement;
    const style = document.createElement('style');
    style.textContent = STYLE;
    document.head.appendChild(style);
    const layer = document.createElement('div');
    layer.className = 'kln-gedcom-notice-layer';
    const dialog = document.createElement('div');
    dialog.className = 'kln-gedcom-notice-dialog';
    dialog.setAttribute('role', 'dialog');
    dialog.setAttribute('aria-modal', 'true');
    dialog.setAttribute('aria-labelledby', 'klnGedcomNoticeTitle');
    dialog.setAttribute('aria-describedby', 'klnGedcomNoticeText');
    dialog.tabIndex = -1;
    dialog.innerHTML = MARKUP;
    layer.appendChild(dialog);
    document.body.appendChild(layer);
    const cancel = dialog.querySelector('.kln-gedcom-notice-cancel');
    const confirmButton = dialog.querySelector('.kln-gedcom-notice-continue');
    const buttons = [cancel, confirmButton];
    let closed = false;

    const onKey = e => {
      if (e.key === 'Escape') {
        e.preventDefault();
        e.stopImmediatePropagation();
        close(false);
      } else if (e.key === 'Tab') {
        e.preventDefault();
        e.stopImmediatePropagation();
        const at = buttons.indexOf(document.activeElement);
        const next = e.shiftKey ? (at <= 0 ? buttons.length - 1 : at - 1) : (at < 0 || at === buttons.length - 1 ? 0 : at + 1);
        buttons[next].focus();
      }
    };

    function close(confirmed) {
      if (closed) return;
      closed = true;
      window.removeEventListener('keydown', onKey, true);
      layer.remove();
      style.remove();
      state.showing = false;
      if (returnFocus && returnFocus.isConnected && typeof returnFocus.focus === 'function') returnFocus.focus();
      if (confirmed) {
        accept();
        onConfirm();
      } else {
        onCancel();
      }
    }

    window.addEventListener('keydown', onKey, true);
    cancel.addEventListener('click', () => close(false));
    confirmButton.addEventListener('click', () => close(true));
    dialog.focus();
  }
})();
