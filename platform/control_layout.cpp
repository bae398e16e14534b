// Anchors: where a control without Align goes when its parent's client area
// changes size.
#include <cstdlib>

#include "platform/controls.h"

namespace redozir {

namespace {
// a * b / c rounded to the nearest, halves away from zero, as the desktop's
// MulDiv; c > 0.
int MulDiv(int a, int b, int c) {
  long long p = static_cast<long long>(a) * b;
  long long q = (2 * std::llabs(p) + c) / (2 * static_cast<long long>(c));
  return static_cast<int>(p < 0 ? -q : q);
}

// What the anchors of one axis keep: the size when both sides hold, the
// position when only the far side holds, the centre when neither does.
int AxisRule(bool nearSide, bool farSide, int pos, int size) {
  if (farSide) return nearSide ? size : pos;
  return nearSide ? pos : pos + size / 2;
}

// Rules taken while the parent had no size on the axis (a control placed
// before its parent was laid out) are taken again from its first size.
void PlaceOnAxis(bool nearSide, bool farSide, int& rule, int& was, int now, int& pos, int& size) {
  if (was <= 0) {
    rule = AxisRule(nearSide, farSide, pos, size);
    was = now;
    return;
  }
  if (farSide) {
    if (nearSide)
      size = now - (was - rule);
    else
      pos = now - (was - rule);
  } else if (!nearSide) {
    pos = MulDiv(rule, now, was) - size / 2;
  }
}
}  // namespace

void TControl::SetAnchors(TAnchors a) {
  a &= akLeft | akTop | akRight | akBottom;
  if (a == anchors_) return;
  anchors_ = a;
  UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
  if (!parent_) return;
  anchorRule_ = {AxisRule(anchors_ & akLeft, anchors_ & akRight, left_, width_),
                 AxisRule(anchors_ & akTop, anchors_ & akBottom, top_, height_)};
  anchorParentSize_ = {parent_->ClientWidth(), parent_->ClientHeight()};
}

void TControl::ApplyAnchors() {
  if (!parent_ || anchors_ == (akLeft | akTop)) return;
  int l = left_, t = top_, w = width_, h = height_;
  PlaceOnAxis(anchors_ & akLeft, anchors_ & akRight, anchorRule_.X, anchorParentSize_.X,
              parent_->ClientWidth(), l, w);
  PlaceOnAxis(anchors_ & akTop, anchors_ & akBottom, anchorRule_.Y, anchorParentSize_.Y,
              parent_->ClientHeight(), t, h);
  SetBounds(l, t, w, h);
}

}  // namespace redozir
