// Fails the Nth allocation of an operation for N = 1, 2, 3 ... until the
// operation gets through: each failure must raise EOutOfMemory, leave the
// input byte for byte as it was and leak nothing, and the next call must
// succeed. The global operator new of this binary counts and fails; it has a
// test binary of its own so that no other test runs under it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>

#include "imaging/core/ieproc.h"
#include "imaging/formats/test_images.h"
#include "imaging/io/redozir_io.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/core/ie_speed.h"
#include "imaging/replaced_new.h"
#include "imaging/view/redozir_view.h"

using namespace redozir;

namespace {
std::atomic<long> gFailAt{0};  // 0: nothing fails
std::atomic<long> gCount{0};
std::atomic<long> gLive{0};
}  // namespace

void* TestAllocate(std::size_t n, std::size_t align, bool nothrow) {
  long at = gFailAt.load(std::memory_order_relaxed);
  if (at > 0 && gCount.fetch_add(1) + 1 == at) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  void* p = MallocAligned(n, align);
  if (!p) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  gLive.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void TestRelease(void* p) noexcept {
  if (!p) return;
  gLive.fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}

namespace {

// A subject of one operation: its state as bytes, and the operation.
struct TSubject {
  virtual ~TSubject() = default;
  virtual std::string State() = 0;
  virtual void Run() = 0;
};

// The loop described at the top. Make gives a fresh subject each round.
void FailEveryAllocation(const std::string& name, const std::function<std::unique_ptr<TSubject>()>& make) {
  std::string expected;
  {
    // Unarmed first: the result to compare with, and the library's lazy
    // start-up (kept worker threads, tables) out of the way.
    auto s = make();
    s->Run();
    expected = s->State();
  }
  constexpr long kMaxRounds = 50000;
  bool again = false;
  for (long n = 1; n <= kMaxRounds; ++n) {
    long live = gLive.load();
    auto s = make();
    auto before = std::make_unique<std::string>(s->State());
    bool raised = false;
    gCount = 0;
    gFailAt = n;
    try {
      s->Run();
    } catch (const EOutOfMemory&) {
      raised = true;
    } catch (const std::exception& e) {
      gFailAt = 0;
      FAIL() << name << ", allocation " << n << ": " << typeid(e).name() << " " << e.what();
    }
    const bool injected = gCount.load() >= n;
    gFailAt = 0;
    if (raised) {
      ASSERT_TRUE(injected) << name << ", allocation " << n;
      ASSERT_TRUE(s->State() == *before) << name << ": allocation " << n << " failing changed the input";
      // The next call succeeds.
      s->Run();
    }
    ASSERT_TRUE(s->State() == expected) << name << ", allocation " << n;
    s.reset();
    before.reset();
    if (gLive.load() != live && !again) {
      // A path first taken under the failure may start something the
      // library keeps (a worker, a table): a leak shows again, that does not.
      again = true;
      --n;
      continue;
    }
    again = false;
    ASSERT_EQ(gLive.load(), live) << name << ", allocation " << n << " failing leaked";
    if (!injected) return;  // every allocation of the operation has failed once
  }
  FAIL() << name << " did not get through " << kMaxRounds << " allocations";
}

std::unique_ptr<TIEBitmap> Picture(bool alpha) {
  auto b = MakeRGB(37, 23);
  if (alpha) AddAlpha(*b);
  return b;
}

struct TProcSubject : TSubject {
  std::unique_ptr<TIEBitmap> bmp = Picture(true);
  TRedozIrProc proc;
  std::function<void(TRedozIrProc&)> op;
  explicit TProcSubject(std::function<void(TRedozIrProc&)> o) : op(std::move(o)) {
    proc.AutoUndo = false;
    proc.SetAttachedIEBitmap(bmp.get());
  }
  std::string State() override { return ImageBytes(*bmp); }
  void Run() override { op(proc); }
};

// Threads are asked for wherever an engine can use them, so that starting
// them fails too.
struct TManyThreads {
  TIESpeedSettings saved = IESpeed();
  TManyThreads() {
    IESpeed().MaxThreads = 4;
    IESpeed().MinWorkPerThread = 1;
  }
  ~TManyThreads() { IESpeed() = saved; }
};

}  // namespace

TEST(FailNthAllocation, ResampleRotateAndBlurRaiseAndKeepTheirInput) {
  TManyThreads threads;
  const std::pair<const char*, std::function<void(TRedozIrProc&)>> ops[] = {
      {"Resample, kernel", [](TRedozIrProc& p) { p.Resample(53, 31, rfLanczos3); }},
      {"Resample, fast linear", [](TRedozIrProc& p) { p.Resample(20, 40, rfFastLinear); }},
      {"Resample, bicubic", [](TRedozIrProc& p) { p.Resample(61, 17, rfBicubic); }},
      {"Rotate, shear", [](TRedozIrProc& p) { p.Rotate(30, true, 0, clRed); }},
      {"Rotate, quarter and shear", [](TRedozIrProc& p) { p.Rotate(-110.5, true, 0, clRed); }},
      {"Rotate, bicubic", [](TRedozIrProc& p) { p.Rotate(30, true, 2, clRed); }},
      {"Rotate, bilinear", [](TRedozIrProc& p) { p.Rotate(-12, true, 1, clRed); }},
      {"Rotate, nearest", [](TRedozIrProc& p) { p.Rotate(41, false, 0, clRed); }},
  };
  for (const auto& [name, op] : ops)
    FailEveryAllocation(name, [&op = op] { return std::make_unique<TProcSubject>(op); });

  struct TBlur : TSubject {
    std::unique_ptr<TIEBitmap> plane = MakeGrey(71, 45);
    std::string State() override { return ImageBytes(*plane); }
    void Run() override { _IEBlurRect8bit(plane.get(), 3, 2, 66, 40, 2.5); }
  };
  FailEveryAllocation("Blur", [] { return std::make_unique<TBlur>(); });
}

TEST(FailNthAllocation, LoadsRaiseAndKeepTheTargetAndItsParameters) {
  auto src = Picture(false);
  for (int type : {ioPNG, ioJPEG, ioTIFF, ioJ2K}) {
    const std::vector<std::uint8_t> file = EncodeAs(*src, type);
    // Into the component's own bitmap and into a view's, which lives in a
    // platform bitmap; both already hold another picture.
    for (bool view : {false, true}) {
      struct TLoad : TSubject {
        std::unique_ptr<TRedozIrView> v;
        std::unique_ptr<TRedozIrIO> own;
        TRedozIrIO* io;
        TMemoryStream file;
        TLoad(bool inView, const std::vector<std::uint8_t>& f) : file(f) {
          if (inView) {
            v = std::make_unique<TRedozIrView>(nullptr);
            io = v->GetIO();
          } else {
            own = std::make_unique<TRedozIrIO>(nullptr);
            io = own.get();
          }
          auto before = MakeGrey(19, 13);
          io->GetIEBitmap()->Assign(before.get());
          io->GetIEBitmap()->ConvertToPixelFormat(ie24RGB);
          io->Params().FileType = ioBMP;
        }
        std::string State() override {
          return ImageBytes(*io->GetIEBitmap()) + "|" + std::to_string(io->Params().FileType) + "," +
                 std::to_string(io->Params().Width);
        }
        void Run() override {
          file.Seek(0, soBeginning);
          io->LoadFromStream(file);
        }
      };
      FailEveryAllocation(std::string("Load ") + std::to_string(type) + (view ? " into a view" : ""),
                          [&] { return std::make_unique<TLoad>(view, file); });
    }
  }
}
