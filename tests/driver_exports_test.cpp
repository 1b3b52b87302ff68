// libpilvo.so as a measuring application sees it: its dynamic symbols, and its fourteen exports
// loaded with dlopen against the virtual arm on a pseudo-terminal: what the end-to-end test
// leaves out.
#include <elf.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "data/settings.h"
#include "measure/frame_profile.h"
#include "pilvo.h"
#include "pilvo_library.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

namespace fs = std::filesystem;

// The defined global symbols of the dynamic symbol table of an ELF64 file.
std::set<std::string> ExportedSymbols(const fs::path& file) {
  const auto bytes = ReadWholeFile(file);
  if (!bytes || bytes->size() < sizeof(Elf64_Ehdr)) return {};
  const std::uint8_t* data = bytes->data();
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(data);
  if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
      header->e_ident[EI_CLASS] != ELFCLASS64) {
    return {};
  }
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(data + header->e_shoff);
  std::set<std::string> names;
  for (int i = 0; i < header->e_shnum; ++i) {
    if (sections[i].sh_type != SHT_DYNSYM) continue;
    const char* strings =
        reinterpret_cast<const char*>(data + sections[sections[i].sh_link].sh_offset);
    const auto* symbols = reinterpret_cast<const Elf64_Sym*>(data + sections[i].sh_offset);
    for (std::size_t s = 0; s < sections[i].sh_size / sizeof(Elf64_Sym); ++s) {
      const unsigned binding = ELF64_ST_BIND(symbols[s].st_info);
      if (symbols[s].st_shndx == SHN_UNDEF || binding == STB_LOCAL) continue;
      names.insert(strings + symbols[s].st_name);
    }
  }
  return names;
}

TEST(DriverSymbols, ExportsExactlyTheFourteenFunctions) {
  const std::set<std::string> expected = {
      "AprePorta", "ChiudePorta", "LeggeParametri", "LeggeQuota", "LeggeQuota2", "LeggeTacche",
      "LeggeTerna", "LeggeVersione", "ResetEncoder", "RuotaTerna", "VedeCinematica",
      "VedeCinematica2", "VedeMaxAssi", "VedePulsante",
      // The linker defines the name of the version node as an absolute symbol; it is no code.
      "PILVO_4"};
  EXPECT_EQ(ExportedSymbols(PILVO_LIBRARY), expected);
}

class DriverExports : public ::testing::Test, protected testing::ServedDemoArm {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Load(PILVO_LIBRARY)) << library_.error();
    ASSERT_TRUE(Serve("serial6_dh_marks", config_.path() / "usb.sock"));
    EXPECT_EQ(pilvo_.AprePorta(portName().c_str()), 0);
    ASSERT_EQ(pilvo_.LeggeParametri(tabPath_.c_str()), 0);
  }
  void Reset() { ASSERT_EQ(pilvo_.ResetEncoder(), 0); }
  std::int32_t Read() { return pilvo_.LeggeQuota(pose_.data(), &status_); }

  testing::LibraryConfigDir config_{"driver_exports"};
  testing::PilvoLibrary library_;
  const testing::PilvoExports& pilvo_ = library_.exports();
  Pose pose_{};
  std::int32_t status_ = 0;
};

// A service without a display must not pull a GUI toolkit into its process.
TEST_F(DriverExports, LoadNoGuiLibraryWithoutADisplay) {
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  Reset();
  std::ostringstream maps;
  maps << std::ifstream("/proc/self/maps").rdbuf();
  EXPECT_EQ(maps.str().find("libQt6"), std::string::npos);
}

TEST_F(DriverExports, RefuseNullOutputsWithoutReading) {
  Reset();
  const int before = arm_->observations().requestsHandled;
  double diameter = 0.0;
  std::uint32_t mask = 0;
  EXPECT_EQ(pilvo_.LeggeQuota(nullptr, &status_), PILVO_NULL_ARGUMENT);
  EXPECT_EQ(pilvo_.LeggeQuota(pose_.data(), nullptr), PILVO_NULL_ARGUMENT);
  EXPECT_EQ(pilvo_.LeggeQuota2(pose_.data(), &status_, nullptr), PILVO_NULL_ARGUMENT);
  EXPECT_EQ(pilvo_.LeggeQuota2(nullptr, &status_, &diameter), PILVO_NULL_ARGUMENT);
  EXPECT_EQ(pilvo_.LeggeTacche(nullptr), PILVO_NULL_ARGUMENT);
  EXPECT_EQ(pilvo_.VedeCinematica(1, nullptr), PILVO_NULL_ARGUMENT);
  EXPECT_EQ(arm_->observations().requestsHandled, before);

  // Optional outputs are skipped; text inputs that are null are refused like unusable text.
  EXPECT_EQ(pilvo_.VedeCinematica2(0, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(pilvo_.LeggeTacche(&mask), 1);
  EXPECT_EQ(pilvo_.LeggeParametri(nullptr), -1);
  EXPECT_EQ(pilvo_.AprePorta(nullptr), 0);
  EXPECT_EQ(Read(), -1) << "the link was closed and no port may open";
}

TEST_F(DriverExports, PortNameOfTwelveCharactersAndTabPathOf260AreRefused) {
  ASSERT_EQ(Read(), 0);
  ASSERT_EQ(pilvo_.ChiudePorta(), 0);

  // The arm is there under the longer name too: only the refusal keeps it closed, and the
  // port named before is not opened in its place.
  const fs::path longer = portName() + "x";
  fs::create_symlink(serial_->slavePath(), longer);
  EXPECT_EQ(pilvo_.AprePorta(longer.c_str()), 0);
  EXPECT_EQ(Read(), -1);
  EXPECT_EQ(pilvo_.ResetEncoder(), -1);
  fs::remove(longer);
  EXPECT_EQ(pilvo_.AprePorta(portName().c_str()), 0);
  EXPECT_EQ(Read(), 0);

  // Folder names that bring the file's path to exactly 259 and 260 characters.
  const std::string base = (config_.path() / "").string();
  for (const std::size_t length : {259u, 260u}) {
    const fs::path path = base + std::string(length - base.size() - 8, 'd') + "/arm.tab";
    fs::create_directories(path.parent_path());
    fs::copy_file(tabPath_, path);
    EXPECT_EQ(pilvo_.LeggeParametri(path.c_str()), length == 259u ? 0 : -1);
  }
}

TEST_F(DriverExports, UnknownRuotaTernaModesLeaveTheUserFrame) {
  Reset();
  const Point3 offset{100.0, -50.0, 25.0};
  ASSERT_TRUE(WriteUserFrame(kIdentityPose, offset, config_.Store(kLibraryProfileStore)));
  ASSERT_EQ(Read(), 0);
  const Pose inArm = pose_;
  EXPECT_EQ(pilvo_.LeggeTerna(), 0);
  for (const std::int32_t mode : {2, -1, INT_MIN}) EXPECT_EQ(pilvo_.RuotaTerna(mode), -3);
  ASSERT_EQ(Read(), 0);
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_NEAR(pose_[3 + 4 * axis], inArm[3 + 4 * axis] - offset[axis], 1e-9);
  EXPECT_EQ(pilvo_.RuotaTerna(0), 0);
  ASSERT_EQ(Read(), 0);
  EXPECT_EQ(pose_, inArm);
}

}  // namespace
}  // namespace pilvo
