// The limit-price rebound editor: the take-profit editor's layout and body
// buying on a rebound, with the take-profit editor's defaults.
#pragma once

#include "policy/unt_frmpolicypayoff.h"

namespace policy {

class Tfrmlimitdownup final : public TPayoffEditor {
 public:
  Tfrmlimitdownup(TEditorServices services, IEditorDialog& dialog)
      : TPayoffEditor(std::move(services), dialog, kKindLimitDown) {}
};

}  // namespace policy
