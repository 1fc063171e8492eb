// Name labels: full names wrapped to a width and painted under orbs without overlapping each other, and
// the name box of the hovered orb.
// Owns: nameLinesCache.

// Wrapped lines by font, width and name; wrapping measures text, which is too slow to repeat every frame.
let nameLinesCache = new Map();

function klnFullNameLines(g, fullName, maxWidth) {
  const name = String(fullName == null ? '' : fullName).trim().replace(/\s+/g, ' ');
  if (!name) return [];
  const key = g.font + '\u0001' + maxWidth + '\u0001' + name;
  const cached = nameLinesCache.get(key);
  if (cached) return cached.slice();
  const lines = [];
  let line = '';
  const fits = text => g.measureText(text).width <= maxWidth;
  for (const word of name.split(' ')) {
    if (!fits(word)) {
      // A word wider than the whole width is broken between characters, never cut off.
      if (line) lines.push(line);
      let piece = '';
      for (const ch of word) {
        if (piece && !fits(piece + ch)) { lines.push(piece); piece = ch; } else piece += ch;
      }
      line = piece;
    } else if (!line) line = word;
    else if (fits(line + ' ' + word)) line += ' ' + word;
    else { lines.push(line); line = word; }
  }
  if (line) lines.push(line);
  if (nameLinesCache.size > 6000) nameLinesCache = new Map();
  nameLinesCache.set(key, lines);
  return lines.slice();
}

function labelFontSize(opt, scale) {
  if (opt.dense) return clamp(12 * Math.pow(scale, 0.22), 12, 18);
  if (opt.root) return clamp(16 * Math.pow(scale, 0.32), 16, 25);
  if (opt.priority) return clamp(14 * Math.pow(scale, 0.32), 14, 22);
  return clamp(12.3 * Math.pow(scale, 0.36), 11.5, 19);
}

function rectsOverlap(a, b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// Font, wrapped lines and rectangle of a full-name label centred at (x, y); null for an empty name. Sets
// the context's font.
function fullNameLayout(g, name, x, y, opt = {}) {
  if (!name || !String(name).trim()) return null;
  const scale = clamp(opt.scale || 1, 0.05, 5);
  const size = labelFontSize(opt, scale);
  g.font = `${opt.root ? 850 : 750} ${size}px system-ui, sans-serif`;
  const base = opt.dense ? 205 : opt.root ? 315 : opt.priority ? 265 : 220;
  const limit = Math.min(Math.max(125, w - 22), base * clamp(Math.sqrt(scale), 0.82, 1.6));
  const lines = klnFullNameLines(g, name, limit);
  if (!lines.length) return null;
  const lineHeight = Math.ceil(1.24 * size);
  let widest = 0;
  for (const line of lines) widest = Math.max(widest, g.measureText(line).width);
  const half = Math.max(10, widest) / 2 + 6;
  const rect = { x0: x - half, x1: x + half, y0: y - 0.7 * size - 4, y1: y + lineHeight * (lines.length - 1) + 0.7 * size + 4 };
  return { size, lines, lineHeight, rect };
}

// Paints a full-name label centred under an orb. Ordinary labels give way to labels already placed in
// `opt.occupied`; the home person's and highlighted labels are always painted.
function klnPaintFullName(g, name, x, y, opt = {}) {
  const label = fullNameLayout(g, name, x, y, opt);
  if (!label) return { drawn: false };
  const { size, lines, lineHeight, rect } = label;
  if (rect.x1 < 0 || rect.x0 > w || rect.y1 < 0 || rect.y0 > h) return { drawn: false };
  const occupied = opt.occupied;
  if (!opt.root && !opt.priority && occupied && occupied.some(o => rectsOverlap(o, rect))) return { drawn: false };
  if (occupied) occupied.push(rect);
  g.save();
  g.textAlign = 'center';
  g.textBaseline = 'middle';
  g.lineJoin = 'round';
  g.lineWidth = 3.3;
  g.strokeStyle = 'rgba(4,12,26,.96)';
  g.fillStyle = opt.root ? '#ffe8a6' : '#f3fbff';
  lines.forEach((line, i) => {
    const ly = y + i * lineHeight;
    g.shadowBlur = 0;
    g.strokeText(line, x, ly);
    g.shadowColor = opt.root ? '#ffca59' : '#0b1725';
    g.shadowBlur = opt.root ? 9 : 3;
    g.fillText(line, x, ly);
  });
  g.restore();
  return { drawn: true, bottom: rect.y1, fontSize: size, lines };
}

// The hovered person's full name in a box beside the orb, readable at any zoom.
function klnDrawHoveredFullName() {
  if (!hover) return;
  const person = persons.get(hover);
  if (!person || !person.name || !String(person.name).trim()) return;
  const node = hitNodes.find(n => n.id === hover);
  if (!node) return;
  const g = $('tree').getContext('2d');
  g.save();
  g.font = '750 14px system-ui, sans-serif';
  const lines = klnFullNameLines(g, person.name, Math.min(285, Math.max(70, w - 50)));
  let widest = 0;
  for (const line of lines) widest = Math.max(widest, g.measureText(line).width);
  const bw = Math.min(w - 14, widest + 26), bh = 19 * lines.length + 18;
  const bx = clamp(node.x + 15, 7, w - bw - 7), by = clamp(node.y - bh - 17, 7, h - bh - 7);
  g.beginPath();
  if (g.roundRect) g.roundRect(bx, by, bw, bh, 9); else g.rect(bx, by, bw, bh);
  g.fillStyle = 'rgba(11,26,47,.97)';
  g.shadowColor = '#0009';
  g.shadowBlur = 15;
  g.fill();
  g.shadowBlur = 0;
  g.strokeStyle = 'rgba(147,237,227,.85)';
  g.lineWidth = 1.4;
  g.stroke();
  g.fillStyle = '#f4ffff';
  g.textAlign = 'center';
  g.textBaseline = 'middle';
  lines.forEach((line, i) => g.fillText(line, bx + bw / 2, by + 17 + 19 * i));
  g.restore();
}
