// Orbs of the detailed renderer: their radius, glow, rings, portraits, initials, names, life dates and
// the hidden-links note, and the portrait images they share with the dense overview.
// Owns: portraitCache, orbReach.

// person id → {url, pic, loaded, failed}; the portrait editor drops an entry when it saves a new picture.
let portraitCache = new Map();

// The loaded portrait of a person, or null. Starts loading a new or changed picture; a failed address is
// not tried again until the photo changes.
function portraitOf(id, person) {
  const photo = person.photo;
  const src = photoSrc(photo);
  if (!src) return null;
  let entry = portraitCache.get(id);
  if (!entry || entry.url !== photo) {
    const pic = new Image();
    entry = { url: photo, pic, loaded: false, failed: false };
    portraitCache.set(id, entry);
    const mine = entry;
    pic.onload = () => { if (portraitCache.get(id) === mine) { mine.loaded = true; renderNeeded = true; } };
    pic.onerror = () => { if (portraitCache.get(id) === mine) { mine.failed = true; renderNeeded = true; } };
    pic.src = src;
  }
  return entry.loaded && !entry.failed ? entry.pic : null;
}

function paintPortrait(g, pic, x, y, r) {
  g.save();
  g.beginPath();
  g.arc(x, y, r, 0, Math.PI * 2);
  g.clip();
  g.drawImage(pic, x - r, y - r, 2 * r, 2 * r);
  g.restore();
}

// Everything a frame knows once and every orb reads.
function orbFrame(ids, now) {
  const count = ids.length;
  return {
    count, now, large: count > 320, veryLarge: count > 800,
    root: activeRootPersonId(), floor: count > 900 ? 1.5 : viewScope === 'connected' && zoom > 0.055 ? 5.3 : count > 200 ? 2.8 : 3.8,
    occupied: [],
  };
}

function orbRadius(id, s, style, frame) {
  const sc = clamp(s.scale, 0.008, 5);
  const root = id === frame.root;
  const size = style.size;
  const raw = (root ? 52 : id === focus ? 38 : 34) * sc * size / 100;
  const scaled = mode3 ? Math.min(raw, (root ? 76 : 52) * clamp(size / 100, 0.65, 1.65)) : raw;
  return root ? Math.max(10, scaled) : Math.max(frame.floor, scaled);
}

function initialsOf(name) {
  const words = String(name || '').trim().split(/\s+/).filter(Boolean).slice(0, 2);
  return words.length ? words.map(word => [...word][0]).join('').toUpperCase() : '?';
}

// What one orb of the detailed renderer paints: its person, style, radius r, clamped scale sc, whether it
// is the home person, highlighted, gets its effect and its labels; null when it is wholly off the canvas.
function orbLook(id, s, frame) {
  const person = persons.get(id);
  if (!person) return null;
  const style = personOrbStyle(person);
  const r = orbRadius(id, s, style, frame);
  if (s.x + r < 0 || s.x - r > w || s.y + r < 0 || s.y - r > h) return null;
  const root = id === frame.root;
  const highlighted = id === selected || id === focus || root;
  return {
    id, s, person, style, r, sc: clamp(s.scale, 0.008, 5), root, highlighted,
    effect: frame.count < 350 || r > 9 || highlighted || (mode3 && style.effect !== 'none' && r >= 3.2),
    labelled: highlighted || r >= 8 || (frame.count <= 320 && r >= 5.8) || (zoom > 0.075 && frame.count <= 650),
  };
}

// The screen box [x0, y0, x1, y1] an orb will paint into, glow and effect included (a shadow fades out
// within twice its blur); false when it paints nothing, null when it is not known before painting (an orb
// with labels, whose size follows from measured text). Kept with the painter below, which it mirrors. The
// box is one list rewritten by every call.
const orbReach = [0, 0, 0, 0];
function orbReachBox(look, frame) {
  if (!look) return false;
  if (look.labelled) return null;
  const { s, r, sc, style } = look;
  const blur = (frame.veryLarge ? 3 : frame.large ? 9 : 14) * clamp(sc, 0.65, 1.4) * style.glow / 100;
  let reach = r + 3 * sc + Math.max(0.1, 2 * sc * style.ring / 65) / 2 + 2 * blur;
  if (look.effect) reach = Math.max(reach, orbFxReach(style, r, s));
  reach += 2;
  orbReach[0] = s.x - reach; orbReach[1] = s.y - reach; orbReach[2] = s.x + reach; orbReach[3] = s.y + reach;
  return orbReach;
}

// One orb of the detailed renderer, painted in the order halo, glow and rings, body, portrait, effect,
// initials, name and dates, note; then its pick entry. An orb wholly off the canvas is skipped. `frame.look`
// may hold the orb's look, worked out already.
function paintDetailedOrb(g, id, s, frame) {
  const look = frame.look && frame.look.id === id && frame.look.s === s ? frame.look : orbLook(id, s, frame);
  frame.look = null;
  if (!look) return;
  const { person, style, r, sc, root, highlighted } = look;
  const glow = style.glow / 100;
  const own = style.color;
  const colour = orbTintOf(id, person, root, style);
  if (root) {
    const halo = g.createRadialGradient(s.x, s.y, Math.max(2, 0.4 * r), s.x, s.y, r + Math.max(12, 24 * sc));
    halo.addColorStop(0, own ? colour + '99' : `rgba(255,238,148,${0.55 * glow})`);
    halo.addColorStop(0.45, own ? colour + '26' : `rgba(255,219,96,${0.18 * glow})`);
    halo.addColorStop(1, 'rgba(255,211,93,0)');
    g.fillStyle = halo;
    g.beginPath();
    g.arc(s.x, s.y, r + Math.max(12, 24 * sc), 0, Math.PI * 2);
    g.fill();
  }
  g.shadowColor = own || (root ? '#ffe47a' : highlighted ? '#81f9ea' : colour);
  g.shadowBlur = (root ? 31 : highlighted ? 20 : frame.veryLarge ? 3 : frame.large ? 9 : 14) * clamp(sc, 0.65, 1.4) * glow;
  g.beginPath();
  g.arc(s.x, s.y, r + 3 * sc, 0, Math.PI * 2);
  g.fillStyle = root ? '#2a2614' : '#10283b';
  g.fill();
  g.lineWidth = Math.max(0.1, (root ? 4.1 : highlighted ? 3 : 2) * sc * style.ring / 65);
  g.strokeStyle = own || (root ? '#ffd96e' : colour);
  g.stroke();
  if (highlighted && r > 5) {
    g.beginPath();
    g.arc(s.x, s.y, r + (root ? 8 : 5) * sc, 0, Math.PI * 2);
    g.strokeStyle = root ? '#fff0a9' : id === selected ? '#ffe39d' : '#78f6e6';
    g.lineWidth = Math.max(0.5, (root ? 2.2 : 1.35) * sc);
    g.stroke();
  }
  g.shadowBlur = 0;
  g.globalAlpha = root ? 1 : 0.34;
  g.fillStyle = colour;
  g.beginPath();
  g.arc(s.x, s.y, r, 0, Math.PI * 2);
  g.fill();
  g.globalAlpha = 1;
  const pic = r > 10 || (r > 6 && frame.count <= 320) ? portraitOf(id, person) : null;
  if (pic) paintPortrait(g, pic, s.x, s.y, r);
  if (look.effect) paintOrbEffect(g, id, s, r, colour, style, frame.now);
  if (look.labelled) paintOrbTexts(g, id, person, s, r, sc, { root, highlighted, pic, frame });
  frame.hits.push({ id, x: s.x, y: s.y, r: Math.max(5, r + Math.min(24, 10 * sc)), scale: sc });
}

// The labels of the home, selected and focus people always paint, so their places are taken before any
// orb is painted: an ordinary label painted earlier (farther away in 3D) then never lies under them.
function reserveHighlightedLabels(g, pts, frame) {
  for (const id of new Set([frame.root, selected, focus])) {
    const s = id && pts.get(id), person = id && persons.get(id);
    if (!s || !person) continue;
    const r = orbRadius(id, s, personOrbStyle(person), frame);
    if (s.x + r < 0 || s.x - r > w || s.y + r < 0 || s.y - r > h) continue;
    const sc = clamp(s.scale, 0.008, 5);
    const label = fullNameLayout(g, person.name, s.x, s.y + r + Math.max(12, 11 * sc), { root: id === frame.root, priority: true, scale: sc });
    if (label) frame.occupied.push(label.rect);
  }
}

function paintOrbTexts(g, id, person, s, r, sc, o) {
  if (!o.pic && sc > 0.24) {
    g.font = `800 ${Math.max(8, 15 * Math.sqrt(sc))}px system-ui, sans-serif`;
    g.textAlign = 'center';
    g.textBaseline = 'middle';
    g.fillStyle = '#e3fff8';
    g.fillText(initialsOf(person.name), s.x, s.y);
  }
  const label = klnPaintFullName(g, person.name, s.x, s.y + r + Math.max(12, 11 * sc),
    { root: o.root, priority: o.highlighted, scale: sc, occupied: o.frame.occupied });
  if (label.drawn && sc > 0.86 && o.frame.count <= 320) {
    const dates = [person.birth, person.death].filter(Boolean).join(' – ');
    if (dates) {
      g.font = `${Math.max(10, 11 * Math.sqrt(sc))}px system-ui, sans-serif`;
      g.textAlign = 'center';
      g.textBaseline = 'middle';
      g.fillStyle = '#9fc9db';
      g.fillText(dates, s.x, label.bottom + 7);
    }
  }
  const hidden = tucked.get(id) || 0;
  if ((id === selected || id === focus) && hidden > 0 && r >= 11) {
    g.font = `700 ${Math.max(10, 11 * sc)}px system-ui, sans-serif`;
    g.textAlign = 'center';
    g.textBaseline = 'middle';
    g.fillStyle = '#ffd8a8';
    g.fillText('+' + hidden, s.x + r + 13 * sc, s.y - r - 6 * sc);
  }
}
