// The fault layer spoils exactly the reply its plan names, the way it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <vector>

#include "sim/FaultLayer.h"
#include "sim/ScriptedPeer.h"

namespace corvel::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// The line as the model sees it: what went out, and whether the cable was pulled.
class RecordingLink : public DeviceLink {
 public:
  void Send(std::vector<uint8_t> bytes, uint32_t, uint32_t) override { sent.push_back(std::move(bytes)); }
  uint32_t LineBaud() const override { return 19200; }
  void HangUp() override { hung_up = true; }
  std::vector<Bytes> sent;
  bool hung_up = false;
};

TEST(FaultLayer, ParsesItsPlans) {
  struct Case {
    const char* text;
    bool ok;
    FaultPlan::Kind kind;
    int reply;
    int code;
  };
  const Case cases[] = {
      {"flip:3", true, FaultPlan::Kind::Flip, 3, -1},
      {"drop:1", true, FaultPlan::Kind::Drop, 1, -1},
      {"junk:2@0x76", true, FaultPlan::Kind::Junk, 2, 0x76},
      {"silent:5@153", true, FaultPlan::Kind::Silent, 5, 153},
      {"close:4", true, FaultPlan::Kind::Close, 4, -1},
      {"flip:0", false, {}, 0, 0},
      {"flip:", false, {}, 0, 0},
      {"flip", false, {}, 0, 0},
      {"zap:1", false, {}, 0, 0},
      {"flipper:1", false, {}, 0, 0},
      {"flip:2@0x100", false, {}, 0, 0},
      {"flip:2x", false, {}, 0, 0},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto plan = ParseFaultPlan(c.text, &error);
    ASSERT_EQ(plan.has_value(), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(plan->kind, c.kind) << c.text;
    EXPECT_EQ(plan->reply, c.reply) << c.text;
    EXPECT_EQ(plan->request_code, c.code) << c.text;
  }
}

// Four requests (first bytes 0x11, 0x22, 0x11, 0x22), each answered with the
// same 8-byte frame; returns what reached the line.
RecordingLink RunPlan(FaultPlan plan) {
  const Bytes frame = {1, 2, 3, 4, 5, 6, 7, 8};
  auto peer = std::make_unique<ScriptedPeer>();
  for (int i = 0; i < 4; ++i) peer->script.push_back({{frame}});
  FaultLayer layer(std::move(peer), plan);
  RecordingLink link;
  for (uint8_t request : {0x11, 0x22, 0x11, 0x22}) {
    const uint8_t bytes[] = {request, 0x00};
    layer.OnReceive(bytes, sizeof bytes, 19200, link);
  }
  return link;
}

TEST(FaultLayer, SpoilsOnlyThePlannedReply) {
  const Bytes frame = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto bits_differing = [](const Bytes& a, const Bytes& b) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += std::bitset<8>(a[i] ^ b[i]).count();
    return n;
  };
  struct Case {
    const char* name;
    FaultPlan plan;
    std::size_t replies_sent;
    int spoiled;  // index of the spoiled reply among those sent; -1: none reaches the line spoiled
    bool hung_up;
  };
  const Case cases[] = {
      {"flip the 2nd", {FaultPlan::Kind::Flip, 2, -1, 7}, 4, 1, false},
      {"drop from the 3rd", {FaultPlan::Kind::Drop, 3, -1, 7}, 4, 2, false},
      {"junk before the 1st", {FaultPlan::Kind::Junk, 1, -1, 7}, 4, 0, false},
      {"silent from the 2nd", {FaultPlan::Kind::Silent, 2, -1, 7}, 1, -1, false},
      {"close at the 3rd", {FaultPlan::Kind::Close, 3, -1, 7}, 2, -1, true},
      // Counting only replies to 0x22: its 2nd is the 4th reply in all.
      {"flip the 2nd answer to 0x22", {FaultPlan::Kind::Flip, 2, 0x22, 7}, 4, 3, false},
  };
  for (const auto& c : cases) {
    const RecordingLink link = RunPlan(c.plan);
    ASSERT_EQ(link.sent.size(), c.replies_sent) << c.name;
    EXPECT_EQ(link.hung_up, c.hung_up) << c.name;
    for (std::size_t i = 0; i < link.sent.size(); ++i) {
      const Bytes& got = link.sent[i];
      if (static_cast<int>(i) != c.spoiled) {
        EXPECT_EQ(got, frame) << c.name << ": reply " << i;
        continue;
      }
      switch (c.plan.kind) {
        case FaultPlan::Kind::Flip:
          ASSERT_EQ(got.size(), frame.size()) << c.name;
          EXPECT_EQ(bits_differing(got, frame), 1u) << c.name;
          break;
        case FaultPlan::Kind::Drop:
          EXPECT_LT(got.size(), frame.size()) << c.name;
          EXPECT_TRUE(std::includes(frame.begin(), frame.end(), got.begin(), got.end())) << c.name;
          break;
        case FaultPlan::Kind::Junk:
          ASSERT_GT(got.size(), frame.size()) << c.name;
          EXPECT_LE(got.size(), frame.size() + 8) << c.name;
          EXPECT_TRUE(std::equal(frame.rbegin(), frame.rend(), got.rbegin())) << c.name;
          break;
        default: ADD_FAILURE() << c.name;
      }
    }
    // The same seed spoils the same way.
    EXPECT_EQ(RunPlan(c.plan).sent, link.sent) << c.name;
  }
}

}  // namespace
}  // namespace corvel::sim
