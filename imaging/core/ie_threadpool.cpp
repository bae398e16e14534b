// Worker threads on std::thread, with an inline fallback.
#include "imaging/core/ie_threadpool.h"

#include <system_error>

namespace redozir {

TIEThread::~TIEThread() { WaitFor(); }

void TIEThread::Run() noexcept {
  try {
    Execute();
  } catch (...) {
    fFatal = std::current_exception();
  }
}

void TIEThread::Start() {
  try {
    fThread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    fRanInline = true;
    Run();
  }
}

void TIEThread::WaitFor() {
  if (fThread.joinable()) fThread.join();
}

TIEThreadPool::~TIEThreadPool() { WaitForAll(); }

void TIEThreadPool::Add(std::unique_ptr<TIEThread> Thread) {
  if (!Thread) return;
  TIEThread* t = Thread.get();
  fThreads.push_back(std::move(Thread));
  t->Start();
}

void TIEThreadPool::WaitForAll() {
  for (auto& t : fThreads) t->WaitFor();
  fThreads.clear();
}

}  // namespace redozir
