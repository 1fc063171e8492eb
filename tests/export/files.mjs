// Checks of exported files with the standard tools (unzip, qpdf, pdftoppm) and small readers for the
// parts of ZIP, PDF, PNG and JPEG files that the export tests look at.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

// Runs a tool in a UTF-8 locale (unzip writes names from other locales as escapes).
export function tool(command, args) {
  const r = spawnSync(command, args, { encoding: 'utf8', env: { ...process.env, LC_ALL: 'C.UTF-8' } });
  if (r.error) throw r.error;
  return { status: r.status, out: (r.stdout || '') + (r.stderr || '') };
}

// A scratch file holding `bytes`; removed with its folder by `done()`.
export function scratch(name, bytes) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kinloom-export-'));
  const file = path.join(dir, name);
  fs.writeFileSync(file, bytes);
  return { dir, file, done: () => fs.rmSync(dir, { recursive: true, force: true }) };
}

// The entries of a ZIP as its central directory lists them: {name, crc, size, offset, method, flags}.
export function zipEntries(bytes) {
  const buf = Buffer.from(bytes);
  const end = buf.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  const count = buf.readUInt16LE(end + 10);
  let at = buf.readUInt32LE(end + 16);
  const entries = [];
  for (let i = 0; i < count; i++) {
    const nameLength = buf.readUInt16LE(at + 28);
    entries.push({
      name: buf.toString('utf8', at + 46, at + 46 + nameLength),
      flags: buf.readUInt16LE(at + 8), method: buf.readUInt16LE(at + 10), crc: buf.readUInt32LE(at + 16),
      size: buf.readUInt32LE(at + 24), offset: buf.readUInt32LE(at + 42),
    });
    at += 46 + nameLength;
  }
  return entries;
}

// The stored bytes of a ZIP entry, found through its local header.
export function zipData(bytes, entry) {
  const buf = Buffer.from(bytes);
  const start = entry.offset + 30 + buf.readUInt16LE(entry.offset + 26) + buf.readUInt16LE(entry.offset + 28);
  return buf.subarray(start, start + entry.size);
}

export function pngSize(bytes) {
  const buf = Buffer.from(bytes);
  if (buf.toString('latin1', 1, 4) !== 'PNG') return null;
  return { width: buf.readUInt32BE(16), height: buf.readUInt32BE(20) };
}

// Width and height from a JPEG's start-of-frame segment.
export function jpegSize(bytes) {
  const buf = Buffer.from(bytes);
  if (buf[0] !== 0xff || buf[1] !== 0xd8) return null;
  let at = 2;
  while (at + 9 < buf.length) {
    if (buf[at] !== 0xff) return null;
    const marker = buf[at + 1], length = buf.readUInt16BE(at + 2);
    if (marker >= 0xc0 && marker <= 0xcf && ![0xc4, 0xc8, 0xcc].includes(marker))
      return { width: buf.readUInt16BE(at + 7), height: buf.readUInt16BE(at + 5) };
    at += 2 + length;
  }
  return null;
}

// The cross-reference table of a PDF: the offset it starts at and its entries as written.
export function pdfXref(bytes) {
  const text = Buffer.from(bytes).toString('latin1');
  const start = Number(text.slice(text.lastIndexOf('startxref\n') + 10).split('\n')[0]);
  const lines = text.slice(start).split('\n');
  const count = Number(lines[1].split(' ')[1]);
  const entries = [];
  let at = start + lines[0].length + 1 + lines[1].length + 1;
  for (let i = 0; i < count; i++) {
    const line = text.slice(at, at + 20);
    entries.push(line);
    at += 20;
  }
  return { start, header: lines.slice(0, 2), entries, text };
}

// The JPEG streams of a PDF's images, in object order.
export function pdfJpegs(bytes) {
  const buf = Buffer.from(bytes);
  const text = buf.toString('latin1');
  const out = [];
  const pattern = /\/Filter \/DCTDecode \/Length (\d+) >>\nstream\n/g;
  for (let m; (m = pattern.exec(text));) {
    const start = m.index + m[0].length;
    out.push(buf.subarray(start, start + Number(m[1])));
  }
  return out;
}
