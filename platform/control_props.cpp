// What a control takes from its parent (Ctl3D, ShowHint) and its place in
// the parent's tab order.
#include <algorithm>

#include "platform/controls.h"

namespace redozir {

void TControl::ParentChanged() {
  if (parentCtl3D_) ApplyCtl3D(parent_->ctl3D_);
  if (parentShowHint_) ApplyShowHint(parent_->showHint_);
  if (tabOrderWanted_ >= 0) SetTabOrder(tabOrderWanted_);
  UpdateAnchorRules();
}

void TControl::ApplyCtl3D(bool v) {
  if (v != ctl3D_) {
    ctl3D_ = v;
    if (handle_ && borderStyle_ != bsNone) ScrollBarsChanged(true);
  }
  for (TControl* c : children_)
    if (c->parentCtl3D_) c->ApplyCtl3D(v);
}

void TControl::SetParentCtl3D(bool v) {
  parentCtl3D_ = v;
  if (v && parent_) ApplyCtl3D(parent_->ctl3D_);
}

void TControl::ApplyShowHint(bool v) {
  showHint_ = v;
  for (TControl* c : children_)
    if (c->parentShowHint_) c->ApplyShowHint(v);
}

void TControl::SetShowHint(bool v) {
  parentShowHint_ = false;
  ApplyShowHint(v);
}

void TControl::SetParentShowHint(bool v) {
  parentShowHint_ = v;
  if (v && parent_) ApplyShowHint(parent_->showHint_);
}

int TControl::TabOrder() const {
  if (!parent_) return tabOrderWanted_;
  const auto& tabs = parent_->tabList_;
  return static_cast<int>(std::find(tabs.begin(), tabs.end(), this) - tabs.begin());
}

void TControl::SetTabOrder(int v) {
  if (!parent_) {
    tabOrderWanted_ = std::max(v, -1);
    return;
  }
  tabOrderWanted_ = -1;
  auto& tabs = parent_->tabList_;
  auto at = std::find(tabs.begin(), tabs.end(), this);
  tabs.erase(at);
  auto to = std::clamp(v, 0, static_cast<int>(tabs.size()));
  tabs.insert(tabs.begin() + to, this);
}

void TControl::GetTabOrderList(std::vector<TControl*>& list) const {
  for (TControl* c : tabList_) {
    list.push_back(c);
    c->GetTabOrderList(list);
  }
}

}  // namespace redozir
