// How long a TAB file takes to parse and to serialise: the library parses one on every
// parameter load and on every TAB swap by the arm's button.
#include <benchmark/benchmark.h>

#include "data/tab_file.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

std::vector<std::uint8_t> DemoArmWithProbes() {
  auto bytes = ReadWholeFile(PILVO_DEMO_DIR "/usb6_quaternion.tab");
  return bytes ? *bytes : std::vector<std::uint8_t>{};
}

void BM_ParseTabFile(benchmark::State& state) {
  const auto bytes = DemoArmWithProbes();
  TabContents contents;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseTabFile(bytes, contents));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseTabFile);

void BM_SerializeTabFile(benchmark::State& state) {
  TabContents contents;
  if (ParseTabFile(DemoArmWithProbes(), contents) != TabError::None) {
    state.SkipWithError("demo arm missing");
    return;
  }
  std::vector<std::uint8_t> bytes;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SerializeTabFile(contents, bytes));
  }
}
BENCHMARK(BM_SerializeTabFile);

}  // namespace
}  // namespace pilvo
