// The conditional stop-loss editor: the take-profit editor's layout and
// body with a fall amount, its own defaults and the set price held at or
// below the current price.
#pragma once

#include "policy/unt_frmpolicypayoff.h"

namespace policy {

class Tfrmpaylosslimit final : public TPayoffEditor {
 public:
  Tfrmpaylosslimit(TEditorServices services, IEditorDialog& dialog)
      : TPayoffEditor(std::move(services), dialog, kKindLossLimit) {}
};

}  // namespace policy
