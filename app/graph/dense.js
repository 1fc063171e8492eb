// Dense overview: the renderer for more than 1,100 displayed people. Every person and every link of the
// dense topology stays present at every zoom; lines are batched into one stroke per colour, ordinary dots
// into one fill per colour, and names are kept for the home person, the selected person and large dots.
// Owns: no state.

// Segments batched into one path per colour, dropping those wholly more than 8 pixels off the canvas; the
// first 70 kept are the tracks of the lights, which therefore only run on painted segments.
function paintDenseLines(g, model, pos, colours, now) {
  const batches = new Map(), samples = [];
  const lo = -8, hiX = w + 8, hiY = h + 8;
  eachDenseSegment(model, pos, colours, (x1, y1, x2, y2, color) => {
    if ((x1 < lo && x2 < lo) || (x1 > hiX && x2 > hiX) || (y1 < lo && y2 < lo) || (y1 > hiY && y2 > hiY)) return;
    let path = batches.get(color);
    if (!path) batches.set(color, path = new Path2D());
    path.moveTo(x1, y1);
    path.lineTo(x2, y2);
    if (samples.length < 70) samples.push({ x1, y1, x2, y2, color });
  });
  g.lineWidth = clamp(0.63 + 2 * zoom, 0.5, 1.25);
  g.lineCap = 'round';
  g.globalAlpha = 0.7;
  for (const [color, path] of batches) {
    g.strokeStyle = color;
    g.stroke(path);
  }
  const time = now * 0.00024;
  g.globalAlpha = 0.85;
  for (let i = 0; i < samples.length; i += 2) {
    const s = samples[i];
    const t = (time + 0.083 * i) % 1;
    const x = s.x1 + (s.x2 - s.x1) * t, y = s.y1 + (s.y2 - s.y1) * t;
    if (x < -10 || x > w + 10 || y < -10 || y > h + 10) continue;
    g.fillStyle = s.color;
    g.beginPath();
    g.arc(x, y, 1.55, 0, Math.PI * 2);
    g.fill();
  }
  g.globalAlpha = 1;
}

// Radius, tint and looks of one dot; `custom` marks a person whose own orb style changes the dot.
function denseDot(id, person, s, root, lineColour) {
  const style = person.orbStyle ? personOrbStyle(person) : null;
  const tint = (style && style.color) || lineColour;
  const custom = !!style && (style.effect !== 'none' || !!style.color || style.glow !== 100 || style.size !== 100);
  const isSelected = id === selected;
  let radius = root ? clamp(9 + 4 * s.scale, 5, 11) : isSelected ? 4.5 : plainDotRadius(s.scale);
  if (custom) radius = clamp(radius * style.size / 100, 1.2, 9.5);
  return { id, person, s, root, isSelected, style, tint, custom, radius };
}

function paintSpecialDot(g, d, now, named) {
  const { s, radius, style, tint } = d;
  if (d.custom && style.glow > 0) {
    g.globalAlpha = Math.min(0.27, 0.09 + style.glow / 900);
    g.fillStyle = tint;
    g.beginPath();
    g.arc(s.x, s.y, radius + Math.min(4, 1 + style.glow / 65), 0, Math.PI * 2);
    g.fill();
    g.globalAlpha = 1;
  }
  if (d.root || d.isSelected) { g.shadowColor = d.root ? '#ffdc7a' : '#a3fff0'; g.shadowBlur = 11; }
  g.fillStyle = d.root && !(style && style.color) ? '#ffe18b' : tint;
  g.beginPath();
  g.arc(s.x, s.y, radius, 0, Math.PI * 2);
  g.fill();
  g.shadowBlur = 0;
  const pic = radius >= 4.2 ? portraitOf(d.id, d.person) : null;
  if (pic) paintPortrait(g, pic, s.x, s.y, radius - 0.4);
  if (d.custom && style.effect !== 'none') {
    const angle = now * 0.001 * style.speed / 100 + 0.23 * d.id.charCodeAt(0);
    g.globalAlpha = 0.85;
    g.fillStyle = tint;
    g.beginPath();
    g.arc(s.x + Math.cos(angle) * (radius + 3), s.y + Math.sin(angle) * (radius + 3), clamp(0.4 * radius, 0.7, 1.8), 0, Math.PI * 2);
    g.fill();
    g.globalAlpha = 1;
  }
  if (named) klnPaintFullName(g, d.person.name, s.x, s.y + radius + 12, { dense: true, root: d.root, priority: d.isSelected, scale: s.scale, occupied: named });
}

function plainDotRadius(scale) {
  return clamp(1.25 + 1.7 * Math.sqrt(Math.max(0.001, scale)), 1.35, 2.65);
}

// Phases: the model of the family (cached) and this frame's points and colours; segments batched by
// colour with lights; dots near the canvas, far first in 3D, ordinary ones filled per colour (dots under
// 1.8 pixels as squares of the same area, which cost far less and look the same) and special ones (home,
// selected, styled, portraits) one by one over them; names where allowed; the pick list; the hover box
// and the navigator.
function klnDrawDenseOverview(ids) {
  const g = $('tree').getContext('2d');
  const now = performance.now();
  const layout = buildLayout(ids);
  refreshFrameColours();
  const model = denseModel(ids, layout);
  const pos = projectDense(model);
  const colours = denseColours(model);
  paintDenseLines(g, model, pos, colours, now);
  const { xs, ys, scales, depths } = pos;
  const root = activeRootPersonId();
  let onScreen = [];
  for (let i = 0; i < xs.length; i++) {
    if (xs[i] >= -16 && xs[i] <= w + 16 && ys[i] >= -16 && ys[i] <= h + 16) onScreen.push(i);
  }
  if (mode3) onScreen.sort((a, b) => depths[b] - depths[a]);
  const plain = new Map(), special = [];
  const addPlain = (x, y, radius, tint) => {
    let path = plain.get(tint);
    if (!path) plain.set(tint, path = new Path2D());
    if (radius < 1.8) {
      const half = radius * 0.886;
      path.rect(x - half, y - half, 2 * half, 2 * half);
    } else {
      path.moveTo(x + radius, y);
      path.arc(x, y, radius, 0, Math.PI * 2);
    }
  };
  for (const i of onScreen) {
    const id = model.order[i], person = model.people[i];
    const x = xs[i], y = ys[i], scale = scales[i];
    if (id === root || id === selected || person.orbStyle || person.photo) {
      const d = denseDot(id, person, { x, y, scale, depth: depths[i] }, id === root, colours[i]);
      hitNodes.push({ id, x, y, r: Math.max(5, d.radius + 2), scale });
      if (d.root || d.isSelected || d.custom || (d.radius >= 4.2 && photoSrc(person.photo))) special.push(d);
      else addPlain(x, y, d.radius, d.tint);
      continue;
    }
    const radius = plainDotRadius(scale);
    hitNodes.push({ id, x, y, r: Math.max(5, radius + 2), scale });
    addPlain(x, y, radius, colours[i]);
  }
  for (const [tint, path] of plain) {
    g.fillStyle = tint;
    g.fill(path);
  }
  const fewDots = onScreen.length < 190;
  const occupied = [];
  for (const d of special) paintSpecialDot(g, d, now, d.root || d.isSelected || (fewDots && d.radius >= 5.5) ? occupied : null);
  klnDrawHoveredFullName();
  showNavigator(ids, layout);
}
