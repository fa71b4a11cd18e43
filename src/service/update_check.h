#pragma once
#include <functional>

#include "service/flow_context.h"
#include "text/text.h"

namespace sucaigang {

// Seconds from local 1970-01-01 08:00:00 to the local time now, then the clock's milliseconds
// (three digits), cut or padded with "0" to 10 characters: the Unix time on a UTC+8 clock.
Text UnixSecondsText();

// Starts the download of a new program file to `targetPath`; its completion replaces the program.
using UpdateDownloadStarter = std::function<void(const Text& address, const Text& targetPath)>;

// Asks the service for the newest version, synchronously on the UI thread: enables 按钮_登陆
// when the client may be used, offers a newer version, and reports a failed check.
void UpdateCheck(const FlowContext& context, const UpdateDownloadStarter& startDownload);

}  // namespace sucaigang
