// GEDCOM text decoding: turns the bytes of a chosen file into text. UTF-16 (by its byte-order mark or its
// zero bytes) is read as UTF-16; bytes that are valid UTF-8 are read as UTF-8; anything else is read by the
// file's CHAR line: ANSEL through the ANSEL table, UTF-8 with its stray bytes as Windows-1252, and every
// other character set as Windows-1252. No byte ever becomes a replacement character.
// Owns: ANSEL_CHARS, ANSEL_MARKS, windows1252Table.

// ANSEL spacing characters, 0xA1 to 0xCF (with the GEDCOM additions: empty and black box, midline e and o,
// es-zet). Bytes the table leaves undefined are read as Windows-1252.
const ANSEL_CHARS = {
  0xA1: '\u0141', 0xA2: '\u00D8', 0xA3: '\u0110', 0xA4: '\u00DE', 0xA5: '\u00C6', 0xA6: '\u0152',
  0xA7: '\u02B9', 0xA8: '\u00B7', 0xA9: '\u266D', 0xAA: '\u00AE', 0xAB: '\u00B1', 0xAC: '\u01A0',
  0xAD: '\u01AF', 0xAE: '\u02BC', 0xB0: '\u02BB', 0xB1: '\u0142', 0xB2: '\u00F8', 0xB3: '\u0111',
  0xB4: '\u00FE', 0xB5: '\u00E6', 0xB6: '\u0153', 0xB7: '\u02BA', 0xB8: '\u0131', 0xB9: '\u00A3',
  0xBA: '\u00F0', 0xBC: '\u01A1', 0xBD: '\u01B0', 0xBE: '\u25A1', 0xBF: '\u25A0', 0xC0: '\u00B0',
  0xC1: '\u2113', 0xC2: '\u2117', 0xC3: '\u00A9', 0xC4: '\u266F', 0xC5: '\u00BF', 0xC6: '\u00A1',
  0xC7: '\u00DF', 0xC8: '\u20AC', 0xCD: '\u0065', 0xCE: '\u006F', 0xCF: '\u00DF',
};

// ANSEL combining marks, 0xE0 to 0xFE. In ANSEL a mark stands before the letter it belongs to.
const ANSEL_MARKS = {
  0xE0: '\u0309', 0xE1: '\u0300', 0xE2: '\u0301', 0xE3: '\u0302', 0xE4: '\u0303', 0xE5: '\u0304',
  0xE6: '\u0306', 0xE7: '\u0307', 0xE8: '\u0308', 0xE9: '\u030C', 0xEA: '\u030A', 0xEB: '\uFE20',
  0xEC: '\uFE21', 0xED: '\u0315', 0xEE: '\u030B', 0xEF: '\u0310', 0xF0: '\u0327', 0xF1: '\u0328',
  0xF2: '\u0323', 0xF3: '\u0324', 0xF4: '\u0325', 0xF5: '\u0333', 0xF6: '\u0332', 0xF7: '\u0326',
  0xF8: '\u031C', 0xF9: '\u032E', 0xFA: '\uFE22', 0xFB: '\uFE23', 0xFE: '\u0313',
};

let windows1252Table = null;

// The 256 characters of Windows-1252 by byte value, as the browser's decoder reads them.
function windows1252Chars() {
  if (!windows1252Table) {
    const all = new Uint8Array(256);
    for (let i = 0; i < 256; i++) all[i] = i;
    windows1252Table = Array.from(new TextDecoder('windows-1252').decode(all));
  }
  return windows1252Table;
}

// Joins character codes into text in slices, so a large file never overflows the argument list.
function textFromCodes(codes, length) {
  let out = '';
  for (let i = 0; i < length; i += 8192) {
    out += String.fromCharCode.apply(null, codes.subarray(i, Math.min(length, i + 8192)));
  }
  return out;
}

// "le", "be" or "" for bytes that look like UTF-16: a byte-order mark, or zero bytes that keep to one side
// of the byte pairs (GEDCOM text is mostly ASCII, which UTF-16 writes with a zero high byte).
function utf16Order(bytes) {
  if (bytes.length >= 2 && bytes[0] === 0xFF && bytes[1] === 0xFE) return 'le';
  if (bytes.length >= 2 && bytes[0] === 0xFE && bytes[1] === 0xFF) return 'be';
  const n = Math.min(bytes.length, 4096) & ~1;
  let evenZeros = 0, oddZeros = 0;
  for (let i = 0; i < n; i += 2) {
    if (bytes[i] === 0) evenZeros++;
    if (bytes[i + 1] === 0) oddZeros++;
  }
  const pairs = n / 2;
  if (!pairs) return '';
  if (oddZeros > pairs * 0.3 && evenZeros < pairs * 0.05) return 'le';
  if (evenZeros > pairs * 0.3 && oddZeros < pairs * 0.05) return 'be';
  return '';
}

// The value of the header's CHAR line, upper-cased, read from the ASCII part of the first bytes.
function declaredCharset(bytes) {
  const head = textFromCodes(bytes.subarray(0, Math.min(bytes.length, 65536)),
    Math.min(bytes.length, 65536));
  const m = head.match(/^[ \t]*1[ \t]+CHAR[ \t]+([^\r\n]*)/m);
  return m ? m[1].trim().toUpperCase() : '';
}

function decodeAnsel(bytes) {
  const out = new Uint16Array(bytes.length * 2 + 2);
  const cp1252 = windows1252Chars();
  let n = 0, marks = '', sawMarks = false;
  const put = s => { for (let k = 0; k < s.length; k++) out[n++] = s.charCodeAt(k); };
  for (let i = 0; i < bytes.length; i++) {
    const b = bytes[i];
    const mark = b >= 0xE0 ? ANSEL_MARKS[b] : undefined;
    if (mark) { marks += mark; sawMarks = true; continue; }
    // Marks still waiting at a line end stay on their own line.
    if (marks && (b === 0x0A || b === 0x0D)) { put(marks); marks = ''; }
    if (b < 0x80) out[n++] = b;
    else put(ANSEL_CHARS[b] || cp1252[b]);
    // The marks read so far follow the character they stood before.
    if (marks) { put(marks); marks = ''; }
  }
  put(marks);
  const text = textFromCodes(out, n);
  return sawMarks ? text.normalize('NFC') : text;
}

// UTF-8 whose invalid bytes are read one by one as Windows-1252 (a file that mixes the two).
function decodeLenientUtf8(bytes) {
  const cp1252 = windows1252Chars();
  const out = new Uint16Array(bytes.length + 2);
  let n = 0;
  const cont = i => i < bytes.length && (bytes[i] & 0xC0) === 0x80;
  for (let i = 0; i < bytes.length;) {
    const b = bytes[i];
    let cp = -1, len = 1;
    if (b < 0x80) cp = b;
    else if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) { cp = ((b & 0x1F) << 6) | (bytes[i + 1] & 0x3F); len = 2; }
    else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
      cp = ((b & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) | (bytes[i + 2] & 0x3F);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = -1;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = ((b & 0x07) << 18) | ((bytes[i + 1] & 0x3F) << 12) | ((bytes[i + 2] & 0x3F) << 6) | (bytes[i + 3] & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = -1;
    }
    if (cp < 0) { out[n++] = cp1252[b].charCodeAt(0); i++; continue; }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[n++] = 0xD800 + (cp >> 10);
      out[n++] = 0xDC00 + (cp & 0x3FF);
    } else {
      out[n++] = cp;
    }
    i += len;
  }
  const text = textFromCodes(out, n);
  return text.charCodeAt(0) === 0xFEFF ? text.slice(1) : text;
}

// The text of a GEDCOM file from its bytes (an ArrayBuffer or a typed array).
function decodeGedcomBytes(input) {
  const bytes = ArrayBuffer.isView(input) ? new Uint8Array(input.buffer, input.byteOffset, input.byteLength)
    : new Uint8Array(input);
  const order = utf16Order(bytes);
  if (order) return new TextDecoder(order === 'le' ? 'utf-16le' : 'utf-16be').decode(bytes);
  try {
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch (e) {
    // Not UTF-8: the file's own CHAR line decides.
  }
  const charset = declaredCharset(bytes);
  if (charset === 'ANSEL') return decodeAnsel(bytes);
  if (charset === 'UTF-8' || charset === 'UTF8' || charset === 'UNICODE') return decodeLenientUtf8(bytes);
  return new TextDecoder('windows-1252').decode(bytes);
}
