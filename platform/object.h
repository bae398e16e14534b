// TObject: the common root of the library's classes that are passed around
// as "Sender" in events and may be asked for their class at run time.
#pragma once

#include <functional>

#pragma GCC visibility push(default)
namespace redozir {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// An event with only a sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

}  // namespace redozir
#pragma GCC visibility pop
