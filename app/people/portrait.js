// Portraits: choosing a picture file for a person, the portrait editor (position, zoom, rotation, mirror,
// brightness, contrast, colour) and the small square JPEG it stores in the person record; bringing the
// graph-only fullscreen back after a file chooser interrupted it.
// Owns: portraitTarget, photoEditState, portraitFullscreenRestore, portraitInputWired, photoEditorWatched.

let portraitTarget = null;
let photoEditState = null;
let portraitFullscreenRestore = false;
let portraitInputWired = false;
let photoEditorWatched = false;

const PORTRAIT_SIZE = 360;
const PORTRAIT_QUALITY = 0.87;
const PHOTO_CANVAS_SIZE = 350;
const PHOTO_LOAD_FAILED = 'Could not load this photo. Try a JPG or PNG file.';
const PHOTO_EDIT_DEFAULTS = { zoom: 1, dx: 0, dy: 0, rotate: 0, flip: false, brightness: 100, contrast: 100, saturation: 100 };

// Slider id, label, state key, range and step, in the order the editor shows them.
const PHOTO_SLIDERS = [
  ['photoZoom', 'Zoom', 'zoom', 1, 4, 0.05],
  ['photoRotate', 'Rotate', 'rotate', -180, 180, 1],
  ['photoBrightness', 'Brightness', 'brightness', 35, 175, 1],
  ['photoContrast', 'Contrast', 'contrast', 40, 180, 1],
  ['photoSaturation', 'Color', 'saturation', 0, 200, 1],
];

function clearPortraitFullscreenRestore() {
  portraitFullscreenRestore = false;
}

// Asks for an image file for the person; a chosen file opens the editor. The input is emptied before and
// after, so that the same file can be chosen twice in a row.
function choosePortrait(id) {
  if (id === undefined || id === null || !persons.has(id)) return;
  portraitFullscreenRestore = document.body.classList.contains('graph-only');
  portraitTarget = id;
  closeFamilyWheel();
  const input = $('portraitFile');
  wirePortraitInput(input);
  input.value = '';
  input.click();
}

function wirePortraitInput(input) {
  if (portraitInputWired) return;
  portraitInputWired = true;
  input.addEventListener('change', () => {
    const file = input.files && input.files[0];
    const target = portraitTarget;
    input.value = '';
    if (file && persons.has(target)) editPhoto(target, file);
    restorePortraitFullscreen();
  });
  input.addEventListener('cancel', () => {
    input.value = '';
    restorePortraitFullscreen();
    portraitFullscreenRestore = false;
  });
}

// Requests fullscreen again after a file chooser, when graph-only mode is still on.
function restorePortraitFullscreen() {
  if (!portraitFullscreenRestore || !document.body.classList.contains('graph-only')) return;
  if (document.fullscreenElement) {
    portraitFullscreenRestore = false;
    return;
  }
  const root = document.documentElement;
  if (!root.requestFullscreen) return;
  root.requestFullscreen().then(() => {
    portraitFullscreenRestore = false;
    canvasSize();
    renderNeeded = true;
  }).catch(() => {});
}

// Opens the editor with the file, else with the current portrait, else asks for a file.
function editPhoto(id, file) {
  if (id === undefined || id === null || !persons.has(id)) return;
  closeFamilyWheel();
  portraitTarget = id;
  if (file) {
    const reader = new FileReader();
    reader.onload = () => loadPhotoForEditing(id, String(reader.result));
    reader.onerror = () => toast(PHOTO_LOAD_FAILED);
    reader.readAsDataURL(file);
    return;
  }
  const src = photoSrc(persons.get(id).photo);
  if (!src) {
    choosePortrait(id);
    return;
  }
  loadPhotoForEditing(id, src);
}

function loadPhotoForEditing(id, src) {
  const img = new Image();
  img.onload = () => {
    if (!persons.has(id)) return;
    if (!img.naturalWidth || !img.naturalHeight) { toast(PHOTO_LOAD_FAILED); return; }
    openPhotoEditor(id, img);
  };
  img.onerror = () => toast(PHOTO_LOAD_FAILED);
  img.src = src;
}

function openPhotoEditor(id, img) {
  photoEditState = { id, img, ...PHOTO_EDIT_DEFAULTS };
  const sliders = PHOTO_SLIDERS.map(([el, label, key, lo, hi, step]) =>
    '<label class="photo-slider">' + html(label) + '<input type="range" id="' + el + '" data-key="' + key +
    '" min="' + lo + '" max="' + hi + '" step="' + step + '" value="' + PHOTO_EDIT_DEFAULTS[key] + '"></label>').join('');
  modal('Crop & edit portrait',
    '<div class="photo-editor"><div class="photo-stage"><canvas id="photoCanvas" width="' + PHOTO_CANVAS_SIZE +
    '" height="' + PHOTO_CANVAS_SIZE + '" aria-label="Drag to reposition portrait"></canvas></div>' +
    '<div class="photo-controls">' + sliders +
    '<div class="photo-buttons"><button type="button" id="photoFlip">⇄ Flip horizontally</button>' +
    '<button type="button" id="photoReset">↻ Reset edits</button>' +
    '<button type="button" id="photoChooseOther">Choose a different photo</button></div>' +
    '<p class="note">Drag the circular preview to crop and position the face. Save to apply the result to this ' +
    'person\'s orb.</p></div></div>',
    'Save portrait', savePhotoEdit);
  $('modalLayer').querySelector('.modal').classList.add('photo-modal');
  wirePhotoEditor(id);
  watchPhotoEditor();
  photoCanvasDraw();
}

function wirePhotoEditor(id) {
  for (const [el, , key] of PHOTO_SLIDERS) {
    $(el).addEventListener('input', e => {
      if (!photoEditState) return;
      photoEditState[key] = Number(e.target.value);
      photoCanvasDraw();
    });
  }
  $('photoFlip').addEventListener('click', () => {
    if (!photoEditState) return;
    photoEditState.flip = !photoEditState.flip;
    photoCanvasDraw();
  });
  $('photoReset').addEventListener('click', resetPhotoEdits);
  $('photoChooseOther').addEventListener('click', () => choosePortrait(id));
  wirePhotoDrag($('photoCanvas'));
}

function resetPhotoEdits() {
  if (!photoEditState) return;
  Object.assign(photoEditState, PHOTO_EDIT_DEFAULTS);
  for (const [el, , key] of PHOTO_SLIDERS) $(el).value = String(PHOTO_EDIT_DEFAULTS[key]);
  photoCanvasDraw();
}

// Dragging moves the picture by the pointer's movement in canvas pixels, whatever size the canvas is
// shown at; the pointer is captured so that the drag goes on outside the circle.
function wirePhotoDrag(canvas) {
  let drag = null;
  canvas.addEventListener('pointerdown', e => {
    if (!photoEditState || e.button !== 0) return;
    e.preventDefault();
    drag = { pointer: e.pointerId, x: e.clientX, y: e.clientY, dx: photoEditState.dx, dy: photoEditState.dy };
    try { canvas.setPointerCapture(e.pointerId); } catch (err) { /* the pointer is already gone */ }
  });
  canvas.addEventListener('pointermove', e => {
    if (!drag || e.pointerId !== drag.pointer || !photoEditState) return;
    const shown = canvas.getBoundingClientRect().width || PHOTO_CANVAS_SIZE;
    const k = PHOTO_CANVAS_SIZE / shown;
    photoEditState.dx = drag.dx + (e.clientX - drag.x) * k;
    photoEditState.dy = drag.dy + (e.clientY - drag.y) * k;
    photoCanvasDraw();
  });
  const end = e => { if (drag && e.pointerId === drag.pointer) drag = null; };
  canvas.addEventListener('pointerup', end);
  canvas.addEventListener('pointercancel', end);
}

// The editor's state lives only while its dialog is shown: hiding the dialog layer, or another dialog
// taking its place, drops it.
function watchPhotoEditor() {
  if (photoEditorWatched) return;
  photoEditorWatched = true;
  const layer = $('modalLayer');
  new MutationObserver(() => {
    if (photoEditState && (layer.classList.contains('hidden') || !$('photoCanvas'))) photoEditState = null;
  }).observe(layer, { attributes: true, attributeFilter: ['class'], childList: true });
}

// Redraws the editor preview: the picture, its shorter side filling the canvas at zoom 1, moved, turned,
// mirrored and filtered, inside the circle, then the teal outline.
function photoCanvasDraw() {
  const canvas = $('photoCanvas');
  const st = photoEditState;
  if (!canvas || !st) return;
  const g = canvas.getContext('2d');
  const s = PHOTO_CANVAS_SIZE;
  const radius = s / 2 - 2;
  g.save();
  g.clearRect(0, 0, s, s);
  g.beginPath();
  g.arc(s / 2, s / 2, radius, 0, Math.PI * 2);
  g.clip();
  g.fillStyle = '#162b40';
  g.fillRect(0, 0, s, s);
  const width = st.img.naturalWidth, height = st.img.naturalHeight;
  const scale = s / Math.min(width, height) * st.zoom;
  g.translate(s / 2 + st.dx, s / 2 + st.dy);
  g.rotate(st.rotate * Math.PI / 180);
  g.scale(st.flip ? -scale : scale, scale);
  g.filter = `brightness(${st.brightness}%) contrast(${st.contrast}%) saturate(${st.saturation}%)`;
  g.drawImage(st.img, -width / 2, -height / 2, width, height);
  g.restore();
  g.beginPath();
  g.arc(s / 2, s / 2, radius, 0, Math.PI * 2);
  g.strokeStyle = '#78e7d6';
  g.lineWidth = 3;
  g.stroke();
}

// Stores the preview, as shown, as a 360 × 360 JPEG on the person. A picture from another site cannot be
// encoded (the browser marks the canvas as foreign); the dialog then stays open with a message.
function savePhotoEdit() {
  const st = photoEditState;
  if (!st) { closeModal(); return; }
  const id = st.id;
  const person = persons.get(id);
  if (!person) { closeModal(); return; }
  photoCanvasDraw();
  const out = document.createElement('canvas');
  out.width = out.height = PORTRAIT_SIZE;
  out.getContext('2d').drawImage($('photoCanvas'), 0, 0, PORTRAIT_SIZE, PORTRAIT_SIZE);
  let data;
  try {
    data = out.toDataURL('image/jpeg', PORTRAIT_QUALITY);
  } catch (e) {
    console.warn('Could not encode the portrait:', e);
    toast('This picture comes from another website and cannot be edited here. Choose a photo file instead.');
    return;
  }
  person.photo = data;
  portraitCache.delete(id);
  photoEditState = null;
  closeModal();
  setViewState({ selected: id });
  update();
  restorePortraitFullscreen();
  toast('Portrait updated.');
}
