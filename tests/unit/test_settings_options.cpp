#include <gtest/gtest.h>

#include <cstring>

#include "base/records.h"
#include "settings/options_record.h"
#include "support/temp_dir.h"
#include "test_settings_support.h"

using namespace settings;
using namespace settings_test;
using testing_support::TempDir;

namespace {

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

TOptionsRecord Sample() {
  TOptionsRecord r;
  r.SetServerAddress("login.example.cn");
  r.serverPort = 8085;
  r.networkLine = 1;
  r.rememberName = 1;
  r.SetUserName("张三");
  r.rememberPassword = 1;
  r.SetStoredPassword("enc!pw");
  r.autoLogin = 1;
  r.soundOn = 1;
  return r;
}

std::string Bytes(const TOptionsRecord& r) { return std::string(reinterpret_cast<const char*>(&r), sizeof r); }

}  // namespace

TEST(OptionsRecordFile, IsTheRaw172BytesAtTheDocumentedOffsets) {
  TempDir dir;
  const std::string path = dir.File("option.opt");
  WriteOptions(path, Sample());
  const std::string bytes = FileBytes(path);
  ASSERT_EQ(bytes.size(), 172u);
  EXPECT_EQ(bytes.substr(0, 17), std::string("login.example.cn\0", 17));
  EXPECT_TRUE(AllZero(bytes.data() + 17, 32 - 17));
  EXPECT_EQ(base::LoadLE<int32_t>(bytes.data() + 32), 8085);
  EXPECT_EQ(base::LoadLE<int32_t>(bytes.data() + 36), 1);
  EXPECT_EQ(bytes[40], 1);
  EXPECT_EQ(bytes.substr(41, 5), Gbk("张三") + '\0');
  EXPECT_EQ(bytes[105], 1);
  EXPECT_EQ(bytes.substr(106, 7), std::string("enc!pw\0", 7));
  EXPECT_EQ(bytes[170], 1);
  EXPECT_EQ(bytes[171], 1);
}

TEST(OptionsRecordFile, MissingFileLeavesTheRecordZeroAndTheFirstWriteCreatesIt) {
  TempDir dir;
  const std::string path = dir.File("option.opt");
  TOptionsRecord r;
  EXPECT_FALSE(ReadOptions(path, r));
  EXPECT_TRUE(AllZero(&r, sizeof r));
  r.soundOn = 1;
  WriteOptions(path, r);
  EXPECT_EQ(FileBytes(path), std::string(171, '\0') + '\x01');
}

TEST(OptionsRecordFile, RoundTrips) {
  TempDir dir;
  const std::string path = dir.File("option.opt");
  WriteOptions(path, Sample());
  TOptionsRecord r;
  ASSERT_TRUE(ReadOptions(path, r));
  EXPECT_EQ(Bytes(r), Bytes(Sample()));
  EXPECT_EQ(r.ServerAddress(), "login.example.cn");
  EXPECT_EQ(r.UserName(), "张三");
  EXPECT_EQ(r.StoredPassword(), "enc!pw");
}

TEST(OptionsRecordFile, AHundredByteFileFillsOnlyItsLength) {
  TempDir dir;
  const std::string path = dir.File("option.opt");
  const std::string full = Bytes(Sample());
  std::string name(64, 'n');
  std::string head = full.substr(0, 41) + name.substr(0, 59);  // the name's first 59 bytes
  ASSERT_EQ(head.size(), 100u);
  WriteBytes(path, head);

  TOptionsRecord r;
  ASSERT_TRUE(ReadOptions(path, r));
  EXPECT_EQ(r.ServerAddress(), "login.example.cn");
  EXPECT_EQ(r.serverPort, 8085);
  EXPECT_EQ(r.rememberName, 1);
  EXPECT_EQ(r.UserName(), std::string(59, 'n'));
  EXPECT_TRUE(AllZero(r.userName + 59, 5)) << "the name's tail";
  EXPECT_EQ(r.rememberPassword, 0);
  EXPECT_TRUE(AllZero(r.storedPassword, sizeof r.storedPassword));
  EXPECT_EQ(r.autoLogin, 0);
  EXPECT_EQ(r.soundOn, 0);

  // The next write makes it whole without losing a byte it had.
  r.soundOn = 1;
  WriteOptions(path, r);
  const std::string after = FileBytes(path);
  ASSERT_EQ(after.size(), 172u);
  EXPECT_EQ(after.substr(0, 100), head);
  EXPECT_EQ(after[171], 1);
}

TEST(OptionsRecordFile, BytesBeyondTheRecordAreKept) {
  TempDir dir;
  const std::string path = dir.File("option.opt");
  WriteBytes(path, std::string(172, '\0') + "trailer");
  TOptionsRecord r;
  ASSERT_TRUE(ReadOptions(path, r));
  EXPECT_TRUE(AllZero(&r, sizeof r));
  WriteOptions(path, Sample());
  EXPECT_EQ(FileBytes(path), Bytes(Sample()) + "trailer");
}

TEST(OptionsRecordFile, AFailedWriteRaisesUnableToWrite) {
  TempDir dir;
  const std::string path = dir.File("missing-folder/option.opt");
  try {
    WriteOptions(path, Sample());
    FAIL() << "no exception";
  } catch (const EOptionsFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}

TEST(LoginChoices, AreStoredWithTheLineAndTheFlags) {
  TOptionsRecord r;
  TLoginChoices c;
  c.serverAddress = "10.0.0.8";
  c.telecomLine = false;
  c.rememberName = true;
  c.userName = "  lisi";
  c.autoLogin = true;
  StoreLoginChoices(r, c);
  EXPECT_EQ(r.ServerAddress(), "10.0.0.8");
  EXPECT_EQ(r.serverPort, 8085);
  EXPECT_EQ(r.networkLine, 0) << "联通";
  EXPECT_EQ(r.rememberName, 1);
  EXPECT_EQ(r.UserName(), "  lisi") << "stored as typed";
  EXPECT_EQ(r.rememberPassword, 0);
  EXPECT_EQ(r.StoredPassword(), "");
  EXPECT_EQ(r.autoLogin, 1);
  c.telecomLine = true;
  StoreLoginChoices(r, c);
  EXPECT_EQ(r.networkLine, 1) << "电信";
}

TEST(LoginChoices, UntickedRememberBoxesKeepWhatWasStored) {
  TempDir dir;
  const std::string path = dir.File("option.opt");
  TOptionsRecord r;
  TLoginChoices c;
  c.serverAddress = "a.example";
  c.rememberName = true;
  c.userName = "wangwu";
  c.rememberPassword = true;
  c.encipheredPassword = "secret";
  StoreLoginChoices(r, c);
  WriteOptions(path, r);

  // A later login with both boxes unticked and other texts typed.
  c.rememberName = false;
  c.userName = "someone-else";
  c.rememberPassword = false;
  c.encipheredPassword = "other";
  StoreLoginChoices(r, c);
  WriteOptions(path, r);

  TOptionsRecord back;
  ASSERT_TRUE(ReadOptions(path, back));
  EXPECT_EQ(back.rememberName, 0);
  EXPECT_EQ(back.UserName(), "wangwu");
  EXPECT_EQ(back.rememberPassword, 0);
  EXPECT_EQ(back.StoredPassword(), "secret");
}
