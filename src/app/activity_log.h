#pragma once
// The activity log: two-line entries in 编辑框2, stamped with the network time.
#include "app/window.h"
#include "script/date_time.h"
#include "text/text.h"

namespace sucaigang {

// "2023年1月31日12时58分38秒"; trailing zero parts of the time of day are left out, so midnight
// shows the date alone (GBK).
Text LogTimeText(const DateTime& time);

// Time text, CR LF, message, CR LF.
Text LogEntryText(const DateTime& time, const Text& message);

// Asks NetworkTime (the configured time site; one HTTP exchange on the calling thread) and
// appends the entry to 编辑框2 in one insertion. Callable from any thread.
void LogLine(Window& window, const Text& message);

}  // namespace sucaigang
