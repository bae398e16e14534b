// TIEDirectShow: the video front of the I/O component. There is no filter
// graph on this platform, so it reports none and its video calls do nothing.
#pragma once

#include "platform/messages.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEDirectShow {
 public:
  bool GetConnected() const { return false; }
  bool IsPlaying() const { return false; }
  void RepaintVideo(void* Window, void* DC) {}
  void SetVideoPosition(const TRect& Source, const TRect& Dest) {}
  void GetNativeVideoSize(int& Width, int& Height) const { Width = Height = 0; }
  // Where new-frame and graph-event notifications would be posted.
  void SetNotifyWindow(HWND Window, UINT NewFrameMsg, UINT EventMsg) {
    fWindow = Window;
    fNewFrameMsg = NewFrameMsg;
    fEventMsg = EventMsg;
  }
  HWND NotifyWindow() const { return fWindow; }
  bool ShowingVideo() const { return fShowingVideo; }

 private:
  HWND fWindow = 0;
  UINT fNewFrameMsg = 0;
  UINT fEventMsg = 0;
  bool fShowingVideo = false;
};

}  // namespace redozir
#pragma GCC visibility pop
