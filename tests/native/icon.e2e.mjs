// The icon generator (tools/icon): its zlib streams inflate to the input, its .ico holds seven valid
// PNG images, and the picture shows the motif (navy rounded square, teal sphere, bright ring).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import { decodePng } from './lib/png.mjs';
import { icoImages } from './lib/pe.mjs';
import { build } from './lib/wine.mjs';

const cache = fs.readFileSync(path.join(build, 'CMakeCache.txt'), 'utf8');
const tool = /^KINLOOM_ICON_TOOL:[A-Z]+=(.*)$/m.exec(cache)[1];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kln-icon-'));

function compress(data) {
  const input = path.join(scratch, 'in.bin'), output = path.join(scratch, 'out.z');
  fs.writeFileSync(input, data);
  execFileSync(tool, ['--zlib', input, output]);
  return fs.readFileSync(output);
}

const random = (n, seed) => {
  const out = Buffer.alloc(n);
  let x = seed;
  for (let i = 0; i < n; i++) { x = (x * 1103515245 + 12345) >>> 0; out[i] = x >>> 24; }
  return out;
};
const block = random(40000, 7);
const streams = [
  ['empty', Buffer.alloc(0)],
  ['one byte', Buffer.from([0xa5])],
  ['two bytes', Buffer.from('ab')],
  ['run of 300,000 zeros', Buffer.alloc(300000)],
  ['incompressible 200,000 bytes', crypto.randomBytes(200000)],
  ['text', Buffer.from('Kinloom family tree · '.repeat(5000))],
  ['repeat beyond the 32 KiB window', Buffer.concat([block, block, block])],
  ['matches of every length', Buffer.concat(Array.from({ length: 300 }, (_, n) => Buffer.concat([random(n + 1, n), random(n + 1, n)])))],
  ['skewed byte frequencies', Buffer.from(random(400000, 3).map((b, i) => Math.clz32(Math.imul(i + 1, 2654435761) >>> 0 | b)))],
];
for (const [name, data] of streams)
  test(`zlib stream inflates to its input: ${name}`, () => {
    const z = compress(data);
    assert.equal(z[0], 0x78);
    assert.equal((z[0] * 256 + z[1]) % 31, 0);
    assert.ok(zlib.inflateSync(z).equals(data));
  });

test('compression actually compresses repetitive data', () => {
  assert.ok(compress(Buffer.alloc(300000)).length < 2000);
  assert.ok(compress(Buffer.from('Kinloom family tree · '.repeat(5000))).length < 2000);
});

// Kraft sum of the lengths (1 for a complete code), and the longest length.
function codeLengths(maxBits, freq) {
  const lengths = execFileSync(tool, ['--code-lengths', String(maxBits), ...freq.map(String)], { encoding: 'utf8' })
    .trim().split(' ').map(Number);
  return { lengths, kraft: lengths.reduce((s, l) => s + (l ? 2 ** -l : 0), 0), longest: Math.max(...lengths) };
}

const fibonacci = (n) => Array.from({ length: n }).reduce((f, _, i) => [...f, i < 2 ? 1 : f[i - 1] + f[i - 2]], []);
for (const [name, maxBits, freq, longest] of [
  ['Fibonacci frequencies, limit 15', 15, fibonacci(30), 15],
  ['Fibonacci frequencies, limit 7 (code-length code)', 7, fibonacci(19), 7],
  ['equal frequencies', 15, Array(286).fill(5), 9],
  ['one used symbol gets a partner', 15, [0, 0, 9, 0], 1],
  ['no used symbol', 15, [0, 0, 0], 1],
])
  test(`Huffman code lengths: ${name}`, () => {
    const r = codeLengths(maxBits, freq);
    assert.equal(r.kraft, 1);
    assert.equal(r.longest, longest);
    freq.forEach((f, i) => f && assert.ok(r.lengths[i] > 0, `symbol ${i} has a code`));
  });

const ico = path.join(scratch, 'k.ico');
execFileSync(tool, [ico]);
const images = icoImages(fs.readFileSync(ico));

test('the .ico holds seven 32-bit PNG images of 16 to 256 pixels', () => {
  const header = fs.readFileSync(ico);
  assert.deepEqual([header.readUInt16LE(0), header.readUInt16LE(2), header.readUInt16LE(4)], [0, 1, 7]);
  assert.deepEqual(images.map((i) => [i.width, i.height, i.bits]), [16, 24, 32, 48, 64, 128, 256].map((s) => [s, s, 32]));
  for (const image of images) {
    const png = decodePng(image.data);
    assert.deepEqual([png.width, png.height], [image.width, image.height]);
    assert.deepEqual(png.chunks, ['IHDR', 'IDAT', 'IEND']);
  }
});

for (const size of [16, 32, 256])
  test(`the ${size}-pixel picture: navy rounded square, teal sphere, bright ring`, () => {
    const png = decodePng(images.find((i) => i.width === size).data);
    const at = (fx, fy) => {
      const o = (Math.min(size - 1, Math.floor(fy * size)) * size + Math.min(size - 1, Math.floor(fx * size))) * 4;
      return [...png.rgba.subarray(o, o + 4)];
    };
    for (const [x, y] of [[0, 0], [0.999, 0], [0, 0.999], [0.999, 0.999]]) assert.equal(at(x, y)[3], 0, 'corner is transparent');
    const navy = at(0.5, 0.94);
    assert.equal(navy[3], 255);
    assert.ok(navy[2] > navy[0] && navy[0] < 60 && navy[2] < 110, `navy: ${navy}`);
    const sphere = at(0.5, 0.5);
    assert.equal(sphere[3], 255);
    assert.ok(sphere[1] > 120 && sphere[2] > 100 && sphere[0] < sphere[1] - 60, `teal: ${sphere}`);
    // The ring's right end stands above the middle: the ring is inclined.
    const ringEnd = [0, 1, 2].flatMap((dy) => [0, 1, 2].map((dx) => at(0.885 + (dx - 1) / size, 0.346 + (dy - 1) / size)));
    assert.ok(ringEnd.some(([r, g]) => g > 200 && r > 80), `ring: ${JSON.stringify(ringEnd)}`);
    const mirrored = at(0.885, 0.654);
    assert.ok(!(mirrored[1] > 200 && mirrored[0] > 80), 'no ring at the mirrored place');
  });
