// Family line colours: the coloured-branches preference and the colour caches.
// Owns: coloredBranches, branchState, lineageColorMemo, visibleLineageColors, COLORED_BRANCHES_KEY.

const COLORED_BRANCHES_KEY = 'sollary-genealogy-colored-branches';

let branchState = { key: '' };
let lineageColorMemo = { key: '', colors: new Map() };
let visibleLineageColors = { key: '', colors: new Map() };
let coloredBranches = readColoredBranches();

function readColoredBranches() {
  try {
    return localStorage.getItem(COLORED_BRANCHES_KEY) !== '0';
  } catch (e) {
    console.warn('Could not read the coloured-branches preference:', e);
    return true;
  }
}

function installRadialAndLineControls() {
  const toggle = $('coloredBranchesToggle');
  toggle.checked = coloredBranches;
  toggle.addEventListener('change', () => {
    coloredBranches = toggle.checked;
    try {
      localStorage.setItem(COLORED_BRANCHES_KEY, coloredBranches ? '1' : '0');
    } catch (e) {
      console.warn('Could not store the coloured-branches preference:', e);
    }
    renderNeeded = true;
  });
}
