// The uninstaller's two stages: the switch that selects the cleanup stage, and the name of the
// temporary copy that runs it.
#pragma once
#include "common/wtext.h"

constexpr wchar_t kCleanupSwitch[] = L"--cleanup";

// The cleanup stage runs when "--cleanup" occurs anywhere in the command line, even inside a word.
inline bool isCleanupStage(const wchar_t* commandLine) { return contains(commandLine, kCleanupSwitch); }

// tempFolder (which ends with a separator) + "KLN_Uninstaller" + process id + ".exe".
inline void appendTempCopyPath(WBuf& out, const wchar_t* tempFolder, unsigned long processId) {
  append(out, tempFolder);
  append(out, L"KLN_Uninstaller");
  appendDecimal(out, processId);
  append(out, L".exe");
}
