// Inbound message frames as the control interface builds them: the 1646-byte
// frame with its type at 0, a share post at 88 and a GBK text at 622.
#include <ctime>
#include <cstring>

#include "base/fixed_text.h"
#include "base/records.h"
#include "sim_server.h"

namespace simserver {
namespace {

MessageFrame EmptyFrame(int32_t type) {
  MessageFrame frame{};
  base::StoreLE<int32_t>(frame.data(), type);
  return frame;
}

// The text fields of the share post: JSON key, offset, size.
struct PostField {
  const char* key;
  size_t at;
  size_t size;
};
constexpr PostField kPostFields[] = {
    {"code", 4, 10},        {"name", 14, 32},       {"price", 46, 10},       {"setPrice", 56, 10},
    {"backAmount", 66, 10}, {"posterId", 86, 32},   {"posterName", 118, 32}, {"stopPrice", 150, 128},
    {"fallAmount", 278, 128}, {"remark", 406, 128},
};

static_assert(kFrameSharePostAt + kSharePostSize == kFrameTextAt);
static_assert(kFrameTextAt + kFrameTextSize == std::tuple_size_v<MessageFrame>);

}  // namespace

MessageFrame MakeTextFrame(int32_t type, const std::string& utf8Text) {
  MessageFrame frame = EmptyFrame(type);
  base::WriteFixedUtf8(reinterpret_cast<char*>(frame.data() + kFrameTextAt), kFrameTextSize, utf8Text);
  return frame;
}

MessageFrame MakeSharePostFrame(const nlohmann::json& post) {
  MessageFrame frame = EmptyFrame(kFrameSharePost);
  unsigned char* p = frame.data() + kFrameSharePostAt;
  int64_t time = 0;
  if (post.contains("time") && post["time"].is_number_integer()) time = post["time"].get<int64_t>();
  if (time <= 0) time = static_cast<int64_t>(std::time(nullptr));
  base::StoreLE<int32_t>(p, static_cast<int32_t>(time));
  for (const auto& f : kPostFields) {
    if (!post.contains(f.key)) continue;
    const auto& v = post[f.key];
    std::string text = v.is_string() ? v.get<std::string>() : v.dump();
    base::WriteFixedUtf8(reinterpret_cast<char*>(p + f.at), f.size, text);
  }
  return frame;
}

}  // namespace simserver
