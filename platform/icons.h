// The platform's standard icons (application, error, question, warning,
// information), drawn as pictures of our own at any size.
#pragma once

#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TCanvas;

// The classic numbers of the standard icons; the second names are aliases.
constexpr int IDI_APPLICATION = 32512;
constexpr int IDI_HAND = 32513;
constexpr int IDI_QUESTION = 32514;
constexpr int IDI_EXCLAMATION = 32515;
constexpr int IDI_ASTERISK = 32516;
constexpr int IDI_ERROR = IDI_HAND;
constexpr int IDI_WARNING = IDI_EXCLAMATION;
constexpr int IDI_INFORMATION = IDI_ASTERISK;

// Whether Icon is one of the standard icons above.
bool IsStandardIcon(int Icon);

// Draws the standard icon Icon, anti-aliased, over what lies in R on
// Canvas (the corners around its shape are left alone). False, and nothing
// drawn, for another number or an empty rectangle.
bool DrawStandardIcon(TCanvas& Canvas, const TRect& R, int Icon);

}  // namespace redozir
#pragma GCC visibility pop
