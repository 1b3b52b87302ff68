#include "tab_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>

namespace pilvo {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// Every plain member of a record with its JSON name; both directions walk this one list.
template <typename Record, typename Visitor>
void VisitPlainFields(Record& r, Visitor&& visit) {
  visit("name", r.name);
  visit("jointCount", r.jointCount);
  visit("modelType", r.modelType);
  visit("serialSpeedCode", r.serialSpeedCode);
  visit("armVariant", r.armVariant);
  visit("secondJointCorrectionCount", r.secondJointCorrectionCount);
  visit("encoderOffsets", r.encoderOffsets);
  visit("encoderLines", r.encoderLines);
  visit("jointReversed", r.jointReversed);
  visit("jointExtendedCount", r.jointExtendedCount);
  visit("jointWrapAround", r.jointWrapAround);
  visit("temperatureSensors", r.temperatureSensors);
  visit("referenceTemperaturesPacked", r.referenceTemperaturesPacked);
  visit("linkType", r.linkType);
  visit("board1Axes", r.board1Axes);
  visit("board2Axes", r.board2Axes);
  visit("board3Axes", r.board3Axes);
  visit("probeRadius", r.probeRadius);
  visit("probeCount", r.probeCount);
  visit("probeName", r.probeName);
  visit("probeText2", r.probeText2);
  visit("expansionCoefficients", r.expansionCoefficients);
  visit("spareDoubles", r.spareDoubles);
  visit("spareDoubleA", r.spareDoubleA);
  visit("spareDoubleB", r.spareDoubleB);
  visit("spareWord", r.spareWord);
  visit("batteryPresent", r.batteryPresent);
  visit("supplyThresholdBytes", r.supplyThresholdBytes);
  visit("batteryCapacity", r.batteryCapacity);
  visit("spareWords", r.spareWords);
}

// A float as the shortest decimal that reads back as the same float, so that 152.35f shows
// as 152.35 rather than as its exact double value.
double ShortestDecimal(float value) {
  std::array<char, 32> text{};
  const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
  double shortest = 0.0;
  std::from_chars(text.data(), end, shortest);
  return shortest;
}

template <typename T>
auto JsonValue(const T& value) {
  if constexpr (std::is_same_v<T, float>) {
    return ShortestDecimal(value);
  } else {
    return value;
  }
}

int GroupSize(const ArmRecord& record) {
  return record.modelType == 1 ? 6 : 4;
}

ordered_json RecordToJson(const ArmRecord& record) {
  ordered_json out;
  VisitPlainFields(record,
                   [&out](const char* name, const auto& value) { out[name] = JsonValue(value); });
  // One group per joint and one for the probe: the parameters the writer stores.
  ordered_json groups = ordered_json::array();
  const int size = GroupSize(record);
  for (int group = 0; group <= record.jointCount; ++group) {
    const auto first = record.parameters.begin() + group * size;
    ordered_json values = ordered_json::array();
    std::for_each(first, first + size,
                  [&values](float v) { values.push_back(ShortestDecimal(v)); });
    groups.push_back(std::move(values));
  }
  out["parameters"] = std::move(groups);
  ordered_json options = ordered_json::object();
  for (const auto& bit : kOptionBits) options[bit.name] = record.options.*bit.flag;
  out["options"] = std::move(options);
  ordered_json limits = ordered_json::array();
  for (const auto& limit : record.jointLimits) limits.push_back({limit.minimum, limit.maximum});
  out["jointLimits"] = std::move(limits);
  return out;
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw TabJsonError(where + ": " + what);
}

// The largest magnitude that still rounds to a finite float.
constexpr double kFloatLimit = 0x1.ffffffp127;

// Refuses what `value` could not hold as given: a list of another length, a whole number out
// of range or with a fraction, a number beyond a float (JSON has no infinity to write it back
// as). The conversion would silently cut such numbers, or be undefined.
template <typename T>
void CheckValue(const json& in, const std::string& where, const T& value) {
  if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
    if (!in.is_number_integer()) Fail(where, "expected a whole number");
    const bool fits =
        in.is_number_unsigned()
            ? in.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<T>::max())
            : in.get<std::int64_t>() >= std::numeric_limits<T>::min() &&
                  in.get<std::int64_t>() <= std::numeric_limits<T>::max();
    if (!fits) Fail(where, "out of range");
  } else if constexpr (std::is_floating_point_v<T>) {
    if (in.is_number()) {
      const double number = in.get<double>();
      const bool fits =
          std::is_same_v<T, float> ? std::fabs(number) < kFloatLimit : std::isfinite(number);
      if (!fits) Fail(where, "out of range");
    }
  } else if constexpr (requires {
                         value.size();
                         value[0];
                       } &&
                       !std::is_same_v<T, std::string>) {
    if (!in.is_array() || in.size() != value.size()) {
      Fail(where, "expected a list of " + std::to_string(value.size()) + " values");
    }
    for (std::size_t i = 0; i < value.size(); ++i) {
      CheckValue(in[i], where + "[" + std::to_string(i) + "]", value[i]);
    }
  }
}

template <typename T>
void ReadValue(const json& in, const std::string& where, T& value) {
  try {
    CheckValue(in, where, value);
    in.get_to(value);
  } catch (const json::exception& error) {
    Fail(where, error.what());
  }
}

void ReadParameters(const json& in, const std::string& where, ArmRecord& record) {
  const int size = GroupSize(record);
  if (!in.is_array() || in.size() != static_cast<std::size_t>(record.jointCount) + 1) {
    Fail(where, "expected jointCount + 1 groups");
  }
  if (static_cast<int>(in.size()) * size > kMaxParameters) Fail(where, "too many parameters");
  for (std::size_t group = 0; group < in.size(); ++group) {
    std::vector<float> values(static_cast<std::size_t>(size));
    ReadValue(in[group], where + "[" + std::to_string(group) + "]", values);
    std::copy(values.begin(), values.end(), record.parameters.begin() + group * size);
  }
}

ArmRecord RecordFromJson(const json& in, const std::string& where, std::array<char, 4> signature) {
  if (!in.is_object()) Fail(where, "expected an object");
  ArmRecord record;
  record.signature = signature;
  std::set<std::string> known = {"parameters", "options", "jointLimits"};
  VisitPlainFields(record, [&](const char* name, auto& value) {
    known.insert(name);
    if (in.contains(name)) ReadValue(in[name], where + "." + name, value);
  });
  for (const auto& [key, value] : in.items()) {
    if (!known.contains(key)) Fail(where + "." + key, "unknown member");
  }
  if (record.jointCount < 0 || record.jointCount > kMaxJoints) {
    Fail(where + ".jointCount", "must be 0 to " + std::to_string(kMaxJoints));
  }
  if (in.contains("parameters")) ReadParameters(in["parameters"], where + ".parameters", record);
  if (in.contains("options")) {
    const json& options = in["options"];
    if (!options.is_object()) Fail(where + ".options", "expected an object");
    for (const auto& option : options.items()) {
      const std::string& key = option.key();
      const auto bit = std::find_if(kOptionBits.begin(), kOptionBits.end(),
                                    [&key](const OptionBit& b) { return key == b.name; });
      if (bit == kOptionBits.end()) Fail(where + ".options." + key, "unknown option");
      ReadValue(option.value(), where + ".options." + key, record.options.*bit->flag);
    }
  }
  if (in.contains("jointLimits")) {
    std::array<std::array<double, 2>, kMaxJoints> limits{};
    ReadValue(in["jointLimits"], where + ".jointLimits", limits);
    for (int joint = 0; joint < kMaxJoints; ++joint) {
      record.jointLimits[joint] = {limits[joint][0], limits[joint][1]};
    }
  }
  return record;
}

}  // namespace

ordered_json TabToJson(const TabContents& contents) {
  ordered_json out;
  out["version"] = std::string(contents.main.signature.data(), 3);
  ordered_json main = RecordToJson(contents.main);
  main.erase("probeCount");
  out["main"] = std::move(main);
  ordered_json probes = ordered_json::array();
  for (int i = 0; i < contents.main.probeCount && i < kMaxProbes; ++i) {
    probes.push_back(RecordToJson(contents.probes[i]));
  }
  out["probes"] = std::move(probes);
  return out;
}

TabContents TabFromJson(const json& in) {
  if (!in.is_object()) Fail("file", "expected an object");
  for (const auto& [key, value] : in.items()) {
    if (key != "version" && key != "main" && key != "probes") Fail(key, "unknown member");
  }
  if (!in.contains("version") || !in["version"].is_string()) Fail("version", "expected a text");
  const std::string version = in["version"].get<std::string>();
  std::array<char, 4> signature{};
  if (version.size() != 3) Fail("version", "expected three characters such as \"t44\"");
  std::copy(version.begin(), version.end(), signature.begin());
  const SignatureVersion found = VersionOfSignature(signature);
  if (found.error != TabError::None) Fail("version", "\"" + version + "\" is not a TAB version");
  if (!in.contains("main")) Fail("main", "missing");
  if (in["main"].contains("probeCount")) Fail("main.probeCount", "given by the probes list");

  TabContents contents;
  contents.version = found.version;
  contents.main = RecordFromJson(in["main"], "main", signature);
  if (in.contains("probes")) {
    const json& probes = in["probes"];
    if (!probes.is_array() || probes.size() > kMaxProbes) {
      Fail("probes", "expected a list of at most " + std::to_string(kMaxProbes) + " probes");
    }
    for (std::size_t i = 0; i < probes.size(); ++i) {
      contents.probes[i] =
          RecordFromJson(probes[i], "probes[" + std::to_string(i) + "]", signature);
    }
  }
  contents.main.probeCount = static_cast<std::int32_t>(in.value("probes", json::array()).size());
  return contents;
}

}  // namespace pilvo
