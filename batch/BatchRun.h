// The run without a window: /? shows the options, /export scans with the
// program's scan worker and device table behind a window that is never
// shown, then writes every device through the Save command's writers.
// Nothing else of the window happens: no tray icon, alerts, sounds, speech,
// commands or automatic descriptions, and the configuration and description
// files are only read.
#pragma once
#include <cstdint>
#include <string>
#include "batch/BatchOptions.h"

namespace nw {

// Does what options ask for (Help, Error or Export); returns the exit code.
// Scans follow the window's pace (discovery/ScanCycle) without its waits.
int RunBatch(const BatchOptions& options);

// A scan not done after twice its length in 1.28 s units has hung.
constexpr uint32_t BatchScanGuardMs(int32_t multiplier) {
    return 2u * static_cast<uint32_t>(multiplier > 0 ? multiplier : 1) * 1280u;
}

// What the user reads about a mistake: the problem's text and the word.
std::wstring BatchProblemMessage(const BatchOptions& options);
// The /? text, lines joined by CR LF.
std::wstring BatchHelpText();

}  // namespace nw
