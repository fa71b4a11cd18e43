#pragma once
// What every flow run needs: the window, the process-wide values, the outside addresses and the
// settings file. Start-up makes one; tests make their own.
#include <string>

#include "app/session_values.h"
#include "app/window.h"
#include "service/endpoints.h"

namespace sucaigang {

struct FlowContext {
  Window& window;
  SessionValues& values;
  Endpoints endpoints;
  std::string settingsPath;  // pz.ini
};

}  // namespace sucaigang
