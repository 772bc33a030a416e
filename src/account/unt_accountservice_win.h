// The binding of velmora.dll: the process-wide binding record (module and
// one pointer per export) and the account service port on top of it.
#pragma once

#include <string>

#include "account/unt_accountservice.h"

namespace account {

// Loads application folder + "velmora.dll" and looks up its nine exports;
// a missing library or export leaves its pointer empty.
void BindAccountService(const std::string& applicationFolder);
// Frees the library when it was loaded.
void UnbindAccountService();
// The service through the bound exports.
IAccountService& AccountService();

}  // namespace account
