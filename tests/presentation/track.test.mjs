// The background track as the page carries it: the embedded FLAC decodes in the browser to exactly the
// samples the generator rendered, carries its tags and sample signature, and is a calm, unclipped loop.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { useApp, ROOT } from '../harness.mjs';

const app = useApp({ enter: false });
const GENERATOR = path.join(ROOT, 'build/tools/kinloom-music');

// The generator run afresh: its FLAC file and the raw 16-bit samples it encoded.
function generate() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kinloom-music-'));
  try {
    const r = spawnSync(GENERATOR, [path.join(dir, 'track.flac'), '--pcm', path.join(dir, 'track.raw')], { encoding: 'utf8' });
    assert.equal(r.status, 0, r.stderr);
    return { flac: fs.readFileSync(path.join(dir, 'track.flac')), pcm: fs.readFileSync(path.join(dir, 'track.raw')) };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

let generated = null;
const track = () => (generated ||= generate());

const embedded = async () => Buffer.from((await app.eval("$('sollaryMusicAudio').getAttribute('src')")).split(',')[1], 'base64');

// STREAMINFO and the Vorbis comments of a FLAC file.
function flacInfo(bytes) {
  assert.equal(bytes.toString('latin1', 0, 4), 'fLaC');
  const info = { comments: {} };
  for (let at = 4, last = false; !last;) {
    last = (bytes[at] & 0x80) !== 0;
    const type = bytes[at] & 0x7f, length = bytes.readUIntBE(at + 1, 3), body = at + 4;
    if (type === 0) {
      const packed = bytes.readBigUInt64BE(body + 10);
      info.rate = Number(packed >> 44n);
      info.channels = Number((packed >> 41n) & 7n) + 1;
      info.bits = Number((packed >> 36n) & 31n) + 1;
      info.samples = Number(packed & 0xfffffffffn);
      info.md5 = bytes.toString('hex', body + 18, body + 34);
    } else if (type === 4) {
      let p = body + 4 + bytes.readUInt32LE(body);
      const count = bytes.readUInt32LE(p);
      p += 4;
      for (let i = 0; i < count; i++) {
        const n = bytes.readUInt32LE(p);
        const [key, ...value] = bytes.toString('utf8', p + 4, p + 4 + n).split('=');
        info.comments[key] = value.join('=');
        p += 4 + n;
      }
    }
    at = body + length;
  }
  return info;
}

test('the document embeds exactly what the generator writes, and every build writes the same', async () => {
  const first = track(), second = generate();
  assert.ok(first.flac.equals(second.flac), 'the generator is deterministic');
  assert.ok((await embedded()).equals(first.flac));
});

test('the stream: 48 s of 22,050 Hz mono 16-bit, tagged, with the samples\' MD5', () => {
  const { flac, pcm } = track();
  const info = flacInfo(flac);
  assert.deepEqual({ ...info, comments: undefined, md5: undefined },
    { rate: 22050, channels: 1, bits: 16, samples: 48 * 22050, comments: undefined, md5: undefined });
  assert.equal(info.md5, crypto.createHash('md5').update(pcm).digest('hex'));
  assert.equal(info.comments.TITLE, 'Slow Orbits');
  assert.equal(info.comments.ARTIST, 'Kinloom sound generator');
  assert.match(info.comments.LICENSE, /^CC0 1\.0/);
  assert.ok(flac.length < pcm.length / 3, `compressed to ${flac.length} of ${pcm.length} bytes`);
});

test('the browser decodes the embedded track to exactly the generated samples', async () => {
  const { pcm } = track();
  const decoded = await app.run(async () => {
    const src = $('sollaryMusicAudio').getAttribute('src');
    const bytes = Uint8Array.from(atob(src.slice(src.indexOf(',') + 1)), c => c.charCodeAt(0));
    const buffer = await new OfflineAudioContext(1, 1, 22050).decodeAudioData(bytes.buffer);
    const data = buffer.getChannelData(0);
    // The decoder scales positive samples by 1/32767 and negative ones by 1/32768.
    const ints = new Int16Array(data.length);
    for (let i = 0; i < data.length; i++) ints[i] = Math.round(data[i] * (data[i] > 0 ? 32767 : 32768));
    const raw = new Uint8Array(ints.buffer);
    let text = '';
    for (let i = 0; i < raw.length; i += 8192) text += String.fromCharCode(...raw.subarray(i, i + 8192));
    return { rate: buffer.sampleRate, channels: buffer.numberOfChannels, samples: btoa(text) };
  });
  assert.equal(decoded.rate, 22050);
  assert.equal(decoded.channels, 1);
  const samples = Buffer.from(decoded.samples, 'base64');
  assert.equal(samples.length, pcm.length);
  let differing = 0;
  for (let i = 0; i < pcm.length; i += 2) if (samples.readInt16LE(i) !== pcm.readInt16LE(i)) differing++;
  assert.equal(differing, 0);
});

test('a calm, unclipped loop whose end runs into its start without a jump', () => {
  const { pcm } = track();
  const n = pcm.length / 2, x = i => pcm.readInt16LE(2 * i) / 32768;
  let peak = 0, energy = 0;
  const steps = [];
  for (let i = 0; i < n; i++) {
    peak = Math.max(peak, Math.abs(x(i)));
    energy += x(i) ** 2;
    if (i) steps.push(Math.abs(x(i) - x(i - 1)));
  }
  const rms = 10 * Math.log10(energy / n);
  assert.ok(peak > 0.5 && peak < 0.8, `peak ${peak}`);
  assert.ok(rms > -24 && rms < -12, `level ${rms} dBFS`);
  steps.sort((a, b) => a - b);
  const seam = Math.abs(x(0) - x(n - 1));
  assert.ok(seam <= steps[Math.floor(steps.length * 0.99)], `seam step ${seam}`);
});
