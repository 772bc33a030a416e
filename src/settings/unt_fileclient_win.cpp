#include <winsock2.h>
#include <mstcpip.h>

#include "settings/unt_fileclient.h"

namespace settings {

void SwitchFileKeepAliveOn(uintptr_t socketHandle) {
  tcp_keepalive values{};
  values.onoff = 1;
  values.keepalivetime = kFileKeepAliveIdleMs;
  values.keepaliveinterval = kFileKeepAliveIntervalMs;
  DWORD returned = 0;
  WSAIoctl(static_cast<SOCKET>(socketHandle), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
           nullptr, nullptr);
}

}  // namespace settings
