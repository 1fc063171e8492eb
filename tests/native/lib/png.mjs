// PNG reading and writing for the native tests: checks every chunk CRC and the zlib stream's Adler-32,
// undoes the row filters, and writes RGB pictures (screenshots) with node's zlib.
import zlib from 'node:zlib';

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

export function crc32(bytes) {
  let c = ~0;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 255] ^ (c >>> 8);
  return ~c >>> 0;
}

export function adler32(bytes) {
  let a = 1, b = 0;
  for (const x of bytes) { a = (a + x) % 65521; b = (b + a) % 65521; }
  return ((b << 16) | a) >>> 0;
}

const SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

// {width, height, rgba, chunks} of an 8-bit RGBA PNG; throws on any damage.
export function decodePng(buf) {
  if (!buf.subarray(0, 8).equals(SIGNATURE)) throw new Error('not a PNG signature');
  const chunks = [];
  let pos = 8, idat = [];
  while (pos < buf.length) {
    const len = buf.readUInt32BE(pos), type = buf.toString('latin1', pos + 4, pos + 8);
    const body = buf.subarray(pos + 8, pos + 8 + len);
    if (crc32(buf.subarray(pos + 4, pos + 8 + len)) !== buf.readUInt32BE(pos + 8 + len)) throw new Error(`bad CRC in ${type}`);
    chunks.push(type);
    if (type === 'IDAT') idat.push(body);
    if (type === 'IHDR') var header = body;
    pos += 12 + len;
  }
  const width = header.readUInt32BE(0), height = header.readUInt32BE(4);
  if (header[8] !== 8 || header[9] !== 6) throw new Error('not 8-bit RGBA');
  const stream = Buffer.concat(idat);
  const raw = zlib.inflateSync(stream);
  if (adler32(raw) !== stream.readUInt32BE(stream.length - 4)) throw new Error('bad Adler-32');
  const stride = width * 4, rgba = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const f = raw[y * (stride + 1)];
    for (let x = 0; x < stride; x++) {
      const v = raw[y * (stride + 1) + 1 + x];
      const a = x >= 4 ? rgba[y * stride + x - 4] : 0, b = y ? rgba[(y - 1) * stride + x] : 0;
      const c = x >= 4 && y ? rgba[(y - 1) * stride + x - 4] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const pred = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][f];
      if (pred === undefined) throw new Error(`bad filter ${f}`);
      rgba[y * stride + x] = (v + pred) & 255;
    }
  }
  return { width, height, rgba, chunks };
}

function chunk(type, body) {
  const out = Buffer.alloc(12 + body.length);
  out.writeUInt32BE(body.length, 0);
  out.write(type, 4, 'latin1');
  body.copy(out, 8);
  out.writeUInt32BE(crc32(out.subarray(4, 8 + body.length)), 8 + body.length);
  return out;
}

// A PNG of an RGB picture given as a (x, y) => [r, g, b] function.
export function encodeRgbPng(width, height, pixel) {
  const raw = Buffer.alloc((width * 3 + 1) * height);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++) {
      const [r, g, b] = pixel(x, y), o = y * (width * 3 + 1) + 1 + x * 3;
      raw[o] = r; raw[o + 1] = g; raw[o + 2] = b;
    }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8; header[9] = 2;
  return Buffer.concat([SIGNATURE, chunk('IHDR', header), chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}

// The screen of an Xvfb started with -fbdir, read from its XWD file, as a PNG.
export function xwdToPng(xwd) {
  const u = (i) => xwd.readUInt32BE(i * 4);
  const headerSize = u(0), width = u(4), height = u(5), byteOrder = u(7), bpp = u(11), bpl = u(12), ncolors = u(19);
  const start = headerSize + ncolors * 12;
  return encodeRgbPng(width, height, (x, y) => {
    const p = start + y * bpl + x * (bpp / 8), v = byteOrder ? xwd.readUInt32BE(p) : xwd.readUInt32LE(p);
    return [(v >> 16) & 255, (v >> 8) & 255, v & 255];
  });
}
