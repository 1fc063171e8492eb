// Text helpers shared by the whole document: markup escaping, comparison keys, years, safe addresses, ids.
// Owns: no state.

function $(id) {
  return document.getElementById(id);
}

function uid() {
  return 'p' + Date.now().toString(36) + Math.random().toString(36).slice(2, 8);
}

const HTML_ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' };

function html(s) {
  if (s === null || s === undefined) return '';
  return String(s).replace(/[&<>"']/g, c => HTML_ESCAPES[c]);
}

// Comparison key: accents dropped, lower case, every other run of characters one space.
function norm(s) {
  if (s === null || s === undefined) return '';
  return String(s)
    .normalize('NFKD')
    .replace(/[\u0300-\u036f]/g, '')
    .toLowerCase()
    .replace(/[^a-z0-9]+/g, ' ')
    .trim();
}

// The first run that reads as a year 1000 to 2099, without needing word boundaries (c.1850 gives 1850).
function placeYear(s) {
  if (s === null || s === undefined) return null;
  const m = String(s).match(/1\d{3}|20\d{2}/);
  return m ? Number(m[0]) : null;
}

function goodUrl(u) {
  if (u === null || u === undefined) return '';
  try {
    const url = new URL(String(u).trim());
    return url.protocol === 'http:' || url.protocol === 'https:' ? url.href : '';
  } catch (e) {
    return '';
  }
}

const PHOTO_DATA_URL = /^data:image\/(png|jpeg|webp);base64,[A-Za-z0-9+/=]+$/i;

function photoSrc(u) {
  if (u === null || u === undefined) return '';
  const text = String(u);
  return PHOTO_DATA_URL.test(text) ? text : goodUrl(text);
}

// A count written with the locale's digit grouping, as sentences show it.
function countText(n) {
  return Number(n || 0).toLocaleString();
}
