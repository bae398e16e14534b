// Runs the message loop of a test in a real window until a condition holds.
#pragma once

#include <chrono>
#include <thread>

#include "platform/application.h"

// Processes messages until Done answers True (then True), for about three
// seconds at most (then False).
template <typename F>
bool PumpUntil(F Done) {
  for (int i = 0; i < 300; ++i) {
    redozir::Application->ProcessMessages();
    if (Done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}
