// Graph painting: the frame loop, the star field and the orbs of the visible family.
// Owns: hitNodes.

let hitNodes = [];

function animate(t) {
  draw();
  requestAnimationFrame(animate);
}

// A fixed pseudo-random sky, the same at every size, so resizing never makes stars jump.
function drawStars() {
  const c = $('stars');
  const g = c.getContext('2d');
  g.setTransform(device, 0, 0, device, 0, 0);
  g.clearRect(0, 0, w, h);
  let seed = 7;
  const next = () => (seed = (seed * 16807) % 2147483647) / 2147483647;
  const count = Math.round((w * h) / 5200);
  for (let i = 0; i < count; i++) {
    const x = next() * w, y = next() * h, r = next() * 1.2 + 0.2, a = next() * 0.6 + 0.15;
    g.fillStyle = next() > 0.85 ? `rgba(180,255,245,${a})` : `rgba(220,235,255,${a})`;
    g.beginPath();
    g.arc(x, y, r, 0, Math.PI * 2);
    g.fill();
  }
}

function draw() {
  if (!renderNeeded) return;
  renderNeeded = false;
  const c = $('tree');
  const g = c.getContext('2d');
  g.setTransform(device, 0, 0, device, 0, 0);
  g.clearRect(0, 0, w, h);
  const ids = displayed();
  const layout = buildLayout(ids);
  hitNodes = [];
  g.lineWidth = 1.5;
  g.strokeStyle = 'rgba(140,186,255,.35)';
  for (const e of edges) {
    const a = layout.get(e.a), b = layout.get(e.b);
    if (!a || !b || e.type === 'sibling') continue;
    const pa = project(a), pb = project(b);
    g.beginPath();
    g.moveTo(pa.x, pa.y);
    g.lineTo(pb.x, pb.y);
    g.stroke();
  }
  for (const id of ids) {
    const point = layout.get(id);
    if (!point) continue;
    const p = project(point);
    const r = 26 * zoom;
    const glow = g.createRadialGradient(p.x - r * 0.3, p.y - r * 0.3, r * 0.1, p.x, p.y, r);
    glow.addColorStop(0, '#e8fffb');
    glow.addColorStop(0.45, id === selected ? '#e9c28f' : '#71e6d7');
    glow.addColorStop(1, 'rgba(15,60,70,.9)');
    g.fillStyle = glow;
    g.beginPath();
    g.arc(p.x, p.y, r, 0, Math.PI * 2);
    g.fill();
    g.fillStyle = '#ecf5ff';
    g.font = `${Math.max(10, 13 * zoom)}px system-ui, sans-serif`;
    g.textAlign = 'center';
    g.fillText(persons.get(id).name, p.x, p.y + r + 16 * zoom);
    hitNodes.push({ id, x: p.x, y: p.y, r });
  }
}

function nearest(x, y) {
  for (let i = hitNodes.length - 1; i >= 0; i--) {
    const n = hitNodes[i];
    if ((n.x - x) ** 2 + (n.y - y) ** 2 <= n.r * n.r) return n.id;
  }
  return null;
}
