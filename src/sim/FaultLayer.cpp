#include "sim/FaultLayer.h"

#include <cstdlib>
#include <utility>
#include <vector>

namespace corvel::sim {

namespace {

constexpr int kMaxJunkBytes = 8;

struct KindName {
  const char* name;
  FaultPlan::Kind kind;
};
constexpr KindName kKinds[] = {
    {"flip", FaultPlan::Kind::Flip},     {"drop", FaultPlan::Kind::Drop},   {"junk", FaultPlan::Kind::Junk},
    {"silent", FaultPlan::Kind::Silent}, {"close", FaultPlan::Kind::Close},
};

// A whole number in decimal or 0x hex; nullopt for anything else.
std::optional<long> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (end == nullptr || *end != '\0' || value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<FaultPlan> ParseFaultPlan(const std::string& text, std::string* error) {
  const auto fail = [&]() -> std::optional<FaultPlan> {
    if (error) *error = "--fault takes KIND:N[@CODE] with KIND flip, drop, junk, silent or close, not '" + text + "'";
    return std::nullopt;
  };
  const auto colon = text.find(':');
  if (colon == std::string::npos) return fail();
  FaultPlan plan;
  bool known = false;
  for (const auto& k : kKinds) {
    if (text.compare(0, colon, k.name) == 0 && std::char_traits<char>::length(k.name) == colon) {
      plan.kind = k.kind;
      known = true;
    }
  }
  if (!known) return fail();
  const auto at = text.find('@', colon);
  const auto reply = Number(text.substr(colon + 1, at == std::string::npos ? std::string::npos : at - colon - 1));
  if (!reply || *reply < 1 || *reply > 1'000'000) return fail();
  plan.reply = static_cast<int>(*reply);
  if (at != std::string::npos) {
    const auto code = Number(text.substr(at + 1));
    if (!code || *code > 0xFF) return fail();
    plan.request_code = static_cast<int>(*code);
  }
  return plan;
}

const char* FaultOptionsUsage() {
  return "  --fault KIND:N[@CODE]  spoil the N-th reply (to requests starting with CODE):\n"
         "                         flip a bit, drop bytes, junk before it, silent from it on, close the line\n"
         "  --seed N               chooses the bit, the bytes and the junk (default 1)\n";
}

// The model's replies pass through here on their way to the line.
class FaultLayer::SpoilingLink : public DeviceLink {
 public:
  SpoilingLink(FaultLayer& layer, DeviceLink& line) : m_layer(layer), m_line(line) {}
  void Send(std::vector<uint8_t> bytes, uint32_t baud, uint32_t delay_ms) override {
    if (m_layer.Spoil(bytes, m_line)) m_line.Send(std::move(bytes), baud, delay_ms);
  }
  uint32_t LineBaud() const override { return m_line.LineBaud(); }
  void HangUp() override { m_line.HangUp(); }

 private:
  FaultLayer& m_layer;
  DeviceLink& m_line;
};

FaultLayer::FaultLayer(std::unique_ptr<DeviceModel> inner, FaultPlan plan)
    : m_inner(std::move(inner)), m_plan(plan), m_random(plan.seed) {}

bool FaultLayer::ListensAt(uint32_t baud) const { return m_inner->ListensAt(baud); }

void FaultLayer::OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) {
  // The first byte after a reply starts the next request.
  if (!m_request_started && size > 0) {
    m_request_code = data[0];
    m_request_started = true;
  }
  SpoilingLink spoiling(*this, link);
  m_inner->OnReceive(data, size, baud, spoiling);
}

void FaultLayer::OnIdle(DeviceLink& link) {
  SpoilingLink spoiling(*this, link);
  m_inner->OnIdle(spoiling);
}

bool FaultLayer::Spoil(std::vector<uint8_t>& bytes, DeviceLink& line) {
  const int code = m_request_code;
  m_request_started = false;
  if (m_mute) return false;
  if (m_plan.request_code >= 0 && code != m_plan.request_code) return true;
  ++replies_counted;
  if (replies_counted != m_plan.reply || bytes.empty()) return true;
  fired = true;
  switch (m_plan.kind) {
    case FaultPlan::Kind::Flip: {
      const std::size_t bit = m_random() % (bytes.size() * 8);
      bytes[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
      return true;
    }
    case FaultPlan::Kind::Drop: {
      // At least one byte goes, never all of a frame longer than one byte.
      const std::size_t count = bytes.size() == 1 ? 1 : 1 + m_random() % (bytes.size() - 1);
      const std::size_t from = m_random() % (bytes.size() - count + 1);
      bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                  bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
      return !bytes.empty();
    }
    case FaultPlan::Kind::Junk: {
      std::vector<uint8_t> junk(1 + m_random() % kMaxJunkBytes);
      for (auto& b : junk) b = static_cast<uint8_t>(m_random());
      bytes.insert(bytes.begin(), junk.begin(), junk.end());
      return true;
    }
    case FaultPlan::Kind::Silent: m_mute = true; return false;
    case FaultPlan::Kind::Close:
      m_mute = true;
      line.HangUp();
      return false;
  }
  return true;
}

}  // namespace corvel::sim
