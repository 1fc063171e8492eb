// Tree navigator: the small map of the whole visible family in the corner of the graph.
// Owns: no state.

function installTreeNavigator() {
  onClick('mapToggle', () => $('mapWidget').classList.toggle('collapsed'));
}
