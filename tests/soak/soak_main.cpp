// pilvo-soak: a long measuring session through libpilvo.so, loaded with dlopen as a measuring
// application loads it, against virtual arms served by this process that fail at random:
// silent boards, short, spoilt and corrupted replies, unplugged arms and vanished ports. It
// checks that every fault comes back as its documented code, that ResetEncoder brings the arm
// back every time, that every reading the driver gives is the arm's truth (except under
// corruption that keeps a reply's length and echo, where the wrong poses are counted by size),
// and that memory stays flat. Prints a table per link; exits 1 on any violation.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "soak/link_soak.h"
#include "soak/soak_report.h"

int main(int argc, char** argv) {
  using pilvo::soak::SoakLink;
  CLI::App app{
      "pilvo-soak: readings through libpilvo.so against virtual arms that fail at random (seeded); "
      "every fault must surface as its code, every reading must be the arm's truth."};
  app.footer(
      "The USB arm needs the simulator flavour of the USB access library: "
      "LD_LIBRARY_PATH=<build>/sim/usb. The driver's operator messages go to standard error; "
      "its \"Error Code\" lines (failed USB transfers) to standard output, before the tables.");
  pilvo::soak::SoakSettings settings;
  std::string link = "both";
  app.add_option("--readings", settings.readings, "Readings per link")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--link", link, "serial, usb or both")
      ->check(CLI::IsMember({"serial", "usb", "both"}))
      ->capture_default_str();
  app.add_option("--seed", settings.seed, "Seed of the faults and of the arm's motion")
      ->capture_default_str();
  app.add_option("--fault-rate", settings.faultRate, "Chance of a fault at a reading (0 to 0.5)")
      ->check(CLI::Range(0.0, 0.5))
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  // The demo arms of the build tree, unless the environment names others.
  ::setenv("PILVO_TEST_DATA", PILVO_DEMO_DIR, 0);
  std::vector<SoakLink> links;
  if (link != "usb") links.push_back(SoakLink::Serial);
  if (link != "serial") links.push_back(SoakLink::Usb);

  std::cout << "pilvo-soak: " << settings.readings << " readings per link, seed " << settings.seed
            << ", fault rate " << settings.faultRate << '\n'
            << std::flush;
  // The tables come after every run, apart from what the library itself prints meanwhile.
  std::vector<pilvo::soak::LinkReport> reports;
  for (const SoakLink each : links) {
    std::cout << "soaking the " << pilvo::soak::NameOf(each) << " link\n" << std::flush;
    reports.push_back(pilvo::soak::RunLinkSoak(each, settings, PILVO_LIBRARY));
  }
  int violations = 0;
  double seconds = 0.0;
  for (const pilvo::soak::LinkReport& report : reports) {
    std::cout << '\n';
    pilvo::soak::PrintReport(report, std::cout);
    violations += report.violationCount;
    seconds += report.seconds;
  }
  std::cout << "\npilvo-soak: " << (violations == 0 ? "passed" : "FAILED") << ", " << violations
            << " violations, " << std::fixed << std::setprecision(1) << seconds << " s\n";
  return violations == 0 ? 0 : 1;
}
