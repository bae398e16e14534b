// The library in one include, for the common road: an image buffer
// (TIEBitmap), loading and saving in every format (TRedozIrIO), processing
// (TRedozIrProc: Resample, Rotate, Crop, ConvertTo, blur, ...), the speed
// settings, and the image view control (TRedozIrView) with its layers.
// Everything is in namespace redozir.
#pragma once

#include "imaging/core/ie_startup.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/ieproc.h"
#include "imaging/io/ie_fileformats.h"
#include "imaging/io/redozir_io.h"
#include "imaging/core/ie_speed.h"
#include "imaging/view/redozir_view.h"
