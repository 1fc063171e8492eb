// Star field: the still sky on the `stars` canvas behind the graph.
// Owns: no state.

// A fixed pseudo-random sequence, so that the same stars come back after every resize.
function starRandom(seed) {
  const v = Math.sin(12.9898 * seed) * 43758.5453;
  return v - Math.floor(v);
}

function drawStars() {
  const canvas = $('stars');
  const g = canvas.getContext('2d');
  g.setTransform(device, 0, 0, device, 0, 0);
  g.clearRect(0, 0, w, h);
  for (let i = 0; i < 170; i++) {
    g.fillStyle = `rgba(147, 197, 226, ${0.09 + 0.43 * starRandom(i + 23)})`;
    g.beginPath();
    g.arc(starRandom(i + 13) * w, starRandom(i + 914) * h, 0.3 + 1.6 * starRandom(i + 222), 0, Math.PI * 2);
    g.fill();
  }
}
