// The export's file writers called directly: the stored ZIP with CRC-32, the PDF of JPEG pages and the
// data-address reader, checked field by field and with unzip, qpdf and pdftoppm.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { useApp } from '../harness.mjs';
import { tool, scratch, zipEntries, zipData, pdfXref, pdfJpegs, jpegSize } from './files.mjs';

const app = useApp();


async function zipOf(files) {
  const { bytes, type } = await app.run(async files => {
    const blob = klnZipFiles(files.map(f => ({ name: f.name, data: new Uint8Array(f.data) })));
    return { bytes: [...new Uint8Array(await blob.arrayBuffer())], type: blob.type };
  }, files.map(f => ({ name: f.name, data: [...f.data] })));
  return { bytes: Buffer.from(bytes), type };
}

// JPEGs of the given sizes and colours, encoded by the page's canvas as the export does.
function pageJpegs(list) {
  return app.run(list => list.map(([w, h, colour]) => {
    const c = document.createElement('canvas');
    c.width = w;
    c.height = h;
    const g = c.getContext('2d');
    g.fillStyle = colour;
    g.fillRect(0, 0, w, h);
    g.fillStyle = '#fff';
    g.fillRect(w / 4, h / 4, w / 2, h / 2);
    return [...klnBinaryFromDataURL(c.toDataURL('image/jpeg', 0.9))];
  }), list);
}

async function pdfOf(jpegs, width, height) {
  const { bytes, type } = await app.run(async ({ jpegs, width, height }) => {
    const blob = klnPdfFromJpegs(jpegs.map(j => new Uint8Array(j)), width, height);
    return { bytes: [...new Uint8Array(await blob.arrayBuffer())], type: blob.type };
  }, { jpegs, width, height });
  return { bytes: Buffer.from(bytes), type };
}

test('the data address reader decodes the base64 part after the first comma', async () => {
  for (const [url, bytes] of [
    ['data:text/plain;base64,SGk=', [72, 105]],
    ['data:application/octet-stream;base64,AP8A', [0, 255, 0]],
    ['data:,', []],
  ]) assert.deepEqual(await app.run(u => [...klnBinaryFromDataURL(u)], url), bytes, url);
});

test('CRC-32 is the standard one of ZIP', async () => {
  const crc = text => app.run(t => klnCrc32(new TextEncoder().encode(t), klnCrc32Table()), text);
  assert.equal(await crc('123456789'), 0xCBF43926);
  assert.equal(await crc(''), 0);
  assert.equal(await crc('The quick brown fox jumps over the lazy dog'), 0x414FA339);
});

test('a stored ZIP: headers, central directory and end record as laid out, and unzip accepts it', async () => {
  const files = [
    { name: 'Tree_row_001_col_001.png', data: Buffer.from('first tile') },
    { name: 'Ünïcode name ✦.txt', data: Buffer.from('') },
    { name: 'c.bin', data: Buffer.from([0, 1, 2, 255, 254]) },
  ];
  const { bytes, type } = await zipOf(files);
  assert.equal(type, 'application/zip');
  // Names are stored as UTF-8 bytes under the UTF-8 flag (the reader below decodes them as UTF-8).
  const entries = zipEntries(bytes);
  assert.deepEqual(entries.map(e => ({ name: e.name, size: e.size, method: e.method, flags: e.flags })),
    files.map(f => ({ name: f.name, size: f.data.length, method: 0, flags: 0x0800 })));
  let offset = 0;
  for (const [i, e] of entries.entries()) {
    assert.equal(e.offset, offset, `local header of ${e.name}`);
    assert.equal(bytes.readUInt32LE(offset), 0x04034B50);
    assert.deepEqual([bytes.readUInt16LE(offset + 4), bytes.readUInt16LE(offset + 6), bytes.readUInt16LE(offset + 8),
      bytes.readUInt16LE(offset + 10), bytes.readUInt16LE(offset + 12), bytes.readUInt32LE(offset + 14),
      bytes.readUInt32LE(offset + 18), bytes.readUInt32LE(offset + 22), bytes.readUInt16LE(offset + 28)],
    [20, 0x0800, 0, 0, 0, e.crc, files[i].data.length, files[i].data.length, 0]);
    assert.deepEqual(zipData(bytes, e), files[i].data);
    offset += 30 + Buffer.byteLength(files[i].name) + files[i].data.length;
  }
  const end = bytes.length - 22;
  assert.equal(bytes.readUInt32LE(end), 0x06054B50);
  const directorySize = files.reduce((n, f) => n + 46 + Buffer.byteLength(f.name), 0);
  assert.deepEqual([bytes.readUInt16LE(end + 4), bytes.readUInt16LE(end + 6), bytes.readUInt16LE(end + 8),
    bytes.readUInt16LE(end + 10), bytes.readUInt32LE(end + 12), bytes.readUInt32LE(end + 16), bytes.readUInt16LE(end + 20)],
  [0, 0, 3, 3, directorySize, offset, 0]);

  const file = scratch('tiles.zip', bytes);
  try {
    const check = tool('unzip', ['-t', file.file]);
    assert.equal(check.status, 0, check.out);
    assert.match(check.out, /No errors detected/);
    assert.equal(tool('unzip', ['-q', file.file, '-d', path.join(file.dir, 'out')]).status, 0);
    assert.equal(fs.readFileSync(path.join(file.dir, 'out', 'c.bin')).toString('hex'), '000102fffe');
  } finally {
    file.done();
  }
});

test('an empty ZIP is just the end record', async () => {
  const { bytes } = await zipOf([]);
  assert.equal(bytes.length, 22);
  assert.equal(bytes.readUInt32LE(0), 0x06054B50);
});

test('a PDF of JPEG pages: objects, exact cross-reference table, and qpdf and pdftoppm accept it', async () => {
  const jpegs = await pageJpegs([[140, 95, '#c33'], [140, 95, '#3c3'], [140, 95, '#33c']]);
  const { bytes, type } = await pdfOf(jpegs, 140, 95);
  assert.equal(type, 'application/pdf');
  const text = bytes.toString('latin1');
  assert.ok(text.startsWith('%PDF-1.4\n%KLN\n'));
  assert.ok(text.endsWith('\n%%EOF'), 'no line end after %%EOF');

  const xref = pdfXref(bytes);
  assert.deepEqual(xref.header, ['xref', '0 12']);
  assert.equal(xref.entries[0], '0000000000 65535 f \n');
  for (let n = 1; n < 12; n++) {
    assert.match(xref.entries[n], /^\d{10} 00000 n \n$/);
    const offset = Number(xref.entries[n].slice(0, 10));
    assert.ok(text.startsWith(n + ' 0 obj\n', offset), `object ${n} starts at its recorded offset`);
  }
  assert.ok(text.endsWith('trailer\n<< /Size 12 /Root 1 0 R >>\nstartxref\n' + xref.start + '\n%%EOF'));
  assert.ok(text.includes('1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n'));
  assert.ok(text.includes('2 0 obj\n<< /Type /Pages /Kids [3 0 R 6 0 R 9 0 R] /Count 3 >>\nendobj\n'));
  assert.ok(text.includes('3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 842 571] /Resources << ' +
    '/XObject << /Im0 5 0 R >> >> /Contents 4 0 R >>\nendobj\n'));
  const commands = 'q\n842 0 0 571 0 0 cm\n/Im0 Do\nQ\n';
  assert.ok(text.includes('4 0 obj\n<< /Length ' + commands.length + ' >>\nstream\n' + commands + 'endstream\nendobj\n'));
  assert.ok(text.includes('5 0 obj\n<< /Type /XObject /Subtype /Image /Width 140 /Height 95 /ColorSpace /DeviceRGB ' +
    '/BitsPerComponent 8 /Filter /DCTDecode /Length ' + jpegs[0].length + ' >>\nstream\n'));
  assert.deepEqual(pdfJpegs(bytes).map(j => [...j]), jpegs, 'the JPEG bytes go in unchanged');

  const file = scratch('pages.pdf', bytes);
  try {
    const check = tool('qpdf', ['--check', file.file]);
    assert.equal(check.status, 0, check.out);
    assert.match(check.out, /No syntax or stream encoding errors/);
    const info = tool('pdfinfo', [file.file]).out;
    assert.match(info, /Pages:\s+3/);
    assert.match(info, /Page size:\s+842 x 571 pts/);
    assert.equal(tool('pdftoppm', ['-r', '10', '-png', file.file, path.join(file.dir, 'page')]).status, 0);
    assert.equal(fs.readdirSync(file.dir).filter(f => /^page-\d+\.png$/.test(f)).length, 3);
  } finally {
    file.done();
  }
});

test('the page height follows the pictures\' proportion, rounded', async () => {
  const jpegs = await pageJpegs([[100, 100, '#888']]);
  for (const [w, h, height] of [[1400, 950, 571], [100, 100, 842], [200, 100, 421]]) {
    const { bytes } = await pdfOf(jpegs, w, h);
    assert.ok(bytes.toString('latin1').includes('/MediaBox [0 0 842 ' + height + ']'), `${w} x ${h}`);
  }
  assert.deepEqual(jpegSize(Buffer.from(jpegs[0])), { width: 100, height: 100 });
});
