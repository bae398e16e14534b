// Fails the Nth allocation of an operation for N = 1, 2, 3 ... until the
// operation gets through, then the Nth and every later one: each failure
// must raise EOutOfMemory (or std::bad_alloc, where even its message cannot
// be had), leave the input byte for byte as it was and leak nothing, and
// the next call must succeed. The global operator new of this binary counts and fails; it has a
// test binary of its own so that no other test runs under it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

#include "imaging/core/ie_diskbuffer.h"
#include "imaging/core/ie_pixelblocks.h"
#include "imaging/core/ie_speed.h"
#include "imaging/core/ieproc.h"
#include "imaging/formats/test_images.h"
#include "imaging/io/redozir_io.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/processing/ie_transition.h"
#include "imaging/replaced_new.h"
#include "imaging/view/ievect.h"
#include "imaging/view/redozir_view.h"
#include "platform/bitmap.h"

using namespace redozir;

namespace {
std::atomic<long> gFailAt{0};      // 0: nothing fails
std::atomic<bool> gFailOn{false};  // every allocation after gFailAt fails too
std::atomic<long> gCount{0};
std::atomic<long> gLive{0};
}  // namespace

void* TestAllocate(std::size_t n, std::size_t align, bool nothrow) {
  long at = gFailAt.load(std::memory_order_relaxed);
  const long count = at > 0 ? gCount.fetch_add(1) + 1 : 0;
  if (at > 0 && (count == at || (count > at && gFailOn.load(std::memory_order_relaxed)))) {
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

// The loop described at the top, failing the Nth allocation only, then the
// Nth and every later one. Make gives a fresh subject each round.
void FailEveryAllocation(const std::string& name, const std::function<std::unique_ptr<TSubject>()>& make,
                         bool failOn);
void FailEveryAllocation(const std::string& name, const std::function<std::unique_ptr<TSubject>()>& make) {
  FailEveryAllocation(name, make, false);
  FailEveryAllocation(name + ", and all after", make, true);
}

void FailEveryAllocation(const std::string& name, const std::function<std::unique_ptr<TSubject>()>& make,
                         bool failOn) {
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
    gFailOn = failOn;
    gFailAt = n;
    try {
      s->Run();
    } catch (const EOutOfMemory&) {
      raised = true;
    } catch (const std::bad_alloc&) {
      // With every allocation failing, even the message of EOutOfMemory.
      raised = failOn;
      if (!raised) ADD_FAILURE() << name << ", allocation " << n << ": std::bad_alloc, not EOutOfMemory";
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

TEST(FailNthAllocation, StorageFirstAskedForOrLetGoWhereNothingCanBeAllocatedIsRefusedOrFreed) {
  // A process of its own, in which nothing has made the keepers of pixel
  // blocks and disk-buffer files yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto failFromNowOn = [](bool on) {
    gCount = 0;
    gFailOn = on;
    gFailAt = on ? 1 : 0;
  };
  EXPECT_EXIT(
      {
        failFromNowOn(true);
        const bool refused = !IENewPixels(1000) && !IENewPixels(std::int64_t(16) << 20);
        // Letting go of storage where the keepers' reapers cannot be started.
        failFromNowOn(false);
        TIEPixels block = IENewPixels(std::int64_t(16) << 20);
        std::unique_ptr<TIEDiskBuffer> file = TIEDiskBuffer::Create(1000, 100);
        failFromNowOn(true);
        block.reset();
        file.reset();
        failFromNowOn(false);
        std::_Exit(refused ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

namespace {
// Three layers, the upper ones moved, with a selection on the last: what
// the view's operations start from. Seed makes another such view.
void ThreeLayers(TRedozIrView& v, int seed) {
  v.GetIEBitmap()->Assign(Picture(seed == 0).get());
  for (int i = 1; i < 3; ++i) {
    v.LayersAdd();
    v.GetIEBitmap()->Assign(MakeRGB(9 + i + seed, 7 + seed).get());
    v.GetCurrentLayer()->PosX = 3 * i + seed;
    v.GetCurrentLayer()->PosY = -i;
    v.GetCurrentLayer()->Name = "layer " + std::to_string(i);
  }
  v.Select(2 + seed, 1, 6, 5);
}

std::string ViewState(TRedozIrView& v) {
  TMemoryStream m;
  v.LayersSaveToStream(m, -2);
  v.SaveSelectionToStream(m);
  if (auto* vect = dynamic_cast<TRedozIrVect*>(&v)) vect->SaveToStreamIEV(m);
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<std::size_t>(m.Size())) + "|" +
         std::to_string(v.LayersCurrent()) + "|" + ImageBytes(*v.GetIEBitmap());
}

void AddObjects(TRedozIrVect& v, int seed) {
  const std::pair<TIEVObjectKind, int> kinds[] = {{ievkBOX, 200}, {ievkLINE, 255}, {ievkELLIPSE, 128}};
  for (const auto& [kind, transparency] : kinds) {
    TIEVObjectRecord& r = *v.GetObjectRecord(v.AddNewObject());
    r.Kind = kind;
    r.Transparency = transparency;
    r.x1 = 1 + seed, r.y1 = 2, r.x2 = 30, r.y2 = 20 - seed;
  }
}

struct TViewSubject : TSubject {
  std::unique_ptr<TRedozIrVect> v = std::make_unique<TRedozIrVect>(nullptr);
  TMemoryStream stream;
  std::function<void(TViewSubject&)> op;
  explicit TViewSubject(std::function<void(TViewSubject&)> o) : op(std::move(o)) {
    ThreeLayers(*v, 0);
    AddObjects(*v, 0);
  }
  std::string State() override { return ViewState(*v); }
  void Run() override {
    stream.SetPosition(0);
    op(*this);
  }
};

// The bytes another view of that kind writes.
std::vector<std::uint8_t> Written(const std::function<void(TRedozIrVect&, TStream&)>& write) {
  TRedozIrVect other(nullptr);
  ThreeLayers(other, 2);
  AddObjects(other, 2);
  TMemoryStream m;
  write(other, m);
  const auto* p = static_cast<const std::uint8_t*>(m.Memory());
  return std::vector<std::uint8_t>(p, p + m.Size());
}
}  // namespace

TEST(FailNthAllocation, ViewChangesRaiseAndLeaveTheViewAsItWas) {
  const auto layers = Written([](TRedozIrVect& v, TStream& s) { v.LayersSaveToStream(s, -1); });
  const auto all = Written([](TRedozIrVect& v, TStream& s) { v.SaveToStreamAll(s, -1); });
  const auto selection = Written([](TRedozIrVect& v, TStream& s) { v.SaveSelectionToStream(s); });
  const std::tuple<const char*, const std::vector<std::uint8_t>*, std::function<void(TViewSubject&)>> ops[] =
      {
          {"Layers load", &layers, [](TViewSubject& s) { s.v->LayersLoadFromStream(s.stream); }},
          {"ALL load", &all,
           [](TViewSubject& s) {
             if (!s.v->LoadFromStreamAll(s.stream)) throw EOutOfMemory(s.v->LastLoadError());
           }},
          {"Selection load, mode 2", &selection,
           [](TViewSubject& s) { s.v->LoadSelectionFromStream(s.stream, 2); }},
          {"Merge all", nullptr, [](TViewSubject& s) { s.v->LayersMergeAll(); }},
          {"Objects into the image", nullptr, [](TViewSubject& s) { s.v->CopyObjectsToBack(true); }},
      };
  for (const auto& [name, bytes, op] : ops)
    FailEveryAllocation(name, [&bytes = bytes, &op = op] {
      auto s = std::make_unique<TViewSubject>(op);
      if (bytes) s->stream.WriteBuffer(bytes->data(), static_cast<std::int64_t>(bytes->size()));
      return s;
    });

  // A transition replacing a running one: the running one goes on as it was.
  struct TTransition : TSubject {
    TRedozIrView v{nullptr};
    TBitmap a{8, 6, pf24bit}, b{8, 6, pf24bit};
    int stops = 0;
    TTransition() {
      v.SetOnTransitionStop([this](TObject*) { ++stops; });
      a.Canvas()->FillRect(TRect{0, 0, 8, 6});
      v.Transition()->Start(a, b, 3, 1000, iettLinear, false);
    }
    std::string State() override {
      TIETransitionEffects& t = *v.Transition();
      std::string s = std::to_string(t.Running) + "," + std::to_string(t.Effect) + "," +
                      std::to_string(v.PaintLockCount()) + "," + std::to_string(stops) + "|";
      for (int y = 0; y < t.StartImage->Height(); ++y)
        s.append(reinterpret_cast<const char*>(t.StartImage->ScanLine(y)), 3 * t.StartImage->Width());
      return s;
    }
    void Run() override { v.Transition()->Start(b, a, 7, 500, iettExponential, true); }
  };
  FailEveryAllocation("Transition replaced", [] { return std::make_unique<TTransition>(); });
}

TEST(FailNthAllocation, ObjectSavesAndTheFirstIOLeaveTheControlAsItWas) {
  // Three pictures, the first let go: a save moves the other two down.
  struct TObjectSave : TSubject {
    TRedozIrVect v{nullptr};
    TMemoryStream m;
    bool all;
    std::vector<int> objects;
    explicit TObjectSave(bool a) : all(a) {
      v.GetIEBitmap()->Assign(Picture(false).get());
      for (int i = 0; i < 3; ++i) {
        objects.push_back(v.AddNewObject());
        v.GetObjectRecord(objects.back())->Kind = ievkBITMAP;
        v.SetObjectBitmap(objects.back(), MakeRGB(5 + i, 4).get());
      }
      v.SetObjectBitmap(objects[0], nullptr);
    }
    std::string State() override {
      std::string s;
      for (int h : objects) s += (v.GetObjectBitmap(h) ? ImageBytes(*v.GetObjectBitmap(h)) : "-") + "|";
      return s;
    }
    void Run() override {
      m.Clear();
      all ? v.SaveToStreamAll(m, -1) : v.SaveToStreamIEV(m);
    }
  };
  for (bool all : {false, true})
    FailEveryAllocation(all ? "ALL save" : "IEV save", [all] { return std::make_unique<TObjectSave>(all); });

  // The I/O component a view makes on first asking loads into the view.
  struct TFirstIO : TSubject {
    TRedozIrView v{nullptr};
    TMemoryStream file{EncodeAs(*Picture(false), ioPNG)};
    TFirstIO() { v.GetIEBitmap()->Assign(MakeGrey(19, 13).get()); }
    std::string State() override { return ImageBytes(*v.GetIEBitmap()); }
    void Run() override {
      file.SetPosition(0);
      v.GetIO()->LoadFromStream(file);
    }
  };
  FailEveryAllocation("First I/O", [] { return std::make_unique<TFirstIO>(); });
}
