// Prints the results of pilvo_bench (Google Benchmark JSON with aggregates) as one table: the
// median of every benchmark with its counters, then the comparisons the figures are kept for.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

namespace {

struct Row {
  double realNs = 0.0;
  double cpuNs = 0.0;
  std::map<std::string, double> counters;
};

double Nanoseconds(double value, const std::string& unit) {
  if (unit == "us") return value * 1e3;
  if (unit == "ms") return value * 1e6;
  if (unit == "s") return value * 1e9;
  return value;
}

std::string Readable(double ns) {
  char text[32];
  if (ns >= 1e6) {
    std::snprintf(text, sizeof text, "%.3f ms", ns / 1e6);
  } else if (ns >= 1e3) {
    std::snprintf(text, sizeof text, "%.2f us", ns / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f ns", ns);
  }
  return text;
}

// Medians by benchmark name; plain runs when the output has no aggregates.
std::map<std::string, Row> Medians(const nlohmann::json& results) {
  static const std::string kStandardKeys[] = {"name",
                                              "family_index",
                                              "per_family_instance_index",
                                              "run_name",
                                              "run_type",
                                              "repetitions",
                                              "repetition_index",
                                              "threads",
                                              "iterations",
                                              "real_time",
                                              "cpu_time",
                                              "time_unit",
                                              "aggregate_name",
                                              "aggregate_unit",
                                              "label",
                                              "error_occurred",
                                              "error_message"};
  std::map<std::string, Row> rows;
  for (const auto& run : results.at("benchmarks")) {
    const bool aggregate = run.value("run_type", "") == "aggregate";
    if (aggregate && run.value("aggregate_name", "") != "median") continue;
    const std::string name = run.value("run_name", run.value("name", ""));
    if (!aggregate && rows.count(name) != 0) continue;
    if (run.value("error_occurred", false)) continue;
    Row row;
    const std::string unit = run.value("time_unit", "ns");
    row.realNs = Nanoseconds(run.value("real_time", 0.0), unit);
    row.cpuNs = Nanoseconds(run.value("cpu_time", 0.0), unit);
    for (const auto& [key, value] : run.items()) {
      bool standard = false;
      for (const auto& known : kStandardKeys) standard = standard || key == known;
      if (!standard && value.is_number()) row.counters[key] = value.get<double>();
    }
    rows[name] = row;
  }
  return rows;
}

std::optional<double> RealNs(const std::map<std::string, Row>& rows, const std::string& name) {
  const auto found = rows.find(name);
  if (found == rows.end()) return std::nullopt;
  return found->second.realNs;
}

void PrintRatio(const std::map<std::string, Row>& rows, const std::string& what,
                const std::string& ours, const std::string& reference) {
  const auto a = RealNs(rows, ours);
  const auto b = RealNs(rows, reference);
  if (!a || !b || *b == 0.0) {
    std::printf("| %-58s | %s |\n", what.c_str(), "not measured");
    return;
  }
  std::printf("| %-58s | %.2f (%s / %s) |\n", what.c_str(), *a / *b, Readable(*a).c_str(),
              Readable(*b).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::ifstream file;
    if (argc > 1) file.open(argv[1]);
    std::istream& in = argc > 1 ? file : std::cin;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Aggregates of a counter that is constant over the repetitions come out as NaN, which JSON
    // cannot hold.
    text = std::regex_replace(text, std::regex(R"(:\s*-?(NaN|nan|inf|Infinity)\b)"), ": null");
    const auto results = nlohmann::json::parse(text);
    const auto rows = Medians(results);
    std::printf("| %-58s | %12s | %12s | %s\n", "benchmark (median)", "real", "cpu", "counters");
    std::printf("|%s|%s|%s|---\n", std::string(60, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str());
    for (const auto& [name, row] : rows) {
      std::string counters;
      for (const auto& [key, value] : row.counters) {
        char entry[96];
        std::snprintf(entry, sizeof entry, "%s%s=%g", counters.empty() ? "" : ", ", key.c_str(),
                      value);
        counters += entry;
      }
      std::printf("| %-58s | %12s | %12s | %s\n", name.c_str(), Readable(row.realNs).c_str(),
                  Readable(row.cpuNs).c_str(), counters.c_str());
    }
    std::printf("\n| %-58s | %s |\n|%s|---|\n", "comparison", "ratio",
                std::string(60, '-').c_str());
    PrintRatio(rows, "count read: driver over bare pseudo-terminal round trip",
               "BM_DriverCountRead/real_time", "BM_BarePtyRoundTrip/real_time");
    PrintRatio(rows, "whole reading (DH arm) over KDL forward kinematics alone",
               "BM_Reading/serial6_dh_marks", "BM_KdlForwardKinematics");
    PrintRatio(rows, "our LM solve over Ceres Solver's (ceres::Solve)", "BM_IncrementSolve",
               "BM_IncrementSolveCeres");
    PrintRatio(rows, "our LM solve over Ceres's TinySolver", "BM_IncrementSolve",
               "BM_IncrementSolveCeresTiny");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench-table: cannot read the benchmark results: %s\n", error.what());
    return 1;
  }
  return 0;
}
