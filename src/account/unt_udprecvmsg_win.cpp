#include <winsock2.h>
#include <mstcpip.h>

#include "account/unt_udprecvmsg.h"

namespace account {

void SwitchKeepAliveOn(uintptr_t socketHandle) {
  tcp_keepalive values{};
  values.onoff = 1;
  values.keepalivetime = 960000;
  values.keepaliveinterval = 1;
  DWORD returned = 0;
  WSAIoctl(static_cast<SOCKET>(socketHandle), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
           nullptr, nullptr);
}

}  // namespace account
