// The exception family of the platform layer: every failure carries a
// message text, as the library's callers expect.
#pragma once

#include <stdexcept>
#include <string>

#pragma GCC visibility push(default)
namespace redozir {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& msg) : std::runtime_error(msg) {}
  std::string Message() const { return what(); }
};

class EStreamError : public Exception {
  using Exception::Exception;
};
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};
class EOutOfMemory : public Exception {
  using Exception::Exception;
};
class ERangeError : public Exception {
  using Exception::Exception;
};
class EInvalidOp : public Exception {
  using Exception::Exception;
};
class EConvertError : public Exception {
  using Exception::Exception;
};
class EInvalidGraphic : public Exception {
  using Exception::Exception;
};
class EInvalidOperation : public Exception {
  using Exception::Exception;
};
// Raised by a routine that was asked to stop (the silent abort).
class EAbort : public Exception {
  using Exception::Exception;
};
// An index outside a list ("List index out of bounds (%d)").
class EListError : public Exception {
  using Exception::Exception;
};

}  // namespace redozir
#pragma GCC visibility pop
