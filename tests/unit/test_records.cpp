#include <gtest/gtest.h>

#include <cstring>

#include "base/fixed_text.h"
#include "base/records.h"

using namespace base;

namespace {
#pragma pack(push, 1)
struct Sample {
  uint16_t size;
  int32_t time;
  char code[10];
  float price;
};
#pragma pack(pop)
QV_RECORD_SIZE(Sample, 20);
QV_FIELD_AT(Sample, time, 2);
QV_FIELD_AT(Sample, code, 6);
QV_FIELD_AT(Sample, price, 16);
}  // namespace

TEST(FixedText, WritesTerminatedAndZeroPadded) {
  char field[8];
  std::memset(field, 'x', sizeof field);
  WriteFixedText(field, "abc");
  EXPECT_EQ(std::string(field, 8), std::string("abc\0\0\0\0\0", 8));
  WriteFixedText(field, "abcdefghij");
  EXPECT_EQ(std::string(field, 8), std::string("abcdefg\0", 8)) << "cut to size minus one";
}

TEST(FixedText, NeverSplitsADoubleByteCharacter) {
  char field[6];
  // "a中文" is 5 bytes; size 6 leaves 5 for text.
  WriteFixedText(field, "a\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ReadFixedText(field), "a\xD6\xD0\xCE\xC4");
  // "ab中文" is 6 bytes: the last character does not fit whole.
  WriteFixedText(field, "ab\xD6\xD0\xCE\xC4");
  EXPECT_EQ(std::string(field, 6), std::string("ab\xD6\xD0\0\0", 6));
  // A trail byte in the ASCII range still belongs to its lead byte.
  WriteFixedText(field, "abcd\x81\x41");
  EXPECT_EQ(ReadFixedText(field), "abcd");
  EXPECT_EQ(GbkPrefixLength("\x81\x41\x81\x41", 3), 2u);
}

TEST(FixedText, ReadsUpToNulOrTheFieldEndNeverBeyond) {
  char buffer[12];
  std::memset(buffer, 'z', sizeof buffer);
  std::memcpy(buffer, "abcd", 4);  // no terminator inside the first 4 bytes
  EXPECT_EQ(ReadFixedText(buffer, 4), "abcd");
  buffer[2] = 0;
  EXPECT_EQ(ReadFixedText(buffer, 4), "ab");
  EXPECT_EQ(ReadFixedText(buffer, 0), "");
}

TEST(FixedText, Utf8FormsConvertAtTheField) {
  char field[9];
  WriteFixedUtf8(field, "\xE4\xB8\xAD\xE6\x96\x87");  // 中文
  EXPECT_EQ(ReadFixedText(field), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ReadFixedUtf8(field), "\xE4\xB8\xAD\xE6\x96\x87");
}

TEST(Records, LittleAndBigEndianAccess) {
  unsigned char bytes[8] = {0x34, 0x12, 0x78, 0x56, 0, 0, 0, 0};
  EXPECT_EQ(LoadLE<uint16_t>(bytes), 0x1234);
  EXPECT_EQ(LoadLE<uint32_t>(bytes), 0x56781234u);
  EXPECT_EQ(LoadLE<uint16_t>(bytes + 1), 0x7812) << "unaligned";
  StoreBE32(bytes, 1646);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[2], 0x06);
  EXPECT_EQ(bytes[3], 0x6E);
  EXPECT_EQ(LoadBE32(bytes), 1646u);
  StoreLE<float>(bytes + 3, 12.5f);
  EXPECT_EQ(LoadLE<float>(bytes + 3), 12.5f);
}

TEST(Records, PackedRecordRoundTripsThroughBytes) {
  Sample s{};
  s.size = 20;
  s.time = -5;
  WriteFixedText(s.code, "600000");
  s.price = 9.87f;
  unsigned char bytes[sizeof(Sample)];
  StoreRecord(bytes, s);
  EXPECT_EQ(LoadLE<int32_t>(bytes + 2), -5);
  EXPECT_EQ(ReadFixedText(reinterpret_cast<const char*>(bytes) + 6, 10), "600000");
  const Sample back = LoadRecord<Sample>(bytes);
  EXPECT_EQ(back.price, 9.87f);
}
