// Private-profile files: parsing rules, round trips, the cache and safe write-back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "WINX_Profile.h"

namespace fs = std::filesystem;

namespace {

class Profile : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("winxwin_profile_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    file = (dir / "settings.ini").string();
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  void write(const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }
  std::string read() {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string get(const char* sec, const char* key, const char* def = "DEF") {
    char buf[256];
    GetPrivateProfileString(sec, key, def, buf, sizeof buf, file.c_str());
    return buf;
  }
  fs::path dir;
  std::string file;
};

TEST_F(Profile, ParsingRules) {
  write(
      "junk before any section\n"
      "[Main]\n"
      "  Key = 'quoted' \n"
      "single='\n"
      "=nokey\n"
      "noequals\n"
      "[unclosed\n"
      ";comment=kept\n"
      "[other]\n"
      "a=1\n"
      "[MAIN]\n"
      "fresh=yes\n");
  EXPECT_EQ(get("main", "fresh"), "yes");
  EXPECT_EQ(get("main", "Key "), "DEF");  // the repeated header started the section over
  EXPECT_EQ(get("OTHER", "A"), "1");
  write(
      "[s]\n"
      "  Key = 'quoted' \n"
      "single='\n"
      "[unclosed\n"
      ";comment=kept\n");
  EXPECT_EQ(get("s", "key "), "quoted");
  EXPECT_EQ(get("s", "key"), "DEF");
  EXPECT_EQ(get("s", "single"), "'");
  EXPECT_EQ(get("s", ";comment"), "kept");
  char list[64];
  const int n = GetPrivateProfileString("s", nullptr, "", list, sizeof list, file.c_str());
  EXPECT_EQ(std::string(list, static_cast<size_t>(n)), std::string(";comment\0Key \0single", 20));
}

TEST_F(Profile, IntsAndHeaderlessFiles) {
  write("[n]\na=42\nb=-0\nc=0x\nd=abc\n");
  EXPECT_EQ(GetPrivateProfileInt("n", "a", 7, file.c_str()), 42);
  EXPECT_EQ(GetPrivateProfileInt("n", "b", 7, file.c_str()), 7);
  EXPECT_EQ(GetPrivateProfileInt("n", "c", 7, file.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileInt("n", "d", 7, file.c_str()), 7);
  EXPECT_EQ(GetPrivateProfileInt("n", "zz", 7, file.c_str()), 7);
  write(std::string(262145, 'x') + "\n[n]\na=1\n");
  EXPECT_EQ(get("n", "a"), "DEF");
}

TEST_F(Profile, WriteRoundTripsAndSameValueDoesNotRewrite) {
  EXPECT_EQ(WritePrivateProfileString("B", "k2", "v2", file.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("a", "k1", "v1", file.c_str()), 1);
  EXPECT_EQ(read(), "[a]\nk1=v1\n\n[B]\nk2=v2\n\n");
  const auto t = fs::last_write_time(file);
  fs::last_write_time(file, t - std::chrono::hours(1));
  EXPECT_EQ(WritePrivateProfileString("A", "K1", "v1", file.c_str()), 1);
  EXPECT_EQ(fs::last_write_time(file), t - std::chrono::hours(1));
  EXPECT_EQ(WritePrivateProfileString("a", "k1", "V1", file.c_str()), 1);  // case of a value matters
  EXPECT_EQ(get("a", "k1"), "V1");
  EXPECT_EQ(WritePrivateProfileString("a", "k1", nullptr, file.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("b", nullptr, nullptr, file.c_str()), 1);
  EXPECT_EQ(read(), "[a]\n\n");
  EXPECT_EQ(WritePrivateProfileString(nullptr, "k", "v", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "", "v", file.c_str()), 0);

  const char strings[] = "x=1\0y=2=3\0bad\0x=4\0";
  EXPECT_EQ(WritePrivateProfileSection("sec", strings, file.c_str()), 1);
  char out[64];
  const int n = GetPrivateProfileSection("sec", out, sizeof out, file.c_str());
  EXPECT_EQ(std::string(out, static_cast<size_t>(n) + 1), std::string("x=4\0y=2=3\0\0", 11));
  for (const auto& e : fs::directory_iterator(dir)) EXPECT_EQ(e.path().filename(), "settings.ini");
}

TEST_F(Profile, StructsCarryAChecksum) {
  const unsigned char data[3] = {0x01, 0xFE, 0x10};
  EXPECT_EQ(WritePrivateProfileStruct("s", "blob", data, 3, file.c_str()), 1);
  EXPECT_EQ(get("s", "blob"), "01FE100F");
  unsigned char back[3] = {};
  EXPECT_EQ(GetPrivateProfileStruct("s", "blob", back, 3, file.c_str()), 1);
  EXPECT_EQ(memcmp(back, data, 3), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "blob", back, 2, file.c_str()), 0);
  WritePrivateProfileString("s", "zero", "00", file.c_str());
  EXPECT_EQ(GetPrivateProfileStruct("s", "zero", nullptr, 0, file.c_str()), 1);
  WritePrivateProfileString("s", "bad", "01FE1010", file.c_str());
  EXPECT_EQ(GetPrivateProfileStruct("s", "bad", back, 3, file.c_str()), 0);
}

// Regression: a write that cannot complete must not touch the file or leave a stray temporary
// file, must say so, and the cache must not go on serving the change that was never stored.
TEST_F(Profile, FailedWriteLeavesTheFileIntactAndIsReported) {
  const std::string old = "[a]\nk=" + std::string(100, 'o') + "\n";
  write(old);
  EXPECT_EQ(get("a", "k").size(), 100u);
  // A file-size limit makes the temporary file's writes fail as a full disk would (root too).
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tiny = saved;
  tiny.rlim_cur = 16;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &tiny);
  const int r = WritePrivateProfileString("a", "k", std::string(200, 'n').c_str(), file.c_str());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(read(), old);
  EXPECT_EQ(get("a", "k").size(), 100u);
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir)) (void)e, ++files;
  EXPECT_EQ(files, 1u);
}

// Regression: with whole-second times a same-size change by another program within the same
// second was served stale from the cache.
TEST_F(Profile, SameSizeChangeWithinASecondIsNoticed) {
  write("[a]\nk=1\n");
  EXPECT_EQ(get("a", "k"), "1");
  usleep(30000);  // past the file system's timestamp granularity, well inside the second
  write("[a]\nk=2\n");
  EXPECT_EQ(get("a", "k"), "2");
}

TEST_F(Profile, ThirtyThreeFilesReuseTheLeastRecentlyUsedSlot) {
  for (int i = 0; i < 33; ++i) {
    const std::string f = (dir / ("f" + std::to_string(i) + ".ini")).string();
    WritePrivateProfileString("s", "k", std::to_string(i).c_str(), f.c_str());
  }
  for (int i = 0; i < 33; ++i) {
    const std::string f = (dir / ("f" + std::to_string(i) + ".ini")).string();
    EXPECT_EQ(GetPrivateProfileInt("s", "k", -1, f.c_str()), i);
  }
}

TEST_F(Profile, NamesDifferingOnlyInCaseAreSeparateFiles) {
  const std::string upper = (dir / "Prefs.ini").string(), lower = (dir / "prefs.ini").string();
  EXPECT_EQ(WritePrivateProfileString("s", "k", "upper", upper.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("s", "k", "lower", lower.c_str()), 1);
  char buf[64];
  GetPrivateProfileString("s", "k", "", buf, sizeof buf, upper.c_str());
  EXPECT_STREQ(buf, "upper");
  GetPrivateProfileString("s", "k", "", buf, sizeof buf, lower.c_str());
  EXPECT_STREQ(buf, "lower");
  std::ifstream in(upper);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "[s]\nk=upper\n\n");
}

TEST_F(Profile, WritesThatWouldReadBackAsOtherLinesAreRefused) {
  EXPECT_EQ(WritePrivateProfileString("a", "k", "v", file.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "x\n[evil]\nk=1", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k", "x\ry", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k=2", "v", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "[k", "v", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a\n[b", "k", "v", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a]b", "k", "v", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileSection("a]b", "k=v\0", file.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("a", "k=2", nullptr, file.c_str()), 1);  // nothing to delete
  const char strings[] = "ok=1\0bad=x\ny=2\0[k=3\0";
  EXPECT_EQ(WritePrivateProfileSection("sec", strings, file.c_str()), 1);
  EXPECT_EQ(read(), "[a]\nk=v\n\n[sec]\nok=1\n\n");
  EXPECT_EQ(get("evil", "k"), "DEF");
}

}  // namespace
