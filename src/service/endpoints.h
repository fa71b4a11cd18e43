#pragma once
// The four outside addresses. Compiled-in defaults (CMake cache values) point at the local
// stand-in service; each can be overridden by an environment variable for tests and demos.
#include "text/text.h"

namespace sucaigang {

struct Endpoints {
  Text apiBase;    // http, port 8383, no path: "http://host:8383"
  Text webHome;    // https, path "/"
  Text stockHome;  // https, path "/"
  Text timeUrl;    // http, the public time site
};

// Compiled defaults, each replaced by SUCAIGANG_API_BASE, SUCAIGANG_WEB_HOME,
// SUCAIGANG_STOCK_HOME or SUCAIGANG_TIME_URL when that variable is set and not empty.
Endpoints EndpointsFromEnvironment();

}  // namespace sucaigang
