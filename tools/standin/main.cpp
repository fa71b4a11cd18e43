// sucaigang-standin: runs the stand-in service from a fixture file until SIGINT or SIGTERM.
// Prints the client's four addresses (and the file host) as NAME=value lines once listening,
// then one line per request.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "standin/standin.h"

namespace {

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int Usage() {
  std::fputs(
      "usage: sucaigang-standin [--free-ports] <fixture.json>\n"
      "  --free-ports  take free ports instead of the fixture's\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sucaigang::standin;
  bool freePorts = false;
  std::string fixturePath;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--free-ports") == 0) {
      freePorts = true;
    } else if (argv[i][0] == '-' || !fixturePath.empty()) {
      return Usage();
    } else {
      fixturePath = argv[i];
    }
  }
  if (fixturePath.empty()) return Usage();

  Fixture fixture;
  std::string error;
  if (!LoadFixture(fixturePath, fixture, error)) {
    std::fprintf(stderr, "sucaigang-standin: %s\n", error.c_str());
    return 1;
  }

  // The server threads inherit this mask, so the signals reach only sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  auto service =
      Service::Start(std::move(fixture), {.freePorts = freePorts, .logSink = PrintLine}, error);
  if (!service) {
    std::fprintf(stderr, "sucaigang-standin: %s\n", error.c_str());
    return 1;
  }
  PrintLine("SUCAIGANG_API_BASE=" + service->ApiBase());
  PrintLine("SUCAIGANG_WEB_HOME=" + service->WebHome());
  PrintLine("SUCAIGANG_STOCK_HOME=" + service->StockHome());
  PrintLine("SUCAIGANG_TIME_URL=" + service->TimeUrl());
  PrintLine("SUCAIGANG_STANDIN_FILES=" + service->FilesBase());
  PrintLine("ready");

  int received = 0;
  sigwait(&signals, &received);
  PrintLine(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
  service->Stop();
  return 0;
}
