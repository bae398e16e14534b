// TIEThread, a worker created suspended, and TIEThreadPool, which starts such
// threads and waits for all of them.
#pragma once

#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "platform/object.h"

#pragma GCC visibility push(default)
namespace redozir {

// A worker: subclasses override Execute. It runs only once a pool starts it.
class TIEThread : public TObject {
 public:
  TIEThread() = default;
  ~TIEThread() override;

  // True when the work ran on the caller's thread because no thread could be made.
  bool RanInline() const { return fRanInline; }
  // The exception Execute raised, if any (kept, not rethrown, as the pool's
  // callers do not look at their workers' failures).
  std::exception_ptr FatalException() const { return fFatal; }

 protected:
  virtual void Execute() = 0;

 private:
  friend class TIEThreadPool;
  void Start();
  void WaitFor();
  void Run() noexcept;

  std::thread fThread;
  bool fRanInline = false;
  std::exception_ptr fFatal;
};

class TIEThreadPool : public TObject {
 public:
  TIEThreadPool() = default;
  ~TIEThreadPool() override;

  // Takes a suspended thread and starts it; a thread that cannot be created
  // runs its work at once on the calling thread.
  void Add(std::unique_ptr<TIEThread> Thread);
  // Waits for every thread of the pool, frees each and empties the pool.
  void WaitForAll();
  int Count() const { return static_cast<int>(fThreads.size()); }

 private:
  std::vector<std::unique_ptr<TIEThread>> fThreads;
};

}  // namespace redozir
#pragma GCC visibility pop
