// The upgrade's download window (Tfrmupgrade) and what happens around it:
// the installer is fetched on a worker into the temporary folder, checked
// against its signed size and SHA-256, and handed to msiexec once the
// program has closed.
#pragma once

#include <optional>
#include <string>

#include "app/unt_update.h"
#include "win/gui_queue_win.h"

namespace app {

// Shows the download window modally over `owner` (an HWND) while a worker
// downloads the newest version's installer; the worker reports through
// `queue`. Returns the installer's path when it arrived whole and passed
// its check; otherwise the user has been told (unless they cancelled) and
// nothing is left behind.
std::optional<std::string> DownloadUpgrade(void* owner, const win::GuiQueue& queue, const VendorSite& site,
                                           const VersionInfo& newest);

// Starts msiexec with the installer for the program in `applicationFolder`;
// call it when the program is about to end. False when it did not start.
bool RunInstaller(const std::string& msiPath, const std::string& applicationFolder);

// Starts Windows Installer's msiexec.exe from the system folder, by its full
// path: the application folder, where a bare name would be looked for
// first, is the user's to write. False when it did not start.
bool RunMsiexec(const std::string& arguments);

// Removes the packages that earlier upgrades handed over from the temporary
// folder; call it at start-up, when their installations are over.
void RemoveOldUpgradePackages();

}  // namespace app
