// Writes the soak's policy store and its code list: MONITORS monitors over
// the first CODES securities of a real comma answer, two per code of every
// kind and direction, at prices no quote around 10 to 15 yuan ever meets, so
// that each report does the whole work of testing without firing. The code
// list (comma-joined, one line) is what the stand-in server quotes.
//
// usage: make_soak_store ANSWER STORE CODELIST [MONITORS [CODES]]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_describe.h"

namespace {

struct Security {
  std::string code, name;
  uint16_t market;
};

// var hq_str_sz002074="name,open,...";
std::vector<Security> ReadAnswer(const std::string& bytes, size_t want) {
  std::vector<Security> out;
  std::set<std::string> seen;
  size_t at = 0;
  const std::string head = "var hq_str_";
  while (out.size() < want && (at = bytes.find(head, at)) != std::string::npos) {
    at += head.size();
    const std::string symbol = bytes.substr(at, 8);
    const size_t quote = bytes.find('"', at);
    const size_t comma = bytes.find(',', quote);
    const size_t end = bytes.find('"', quote + 1);
    if (symbol.size() != 8 || quote == std::string::npos || end == std::string::npos || comma > end) continue;
    Security s{symbol.substr(2), base::GbkToUtf8Lossy(bytes.substr(quote + 1, comma - quote - 1)),
               symbol.compare(0, 2, "sh") == 0 ? quotes::kMarketShanghai : quotes::kMarketShenzhen};
    if (seen.insert(s.code).second) out.push_back(s);
  }
  return out;
}

policy::TPolicyRecord SoakMonitor(int i, const Security& s) {
  using namespace policy;
  TPolicyRecord m = NewPolicyRecord();
  m.id = i + 1;
  SetCode(m, s.code);
  SetName(m, s.name);
  m.market = s.market;
  m.state = kStateRunning;
  m.changeAmount = 0.5f;
  m.changeUnit = kUnitYuan;
  m.quantity = 100;
  m.optUnit = kOptUnitPerMille;
  m.optAmount = 10;
  m.tradeType = 2;
  struct Shape {
    uint8_t kind, direction;
    float setPrice;
  };
  static const Shape shapes[] = {{kKindPayoff, kDirFall, 100},      {kKindPrice, kDirRise, 100},
                                 {kKindPrice, kDirFall, 1},         {kKindPrice, kDirRiseFallBack, 100},
                                 {kKindPrice, kDirFallRebound, 1},  {kKindTime, 0, 20},
                                 {kKindLossLimit, kDirFall, 1},     {kKindLimitDown, kDirFallRebound, 1}};
  const Shape& shape = shapes[i % (sizeof shapes / sizeof shapes[0])];
  m.kind = shape.kind;
  m.direction = shape.direction;
  m.setPrice = shape.setPrice;
  // Before the morning session: a time monitor that never comes due.
  m.orderTime = base::EncodeTime(3, 0, 0);
  UpdateDescription(m);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr, "usage: make_soak_store ANSWER STORE CODELIST [MONITORS [CODES]]\n");
    return 2;
  }
  const int monitors = argc > 4 ? std::stoi(argv[4]) : 1000;
  const size_t codes = argc > 5 ? std::stoul(argv[5]) : 500;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto securities = ReadAnswer(bytes, codes);
  if (securities.size() < codes || monitors < 1) {
    std::fprintf(stderr, "%s holds %zu securities, %zu wanted\n", argv[1], securities.size(), codes);
    return 1;
  }
  policy::TPolicyList list;
  for (int i = 0; i < monitors; ++i) list.Add(SoakMonitor(i, securities[static_cast<size_t>(i) % codes]));
  std::string codeList;
  for (const auto& s : securities) codeList += (codeList.empty() ? "" : ",") + s.code;
  std::string error;
  if (!base::AtomicReplace(argv[2], list.StoreBytes(), &error) ||
      !base::AtomicReplace(argv[3], codeList + "\n", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}
