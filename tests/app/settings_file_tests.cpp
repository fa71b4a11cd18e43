#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/recording_window.h"
#include "support/test_files.h"
#include "text/encoding.h"

namespace sucaigang {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("settings_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = (folder_ / "pz.ini").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  void WriteFile(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string FileBytes() const { return testing::ReadFileBytes(path_); }
  unsigned Mode() const {
    struct stat st {};
    stat(path_.c_str(), &st);
    return st.st_mode & 0777;
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(SettingsFileTest, NonAsciiUserNameRoundTripsAsGbkBytes) {
  testing::RecordingWindow window;
  window.SetText("编辑框_user", "远山用户"_gbk);
  window.SetText("编辑框_pass", "p&ss word"_gbk);
  SaveCredentials(window, path_);

  EXPECT_EQ(FileBytes(), "[conf]\r\nuser=" + "远山用户"_gbk + "\r\npass=p&ss word\r\n");

  testing::RecordingWindow restored;
  RestoreCredentials(restored, path_);
  EXPECT_EQ(restored.GetText("编辑框_user"), "远山用户"_gbk);
  EXPECT_EQ(restored.GetText("编辑框_pass"), "p&ss word");
}

TEST_F(SettingsFileTest, FreshStartWithoutFileGivesEmptyFields) {
  testing::RecordingWindow window;
  window.SetText("编辑框_user", "left over");
  RestoreCredentials(window, path_);
  EXPECT_EQ(window.GetText("编辑框_user"), "");
  EXPECT_EQ(window.GetText("编辑框_pass"), "");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsFileTest, KeepsWhatAnotherProgramWrote) {
  // As Windows writes it: CR LF, other sections and keys, names in another case.
  const std::string before =
      "; written by hand\r\n"
      "[Other]\r\n"
      "user=someone else\r\n"
      "\r\n"
      "[CONF]\r\n"
      "Colour=blue\r\n"
      "USER = old name \r\n"
      "\r\n"
      "[tail]\r\n"
      "x=1\r\n";
  WriteFile(before);
  EXPECT_EQ(ReadProfileText(path_, "conf", "user"), "old name");
  EXPECT_EQ(ReadProfileText(path_, "conf", "colour"), "blue");

  testing::RecordingWindow window;
  window.SetText("编辑框_user", "新名字"_gbk);
  window.SetText("编辑框_pass", "secret");
  SaveCredentials(window, path_);

  EXPECT_EQ(FileBytes(),
            "; written by hand\r\n"
            "[Other]\r\n"
            "user=someone else\r\n"
            "\r\n"
            "[CONF]\r\n"
            "Colour=blue\r\n"
            "user=" +
                "新名字"_gbk +
                "\r\n"
                "pass=secret\r\n"
                "\r\n"
                "[tail]\r\n"
                "x=1\r\n");
}

TEST_F(SettingsFileTest, ReadsOnlyTheKeyOfTheRightSection) {
  WriteFile("[confx]\nuser=a\n[ conf ]\npassword=b\nuser=\"  quoted  \"\nuser=second\n");
  struct Case {
    const char* section;
    const char* key;
    Text expected;
  } cases[] = {
      {"conf", "user", "  quoted  "},  // first match; quotes keep the blanks
      {"conf", "pass", ""},            // "password" is another key
      {"confx", "USER", "a"},
      {"missing", "user", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadProfileText(path_, c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
}

TEST_F(SettingsFileTest, ValuesThatNeedQuotingReadBackAsWritten) {
  for (Text value : {Text("  padded  "), Text("\"quoted\""), Text("'x'"), Text("a=b;c")}) {
    ASSERT_TRUE(WriteProfileText(path_, "conf", "pass", value));
    EXPECT_EQ(ReadProfileText(path_, "conf", "pass"), value);
  }
  // A line break cannot be stored: the value ends there instead of starting a new key.
  ASSERT_TRUE(WriteProfileText(path_, "conf", "user", "name\r\n[evil]\r\nx=1"));
  EXPECT_EQ(ReadProfileText(path_, "conf", "user"), "name");
  EXPECT_EQ(ReadProfileText(path_, "evil", "x"), "");
}

TEST_F(SettingsFileTest, LongValuesAreCutToTheBuffer) {
  WriteFile("[conf]\r\nuser=" + std::string(12000, 'a') + "\r\n");
  EXPECT_EQ(ReadProfileText(path_, "conf", "user"), std::string(10239, 'a'));

  // 10238 ASCII bytes then double-byte characters: the one that would straddle the end is dropped.
  Text gbk = std::string(10238, 'b') + "中文"_gbk;
  WriteFile("[conf]\r\nuser=" + gbk + "\r\n");
  EXPECT_EQ(ReadProfileText(path_, "conf", "user"), std::string(10238, 'b'));
}

TEST_F(SettingsFileTest, NewKeysAndSectionsJoinTheFileCleanly) {
  WriteFile("[conf]\nuser=a");  // LF only, no final line break
  ASSERT_TRUE(WriteProfileText(path_, "conf", "pass", "b"));
  ASSERT_TRUE(WriteProfileText(path_, "new", "k", "v"));
  EXPECT_EQ(FileBytes(), "[conf]\nuser=a\r\npass=b\r\n[new]\r\nk=v\r\n");
}

TEST_F(SettingsFileTest, FileIsForItsOwnerOnly) {
  testing::RecordingWindow window;
  window.SetText("编辑框_user", "u");
  SaveCredentials(window, path_);
  EXPECT_EQ(Mode(), 0600u);

  chmod(path_.c_str(), 0644);
  SaveCredentials(window, path_);
  EXPECT_EQ(Mode(), 0600u);
  EXPECT_EQ(ReadProfileText(path_, "conf", "user"), "u");
}

TEST_F(SettingsFileTest, WriteFailureIsIgnored) {
  testing::RecordingWindow window;
  const std::string unreachable = (folder_ / "no such folder" / "pz.ini").string();
  SaveCredentials(window, unreachable);  // no message, no crash
  EXPECT_FALSE(WriteProfileText(unreachable, "conf", "user", "u"));
  EXPECT_TRUE(window.Boxes().empty());
}

}  // namespace
}  // namespace sucaigang
