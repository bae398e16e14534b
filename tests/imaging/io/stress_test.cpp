// The library under load: threads resample, rotate, blur, convert and save
// while loads on the I/O component's thread run into shown views that are
// resized and freed on the way. Every result must equal the one the same work
// gives on a single thread. Short by default; REDOZIR_STRESS_ROUNDS asks for
// more rounds (CI's ThreadSanitizer build runs this test too).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "imaging/core/ieproc.h"
#include "imaging/formats/test_images.h"
#include "imaging/io/redozir_io.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/core/ie_speed.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

namespace {

int Rounds() {
  const char* v = std::getenv("REDOZIR_STRESS_ROUNDS");
  int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : 2;
}

// One piece of work on a picture of its own: the bytes it ends with.
using TWork = std::function<std::string()>;

std::vector<std::pair<std::string, TWork>> Works() {
  auto onProc = [](std::function<void(TRedozIrProc&)> op) {
    return [op] {
      auto b = MakeRGB(211, 127);
      AddAlpha(*b);
      TRedozIrProc proc;
      proc.AutoUndo = false;
      proc.SetAttachedIEBitmap(b.get());
      op(proc);
      return ImageBytes(*b);
    };
  };
  return {
      {"resample kernel", onProc([](TRedozIrProc& p) { p.Resample(317, 96, rfLanczos3); })},
      {"resample bicubic", onProc([](TRedozIrProc& p) { p.Resample(150, 201, rfBicubic); })},
      {"rotate shear", onProc([](TRedozIrProc& p) { p.Rotate(33.3, true, 0, clGreen); })},
      {"rotate bicubic", onProc([](TRedozIrProc& p) { p.Rotate(-21, true, 2, clGreen); })},
      {"blur",
       [] {
         auto g = MakeGrey(233, 151);
         _IEBlurRect8bit(g.get(), 5, 3, 220, 140, 3.5);
         return ImageBytes(*g);
       }},
      {"convert",
       [] {
         auto b = MakeRGB(199, 77);
         b->ConvertToPixelFormat(ie8g);
         return ImageBytes(*b);
       }},
      {"save",
       [] {
         auto b = MakeRGB(97, 61);
         TRedozIrIO io;
         io.GetIEBitmap()->Assign(b.get());
         TMemoryStream ms;
         io.SaveToStream(ms, ioPNG);
         return std::string(ms.Data().begin(), ms.Data().end());
       }},
  };
}

struct TLoadingView {
  TForm* form;
  TRedozIrView* view;
  std::unique_ptr<TMemoryStream> file;
  int finished = 0;
};

}  // namespace

TEST(Stress, ThreadedWorkAndLoadsIntoShownViewsGiveTheSingleThreadedBytes) {
  const TIESpeedSettings saved = IESpeed();
  const auto works = Works();
  std::vector<std::string> expected;
  IESpeed().MaxThreads = 1;
  for (const auto& w : works) expected.push_back(w.second());
  auto picture = MakeRGB(640, 480);
  const std::vector<std::uint8_t> files[] = {EncodeAs(*picture, ioPNG), EncodeAs(*picture, ioTIFF),
                                             EncodeAs(*picture, ioBMP)};
  std::vector<std::string> loaded;
  for (const auto& f : files) {
    TRedozIrIO io;
    TMemoryStream ms(f);
    io.LoadFromStream(ms);
    loaded.push_back(ImageBytes(*io.GetIEBitmap()));
  }
  IESpeed() = saved;
  IESpeed().MaxThreads = 4;
  IESpeed().MinWorkPerThread = 1;

  const int rounds = Rounds();
  std::atomic<int> mismatches{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([&, t] {
      for (int r = 0; r < rounds || !stop; ++r)
        for (size_t i = 0; i < works.size(); ++i) {
          size_t k = (i + static_cast<size_t>(t)) % works.size();
          if (works[k].second() != expected[k]) ++mismatches;
        }
    });

  THeadlessSession session;
  for (int r = 0; r < rounds; ++r) {
    std::vector<TLoadingView> views(6);
    for (size_t i = 0; i < views.size(); ++i) {
      TLoadingView& l = views[i];
      l.form = new TForm(nullptr);
      l.form->SetBounds(0, 0, 300, 200);
      l.view = new TRedozIrView(l.form);
      l.view->SetParent(l.form);
      l.view->SetBounds(5, 5, 200, 150);
      l.form->Show();
      l.view->SetOnFinishWork([&l](TObject*) { ++l.finished; });
      l.file = std::make_unique<TMemoryStream>(files[i % 3]);
      TRedozIrIO* io = l.view->GetIO();
      io->AsyncMode = true;
      io->LoadFromStream(*l.file);
      // Handed over only on this thread, when the loop runs.
      EXPECT_NE(l.view->GetIEBitmap()->Width(), 640);
    }
    // While the loads run: the views are resized (their update reads their
    // picture) and every third one is freed with its load under way.
    for (size_t i = 0; i < views.size(); ++i) {
      views[i].view->SetBounds(5, 5, 120 + static_cast<int>(i) * 13, 90 + r);
      Application->ProcessMessages();
      if (i % 3 == 2) {
        delete views[i].form;
        views[i].form = nullptr;
      }
    }
    for (int spin = 0; spin < 20000; ++spin) {
      bool all = true;
      for (auto& l : views) all = all && (!l.form || l.finished > 0);
      if (all) break;
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (size_t i = 0; i < views.size(); ++i) {
      if (!views[i].form) continue;
      EXPECT_EQ(views[i].finished, 1) << "round " << r << ", view " << i;
      EXPECT_TRUE(ImageBytes(*views[i].view->GetIEBitmap()) == loaded[i % 3])
          << "round " << r << ", view " << i;
      delete views[i].form;
    }
    Application->ClearMessages();
  }
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_EQ(mismatches.load(), 0);
  IESpeed() = saved;
}
