// The message connection's wire layouts and the password cipher, checked on
// the bytes a server would receive (inflated again) and the bytes it sends.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "account/password_cipher.h"
#include "account/unt_messageframes.h"
#include "base/records.h"

namespace {

struct Unpacked {
  uint32_t packetLength = 0;
  uint64_t blockLength = 0;
  size_t compressedSize = 0;
  std::vector<unsigned char> block;
};

Unpacked Unpack(const std::vector<unsigned char>& wire) {
  Unpacked u;
  u.packetLength = base::LoadBE32(wire.data());
  u.blockLength = base::LoadLE<uint64_t>(wire.data() + 4);
  u.compressedSize = wire.size() - 12;
  u.block.resize(static_cast<size_t>(u.blockLength));
  uLongf size = static_cast<uLongf>(u.block.size());
  EXPECT_EQ(uncompress(u.block.data(), &size, wire.data() + 12, static_cast<uLong>(u.compressedSize)), Z_OK);
  EXPECT_EQ(size, u.block.size());
  return u;
}

TEST(AccountFrames, TextLineOf100BytesIsA600ByteBlockBehindBothLengths) {
  const std::string line(100, 'x');
  const auto wire = account::MessageBytes(account::kMsgTextLine, "trader01", account::TextLineBody(line));
  const Unpacked u = Unpack(wire);
  EXPECT_EQ(u.blockLength, 600u);
  EXPECT_EQ(u.packetLength, 8 + u.compressedSize);
  EXPECT_EQ(u.packetLength + 4, wire.size());
  EXPECT_EQ(base::LoadLE<int32_t>(u.block.data()), 3007);
  EXPECT_STREQ(reinterpret_cast<const char*>(u.block.data() + 4), "trader01");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(u.block.data() + 88)), line);
  for (size_t i = 188; i < 600; ++i) ASSERT_EQ(u.block[i], 0) << i;
  // A zlib stream (with its header), as the server's inflate expects.
  EXPECT_EQ(wire[12] & 0x0F, 8);
  EXPECT_EQ(((wire[12] << 8) | wire[13]) % 31, 0);
}

TEST(AccountFrames, PresenceCarriesTheUserIdentifierAndZeros) {
  const auto wire = account::MessageBytes(account::kMsgOffline, "张三");
  const Unpacked u = Unpack(wire);
  ASSERT_EQ(u.block.size(), 88u);
  EXPECT_EQ(base::LoadLE<int32_t>(u.block.data()), 1001);
  // "张三" in GBK, then zeros to the end of the header.
  const unsigned char gbk[] = {0xD5, 0xC5, 0xC8, 0xFD};
  EXPECT_EQ(std::memcmp(u.block.data() + 4, gbk, 4), 0);
  for (size_t i = 8; i < 88; ++i) ASSERT_EQ(u.block[i], 0) << i;
}

TEST(AccountFrames, A600ByteTextIsCutTo511BytesAndANul) {
  std::string text;
  for (int i = 0; i < 600; ++i) text += static_cast<char>('a' + i % 26);
  const auto body = account::TextLineBody(text);
  ASSERT_EQ(body.size(), 512u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(body.data()), 511), text.substr(0, 511));
  EXPECT_EQ(body[511], 0);
  // A double-byte character that would straddle the cut is left out whole.
  const auto chinese = account::TextLineBody(std::string(510, 'a') + "中");
  EXPECT_EQ(chinese[509], 'a');
  EXPECT_EQ(chinese[510], 0);
}

TEST(AccountFrames, InboundFrameFieldsAreReadWhereTheyLie) {
  account::FrameBytes frame{};
  base::StoreLE<int32_t>(frame.data(), account::kMsgSystemText);
  const unsigned char text[] = {0xCF, 0xB5, 0xCD, 0xB3, 'A'};  // "系统A"
  std::memcpy(frame.data() + 622, text, sizeof text);
  frame[88] = 0x5A;
  frame[88 + 533] = 0xA5;
  EXPECT_EQ(account::FrameType(frame), 3001);
  EXPECT_EQ(account::FrameText(frame), "系统A");
  const auto post = account::FrameSharePost(frame);
  EXPECT_EQ(post[0], 0x5A);
  EXPECT_EQ(post[533], 0xA5);
  // A text that fills its 1024 bytes without a NUL stops at the frame's end.
  std::memset(frame.data() + 622, 'z', 1024);
  EXPECT_EQ(account::FrameText(frame), std::string(1024, 'z'));
}

TEST(AccountCipher, TwiceGivesTheInputBackAndKeepsTheLength) {
  const std::string password = "abc123";
  const std::string once = account::CipherPassword(password);
  EXPECT_EQ(once.size(), 6u);
  EXPECT_NE(once, password);
  EXPECT_EQ(account::CipherPassword(once), password);
  // o[i] = b[i] ^ (key[(i+1) % 12] % 10): the first byte uses the key's second letter.
  EXPECT_EQ(static_cast<unsigned char>(once[0]), 'a' ^ (account::kPasswordKey[1] % 10));
  EXPECT_EQ(static_cast<unsigned char>(once[5]), '3' ^ (account::kPasswordKey[6] % 10));
  const std::string long13(13, 'q');
  const std::string c13 = account::CipherPassword(long13);
  EXPECT_EQ(static_cast<unsigned char>(c13[11]), 'q' ^ (account::kPasswordKey[0] % 10));
  EXPECT_EQ(account::CipherPassword(c13), long13);
}

}  // namespace
