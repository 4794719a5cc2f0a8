#include <gtest/gtest.h>

#include <vector>

#include "link/FrameCodec.h"

namespace mzr::frame {
namespace {

Bytes Sub(const Bytes& b, std::size_t from, std::size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

TEST(FrameCodec, RequestsAreExactBytes) {
  const Bytes read = BuildRead(0, 852);
  ASSERT_EQ(read.size(), 38u);
  EXPECT_EQ(Sub(read, 0, 10), (Bytes{'S', 'e', 't', 'P', 'a', 'r', 'a', 0, 0, 0}));
  EXPECT_EQ(Sub(read, 10, 30), (Bytes{'M', 'Z', 'R', '4', '7', '0', '0', 'C', 'o', 'n', 'f', 'i', 'g', 'D', 'a',
                                      't', 'a', 0, 0, 0}));
  EXPECT_EQ(Sub(read, 30, 36), (Bytes{0xCA, 0x03, 0x00, 0x00, 0x54, 0x03}));
  EXPECT_EQ(Sub(read, 36, 38), (Bytes{0, 0}));

  const Bytes save = BuildWrite(Command::Write, kSaveCommandAddress, Bytes{kCommandValue});
  ASSERT_EQ(save.size(), 39u);
  EXPECT_EQ(Sub(save, 30, 37), (Bytes{0xCA, 0x06, 0xB8, 0x0B, 0x01, 0x00, 0x02}));

  const Bytes image(852, 0x5A);
  const Bytes block = BuildWrite(Command::BlockWrite, 0, image);
  ASSERT_EQ(block.size(), 890u);
  EXPECT_EQ(Sub(block, 30, 36), (Bytes{0xCA, 0x10, 0x00, 0x00, 0x54, 0x03}));
  EXPECT_EQ(Sub(block, 36, 888), image);
  EXPECT_EQ(Sub(block, 888, 890), (Bytes{0, 0}));

  // The reused buffer gives the same bytes, also after a longer frame was built in it.
  Bytes reused = block;
  BuildWriteInto(reused, Command::Write, 266, Bytes{0xF6});
  EXPECT_EQ(reused, BuildWrite(Command::Write, 266, Bytes{0xF6}));
}

TEST(FrameCodec, ReadRepliesAreCheckedBeforeUse) {
  const Bytes whole(852, 7);
  const Bytes good = BuildReadReply(0, whole);
  ASSERT_EQ(good.size(), 890u);
  const auto reply = ParseReadReply(good);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->address, 0);
  EXPECT_EQ(reply->count, 852);
  EXPECT_EQ(Bytes(reply->data.begin(), reply->data.end()), whole);

  struct Case {
    const char* what;
    Bytes datagram;
  };
  Bytes tooLong = good;
  tooLong.push_back(0);
  Bytes wrongTag = good;
  wrongTag[0] = 'X';
  Bytes wrongToken = good;
  wrongToken[12] = 'x';
  Bytes wrongCommand = good;
  wrongCommand[31] = 6;
  Bytes pastImage = BuildReadReply(800, Bytes(60, 1));  // 800 + 60 > 852
  Bytes claimsMore = BuildReadReply(0, Bytes(20, 1));
  claimsMore[34] = 100;  // says 100 bytes, carries 20 (+2 trailer)
  const std::vector<Case> bad = {
      {"891 bytes", tooLong},        {"wrong tag", wrongTag},
      {"wrong token", wrongToken},   {"command not 3", wrongCommand},
      {"span past the image", pastImage}, {"count beyond the data", claimsMore},
      {"empty", Bytes{}},            {"tag only", Bytes{'M', 'y', 'P', 'a', 'r', 'a', 0}},
  };
  for (const auto& c : bad) EXPECT_FALSE(ParseReadReply(c.datagram)) << c.what;

  // A short span is taken at the address it names.
  const auto partial = ParseReadReply(BuildReadReply(622, Bytes(80, 'h')));
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->address, 622);
  EXPECT_EQ(partial->count, 80);
}

TEST(FrameCodec, AcknowledgementMatchesOnlyTheNewestCommand) {
  const Bytes ack6 = BuildAck(Command::Write, 3000, 1);
  ASSERT_EQ(ack6.size(), 38u);
  EXPECT_TRUE(IsAcknowledgement(ack6, 6));
  EXPECT_FALSE(IsAcknowledgement(ack6, 16));
  EXPECT_FALSE(IsAcknowledgement(ack6, 3));
  Bytes long39 = ack6;
  long39.push_back(0);
  EXPECT_FALSE(IsAcknowledgement(long39, 6));
  Bytes badToken = ack6;
  badToken[10] = 'm';
  EXPECT_FALSE(IsAcknowledgement(badToken, 6));
  EXPECT_TRUE(HasTag(BuildNetworkAck(), kNetworkAckTag));
  EXPECT_FALSE(HasTag(ack6, kNetworkAckTag));
}

TEST(FrameCodec, RequestsParseAsTheUnitSeesThem) {
  const auto read = ParseRequest(BuildRead(0, 852));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->command, Command::Read);
  EXPECT_EQ(read->count, 852);
  const auto write = ParseRequest(BuildWrite(Command::Write, 138, Bytes(12, 9)));
  ASSERT_TRUE(write);
  EXPECT_EQ(write->address, 138);
  EXPECT_EQ(write->data.size(), 12u);

  Bytes truncated = BuildWrite(Command::Write, 138, Bytes(12, 9));
  truncated.resize(40);
  Bytes badMarker = BuildRead(0, 852);
  badMarker[30] = 0;
  Bytes badCommand = BuildRead(0, 852);
  badCommand[31] = 4;
  EXPECT_FALSE(ParseRequest(truncated));
  EXPECT_FALSE(ParseRequest(badMarker));
  EXPECT_FALSE(ParseRequest(badCommand));
  EXPECT_FALSE(ParseRequest(BuildReadReply(0, Bytes(4, 0))));
}

}  // namespace
}  // namespace mzr::frame
