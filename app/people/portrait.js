// Portraits: choosing a picture file for a person and storing it as a small square JPEG in the record.
// Owns: portraitTarget, portraitInputWired.

let portraitTarget = null;
let portraitInputWired = false;

const PORTRAIT_SIZE = 360;

function choosePortrait(id) {
  if (id === undefined || id === null || !persons.has(id)) return;
  portraitTarget = id;
  if (typeof hideOrbMenu === 'function') hideOrbMenu(); else closeOrbMenu();
  const input = $('portraitFile');
  if (!portraitInputWired) {
    portraitInputWired = true;
    input.addEventListener('change', () => {
      const file = input.files && input.files[0];
      const target = portraitTarget;
      input.value = '';
      if (file && persons.has(target)) editPhoto(target, file);
    });
  }
  input.value = '';
  input.click();
}

// Centres the picture in a square, scales it to PORTRAIT_SIZE and stores it on the person.
function editPhoto(id, file) {
  if (!persons.has(id)) return;
  if (!file) {
    choosePortrait(id);
    return;
  }
  const reader = new FileReader();
  reader.onload = () => {
    const img = new Image();
    img.onload = () => {
      const side = Math.min(img.naturalWidth, img.naturalHeight);
      const canvas = document.createElement('canvas');
      canvas.width = canvas.height = PORTRAIT_SIZE;
      canvas.getContext('2d').drawImage(img, (img.naturalWidth - side) / 2, (img.naturalHeight - side) / 2,
        side, side, 0, 0, PORTRAIT_SIZE, PORTRAIT_SIZE);
      const p = persons.get(id);
      if (!p) return;
      p.photo = canvas.toDataURL('image/jpeg', 0.87);
      update();
    };
    img.onerror = () => toast('Could not load this photo. Try a JPG or PNG file.');
    img.src = String(reader.result);
  };
  reader.onerror = () => toast('Could not load this photo. Try a JPG or PNG file.');
  reader.readAsDataURL(file);
}
