#include "dialogs/temperature_choice.h"

#include "data/local_text.h"

namespace pilvo {
namespace {

constexpr int kTextTitle = 2005;  // the title of the reset dialog, which it stands in for
constexpr int kTextInsertTemperature = 2007;

}  // namespace

const std::vector<std::string>& AmbientTemperatureLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> all;
    for (std::int32_t t = kLowestAmbientTemperature; t <= kHighestAmbientTemperature; ++t) {
      all.push_back(std::to_string(t));
    }
    return all;
  }();
  return lines;
}

std::int32_t AmbientTemperatureLine(std::int32_t temperature) {
  const bool listed =
      temperature >= kLowestAmbientTemperature && temperature <= kHighestAmbientTemperature;
  return listed ? temperature - kLowestAmbientTemperature : -1;
}

TemperatureChoice::TemperatureChoice(std::int32_t current, const Language& language)
    : current_(current), language_(language), selectedLine_(AmbientTemperatureLine(current)) {}

std::string TemperatureChoice::title() const {
  return LocalText(kTextTitle, language_);
}

std::string TemperatureChoice::text() const {
  return LocalText(kTextInsertTemperature, language_);
}

bool TemperatureChoice::Select(std::int32_t line) {
  if (line < 0 || line > kHighestAmbientTemperature - kLowestAmbientTemperature) return false;
  selectedLine_ = line;
  return true;
}

std::int32_t TemperatureChoice::temperature() const {
  return selectedLine_ < 0 ? current_ : kLowestAmbientTemperature + selectedLine_;
}

}  // namespace pilvo
