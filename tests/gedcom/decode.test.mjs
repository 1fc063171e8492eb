// Decoding GEDCOM bytes: UTF-8 with or without a byte-order mark, UTF-16 with a mark or recognised by its zero
// bytes, and files that are not UTF-8 read by their CHAR line (ANSEL, ANSI and others as Windows-1252).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { useApp, ROOT } from '../harness.mjs';

const app = useApp({ enter: false });
const SHARED = path.resolve(ROOT, '..', 'shared', 'gedcom');

// Bytes travel to the page as base64.
const decode = bytes => app.run(b64 => decodeGedcomBytes(Uint8Array.from(atob(b64), c => c.charCodeAt(0))),
  Buffer.from(bytes).toString('base64'));
const replacements = text => text.split('\uFFFD').length - 1;
const latin1 = text => Buffer.from(text, 'latin1');
const utf16 = (text, order, bom) => {
  const le = Buffer.from((bom ? '\uFEFF' : '') + text, 'utf16le');
  if (order === 'le') return le;
  const be = Buffer.alloc(le.length);
  for (let i = 0; i < le.length; i += 2) { be[i] = le[i + 1]; be[i + 1] = le[i]; }
  return be;
};

const HEAD = '0 HEAD\n1 CHAR UTF-8\n0 @I1@ INDI\n1 NAME José /Ñúñez/\n';

test('UTF-8 and UTF-16 files decode to the same text', async () => {
  for (const [label, bytes] of [
    ['UTF-8', Buffer.from(HEAD, 'utf8')],
    ['UTF-8 with BOM', Buffer.concat([Buffer.from([0xEF, 0xBB, 0xBF]), Buffer.from(HEAD, 'utf8')])],
    ['UTF-16LE with BOM', utf16(HEAD, 'le', true)],
    ['UTF-16BE with BOM', utf16(HEAD, 'be', true)],
    ['UTF-16LE without BOM', utf16(HEAD, 'le', false)],
    ['UTF-16BE without BOM', utf16(HEAD, 'be', false)],
  ]) assert.equal(await decode(bytes), HEAD, label);
});

test('text that is not UTF-8 is read by its CHAR line', async () => {
  const body = name => latin1(`0 HEAD\n1 CHAR ${name}\n0 @I1@ INDI\n1 NAME `);
  for (const [label, bytes, expected] of [
    ['ANSI as Windows-1252', Buffer.concat([body('ANSI'), Buffer.from([0x4A, 0xE9, 0x72, 0xF4, 0x6D, 0x65, 0x20, 0x80, 0x99])]), 'Jérôme €™'],
    ['IBMPC as Windows-1252', Buffer.concat([body('IBMPC'), Buffer.from([0x4D, 0xFC, 0x6C, 0x6C, 0x65, 0x72])]), 'Müller'],
    ['no CHAR line as Windows-1252', Buffer.concat([latin1('0 HEAD\n0 @I1@ INDI\n1 NAME '), Buffer.from([0xC5, 0x73, 0x61])]), 'Åsa'],
    // ANSEL: a combining mark stands before its letter and becomes the precomposed character.
    ['ANSEL marks', Buffer.concat([body('ANSEL'), Buffer.from([0xE2, 0x65, 0x6D, 0x69, 0x6C, 0x65, 0x20, 0xF0, 0x63, 0xE8, 0x75, 0x20, 0xE9, 0x72])]), 'émile çü ř'],
    ['ANSEL letters', Buffer.concat([body('ANSEL'), Buffer.from([0xA1, 0xB2, 0xA5, 0xCF, 0xC3, 0xB9, 0x20, 0xE3, 0xE2, 0x61])]), 'ŁøÆß©£ ấ'],
    ['ANSEL two marks on one letter', Buffer.concat([body('ANSEL'), Buffer.from([0xE8, 0xE5, 0x75])]), '\u01D6'],
    ['UTF-8 with a stray Windows-1252 byte', Buffer.concat([body('UTF-8'), Buffer.from('Grüße ', 'utf8'), Buffer.from([0xE9, 0x74, 0xE9])]), 'Grüße été'],
  ]) {
    const text = await decode(bytes);
    assert.equal(text.slice(text.indexOf('NAME ') + 5), expected, label);
  }
});

test('the ANSEL torture test decodes without replacement characters', async () => {
  for (const file of ['TGC551.ged', 'TGC551LF.ged']) {
    const text = await decode(fs.readFileSync(path.join(SHARED, file)));
    assert.ok(!text.includes('\uFFFD'), file);
    for (const expected of ['COPR © 1997', 'A1 slash l - uppercase (Ł)', 'B2 slash o - lowercase (ø)',
      'CF es zet (ß)', 'BE empty box - LDS extension (□)', 'ÁB\u0301ĆD\u0301É', 'ÀB\u0300C\u0300D\u0300È',
      // Cedilla: precomposed where Unicode has the letter (Ç, Ḑ, Ȩ, Ģ), a combining mark elsewhere.
      'A\u0327B\u0327\u00C7\u1E10\u0228F\u0327\u0122']) assert.ok(text.includes(expected), `${file}: ${expected}`);
  }
});

// Queen.ged itself holds two replacement characters (written by the program that made it); no more may appear.
test('every real file decodes without replacement characters of its own', async () => {
  for (const file of fs.readdirSync(SHARED).filter(f => /\.ged$/i.test(f))) {
    const bytes = fs.readFileSync(path.join(SHARED, file));
    const text = await decode(bytes);
    assert.equal(replacements(text), bytes.toString('latin1').split('\xEF\xBF\xBD').length - 1, file);
    assert.match(text, /^0 HEAD/, file);
  }
});
