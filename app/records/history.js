// Edit history. This minimal version records nothing; the buttons report that there is nothing to undo.
// Owns: klnHistory.

let klnHistory = { tree: null, base: null, key: '', pending: null, undo: [], redo: [], timer: null, restoring: false };

function klnQueueHistoryMutation() {}

function klnResetEditHistory() {}

function klnUndo() {
  toast('Nothing to undo.');
}

function klnRedo() {
  toast('Nothing to redo.');
}

function klnInstallUndoRedo() {
  onClick('klnUndoBtn', klnUndo);
  onClick('klnRedoBtn', klnRedo);
}
