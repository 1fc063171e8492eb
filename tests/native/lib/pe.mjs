// Reading resources out of a 64-bit Windows executable (PE32+), for checking the icon group and the
// setup program's payload.
export const RT = { ICON: 3, RCDATA: 10, GROUP_ICON: 14, MANIFEST: 24 };

// Map of type id -> Map of resource id -> bytes (first language of each).
export function resources(buf) {
  const pe = buf.readUInt32LE(0x3c);
  if (buf.toString('latin1', pe, pe + 4) !== 'PE\0\0') throw new Error('not a PE file');
  const sections = buf.readUInt16LE(pe + 6), optionalSize = buf.readUInt16LE(pe + 20), opt = pe + 24;
  if (buf.readUInt16LE(opt) !== 0x20b) throw new Error('not PE32+');
  const rsrcRva = buf.readUInt32LE(opt + 112 + 2 * 8);
  const table = [];
  for (let i = 0; i < sections; i++) {
    const s = opt + optionalSize + 40 * i;
    table.push({ va: buf.readUInt32LE(s + 12), vsize: buf.readUInt32LE(s + 8), rawSize: buf.readUInt32LE(s + 16), raw: buf.readUInt32LE(s + 20) });
  }
  const offset = (rva) => {
    const s = table.find((t) => rva >= t.va && rva < t.va + Math.max(t.vsize, t.rawSize));
    return rva - s.va + s.raw;
  };
  const base = offset(rsrcRva);
  const entries = (dir) => {
    const count = buf.readUInt16LE(base + dir + 12) + buf.readUInt16LE(base + dir + 14);
    return Array.from({ length: count }, (_, i) => {
      const e = base + dir + 16 + 8 * i, id = buf.readUInt32LE(e), to = buf.readUInt32LE(e + 4);
      return { id: id & 0x80000000 ? null : id, subdir: (to & 0x80000000) !== 0, at: to & 0x7fffffff };
    });
  };
  const out = new Map();
  for (const type of entries(0)) {
    const ids = new Map();
    for (const res of entries(type.at)) {
      const lang = entries(res.at)[0];
      const dataRva = buf.readUInt32LE(base + lang.at), size = buf.readUInt32LE(base + lang.at + 4);
      const start = offset(dataRva);
      ids.set(res.id, buf.subarray(start, start + size));
    }
    out.set(type.id, ids);
  }
  return out;
}

// The images of icon group `id`: [{width, height, bits, data}] in group order.
export function iconGroup(res, id = 1) {
  const group = res.get(RT.GROUP_ICON)?.get(id);
  if (!group) return null;
  const count = group.readUInt16LE(4);
  return Array.from({ length: count }, (_, i) => {
    const e = 6 + 14 * i;
    return {
      width: group[e] || 256,
      height: group[e + 1] || 256,
      bits: group.readUInt16LE(e + 6),
      data: res.get(RT.ICON).get(group.readUInt16LE(e + 12)),
    };
  });
}

// The images of an .ico file, in the same form.
export function icoImages(ico) {
  const count = ico.readUInt16LE(4);
  return Array.from({ length: count }, (_, i) => {
    const e = 6 + 16 * i, size = ico.readUInt32LE(e + 8), at = ico.readUInt32LE(e + 12);
    return { width: ico[e] || 256, height: ico[e + 1] || 256, bits: ico.readUInt16LE(e + 6), data: ico.subarray(at, at + size) };
  });
}
