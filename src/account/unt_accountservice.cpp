#include "account/unt_accountservice.h"

#include <cstring>

#include "base/fixed_text.h"
#include "base/gbk.h"

namespace account {

TAccountRecord MakeAccountRecord(const std::string& userIdUtf8, const std::string& encipheredPassword) {
  TAccountRecord record{};
  base::WriteFixedUtf8(record.userName, userIdUtf8);
  // The enciphered bytes go as they are: deciphering happens on the far side.
  const size_t n = encipheredPassword.size() < sizeof record.password - 1 ? encipheredPassword.size()
                                                                          : sizeof record.password - 1;
  std::memcpy(record.password, encipheredPassword.data(), n);
  return record;
}

}  // namespace account
