// The ambient-temperature choice: the temperature dialog, and the temperature box of the reset
// dialog. The lines are "0" to "40", so a line's index is its temperature in degrees C.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/local_text.h"

namespace pilvo {

inline constexpr std::int32_t kLowestAmbientTemperature = 0;
inline constexpr std::int32_t kHighestAmbientTemperature = 40;

// "0", "1", … "40".
const std::vector<std::string>& AmbientTemperatureLines();

// The line showing `temperature`, or -1 (nothing selected) outside 0 … 40.
std::int32_t AmbientTemperatureLine(std::int32_t temperature);

// The temperature dialog's model: opened on the temperature the caller keeps, closed with OK.
class TemperatureChoice {
 public:
  // Its texts are in `language`, which must outlive it.
  TemperatureChoice(std::int32_t current, const Language& language);

  std::string title() const;
  std::string text() const;
  const std::vector<std::string>& lines() const { return AmbientTemperatureLines(); }
  std::int32_t selectedLine() const { return selectedLine_; }
  bool closed() const { return closed_; }

  // False, selection unchanged, for a line that is not in the list.
  bool Select(std::int32_t line);
  void Ok() { closed_ = true; }

  // The temperature chosen; the one given at the opening while no line is selected.
  std::int32_t temperature() const;

 private:
  std::int32_t current_;
  const Language& language_;
  std::int32_t selectedLine_;
  bool closed_ = false;
};

}  // namespace pilvo
