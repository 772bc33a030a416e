#include "quotes/login_session.h"

namespace quotes {

TLoginSessionRecord& LoginSession() {
  static TLoginSessionRecord record{};
  return record;
}

}  // namespace quotes
