// Studio splash: the white credit card shown for 3.5 s at every start, ended early by a click, Enter,
// Escape or Space. Runs before the application script and touches nothing but the card.
(function () {
  const SPLASH_MS = 3500;
  let timer = null;
  let ended = false;

  function card() {
    return document.getElementById('kln-studio-splash');
  }

  function remove() {
    const el = card();
    if (el) el.remove();
  }

  function end() {
    if (ended) return;
    ended = true;
    clearTimeout(timer);
    const el = card();
    if (!el) return;
    el.classList.add('kln-splash-out');
    el.addEventListener('transitionend', e => { if (e.target === el && e.propertyName === 'opacity') remove(); });
    setTimeout(remove, 1000);
  }

  // Caught at window level before any other handler while the card is up; afterwards every key passes.
  window.addEventListener('keydown', e => {
    if (ended) return;
    if (e.key === 'Enter' || e.key === 'Escape' || e.key === ' ' || e.key === 'Spacebar') {
      e.preventDefault();
      e.stopImmediatePropagation();
      end();
    }
  }, true);

  function start() {
    timer = setTimeout(end, SPLASH_MS);
    const el = card();
    if (el) el.addEventListener('click', end);
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
