#include "service/endpoints.h"

#include <cstdlib>

namespace sucaigang {
namespace {

Text FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? Text(value) : Text(fallback);
}

}  // namespace

Endpoints EndpointsFromEnvironment() {
  return Endpoints{
      .apiBase = FromEnvironment("SUCAIGANG_API_BASE", SUCAIGANG_DEFAULT_API_BASE),
      .webHome = FromEnvironment("SUCAIGANG_WEB_HOME", SUCAIGANG_DEFAULT_WEB_HOME),
      .stockHome = FromEnvironment("SUCAIGANG_STOCK_HOME", SUCAIGANG_DEFAULT_STOCK_HOME),
      .timeUrl = FromEnvironment("SUCAIGANG_TIME_URL", SUCAIGANG_DEFAULT_TIME_URL),
  };
}

}  // namespace sucaigang
