// The program: one window whose message loop runs until it is closed.
#include <QApplication>
#include <QTimer>

#include "app/activity_log.h"
#include "app/main_window_layout.h"
#include "app/program_paths.h"
#include "app/qt/automation.h"
#include "app/qt/qt_shell.h"
#include "http/http_request.h"
#include "http/transport.h"
#include "script/network_time.h"
#include "service/endpoints.h"
#include "service/flow_context.h"
#include "service/login_flow.h"
#include "service/update_check.h"

namespace {

// SUCAIGANG_SCREENSHOT=<file.png> saves a picture of the window shortly after start (after
// SUCAIGANG_SCREENSHOT_DELAY_MS, default 1500); SUCAIGANG_SCREENSHOT_QUIT=1 then closes it (for
// demos and docs on machines without a display).
void ScheduleScreenshot(sucaigang::QtShell& shell) {
  const QString path = qEnvironmentVariable("SUCAIGANG_SCREENSHOT");
  if (path.isEmpty()) return;
  const bool quit = qEnvironmentVariableIntValue("SUCAIGANG_SCREENSHOT_QUIT") != 0;
  bool given = false;
  const int delay = qEnvironmentVariableIntValue("SUCAIGANG_SCREENSHOT_DELAY_MS", &given);
  QTimer::singleShot(given ? delay : 1500, &shell.Widget(), [&shell, path, quit] {
    shell.Widget().grab().save(path);
    if (quit) shell.Widget().close();
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace sucaigang;
  // Before any thread starts: curl's global set-up is not thread-safe.
  TransportGlobalInit();
  const Endpoints endpoints = EndpointsFromEnvironment();
  SetTimeSiteAddress(endpoints.timeUrl);

  QApplication application(argc, argv);
  QtShell shell({
      .exampleAddress = ExampleStockPageAddress(endpoints.stockHome),
      .controller = {.settingsPath = SettingsFilePath(), .webHome = endpoints.webHome},
  });

  QtWindowPort& port = shell.Port();
  // The update check runs its request on the UI thread: let the window paint meanwhile.
  SetPumpHook(PumpUiEvents);
  port.SetHtmlFetcher([](const Text& address) { return HttpRequest(address); });

  const FlowContext context{
      .window = port,
      .values = shell.Values(),
      .endpoints = endpoints,
      .settingsPath = SettingsFilePath(),
  };
  FlowSeams& seams = shell.Seams();
  seams.logLine = [&port](const Text& message) { LogLine(port, message); };
  seams.loginFlow = [context] { LoginFlow(context); };
  // The new version's download lands with the download progress routines.
  seams.updateCheck = [context] { UpdateCheck(context, nullptr); };

  ScheduleScreenshot(shell);
  // Before the created handler: the script may have to answer the update question.
  if (!StartAutomationFromEnvironment(shell.Widget())) return kAutomationFailed;
  if (!shell.Start()) return 0;
  return application.exec();
}
