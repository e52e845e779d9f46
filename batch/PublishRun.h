// nearwatch.exe /publish: the room sensor. Scans at the window's pace behind
// a window that is never shown and publishes to the configured MQTT broker
// until stopped (Ctrl+C, a closed console, the end of the session).
#pragma once
#include "batch/BatchConsole.h"
#include "batch/BatchOptions.h"

namespace nw {

// kBatchExitNoBroker when no usable server is set, else kBatchExitWritten
// once stopped.
int RunPublish(const BatchOptions& options, BatchConsole& console);

}  // namespace nw
