#pragma once
// The time that the configured time site states in its Date header, in UTC+8. The computer's
// clock plays no part.
#include <string_view>

#include "script/date_time.h"
#include "text/text.h"

namespace sucaigang {

// The address NetworkTime asks when given none. Start-up sets it from the build's
// configuration; until then it is empty, and NetworkTime() gives the no-answer time.
void SetTimeSiteAddress(const Text& address);
Text TimeSiteAddress();

// One HEAD request (HttpObjectRequest's defaults: 15-second time-outs, redirects followed).
// No answer, no Date header or an unreadable date: 0100-01-01 08:00:00.
DateTime NetworkTime();
DateTime NetworkTime(std::string_view address);

}  // namespace sucaigang
