#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tea.h"
#include "UIConfigKey.h"
#include "UIConfigResources.h"

namespace {

// A fresh folder standing in for the bundle's resources folder.
class ResourcesFolder : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/uiconfig-res-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    ASSERT_NE(nullptr, mkdtemp(buf.data()));
    dir_ = buf.data();
  }
  void TearDown() override {
    for (const std::string& f : files_) std::remove(f.c_str());
    ::rmdir(dir_.c_str());
  }
  std::string path(const std::string& file) {
    files_.push_back(dir_ + "/" + file);
    return files_.back();
  }
  void write(const std::string& file, const std::string& bytes) {
    std::ofstream out(path(file), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  bool load(const std::string& name, std::string& text) {
    lines_.clear();
    return UIConfigResources::loadResource(dir_, name, text,
                                           [this](const std::string& l) { lines_.push_back(l); });
  }
  static std::string encipher(std::string plain) {
    plain.resize((plain.size() + 7) / 8 * 8, '\0');
    unsigned int key[4];
    UIConfigKey::words(key);
    for (std::size_t p = 0; p < plain.size(); p += 8)
      Tea::simpleencrypt(reinterpret_cast<unsigned char*>(&plain[p]), key);
    return plain;
  }

  std::string dir_;
  std::vector<std::string> files_;
  std::vector<std::string> lines_;
};

}  // namespace

TEST(UIConfigResources, ResourceIsFoundByItsLastPathComponent) {
  EXPECT_EQ("uiconfig.tea", UIConfigResources::resourceFileName("resources/uiconfig.tea"));
  EXPECT_EQ("sysex.tea", UIConfigResources::resourceFileName("sysex.tea"));
  EXPECT_EQ("/b/Resources/uiconfig.tea",
            UIConfigResources::resourcePath("/b/Resources", UIConfigResources::kUIConfigResource));
  EXPECT_EQ("/b/Resources/sysex.tea",
            UIConfigResources::resourcePath("/b/Resources/", UIConfigResources::kSysExResource));
  EXPECT_EQ("", UIConfigResources::resourcePath("/b", "resources/"));
  EXPECT_EQ("", UIConfigResources::resourcePath("/b", "resources/.."));
}

TEST_F(ResourcesFolder, WholeBlocksDecipherToTheDocumentAndItsZeroPadding) {
  const std::string doc = "<uiconfig><valueLists/></uiconfig>";  // 34 bytes: 6 of padding
  write("uiconfig.tea", encipher(doc));
  std::string text = "left over";
  ASSERT_TRUE(load(UIConfigResources::kUIConfigResource, text));
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(40u, text.size());
  EXPECT_EQ(doc, std::string(text.c_str())) << "a reader stopping at the first NUL sees the document";
  EXPECT_EQ(std::string(6, '\0'), text.substr(34));
}

TEST_F(ResourcesFolder, MissingResourceIsReportedAndGivesNothing) {
  std::string text = "stale";
  EXPECT_FALSE(load(UIConfigResources::kSysExResource, text));
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(1u, lines_.size());
  EXPECT_EQ(0u, lines_[0].rfind("CONFIG READER: resource resources/sysex.tea NOT FOUND", 0));
}

TEST_F(ResourcesFolder, EmptyResourceIsReported) {
  write("sysex.tea", "");
  std::string text;
  EXPECT_FALSE(load(UIConfigResources::kSysExResource, text));
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(1u, lines_.size());
  EXPECT_EQ("CONFIG READER: resource resources/sysex.tea is EMPTY!", lines_[0]);
}

TEST_F(ResourcesFolder, PartialLastBlockIsNeverDeciphered) {
  const std::string whole = encipher("<sysexlist/>");  // 16 bytes
  write("sysex.tea", whole.substr(0, 13));
  std::string text;
  EXPECT_FALSE(load(UIConfigResources::kSysExResource, text));
  EXPECT_EQ("<sysexli", text) << "the whole first block is still usable";
  ASSERT_EQ(1u, lines_.size());
  EXPECT_NE(std::string::npos, lines_[0].find("not a whole number of 8-byte blocks"));
  EXPECT_NE(std::string::npos, lines_[0].find("last 5 bytes"));

  write("short.tea", "1234567");
  EXPECT_FALSE(load("short.tea", text));
  EXPECT_TRUE(text.empty());
}

TEST_F(ResourcesFolder, ResourceAtTheLimitIsReadWhole) {
  write("uiconfig.tea", std::string(UIConfigResources::kMaxResourceBytes, 'A'));
  std::string text;
  EXPECT_TRUE(load(UIConfigResources::kUIConfigResource, text));
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(UIConfigResources::kMaxResourceBytes, text.size());
}

TEST_F(ResourcesFolder, ResourceBeyondTheLimitIsCutThereAndReported) {
  write("uiconfig.tea", std::string(UIConfigResources::kMaxResourceBytes + 5, 'A'));
  std::vector<unsigned char> bytes;
  EXPECT_EQ(UIConfigResources::ReadStatus::kTruncated,
            UIConfigResources::readResource(dir_ + "/uiconfig.tea", bytes));
  EXPECT_EQ(UIConfigResources::kMaxResourceBytes, bytes.size());

  std::string text;
  EXPECT_FALSE(load(UIConfigResources::kUIConfigResource, text));
  EXPECT_EQ(UIConfigResources::kMaxResourceBytes, text.size());
  ASSERT_EQ(1u, lines_.size());
  EXPECT_NE(std::string::npos, lines_[0].find("larger than 4096000 bytes"));
}

TEST_F(ResourcesFolder, SomethingOtherThanAFileIsUnreadableAndNeverBlocks) {
  ASSERT_EQ(0, ::mkdir(path("uiconfig.tea").c_str(), 0700));
  files_.pop_back();
  const std::string sub = dir_ + "/uiconfig.tea";
  std::vector<unsigned char> bytes;
  EXPECT_EQ(UIConfigResources::ReadStatus::kUnreadable, UIConfigResources::readResource(sub, bytes));
  ::rmdir(sub.c_str());

  // A FIFO with no writer would hang a plain open.
  ASSERT_EQ(0, ::mkfifo(path("sysex.tea").c_str(), 0600));
  std::string text;
  EXPECT_FALSE(load(UIConfigResources::kSysExResource, text));
  EXPECT_TRUE(text.empty());
  ASSERT_EQ(1u, lines_.size());
  EXPECT_NE(std::string::npos, lines_[0].find("cannot be read"));
}

TEST(UIConfigResources, DecipherOfNoBytesAppendsNothing) {
  std::string out = "kept";
  EXPECT_EQ(0u, UIConfigResources::decrypt("abcdefgh", 0, out));
  EXPECT_EQ(0u, UIConfigResources::decrypt("abcdefgh", -8, out));
  EXPECT_EQ(0u, UIConfigResources::decrypt(nullptr, 8, out));
  EXPECT_EQ("kept", out);
  EXPECT_EQ(3u, UIConfigResources::decrypt("abcdefghijk", 11, out));
  EXPECT_EQ(12u, out.size()) << "appended after what was there";
}

TEST(UIConfigResources, BuildEncipheredTestDocumentReadsBack) {
  const std::string dir = SORVANTA_TEST_TEA_RESOURCE_DIR;
  struct stat st;
  if (::stat((dir + "/uiconfig.tea").c_str(), &st) != 0)
    GTEST_SKIP() << "tools not built: no enciphered test resource in " << dir;
  std::ifstream in(SORVANTA_TEST_XML, std::ios::binary);
  const std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(plain.empty());

  std::string text;
  std::vector<std::string> lines;
  ASSERT_TRUE(UIConfigResources::loadResource(dir, UIConfigResources::kUIConfigResource, text,
                                              [&](const std::string& l) { lines.push_back(l); }));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ((plain.size() + 7) / 8 * 8, text.size());
  EXPECT_EQ(plain, std::string(text.c_str()));

  tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
  ASSERT_EQ(tinyxml2::XML_SUCCESS, doc.Parse(text.c_str()));
  const tinyxml2::XMLElement* list =
      doc.FirstChildElement("uiconfig")->FirstChildElement("valueLists")->FirstChildElement("list");
  ASSERT_NE(nullptr, list);
  EXPECT_STREQ("lfoShape", list->Attribute("name"));
}
