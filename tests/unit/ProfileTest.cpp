// Private-profile reading on the headless platform. The expected answers are
// the ones GetPrivateProfileIntA/StringA gave under Wine 8 for the same files
// (tests/e2e/profile-diff.sh measures them again and records the corpus
// answers in tests/data/ini/wine-answers.txt, which the last test replays).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/Profile.h"
#include "tests/e2e/profile/ProfileQuery.h"

namespace fs = std::filesystem;

namespace {

// Runs each test in a fresh working directory, because the product names its
// file relative to it (".\Orvex.INI").
class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("orvex-profile-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }

  static void Write(const std::string& name, const std::string& bytes) {
    fs::path p(name);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }

  // The answer as a string of exactly the characters returned.
  static std::string Str(const char* sec, const char* key, const char* def, int size = 128,
                         const char* file = ".\\t.ini") {
    std::vector<char> buf(size > 0 ? size : 1, '#');
    int n = ReadProfileString(sec, key, def, buf.data(), size, file);
    return std::string(buf.data(), n);
  }
  static int Int(const char* sec, const char* key, int def = -99, const char* file = ".\\t.ini") {
    return ReadProfileInt(sec, key, def, file);
  }

  fs::path old_, dir_;
};

TEST_F(ProfileTest, ProductKeysComeFromTheFileInTheWorkingDirectory) {
  Write("Orvex.INI",
        "[MODE]\r\nAuto=1\r\n[VARO]\r\nWriteStretage=1\r\n[MODEL]\r\nAutoDetect=53\r\n"
        "[FILE]\r\nFile Name=fw\\new.bin\r\n");
  EXPECT_EQ(1, Int("MODE", "Auto", 0, ".\\Orvex.INI"));
  EXPECT_EQ(1, Int("VARO", "WriteStretage", 0, ".\\Orvex.INI"));
  EXPECT_EQ(53, Int("MODEL", "AutoDetect", 0, ".\\Orvex.INI"));
  EXPECT_EQ("fw\\new.bin", Str("FILE", "File Name", "", 128, ".\\Orvex.INI"));
  // Any letter case and either separator find it; a bare name means the
  // Windows directory, not the working one.
  EXPECT_EQ(1, Int("MODE", "Auto", 0, ".\\orvex.ini"));
  EXPECT_EQ(1, Int("MODE", "Auto", 0, "./ORVEX.INI"));
  EXPECT_EQ(0, Int("MODE", "Auto", 0, "Orvex.INI"));
}

TEST_F(ProfileTest, FileBesideTheProgramButNotInTheWorkingDirectoryGivesDefaults) {
  Write("bin/Orvex.INI", "[MODE]\nAuto=1\n[FILE]\nFile Name=x.bin\n");
  EXPECT_EQ(0, Int("MODE", "Auto", 0, ".\\Orvex.INI"));
  EXPECT_EQ("", Str("FILE", "File Name", "", 128, ".\\Orvex.INI"));
  EXPECT_EQ(1, Int("MODE", "Auto", 0, ".\\BIN\\orvex.ini"));
}

TEST_F(ProfileTest, NamesMatchWithoutCaseAndBlanksAroundThemDoNotCount) {
  Write("t.ini", "  [ mode ]  \r\n   AUTO   =   2   \r\n\tFile Name\t=\t a b \t\r\n[ A  B ]\r\nk=v\r\n");
  EXPECT_EQ("2", Str("MODE", "Auto", "d"));
  EXPECT_EQ("2", Str(" Mode\t", "  auto ", "d"));
  EXPECT_EQ("a b", Str("MODE", "file name", "d"));
  EXPECT_EQ("v", Str("a  b", "K", "d"));
  EXPECT_EQ("d", Str("A B", "k", "d"));  // inner blanks count
  Write("t.ini", "[A]\n\xC9t\xE9=accent\n");
  EXPECT_EQ("accent", Str("A", "\xC9T\xE9", "d"));  // 'T' folds ...
  EXPECT_EQ("d", Str("A", "\xE9T\xC9", "d"));       // ... accented letters do not
}

TEST_F(ProfileTest, FirstSectionAndFirstKeyWin) {
  Write("t.ini", "[MODE]\nAuto=1\nAUTO=2\nflag\nflag=3\n[mode]\nAuto=9\nLater=5\n");
  EXPECT_EQ(1, Int("MODE", "Auto"));
  // A later section of the same name is never read, and a key without '='
  // hides a later one with a value.
  EXPECT_EQ(-99, Int("MODE", "Later"));
  EXPECT_EQ(-99, Int("MODE", "flag"));
}

TEST_F(ProfileTest, IntegersParseLikeTheSystem) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"7", 7}, {"-7", -7}, {"+7", 7}, {"007", 7}, {"010", 10}, {"0x1F", 31}, {"0X1F", 0},
      {"0b101", 5}, {"0o17", 15}, {"12abc", 12}, {"abc", 0}, {"- 3", 0}, {"--3", 0},
      {"2147483648", INT32_MIN}, {"-2147483649", INT32_MAX}, {"4294967296", 0},
      {"99999999999", 1215752191}, {"3.7", 3}, {"\"-7\"", -7}, {"\"9", 0}, {"\x01" "5", 5},
      {"\xA0" "5", 0}, {"-0x10", -16}, {"0x", 0},
  };
  std::string ini = "[N]\n";
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    ini += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
  ini += "empty=\nblank=   \nquotes=\"\"\n";
  Write("t.ini", ini);
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    EXPECT_EQ(cases[i].value, Int("N", ("k" + std::to_string(i)).c_str())) << cases[i].text;
  // Nothing to parse is the default, not zero.
  EXPECT_EQ(-99, Int("N", "empty"));
  EXPECT_EQ(-99, Int("N", "blank"));
  EXPECT_EQ(-99, Int("N", "quotes"));
  EXPECT_EQ(-99, Int("N", "missing"));
}

TEST_F(ProfileTest, OnlyTheFirst29CharactersOfAnIntegerCount) {
  Write("t.ini", "[N]\na=" + std::string(27, '0') + "42\nb=" + std::string(28, '0') + "42\n");
  EXPECT_EQ(42, Int("N", "a"));
  EXPECT_EQ(4, Int("N", "b"));
}

TEST_F(ProfileTest, LongValueIsCutToTheBufferWithoutWritingPastIt) {
  const std::string path = "D:\\" + std::string(197, 'p');
  Write("Orvex.INI", "[FILE]\r\nFile Name=" + path + "\r\n");
  char buf[128 + 16];
  std::memset(buf, '#', sizeof buf);
  ASSERT_EQ(127, ReadProfileString("FILE", "File Name", "", buf, 128, ".\\Orvex.INI"));
  EXPECT_EQ(path.substr(0, 127), std::string(buf, 127));
  EXPECT_EQ('\0', buf[127]);
  for (size_t i = 128; i < sizeof buf; ++i) ASSERT_EQ('#', buf[i]) << i;
  EXPECT_EQ(path, Str("FILE", "File Name", "", 300, ".\\Orvex.INI"));

  // Degenerate buffers: nothing written, nothing returned.
  EXPECT_EQ(0, ReadProfileString("FILE", "File Name", "", buf, 0, ".\\Orvex.INI"));
  EXPECT_EQ('p', buf[3]);
  EXPECT_EQ(0, ReadProfileString("FILE", "File Name", "", nullptr, 128, ".\\Orvex.INI"));
  EXPECT_EQ("", Str("FILE", "File Name", "", 1, ".\\Orvex.INI"));
}

TEST_F(ProfileTest, OnePairOfMatchingQuotesIsStripped) {
  Write("t.ini", "[Q]\nboth=\"quoted\"\nsingle='s'\nmixed=\"m'\ninner=\"a\" b\nempty=\"\"\nlone=\"\n"
                 "padded = \" in \"  \n");
  EXPECT_EQ("quoted", Str("Q", "both", "d"));
  EXPECT_EQ("s", Str("Q", "single", "d"));
  EXPECT_EQ("\"m'", Str("Q", "mixed", "d"));
  EXPECT_EQ("\"a\" b", Str("Q", "inner", "d"));
  EXPECT_EQ("", Str("Q", "empty", "d"));
  EXPECT_EQ("\"", Str("Q", "lone", "d"));
  EXPECT_EQ(" in ", Str("Q", "padded", "d"));
  // A buffer one short of the quoted text loses a character to the quote.
  EXPECT_EQ("quot", Str("Q", "both", "d", 5));
  EXPECT_EQ("quote", Str("Q", "both", "d", 6));
  EXPECT_EQ("quote", Str("Q", "both", "d", 7));
  EXPECT_EQ("quoted", Str("Q", "both", "d", 8));
}

TEST_F(ProfileTest, DefaultsDependOnWhetherThePathCouldHoldAFile) {
  Write("sub/x.ini", "");
  // Missing file: like an empty one; the default loses trailing blanks and quotes.
  EXPECT_EQ("dflt", Str("A", "k", "\"dflt\"  ", 20, ".\\missing.ini"));
  EXPECT_EQ(" ", Str("A", "k", "   ", 20, ".\\missing.ini"));
  EXPECT_EQ("  lead", Str("A", "k", "  lead", 20, ".\\missing.ini"));
  EXPECT_EQ("", Str("A", "k", nullptr, 20, ".\\missing.ini"));
  // Missing directory, a directory, an invalid name: the default as given,
  // less trailing blanks.
  EXPECT_EQ("\"dflt\"", Str("A", "k", "\"dflt\"  ", 20, ".\\nodir\\x.ini"));
  EXPECT_EQ("\"dflt\"", Str("A", "k", "\"dflt\"  ", 20, ".\\sub"));
  EXPECT_EQ("\"dflt\"", Str("A", "k", "\"dflt\"  ", 20, ".\\bad*name.ini"));
  EXPECT_EQ(5, Int("A", "k", 5, ".\\sub"));
  // Paths are resolved by name first: "..", trailing dots and blanks.
  EXPECT_EQ("dflt", Str("A", "k", "\"dflt\"", 20, ".\\nodir\\..\\sub\\X.INI. "));
  EXPECT_EQ("\"dflt\"", Str("A", "k", "\"dflt\"", 20, ".\\sub\\x.ini\\"));
}

TEST_F(ProfileTest, LineEndsHeadersAndComments) {
  Write("t.ini", "[MODE]\rAuto=1\rx=a\r[FILE]\n\r\nFile Name=cr.bin\r\r\r\nlast=tail");
  EXPECT_EQ(1, Int("MODE", "Auto"));
  EXPECT_EQ("a", Str("MODE", "x", "d"));
  EXPECT_EQ("cr.bin", Str("FILE", "File Name", "d"));
  EXPECT_EQ("tail", Str("FILE", "last", "d"));

  Write("t.ini", "top=0\n[MODE\nAuto=1\n[VARO] text\nv=1\n[X]y]\nk=2\n;Auto=5\n[]\ne=1\n");
  EXPECT_EQ("1", Str("", "Auto", "d"));  // "[MODE" is a key of the nameless top section
  EXPECT_EQ("0", Str("", "top", "d"));
  EXPECT_EQ("d", Str("MODE", "Auto", "d"));
  EXPECT_EQ("1", Str("VARO", "v", "d"));
  EXPECT_EQ("2", Str("X]y", "k", "d"));  // the last ']' closes the name
  EXPECT_EQ("5", Str("X]y", ";Auto", "d"));  // a ';' line is only a key named so
  EXPECT_EQ("d", Str("", "e", "d"));     // "[]" comes after the top section
}

TEST_F(ProfileTest, ControlCharactersAndNulBytes) {
  const char ini[] = "[C]\nsub=\x1av\x1a\nvt=\vv\f\nnbsp=\xA0v\xA0\nnul=a\0b\nna\0me=cut\n";
  Write("t.ini", std::string(ini, sizeof ini - 1));
  EXPECT_EQ("v", Str("C", "sub", "d"));  // Ctrl-Z, VT and FF are blanks
  EXPECT_EQ("v", Str("C", "vt", "d"));
  EXPECT_EQ("\xA0v\xA0", Str("C", "nbsp", "d"));  // NBSP is not
  EXPECT_EQ("a", Str("C", "nul", "d"));           // a NUL ends a value ...
  EXPECT_EQ("cut", Str("C", "na", "d"));          // ... and a name
}

TEST_F(ProfileTest, ByteOrderMarksSelectUtf8AndUtf16) {
  const std::string utf8 = "[F]\r\nname=Pr\xC3\xBC" "f\xE2\x82\xAC\xE4\xB8\xAD\xC4\x80\r\n";
  Write("t.ini", "\xEF\xBB\xBF" + utf8);
  // Back in code page 1252: u-umlaut and euro map, CJK does not, A-macron
  // by best fit.
  EXPECT_EQ("Pr\xFC" "f\x80?A", Str("F", "name", "d"));
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char c : std::string("[F]\nk=\xE9\n")) {
    const char16_t u = static_cast<unsigned char>(c);
    le += static_cast<char>(u & 0xFF);
    le += static_cast<char>(u >> 8);
    be += static_cast<char>(u >> 8);
    be += static_cast<char>(u & 0xFF);
  }
  Write("t.ini", le);
  EXPECT_EQ("\xE9", Str("F", "k", "d"));
  Write("t.ini", be);
  EXPECT_EQ("\xE9", Str("F", "k", "d"));
  Write("t.ini", "\xEF\xBB\xBF[V]\nbad=<\xED\xA0\x80>\nend=<\xF0\x9F");
  EXPECT_EQ("<?\?>", Str("V", "bad", "d"));
  EXPECT_EQ("<?", Str("V", "end", "d"));
}

TEST_F(ProfileTest, NullKeyOrSectionListsNamesCutToTheBuffer) {
  Write("t.ini", "[MODE]\nAuto=1\n;c=1\nnoeq\nFile=2\n[VARO]\n");
  EXPECT_EQ(std::string("Auto\0File\0", 10), Str("MODE", nullptr, "d", 64));
  EXPECT_EQ(std::string("Auto\0Fi", 7), Str("MODE", nullptr, "d", 9));
  EXPECT_EQ("d", Str("VARO", nullptr, "d", 64));  // nothing listed: the default
  EXPECT_EQ(std::string("MODE\0VARO\0", 10), Str(nullptr, nullptr, "d", 64));
  EXPECT_EQ(std::string("MODE\0V", 6), Str(nullptr, nullptr, "d", 8));
  EXPECT_EQ(0, Int("MODE", nullptr, 9));
}

TEST_F(ProfileTest, AChangedFileIsReadAgain) {
  Write("t.ini", "[MODE]\nAuto=1\n");
  EXPECT_EQ(1, Int("MODE", "Auto"));
  Write("t.ini", "[MODE]\nAuto=0\n");
  EXPECT_EQ(0, Int("MODE", "Auto"));
}

TEST_F(ProfileTest, ArbitraryBytesNeverWritePastTheAnswer) {
  std::mt19937 rng(20240501);
  const char alphabet[] = "[]=;\"' \t\r\n\x1a\0\xEF\xBB\xBF\xFF\xFE\xC3\xA9\xE2\x80\xF0\x9F" "ab";
  for (int round = 0; round < 100; ++round) {
    std::string bytes;
    const int len = static_cast<int>(rng() % 200);
    for (int i = 0; i < len; ++i) bytes += alphabet[rng() % (sizeof alphabet - 1)];
    Write("t.ini", bytes);
    const char* names[] = {"a", "", "[a", nullptr};
    for (const char* sec : names)
      for (const char* key : names)
        for (int size : {1, 2, 3, 5, 8, 13}) {
          std::vector<char> buf(size + 8, '#');
          const int n = ReadProfileString(sec, key, "\"d\" ", buf.data(), size, ".\\t.ini");
          ASSERT_GE(n, 0);
          ASSERT_LT(n, size);
          ASSERT_EQ('\0', buf[n]);
          for (size_t i = n + 1; i < buf.size(); ++i) ASSERT_EQ('#', buf[i]) << "round " << round;
        }
  }
}

// Replays every query of the corpus and expects the answers Wine gave.
TEST(ProfileCorpusTest, AnswersMatchTheRecordedWineAnswers) {
  const fs::path data = fs::path(ORVEX_SOURCE_DIR) / "tests" / "data" / "ini";
  std::ifstream queries(data / "queries.q", std::ios::binary);
  std::ifstream answers(data / "wine-answers.txt", std::ios::binary);
  ASSERT_TRUE(queries && answers);
  const fs::path old = fs::current_path();
  fs::current_path(data);
  std::string line, expected;
  int count = 0;
  while (std::getline(queries, line)) {
    line = profq::StripEol(line);
    if (!profq::IsQuery(line)) continue;
    ASSERT_TRUE(std::getline(answers, expected)) << "no recorded answer for " << line;
    EXPECT_EQ(expected, line + " => " + profq::Answer(line, ReadProfileInt, ReadProfileString));
    ++count;
  }
  fs::current_path(old);
  EXPECT_GT(count, 200);
  EXPECT_FALSE(std::getline(answers, expected)) << "more answers than queries";
}

}  // namespace
