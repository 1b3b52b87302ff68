// A TAB file as JSON, for people to read and edit: the demo arms are kept this way.
#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "data/tab_file.h"

namespace pilvo {

// Raised for JSON that does not describe a TAB file; what() names the offending member.
class TabJsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

nlohmann::ordered_json TabToJson(const TabContents& contents);

// The contents described by `json`; members left out take the reader's defaults. The version
// comes from "version" ("t44", "ta3", …) and the probe count from the "probes" list.
TabContents TabFromJson(const nlohmann::json& json);

}  // namespace pilvo
