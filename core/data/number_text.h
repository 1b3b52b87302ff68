// Numbers in the texts the system stores, reads back or hands on: always with the C conventions
// (a "." before the decimals, no grouping). A host may set another numeric locale (a Qt host sets
// the user's at start), and printf, atof and strtod follow it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pilvo {

// The text printf's "%.<decimals>f" gives in the C locale.
std::string FixedText(double value, int decimals);

// The text printf's "%g" gives in the C locale.
std::string GeneralText(double value);

// What atof gives in the C locale: the number at the start of `text`, 0 when there is none.
double LeadingNumber(const char* text);

// A length a person typed or a setting holds, in mm: a number with "." before its decimals,
// blanks around it allowed; nothing for anything else, a negative or a non-finite value.
std::optional<double> ParseLength(std::string_view text);

// What a field that holds no number is answered with.
inline constexpr std::string_view kEnterNumber = "Please enter a number.";

}  // namespace pilvo
