#include "platform/application.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/controls.h"
#include "platform/exceptions.h"
#include "platform/forms.h"
#include "platform/input.h"
#include "platform/timers.h"
#include "platform/window_registry.h"

namespace redozir {

namespace {

struct TPosted {
  HWND wnd = 0;
  TMessage msg;
  std::promise<LRESULT>* reply = nullptr;
};

struct TQueue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<TPosted> items;
  bool woken = false;
};

TQueue& Queue() {
  static TQueue* q = new TQueue;
  return *q;
}

std::thread::id mainThread = std::this_thread::get_id();

class THeadlessBackEnd : public TBackEnd {};

THeadlessBackEnd* headless = new THeadlessBackEnd;

}  // namespace

bool TBackEnd::WaitEvents(int timeoutMs) {
  TQueue& q = Queue();
  std::unique_lock<std::mutex> lock(q.m);
  auto ready = [&] { return q.woken || !q.items.empty(); };
  if (timeoutMs < 0)
    q.cv.wait(lock, ready);
  else
    q.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  q.woken = false;
  return true;
}

void TBackEnd::Wake() {
  TQueue& q = Queue();
  {
    std::lock_guard<std::mutex> g(q.m);
    q.woken = true;
  }
  q.cv.notify_all();
}

struct TApplication::TImpl {
  std::vector<TForm*> forms;
};

TApplication* Application = new TApplication;

TApplication::TApplication() : TComponent(nullptr), backEnd_(headless), impl_(new TImpl) {}

TApplication::~TApplication() { delete impl_; }

void TApplication::SetBackEnd(TBackEnd* b) { backEnd_ = b ? b : headless; }

void TApplication::AddForm(TForm* f) { impl_->forms.push_back(f); }

void TApplication::RemoveForm(TForm* f) {
  auto& v = impl_->forms;
  v.erase(std::remove(v.begin(), v.end(), f), v.end());
  if (mainForm_ == f) mainForm_ = nullptr;
  if (activeForm_ == f) activeForm_ = nullptr;
}

int TApplication::FormCount() const { return static_cast<int>(impl_->forms.size()); }

TForm* TApplication::Forms(int i) const {
  if (i < 0 || i >= FormCount()) throw ERangeError("List index out of bounds (" + std::to_string(i) + ")");
  return impl_->forms[static_cast<size_t>(i)];
}

int TApplication::PendingMessages() const {
  TQueue& q = Queue();
  std::lock_guard<std::mutex> g(q.m);
  return static_cast<int>(q.items.size());
}

void TApplication::ClearMessages() {
  TQueue& q = Queue();
  std::lock_guard<std::mutex> g(q.m);
  for (TPosted& p : q.items)
    if (p.reply) p.reply->set_value(0);
  q.items.clear();
}

bool TApplication::DispatchPosted() {
  TQueue& q = Queue();
  size_t n;
  {
    std::lock_guard<std::mutex> g(q.m);
    n = q.items.size();
  }
  // Only what was posted before this round: a handler that posts again is
  // handled at the next pump, so the loop always gets to timers and paints.
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    TPosted p;
    {
      std::lock_guard<std::mutex> g(q.m);
      if (q.items.empty()) break;
      p = q.items.front();
      q.items.pop_front();
    }
    any = true;
    LRESULT result = 0;
    if (p.wnd == 0) {
      if (p.msg.Msg == WM_QUIT) Terminate();
    } else if (TControl* c = window_registry::Find(p.wnd)) {
      try {
        result = c->Perform(p.msg.Msg, p.msg.WParam, p.msg.LParam);
      } catch (...) {
        HandleException(c);
      }
    }
    if (p.reply) p.reply->set_value(result);
  }
  return any;
}

bool TApplication::PaintPending() {
  bool any = false;
  std::vector<TForm*> forms = impl_->forms;
  for (TForm* f : forms) {
    if (std::find(impl_->forms.begin(), impl_->forms.end(), f) == impl_->forms.end()) continue;
    if (!f->HandleAllocated() || !f->Visible()) continue;
    try {
      any |= TControl::PaintTree(f);
    } catch (...) {
      HandleException(f);
    }
  }
  return any;
}

void TApplication::PresentForms() {
  std::vector<TForm*> forms = impl_->forms;
  for (TForm* f : forms) {
    if (!f->HandleAllocated() || !f->Visible()) continue;
    std::vector<TRect> changed = f->TakeChangedRects();
    if (!changed.empty()) backEnd_->PresentChanged(f, changed);
  }
}

void TApplication::ProcessMessages() {
  if (std::this_thread::get_id() != mainThread)
    throw EInvalidOperation("ProcessMessages called from a thread other than the main thread");
  try {
    backEnd_->PumpEvents();
    TInput::DeliverPendingMoves();
  } catch (...) {
    HandleException(this);
  }
  DispatchPosted();
  FireDueTimers();
  PaintPending();
  PresentForms();
}

void TApplication::HandleMessage() {
  bool waiting = PendingMessages() > 0 || TInput::PendingMoves() > 0;
  std::uint64_t due = 0;
  bool hasTimer = NextTimerDue(due);
  std::uint64_t now = Clock()->Now();
  if (!waiting && !(hasTimer && due <= now)) {
    bool done = true;
    if (OnIdle) OnIdle(this, done);
    if (done && PendingMessages() == 0) {
      hasTimer = NextTimerDue(due);
      now = Clock()->Now();
      if (auto* manual = dynamic_cast<TManualClock*>(Clock())) {
        // A manual clock does not move by itself: waiting means jumping to
        // the next timer, and with none there is nothing to wait for.
        if (!backEnd_->PumpEvents()) {
          if (!hasTimer)
            throw EInvalidOperation("The message loop has nothing to wait for (no timer, nothing posted)");
          if (due > now) manual->Skip(due - now);
        }
      } else {
        int timeout = -1;
        if (hasTimer) timeout = due > now ? static_cast<int>(std::min<std::uint64_t>(due - now, 1000000)) : 0;
        backEnd_->WaitEvents(timeout);
      }
    }
  }
  ProcessMessages();
}

void TApplication::Run() {
  if (!mainForm_ && FormCount() > 0) mainForm_ = impl_->forms.front();
  if (mainForm_ && !mainForm_->Visible()) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::ShowException(const std::exception& E) {
  lastException_ = E.what();
  std::cerr << "Exception: " << lastException_ << std::endl;
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr ep = std::current_exception();
  if (!ep) return;
  try {
    std::rethrow_exception(ep);
  } catch (const EAbort&) {
    // The silent exception: nothing to report.
  } catch (const std::exception& e) {
    lastException_ = e.what();
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  } catch (...) {
    lastException_ = "Unknown exception";
    if (!OnException) std::cerr << "Exception: " << lastException_ << std::endl;
  }
}

LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (std::this_thread::get_id() == mainThread) {
    TControl* c = window_registry::Find(wnd);
    return c ? c->Perform(msg, wParam, lParam) : 0;
  }
  if (!window_registry::IsLive(wnd)) return 0;
  std::promise<LRESULT> reply;
  std::future<LRESULT> result = reply.get_future();
  TQueue& q = Queue();
  {
    std::lock_guard<std::mutex> g(q.m);
    q.items.push_back(TPosted{wnd, TMessage{msg, wParam, lParam, 0}, &reply});
  }
  q.cv.notify_all();
  Application->BackEnd()->Wake();
  return result.get();
}

bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (wnd != 0 && !window_registry::IsLive(wnd)) return false;
  TQueue& q = Queue();
  {
    std::lock_guard<std::mutex> g(q.m);
    q.items.push_back(TPosted{wnd, TMessage{msg, wParam, lParam, 0}, nullptr});
  }
  q.cv.notify_all();
  Application->BackEnd()->Wake();
  return true;
}

void PostQuitMessage(int exitCode) { PostMessage(0, WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

}  // namespace redozir
