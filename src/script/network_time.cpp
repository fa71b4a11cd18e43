#include "script/network_time.h"

#include <mutex>

#include "http/text_search.h"
#include "script/http_object_request.h"

namespace sucaigang {
namespace {

// Log entries are written from any thread, so the address is read under a lock.
std::mutex timeSiteMutex;
Text timeSite;

}  // namespace

void SetTimeSiteAddress(const Text& address) {
  std::lock_guard lock(timeSiteMutex);
  timeSite = address;
}

Text TimeSiteAddress() {
  std::lock_guard lock(timeSiteMutex);
  return timeSite;
}

DateTime NetworkTime() { return NetworkTime(TimeSiteAddress()); }

DateTime NetworkTime(std::string_view address) {
  Text headers;
  HttpObjectRequest(address, {.method = 2, .returnedHeaders = &headers});
  return HttpDateToTime(TextBetween(headers, "Date:", "\r\n"));
}

}  // namespace sucaigang
