// Orb studio: the dialog that edits one person's orb style with a live animated preview, and sets or
// clears the custom colour of the person's paternal family line.
// Owns: orbStudioState.

// {id, draft, lineDraft, head} while the studio is open, else null.
let orbStudioState = null;

const ORB_LINE_DEFAULT = '#64ddd5';
const ORB_STUDIO_W = 420;
const ORB_STUDIO_H = 260;

// Slider id, label, style key, range and whether its value shows with "%", in the order shown.
const ORB_STUDIO_SLIDERS = {
  size: ['orbSize', 'Orb size', 60, 230, true],
  glow: ['orbGlow', 'Glow intensity', 0, 230, true],
  ring: ['orbRing', 'Outline strength', 0, 110, true],
  density: ['orbDensity', 'Particles', 2, 24, false],
  speed: ['orbSpeed', 'Animation speed', 20, 240, true],
};

const ORB_EFFECT_LABELS = ['None · classic glow', 'Sparkles ✦', 'Stardust ✧', 'Fireflies', 'Orbiting lights',
  'Comet trail', 'Breathing pulse', 'Aurora rings'];

const ORB_PRESETS = {
  orbPresetStarlight: { size: 115, glow: 160, ring: 65, effect: 'sparkles', density: 16, speed: 90 },
  orbPresetCelestial: { size: 135, glow: 205, ring: 85, effect: 'aurora', density: 7, speed: 85 },
  orbPresetFireflies: { size: 106, glow: 135, ring: 65, effect: 'fireflies', density: 16, speed: 65 },
};

function isBranchHex(value) {
  return typeof validBranchHex === 'function' ? validBranchHex(value) : typeof value === 'string' && /^#[0-9a-f]{6}$/i.test(value);
}

function lineHeadOf(id) {
  const head = typeof fatherLineHead === 'function' ? fatherLineHead(id) : id;
  return persons.has(head) ? head : null;
}

// Any colour text the canvas understands as "#rrggbb" for a colour field; `fallback` when it is none.
function colourFieldValue(colour, fallback) {
  if (isBranchHex(colour)) return colour.toLowerCase();
  const g = document.createElement('canvas').getContext('2d');
  g.fillStyle = '#010203';
  g.fillStyle = String(colour || '');
  const out = g.fillStyle;
  return /^#[0-9a-f]{6}$/i.test(out) && out !== '#010203' ? out : fallback;
}

function sliderMarkup(key, value) {
  const [el, label, lo, hi, percent] = ORB_STUDIO_SLIDERS[key];
  return '<label class="orb-slider"><span>' + html(label) + ' <b id="' + el + 'Value">' + html(String(value) +
    (percent ? '%' : '')) + '</b></span><input type="range" id="' + el + '" data-key="' + key + '" min="' + lo +
    '" max="' + hi + '" step="1" value="' + value + '"></label>';
}

function colourRowMarkup(o) {
  return '<div class="orb-colour-row"><span class="orb-row-title">' + html(o.title) + '</span>' +
    '<label class="check"><input type="checkbox" id="' + o.box + '"' + (o.ticked ? ' checked' : '') + '> ' +
    html(o.boxLabel) + '</label><input type="color" id="' + o.field + '" value="' + html(o.value) + '" title="' +
    html(o.hover) + '"><button type="button" class="orb-choose" id="' + o.field + 'Choose">Choose</button></div>';
}

// Opens the studio for a person: a draft of the style and of the line colour, changed by the controls and
// painted in the preview on every frame; only "Save orb style" writes them.
function openOrbStudio(id) {
  const person = persons.get(id);
  if (!person) return;
  closeFamilyWheel();
  const head = lineHeadOf(id);
  const headColour = head ? persons.get(head).branchLineColor : null;
  const draft = { ...orbStyleOf(person) };
  orbStudioState = { id, draft, lineDraft: isBranchHex(headColour) ? headColour : null, head };
  const effects = ORB_EFFECTS.map((name, i) => '<option value="' + name + '"' + (draft.effect === name ? ' selected' : '') +
    '>' + html(ORB_EFFECT_LABELS[i]) + '</option>').join('');
  modal('Customize orb · ' + (person.name || ''),
    '<div class="orb-studio"><canvas id="orbStudioCanvas" width="' + ORB_STUDIO_W + '" height="' + ORB_STUDIO_H +
    '"></canvas><p class="note orb-caption">Live preview · applies only to this person</p>' +
    '<div class="orb-controls">' + sliderMarkup('size', draft.size) + sliderMarkup('glow', draft.glow) +
    sliderMarkup('ring', draft.ring) +
    colourRowMarkup({ title: 'Orb color', box: 'orbUseFamilyColor', boxLabel: 'Follow family color', ticked: !draft.color,
      field: 'orbCustomColor', value: draft.color || colourFieldValue(familyColourOf(id), ORB_LINE_DEFAULT),
      hover: 'Click once to customize this orb\'s color' }) +
    colourRowMarkup({ title: 'Family branch / line color', box: 'orbAutoLineColor', boxLabel: 'Automatic paternal-line color',
      ticked: !orbStudioState.lineDraft, field: 'orbLineCustomColor', value: orbStudioState.lineDraft || ORB_LINE_DEFAULT,
      hover: 'Click once to customize this family line\'s color' }) +
    '<p class="note">Changes this profile\'s recorded family line and its descendants. Children follow their ' +
    'father\'s line; if no father is recorded, they follow their mother\'s. The other parent keeps a separate family ' +
    'color. Use Orb color above to style only this profile.</p>' +
    '<label class="orb-slider"><span>Magical effect</span><select id="orbEffect">' + effects + '</select></label>' +
    sliderMarkup('density', draft.density) + sliderMarkup('speed', draft.speed) +
    '<div class="orb-presets"><button type="button" id="orbPresetStarlight">✦ Starlight</button>' +
    '<button type="button" id="orbPresetCelestial">☀ Celestial</button>' +
    '<button type="button" id="orbPresetFireflies">✧ Fireflies</button>' +
    '<button type="button" id="orbPresetReset">Reset this orb</button></div>' +
    '<p class="note">Each person\'s settings are saved in your tree and exported with backups. Effects stay ' +
    'independent of the Colored branches switch.</p></div></div>',
    'Save orb style', saveOrbStudio);
  $('modalLayer').querySelector('.modal').classList.add('orb-studio-modal');
  wireOrbStudio();
  const open = orbStudioState;
  requestAnimationFrame(() => orbStudioFrame(open));
}

function wireOrbStudio() {
  for (const key of Object.keys(ORB_STUDIO_SLIDERS)) {
    $(ORB_STUDIO_SLIDERS[key][0]).addEventListener('input', e => {
      if (!orbStudioState) return;
      orbStudioState.draft[key] = Number(e.target.value);
      showSliderValue(key);
    });
  }
  $('orbEffect').addEventListener('change', e => { if (orbStudioState) orbStudioState.draft.effect = e.target.value; });
  $('orbEffect').addEventListener('input', e => { if (orbStudioState) orbStudioState.draft.effect = e.target.value; });
  wireColourRow('orbUseFamilyColor', 'orbCustomColor', v => { orbStudioState.draft.color = v; });
  wireColourRow('orbAutoLineColor', 'orbLineCustomColor', v => { orbStudioState.lineDraft = v; });
  for (const button of Object.keys(ORB_PRESETS)) {
    $(button).addEventListener('click', () => {
      if (!orbStudioState) return;
      Object.assign(orbStudioState.draft, ORB_PRESETS[button]);
      showOrbDraft();
    });
  }
  $('orbPresetReset').addEventListener('click', () => {
    if (!orbStudioState) return;
    orbStudioState.draft = { ...ORB_STYLE_DEFAULT };
    showOrbDraft();
  });
}

// A colour row: the box ticked means "automatic" (null); touching or changing the field, or "Choose",
// unticks it and takes the field's colour. "Choose" opens the colour chooser itself where it can.
function wireColourRow(boxId, fieldId, set) {
  const box = $(boxId), field = $(fieldId);
  const takeField = () => {
    if (!orbStudioState) return;
    box.checked = false;
    set(field.value.toLowerCase());
  };
  box.addEventListener('change', () => {
    if (!orbStudioState) return;
    set(box.checked ? null : field.value.toLowerCase());
  });
  field.addEventListener('pointerdown', takeField);
  field.addEventListener('input', takeField);
  field.addEventListener('change', takeField);
  $(fieldId + 'Choose').addEventListener('click', () => {
    takeField();
    try {
      if (typeof field.showPicker === 'function') { field.showPicker(); return; }
    } catch (e) {
      // Some browsers refuse to open the chooser this way; a click on the field opens it.
    }
    field.click();
  });
}

function showSliderValue(key) {
  const [el, , , , percent] = ORB_STUDIO_SLIDERS[key];
  const value = orbStudioState.draft[key];
  $(el).value = String(value);
  $(el + 'Value').textContent = String(value) + (percent ? '%' : '');
}

// Sets every control from the draft (after a preset or a reset).
function showOrbDraft() {
  const draft = orbStudioState.draft;
  for (const key of Object.keys(ORB_STUDIO_SLIDERS)) showSliderValue(key);
  $('orbEffect').value = draft.effect;
  $('orbUseFamilyColor').checked = !draft.color;
  if (draft.color) $('orbCustomColor').value = draft.color;
}

// One preview frame, then the next, for as long as this studio is the open one and its canvas is shown.
function orbStudioFrame(st) {
  if (orbStudioState !== st) return;
  if (!$('orbStudioCanvas')) { orbStudioState = null; return; }
  drawOrbStudioPreview(st.id, st.draft, st.lineDraft);
  requestAnimationFrame(() => orbStudioFrame(st));
}

// The preview: a small sky, two family lines in the line colour, the orb with its halo, portrait or
// initials and effect, and the full name below.
function drawOrbStudioPreview(id, style, lineColor) {
  const canvas = $('orbStudioCanvas');
  const person = persons.get(id);
  if (!canvas || !person) return;
  const g = canvas.getContext('2d');
  const st = orbStyleOf({ orbStyle: style });
  g.save();
  g.fillStyle = '#0b1c30';
  g.fillRect(0, 0, ORB_STUDIO_W, ORB_STUDIO_H);
  g.fillStyle = 'rgba(180,219,245,.20)';
  for (let i = 0; i < 32; i++) {
    g.beginPath();
    g.arc((97 * i + 19) % ORB_STUDIO_W, (43 * i + 71) % ORB_STUDIO_H, 1.2, 0, Math.PI * 2);
    g.fill();
  }
  const ink = lineColor || familyColourOf(id);
  const tint = st.color || (id === activeRootPersonId() ? ORB_HOME_GOLD : ink);
  g.strokeStyle = ink;
  g.lineWidth = 2.5;
  g.shadowColor = ink;
  g.shadowBlur = 7;
  g.beginPath();
  g.moveTo(210, 15);
  g.bezierCurveTo(210, 55, 120, 63, 210, 104);
  g.moveTo(210, 156);
  g.bezierCurveTo(220, 190, 305, 190, 328, 246);
  g.stroke();
  const cx = 210, cy = 130, r = 36 * st.size / 100;
  g.shadowColor = tint;
  g.shadowBlur = 25 * st.glow / 100;
  g.globalAlpha = 0.27;
  g.fillStyle = tint;
  g.beginPath();
  g.arc(cx, cy, r + 4, 0, Math.PI * 2);
  g.fill();
  g.globalAlpha = 1;
  g.shadowBlur = 0;
  g.fillStyle = '#133347';
  g.strokeStyle = tint;
  g.lineWidth = Math.max(0.5, 0.07 * st.ring);
  g.beginPath();
  g.arc(cx, cy, r, 0, Math.PI * 2);
  g.fill();
  g.stroke();
  const pic = portraitOf(id, person);
  if (pic) paintPortrait(g, pic, cx, cy, r - 2);
  else {
    g.font = `800 ${Math.max(17, 0.7 * r)}px system-ui, sans-serif`;
    g.textAlign = 'center';
    g.textBaseline = 'middle';
    g.fillStyle = '#e6fffb';
    g.fillText(typeof initials === 'function' ? initials(person.name) : initialsOf(person.name), cx, cy);
  }
  drawOrbFx(g, id, { x: cx, y: cy, scale: 1 }, r, tint, st, performance.now());
  g.font = 'bold 13px system-ui, sans-serif';
  g.textAlign = 'center';
  g.textBaseline = 'alphabetic';
  g.lineJoin = 'round';
  g.lineWidth = 3;
  g.strokeStyle = 'rgba(4,12,26,.96)';
  g.fillStyle = '#f3f8ff';
  const lines = klnFullNameLines(g, person.name, 392);
  lines.forEach((line, i) => {
    const y = ORB_STUDIO_H - 14 - 17 * (lines.length - 1 - i);
    g.strokeText(line, cx, y);
    g.fillText(line, cx, y);
  });
  g.restore();
}

// Writes the whole draft as the person's style and the line draft on the line head, then refreshes.
function saveOrbStudio() {
  const st = orbStudioState;
  const person = st && persons.get(st.id);
  if (!person) { orbStudioState = null; closeModal(); return; }
  person.orbStyle = { ...orbStyleOf({ orbStyle: st.draft }) };
  const head = st.head && persons.get(st.head);
  if (head) {
    if (st.lineDraft && isBranchHex(st.lineDraft)) head.branchLineColor = st.lineDraft;
    else delete head.branchLineColor;
  }
  orbStudioState = null;
  closeModal();
  if (typeof lineageColorMemo === 'object' && lineageColorMemo) lineageColorMemo.key = '';
  scheduleSave();
  update();
  toast('Orb and family line appearance saved for ' + (person.name || ''));
}
