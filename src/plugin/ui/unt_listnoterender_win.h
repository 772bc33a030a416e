// The fill note's window over Win32: the child dialog of template 4001 with
// its owner-data list, made for a CListNoteRender.
#pragma once

#include <functional>

#include "plugin/addin/unt_pretranslate.h"
#include "plugin/ui/unt_listnoterender.h"

namespace ui {

class CNoteViewFactoryWin final : public INoteViewFactory {
 public:
  struct TModule {
    // The module that holds the dialog template (the module's current
    // resource handle).
    std::function<kv::KvValue()> resourceHandle;
    // The module's registry of its own windows, which pre-translate their
    // messages.
    std::function<void(kv::KvHwnd, addin::IModuleWindow*)> addWindow;
    std::function<void(kv::KvHwnd)> removeWindow;
  };

  explicit CNoteViewFactoryWin(TModule module) : module_(std::move(module)) {}
  INoteView* CreateNoteView(kv::KvHwnd parent, CListNoteRender& renderer) override;

  // Views made and not yet freed, in the whole process.
  static int LiveViews();

 private:
  TModule module_;
};

}  // namespace ui
