#include "platform/dialogs.h"

namespace redozir {

std::function<bool(TCommonDialog*)> TCommonDialog::Answerer;

bool TCommonDialog::Execute() {
  if (OnShow) OnShow(this);
  bool ok = Answerer ? Answerer(this) : false;
  if (OnClose) OnClose(this);
  return ok;
}

}  // namespace redozir
