// Family link routing: shared or separate family lines.
// Owns: lineMode.

let lineMode = 'shared';

function setLineMode(mode) {
  lineMode = mode;
  $('lineMode').value = mode;
}
