#include "data/settings.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "data/product_context.h"
#include "platform/module_path.h"

namespace pilvo {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kInstallA = "pilvo.dll\\_opt_a_";
constexpr std::string_view kInstallB = "pilvo.dll\\_opt_b_";

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each test gets its own settings folder inside a fresh temporary root, so anything written
// outside the folder shows up in the root.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "settings_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    folder_ = root_ / "config";
  }
  void TearDown() override {
    EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()),
              fs::exists(folder_) ? 1 : 0);
    fs::remove_all(root_);
  }
  SettingsStore Store(std::string_view name) const { return {folder_, std::string(name)}; }

  fs::path root_;
  fs::path folder_;
};

TEST_F(SettingsTest, IntegersReadUpToFirstNonDigitAndReadsCreateNothing) {
  GetSettingInt("Options", "ResetResize", 1, Store(kProductStore));
  GetSettingString("Data", "SphereDiameter", "0", Store(kInstallA));
  EXPECT_FALSE(fs::exists(folder_));
  const std::pair<std::string_view, std::uint32_t> cases[] = {
      {"12abc", 12}, {"abc", 0}, {"-1", 0xFFFFFFFFu}, {"  7", 7}, {"+5", 5}, {"-", 0}, {"", 99}};
  for (const auto& [text, expected] : cases) {
    ASSERT_TRUE(WriteSettingString("S", "K", text, Store(kProductStore)));
    EXPECT_EQ(GetSettingInt("S", "K", 99, Store(kProductStore)), expected) << text;
  }
  ASSERT_TRUE(WriteSettingInt("S", "K", -2, Store(kProductStore)));
  EXPECT_EQ(GetSettingString("S", "K", "", Store(kProductStore)), "-2");
}

TEST_F(SettingsTest, NamesIgnoreCaseButNotPunctuation) {
  ASSERT_TRUE(WriteSettingString("Data", "SphereDiameter", "12.5", Store(kInstallA)));
  EXPECT_EQ(GetSettingString("data", "sphereDiameter", "0", Store("PILVO.DLL\\_OPT_A_")), "12.5");
  ASSERT_TRUE(WriteSettingString("Data", "sphereDiameter", "20", Store(kInstallA)));
  EXPECT_EQ(GetSettingString("Data", "SphereDiameter", "0", Store(kInstallA)), "20");
  const std::string text = FileText(folder_ / "registry" / "pilvo.dll" / "_opt_a_.ini");
  EXPECT_EQ(text.find("iameter="), text.rfind("iameter=")) << text;

  ASSERT_TRUE(WriteSettingString("Terna", "matRif-21", "1.5", Store(kLibraryProfileStore)));
  ASSERT_TRUE(WriteSettingString("Terna", "matRif_21", "2.5", Store(kLibraryProfileStore)));
  EXPECT_EQ(GetSettingString("Terna", "matRif-21", "", Store(kLibraryProfileStore)), "1.5");
  EXPECT_EQ(GetSettingString("Terna", "matRif_21", "", Store(kLibraryProfileStore)), "2.5");
}

TEST_F(SettingsTest, EachStoreHasAFileOfItsOwn) {
  ASSERT_TRUE(WriteSettingInt("Tools", "toolInUse", 3, Store(kInstallA)));
  ASSERT_TRUE(WriteSettingInt("Tools", "toolInUse", 5, Store(kInstallB)));
  EXPECT_EQ(GetSettingInt("Tools", "toolInUse", 0, Store(kInstallA)), 3u);
  EXPECT_EQ(GetSettingInt("Tools", "toolInUse", 0, Store(kProductStore)), 0u);
  EXPECT_EQ(SettingsStorePath(Store(kInstallB)),
            folder_ / "registry" / "pilvo.dll" / "_opt_b_.ini");
  EXPECT_EQ(SettingsStorePath(Store(kProductStore)), folder_ / "registry" / "pilvo3d.ini");
  EXPECT_EQ(SettingsStorePath(Store("Pilvo.ini")), folder_ / "pilvo.ini");
}

TEST_F(SettingsTest, DeletesKeysAndSectionsAndMissingOnesSucceed) {
  EXPECT_TRUE(WriteSettingString("Terna", "ref1_03", std::nullopt, Store(kLibraryProfileStore)));
  EXPECT_TRUE(WriteSettingString("Terna", std::nullopt, std::nullopt, Store(kLibraryProfileStore)));
  EXPECT_FALSE(fs::exists(folder_ / "pilvo.ini"));

  for (const char* key : {"ref1_03", "ref1_13"}) {
    ASSERT_TRUE(WriteSettingString("Terna", key, "4", Store(kLibraryProfileStore)));
  }
  ASSERT_TRUE(WriteSettingString("DIR", "Percorso", "/arm/a.tab", Store(kLibraryProfileStore)));
  ASSERT_TRUE(WriteSettingString("Terna", "REF1_03", std::nullopt, Store(kLibraryProfileStore)));
  EXPECT_EQ(GetSettingString("Terna", "ref1_03", "0", Store(kLibraryProfileStore)), "0");
  EXPECT_EQ(GetSettingString("Terna", "ref1_13", "0", Store(kLibraryProfileStore)), "4");
  ASSERT_TRUE(WriteSettingString("terna", std::nullopt, std::nullopt, Store(kLibraryProfileStore)));
  EXPECT_EQ(GetSettingString("Terna", "ref1_13", "0", Store(kLibraryProfileStore)), "0");
  EXPECT_EQ(GetSettingString("DIR", "Percorso", "", Store(kLibraryProfileStore)), "/arm/a.tab");
}

TEST_F(SettingsTest, RefusesStoreNamesThatLeaveTheFolder) {
  for (const std::string_view store : {"", "../pilvo.ini", "a/pilvo.ini", "a\\pilvo.ini", "..",
                                       "a\\\\b", "a\\..\\b", "a/b", "\\a", "a\\", "pilvo.dll\\"}) {
    EXPECT_FALSE(SettingsStorePath(Store(store))) << store;
    EXPECT_FALSE(WriteSettingInt("S", "K", 1, Store(store))) << store;
    EXPECT_EQ(GetSettingInt("S", "K", 7, Store(store)), 7u) << store;
  }
}

TEST_F(SettingsTest, ValuesKeepTheirTextAndUnstorableInputIsRefused) {
  for (const std::string_view value :
       {"  padded\t", "\"quoted\"", "\"", "<<<END", "; not a comment", "a=b", "#x", "[x]", ""}) {
    ASSERT_TRUE(WriteSettingString("REPORT", "BarLength", value, Store(kWizardProfileStore)))
        << value;
    EXPECT_EQ(GetSettingString("REPORT", "BarLength", "?", Store(kWizardProfileStore)), value);
  }
  for (const auto& [section, key, value] : {std::tuple{"REPORT", "BarLength", "1\n[Evil]\nx=1"},
                                            {"REPORT", "BarLength", "1\r2"},
                                            {"REPORT", "a=b", "1"},
                                            {"REPORT", ";k", "1"},
                                            {"REP]ORT", "k", "1"},
                                            {" REPORT", "k", "1"}}) {
    EXPECT_FALSE(WriteSettingString(section, key, value, Store(kWizardProfileStore))) << key;
  }
  EXPECT_EQ(GetSettingString("REPORT", "BarLength", "?", Store(kWizardProfileStore)), "");
  EXPECT_EQ(GetSettingString("Evil", "x", "?", Store(kWizardProfileStore)), "?");
}

TEST_F(SettingsTest, UnreadableStoreIsNeitherReadNorOverwritten) {
  fs::create_directories(folder_);
  const std::string corrupt("[S]\nkeep=1\n\0[T]\nlost=2\n", 23);
  std::ofstream(folder_ / "pilvo.ini", std::ios::binary) << corrupt;
  EXPECT_EQ(GetSettingInt("S", "keep", 0, Store(kLibraryProfileStore)), 0u);
  EXPECT_FALSE(WriteSettingInt("S", "new", 1, Store(kLibraryProfileStore)));
  EXPECT_EQ(FileText(folder_ / "pilvo.ini"), corrupt);

  if (::geteuid() == 0) return;  // root reads any file
  ASSERT_TRUE(WriteSettingInt("S", "keep", 1, Store(kProductStore)));
  fs::permissions(folder_ / "registry" / "pilvo3d.ini", fs::perms::none);
  EXPECT_FALSE(WriteSettingInt("S", "new", 1, Store(kProductStore)));
  fs::permissions(folder_ / "registry" / "pilvo3d.ini", fs::perms::owner_all);
  EXPECT_EQ(GetSettingInt("S", "keep", 0, Store(kProductStore)), 1u);
}

// This process and a child write their own keys into one store at the same time.
TEST_F(SettingsTest, TwoProcessesWritingAtOnceLoseNoKey) {
  constexpr int kKeysPerWriter = 100;
  const auto keyOf = [](int writer, int i) {
    return "w" + std::to_string(writer) + "_" + std::to_string(i);
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  bool ok = true;
  for (int i = 0; i < kKeysPerWriter; ++i) {
    ok = WriteSettingInt("Race", keyOf(child == 0, i), i, Store(kLibraryProfileStore)) && ok;
  }
  if (child == 0) ::_exit(ok ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(ok && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < kKeysPerWriter; ++i) {
      ASSERT_EQ(GetSettingInt("Race", keyOf(w, i), -1, Store(kLibraryProfileStore)),
                std::uint32_t(i))
          << keyOf(w, i);
    }
  }
}

// The installation is named after the folder of the module holding the code.
TEST(InstallationNameTest, FolderOfModuleWithSlashesReplaced) {
  EXPECT_EQ(InstallationNameFor("/opt/arm/libpilvo.so"), "pilvo.dll\\_opt_arm_");
  EXPECT_EQ(InstallationNameFor("/PilvoWizard"), "pilvo.dll\\_");
  const fs::path self = fs::canonical("/proc/self/exe");
  EXPECT_EQ(ContextFromEnvironment(Program::Library).installationName(),
            InstallationNameFor(self.string()));
  EXPECT_EQ(ModulePathOf(reinterpret_cast<const void*>(&FileText)), self);
  const fs::path libc = ModulePathOf(reinterpret_cast<const void*>(&::getpid));
  EXPECT_TRUE(libc.is_absolute());
  EXPECT_NE(libc.filename().string().find("libc"), std::string::npos) << libc;
  EXPECT_TRUE(ModulePathOf(nullptr).empty());
}

}  // namespace
}  // namespace pilvo
