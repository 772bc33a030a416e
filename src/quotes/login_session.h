// The login session record: one process-wide block that the account service
// fills at login and the quote engine reads. Only the three fields below are
// the program's business; the rest belongs to the account service, which
// passes the whole block through unchanged.
#pragma once

#include <cstdint>

#include "base/records.h"

namespace quotes {

#pragma pack(push, 1)
struct TLoginSessionRecord {
  char quoteServer[33];  // host text, NUL-terminated
  int32_t quotePort;
  unsigned char accountArea[37];
  int32_t startToken;  // passed unchanged to Stock_Start
  unsigned char rest[178];
};
#pragma pack(pop)

// The size is the account service's choice; ours (and the stand-in's) is 256.
QV_RECORD_SIZE(TLoginSessionRecord, 256);
QV_FIELD_AT(TLoginSessionRecord, quotePort, 33);
QV_FIELD_AT(TLoginSessionRecord, startToken, 74);

// The block of this process, zero until the first login.
TLoginSessionRecord& LoginSession();

}  // namespace quotes
