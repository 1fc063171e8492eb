// Family wheel: the radial menu of actions around a double-clicked orb.
// Owns: no state.

function closeOrbMenu() {
  const menu = $('orbMenu');
  if (menu) menu.classList.add('hidden');
}
