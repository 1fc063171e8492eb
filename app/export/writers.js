// Export files written by the page itself, with no library: a stored (uncompressed) ZIP with CRC-32 and a
// PDF 1.4 whose pages are JPEG images, plus the byte and download helpers the picture export needs.
// Owns: KLN_DOWNLOAD_RELEASE_MS.

// Pictures and archives can be large and slow to save; their address stays valid this long.
const KLN_DOWNLOAD_RELEASE_MS = 45000;

// The bytes of a base64 data address (everything after its first comma).
function klnBinaryFromDataURL(url) {
  const text = String(url);
  const raw = atob(text.slice(text.indexOf(',') + 1));
  const bytes = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i++) bytes[i] = raw.charCodeAt(i);
  return bytes;
}

function klnDownloadBlob(blob, name) {
  download(name, blob, blob.type, KLN_DOWNLOAD_RELEASE_MS);
}

// The CRC-32 of ZIP: reflected polynomial 0xEDB88320, initial value and final exclusive-or all ones.
function klnCrc32Table() {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
}

function klnCrc32(bytes, table) {
  let c = 0xFFFFFFFF;
  for (let i = 0; i < bytes.length; i++) c = table[(c ^ bytes[i]) & 0xFF] ^ (c >>> 8);
  return (c ^ 0xFFFFFFFF) >>> 0;
}

// A stored ZIP of {name, data} entries in the given order: a local header before each entry's bytes, then
// the central directory and its end record. Times and dates are 0; names are flagged UTF-8. The archive is
// handed to the Blob as a list of parts, so the entries are never copied into one big array here.
function klnZipFiles(files) {
  const table = klnCrc32Table();
  const encoder = new TextEncoder();
  const parts = [], directory = [];
  let offset = 0, directorySize = 0;
  for (const file of files) {
    const name = encoder.encode(file.name);
    const data = file.data instanceof Uint8Array ? file.data : new Uint8Array(file.data);
    const crc = klnCrc32(data, table);
    const local = new DataView(new ArrayBuffer(30));
    local.setUint32(0, 0x04034B50, true);
    local.setUint16(4, 20, true);
    local.setUint16(6, 0x0800, true);
    local.setUint32(14, crc, true);
    local.setUint32(18, data.length, true);
    local.setUint32(22, data.length, true);
    local.setUint16(26, name.length, true);
    parts.push(new Uint8Array(local.buffer), name, data);
    const central = new DataView(new ArrayBuffer(46));
    central.setUint32(0, 0x02014B50, true);
    central.setUint16(4, 20, true);
    central.setUint16(6, 20, true);
    central.setUint16(8, 0x0800, true);
    central.setUint32(16, crc, true);
    central.setUint32(20, data.length, true);
    central.setUint32(24, data.length, true);
    central.setUint16(28, name.length, true);
    central.setUint32(42, offset, true);
    directory.push(new Uint8Array(central.buffer), name);
    offset += 30 + name.length + data.length;
    directorySize += 46 + name.length;
  }
  const end = new DataView(new ArrayBuffer(22));
  end.setUint32(0, 0x06054B50, true);
  end.setUint16(8, files.length, true);
  end.setUint16(10, files.length, true);
  end.setUint32(12, directorySize, true);
  end.setUint32(16, offset, true);
  return new Blob([...parts, ...directory, new Uint8Array(end.buffer)], { type: 'application/zip' });
}

// A PDF 1.4 with one full-bleed page per JPEG (pixel size width × height). Objects: 1 catalogue, 2 page
// tree, then per page its page object, content stream and image, numbered 3 + 3i, 4 + 3i, 5 + 3i. Pages
// are 842 points wide and as high as the pictures' proportion gives; the JPEG bytes go in unchanged. The
// cross-reference table records where each object's first line starts.
function klnPdfFromJpegs(pages, width, height) {
  const pageW = 842, pageH = Math.round(842 * height / width);
  const encoder = new TextEncoder();
  const parts = [], offsets = [];
  let size = 0;
  const add = chunk => {
    const bytes = typeof chunk === 'string' ? encoder.encode(chunk) : chunk;
    parts.push(bytes);
    size += bytes.length;
  };
  const object = (number, ...body) => {
    offsets[number] = size;
    add(number + ' 0 obj\n');
    body.forEach(add);
    add('\nendobj\n');
  };
  const count = pages.length;
  add('%PDF-1.4\n%KLN\n');
  object(1, '<< /Type /Catalog /Pages 2 0 R >>');
  const kids = pages.map((_, i) => (3 + 3 * i) + ' 0 R').join(' ');
  object(2, '<< /Type /Pages /Kids [' + kids + '] /Count ' + count + ' >>');
  const commands = 'q\n' + pageW + ' 0 0 ' + pageH + ' 0 0 cm\n/Im0 Do\nQ\n';
  pages.forEach((jpeg, i) => {
    const page = 3 + 3 * i, content = page + 1, image = page + 2;
    object(page, '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ' + pageW + ' ' + pageH + '] /Resources << ' +
      '/XObject << /Im0 ' + image + ' 0 R >> >> /Contents ' + content + ' 0 R >>');
    object(content, '<< /Length ' + encoder.encode(commands).length + ' >>\nstream\n' + commands + 'endstream');
    object(image, '<< /Type /XObject /Subtype /Image /Width ' + width + ' /Height ' + height +
      ' /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length ' + jpeg.length + ' >>\nstream\n',
      jpeg, '\nendstream');
  });
  const xref = size, total = 3 * count + 3;
  let table = 'xref\n0 ' + total + '\n0000000000 65535 f \n';
  for (let n = 1; n < total; n++) table += String(offsets[n]).padStart(10, '0') + ' 00000 n \n';
  add(table);
  add('trailer\n<< /Size ' + total + ' /Root 1 0 R >>\nstartxref\n' + xref + '\n%%EOF');
  return new Blob(parts, { type: 'application/pdf' });
}
