// Orb styles: the normalised look of one person's orb (size, glow, outline, fixed colour, animated effect),
// the orb's tint, and the drawing of the animated effects around an orb.
// Owns: ORB_STYLE_DEFAULT, ORB_EFFECTS, ORB_STYLE_RANGES, orbStyleMemo.

const ORB_STYLE_DEFAULT = Object.freeze({ size: 100, glow: 100, ring: 65, effect: 'none', density: 9, speed: 100, color: null });
const ORB_EFFECTS = ['none', 'sparkles', 'stardust', 'fireflies', 'orbit', 'comet', 'pulse', 'aurora'];
const ORB_STYLE_RANGES = { size: [60, 230], glow: [0, 230], ring: [0, 110], density: [2, 24], speed: [20, 240] };
const ORB_HOME_GOLD = '#efc85d';
const GOLDEN_ANGLE = 2.39996322972865;

// A stored number as the platform converts text (empty text and null count as 0), clamped to its range;
// anything that is not finite after conversion takes the default. Objects and symbols never reach Number
// with a conversion of their own.
function orbStyleNumber(value, key) {
  const [lo, hi] = ORB_STYLE_RANGES[key];
  const kind = typeof value;
  const n = kind === 'number' || kind === 'string' || kind === 'boolean' || value === null ? Number(value) : NaN;
  return Number.isFinite(n) ? Math.min(hi, Math.max(lo, n)) : ORB_STYLE_DEFAULT[key];
}

function orbStyleColour(value) {
  return typeof value === 'string' && /^#[0-9a-f]{6}$/i.test(value) ? value : null;
}

// Normalised styles by stored style object, with the stored values they were made from: a frame reads
// each orb's style several times, and comparing seven values is cheaper than normalising them again.
let orbStyleMemo = new WeakMap();
const ORB_STYLE_KEYS = ['size', 'glow', 'ring', 'effect', 'density', 'speed', 'color'];

function ownValue(object, key) {
  return Object.prototype.hasOwnProperty.call(object, key) ? object[key] : undefined;
}

// Plain reads, not own-property tests: a value the memo took as missing (undefined) equals a plain read only
// when nothing else is inherited under that key, so every answer of true is still exact; a frame reads each
// orb's style several times, so this test is on the painting's path.
function sameStoredStyle(v, raw) {
  return Object.is(v[0], raw.size) && Object.is(v[1], raw.glow) && Object.is(v[2], raw.ring) && Object.is(v[3], raw.effect) &&
    Object.is(v[4], raw.density) && Object.is(v[5], raw.speed) && Object.is(v[6], raw.color);
}

// The normalised style of a person: every missing or broken value replaced, so a stored style painted
// anywhere is always within range and never carries text that is not a colour. The result is shared and
// frozen; copy it to change it.
function orbStyleOf(person) {
  const raw = person && typeof person.orbStyle === 'object' && person.orbStyle ? person.orbStyle : null;
  if (!raw) return ORB_STYLE_DEFAULT;
  const memo = orbStyleMemo.get(raw);
  if (memo && sameStoredStyle(memo.values, raw)) return memo.style;
  const values = ORB_STYLE_KEYS.map(key => ownValue(raw, key));
  const [size, glow, ring, effect, density, speed, color] = values;
  const style = Object.freeze({
    size: orbStyleNumber(size, 'size'), glow: orbStyleNumber(glow, 'glow'), ring: orbStyleNumber(ring, 'ring'),
    effect: typeof effect === 'string' && ORB_EFFECTS.includes(effect) ? effect : 'none',
    density: orbStyleNumber(density, 'density'), speed: orbStyleNumber(speed, 'speed'), color: orbStyleColour(color),
  });
  orbStyleMemo.set(raw, { values, style });
  return style;
}

// The orb colour: the style's own colour, else gold for the home person, else the family colour.
function orbTint(id, person, root) {
  const own = orbStyleOf(person).color;
  if (own) return own;
  return root ? ORB_HOME_GOLD : familyColourOf(id);
}

function glowParticle(g, x, y, r, color, bright = 1) {
  glowParticles(g, [x, y, r], color, bright);
}

// Many glowing dots of one colour and brightness as one filled path: the same look as glowParticle for
// each, but one shadow pass for the lot, which keeps 24 dots per orb affordable on every frame.
// `dots` is a flat list x, y, r, x, y, r, ...
function glowParticles(g, dots, color, bright = 1) {
  if (!dots.length) return;
  g.save();
  g.shadowColor = color;
  g.shadowBlur = 8 * bright;
  g.fillStyle = color;
  g.globalAlpha = Math.min(1, 0.65 + 0.24 * bright);
  g.beginPath();
  for (let i = 0; i < dots.length; i += 3) {
    const r = Math.max(0.65, dots[i + 2]);
    g.moveTo(dots[i] + r, dots[i + 1]);
    g.arc(dots[i], dots[i + 1], r, 0, Math.PI * 2);
  }
  g.fill();
  g.restore();
}

// The person's own phase in radians: a 32-bit hash of the id's UTF-16 units, so relatives never pulse
// in step and a person's pattern is the same on every run.
function orbFxPhase(id) {
  const text = String(id == null ? '' : id);
  let hash = 0;
  for (let i = 0; i < text.length; i++) hash = (Math.imul(hash, 31) + text.charCodeAt(i)) | 0;
  return ((hash >>> 0) % 1000) / 1000 * Math.PI * 2;
}

// The animated effect of a style around an orb at screen centre s (with its projection scale), radius r
// in pixels, at `time` milliseconds. Positions follow only from the id's phase and the time: no random
// numbers, at most 24 particles. The context is left as it was found.
function drawOrbFx(g, id, s, r, color, style, time) {
  const st = style || ORB_STYLE_DEFAULT;
  const effect = ORB_EFFECTS.includes(st.effect) ? st.effect : 'none';
  if (effect === 'none' || !(r >= 2)) return;
  const phase = orbFxPhase(id);
  const t = (Number(time) || 0) / 1000 * orbStyleNumber(st.speed, 'speed') / 100;
  const count = Math.min(24, Math.ceil(orbStyleNumber(st.density, 'density')));
  const scale = Number.isFinite(s.scale) ? s.scale : 1;
  const spread = r + Math.max(5, 7 * scale);
  g.save();
  if (effect === 'pulse' || effect === 'aurora') drawRingFx(g, effect, s, r, color, t, phase, scale);
  else if (effect === 'orbit' || effect === 'comet') drawOrbitFx(g, effect, s, color, t, phase, count, spread);
  else drawParticleFx(g, effect, s, color, t, phase, count, spread);
  g.restore();
}

// How far from the orb's centre the effect of a style may paint, glow included (a shadow fades out within
// twice its blur); 0 when there is none. Mirrors the painters below.
function orbFxReach(style, r, s) {
  const effect = style.effect;
  if (effect === 'none' || !ORB_EFFECTS.includes(effect) || !(r >= 2)) return 0;
  const scale = Number.isFinite(s.scale) ? s.scale : 1;
  const spread = r + Math.max(5, 7 * scale);
  const line = Math.max(1, 1.5 * scale) / 2;
  if (effect === 'pulse') return r + 6 + 12 + line + 2 * 14;
  if (effect === 'aurora') return r + 6 + 19 + line + 2 * 22;
  if (effect === 'orbit' || effect === 'comet') return spread + 6 + 2.8 + 2 * 8 * 1.4 + 1;
  return spread + 12 + 10 + 5 + 4 + 1.8 + 2 * 8 * 0.55 + 1;
}

function drawRingFx(g, effect, s, r, color, t, phase, scale) {
  const wave = (Math.sin(2.2 * t + phase) + 1) / 2;
  const aurora = effect === 'aurora';
  const rr = r + 6 + wave * (aurora ? 19 : 12);
  g.strokeStyle = color;
  g.lineWidth = Math.max(1, 1.5 * scale);
  g.shadowColor = color;
  g.shadowBlur = (aurora ? 22 : 14) * wave;
  g.globalAlpha = 0.15 + 0.40 * wave;
  g.beginPath();
  g.arc(s.x, s.y, rr, 0, Math.PI * 2);
  g.stroke();
  if (!aurora) return;
  // The glow belongs to the main ring; the fainter rings around it are plain strokes.
  g.shadowBlur = 0;
  for (let k = 0; k < 3; k++) {
    g.globalAlpha = (0.12 + 0.17 * wave) / (k + 1);
    g.beginPath();
    g.arc(s.x, s.y, Math.max(0, rr + 8 * k + 3 * Math.sin(1.3 * t + k + phase)), 0, Math.PI * 2);
    g.stroke();
  }
}

function drawOrbitFx(g, effect, s, color, t, phase, count, spread) {
  const comet = effect === 'comet';
  const rx = spread + 6, ry = 0.65 * spread;
  g.globalAlpha = 0.25;
  g.strokeStyle = color;
  g.lineWidth = 1.1;
  g.beginPath();
  g.ellipse(s.x, s.y, rx, ry, phase, 0, Math.PI * 2);
  g.stroke();
  g.globalAlpha = 1;
  const groups = Math.max(1, Math.ceil(count / 4));
  const lights = comet ? 1 : Math.min(4, groups);
  const lightDots = [], trailDots = [];
  for (let k = 0; k < lights; k++) {
    const a = t * (comet ? 1.5 : 1) + 2 * Math.PI * k / groups + phase;
    lightDots.push(s.x + Math.cos(a) * rx, s.y + Math.sin(a) * ry, comet ? 2.8 : 2.1);
    if (!comet) continue;
    for (let j = 1; j <= 5; j++) {
      const b = a - 0.09 * j;
      trailDots.push(s.x + Math.cos(b) * rx, s.y + Math.sin(b) * ry, Math.max(0.6, 2.4 - 0.39 * j));
    }
  }
  glowParticles(g, lightDots, color, 1.4);
  glowParticles(g, trailDots, color, 0.5);
}

function drawParticleFx(g, effect, s, color, t, phase, count, spread) {
  const turn = effect === 'stardust' ? 0.17 * t : effect === 'fireflies' ? 0.3 * t : 0;
  const speed = effect === 'fireflies' ? 1.45 : 2;
  const lift = effect === 'fireflies' ? 5 : 2;
  const size = effect === 'sparkles' ? 1.4 : effect === 'stardust' ? 1.3 : 1.8;
  const dots = [], crosses = [];
  for (let k = 0; k < count; k++) {
    const angle = k * GOLDEN_ANGLE + phase + turn;
    const wave = Math.sin(t * speed + 1.8 * k + phase);
    let distance = spread + 4 * (k % 4);
    if (effect === 'stardust') distance += 10 * Math.sin(0.7 * t + 1.3 * k);
    const x = s.x + Math.cos(angle) * distance;
    const y = s.y + Math.sin(angle) * distance + wave * lift;
    dots.push(x, y, size * (0.65 + 0.35 * Math.abs(wave)));
    if (effect === 'sparkles' && k % 3 === 0) crosses.push(x, y, 0.38 + 0.52 * (0.5 + 0.5 * wave));
  }
  glowParticles(g, dots, color, 0.55);
  g.strokeStyle = color;
  g.lineWidth = 0.85;
  for (let i = 0; i < crosses.length; i += 3) {
    const x = crosses[i], y = crosses[i + 1];
    g.globalAlpha = crosses[i + 2];
    g.beginPath();
    g.moveTo(x - 4, y);
    g.lineTo(x + 4, y);
    g.moveTo(x, y - 4);
    g.lineTo(x, y + 4);
    g.stroke();
  }
  g.globalAlpha = 1;
}
