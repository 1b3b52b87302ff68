// pilvo-session: a measuring session without a window, through libpilvo.so. It names the port,
// loads the TAB file, resets the arm and then polls the probe, printing its position and every
// point taken with button 1, until its time or points are done or it is interrupted.
#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <stdexcept>

#include "measuring_session.h"
#include "port_alias.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

// A first SIGINT or SIGTERM ends the session in order; a second one, while the reset still
// waits for the operator, ends the program at once.
void StopOnSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "pilvo-session: a measuring session through libpilvo.so. Prints the probe position "
      "twice a second and every point taken with button 1 (x y z and the probe diameter)."};
  app.footer(R"(Examples:
  pilvo-session --port /dev/ttyUSB0 --tab arm.tab --points 5
  pilvo-session --port COM3 --tab arm.tab --seconds 60
  pilvo-sim --tab arm.tab --serial --serial-link /tmp/pilvo-arm --demo --unreferenced &
  pilvo-session --port /tmp/pilvo-arm --tab arm.tab --seconds 10)");
  pilvo::SessionSettings settings;
  settings.port = "COM1";
  app.add_option("--port", settings.port,
                 "Serial port of the arm: a device path or COMn (USB arms ignore it). A path "
                 "longer than 11 characters is reached through a short link in /tmp")
      ->capture_default_str();
  app.add_option("--tab", settings.tab, "TAB file of the arm")->required();
  app.add_option("--points", settings.points, "Stop after this many points (0: no limit)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--seconds", settings.seconds,
                 "Stop after polling this long (0: until interrupted)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  StopOnSignals();
  try {
    const pilvo::PortAlias port(settings.port);
    if (port.linked()) std::cout << settings.port << " reached as " << port.name() << std::endl;
    settings.port = port.name();
    return pilvo::RunMeasuringSession(settings, stopRequested, std::cout);
  } catch (const std::runtime_error& error) {
    std::cerr << "pilvo-session: " << error.what() << '\n';
    return 1;
  }
}
