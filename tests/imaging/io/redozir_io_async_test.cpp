// Loads on the I/O component's own thread: the view hears of them only
// through its posted messages, handled by the (headless) message loop.
#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <thread>

#include "imaging/formats/test_images.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

namespace {
std::string AsyncTempName(const std::string& ext) {
  return "/tmp/redozir_io_async_test_" + std::to_string(getpid()) + ext;
}

// A shown form holding a view with a window.
struct TShownView {
  THeadlessSession session;
  TForm* form;
  TRedozIrView* view;
  TShownView() {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 200, 150);
    view = new TRedozIrView(form);
    view->SetParent(form);
    view->SetBounds(10, 10, 120, 100);
    form->Show();
    Application->ProcessMessages();
  }
  ~TShownView() {
    delete form;
    Application->ClearMessages();
  }
};

// Runs the message loop until done() holds; false after a generous bound
// (a hang guard, not a timing).
template <typename F>
bool PumpUntil(F done) {
  for (int i = 0; i < 20000 && !done(); ++i) {
    Application->ProcessMessages();
    if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

struct TEventLog {
  std::vector<int> progress;
  int finished = 0;
  bool offThread = false;
  void Attach(TRedozIrView* v) {
    auto main = std::this_thread::get_id();
    v->SetOnProgress([this, main](TObject*, int per) {
      offThread = offThread || std::this_thread::get_id() != main;
      progress.push_back(per);
    });
    v->SetOnFinishWork([this, main](TObject*) {
      offThread = offThread || std::this_thread::get_id() != main;
      ++finished;
    });
  }
};
}  // namespace

TEST(RedozIrIOAsync, AThreadedLoadGivesThePlainLoadsPixelsWithEventsThroughTheViewsMessages) {
  auto src = MakeRGB(64, 180);
  for (const char* ext : {".png", ".tif", ".bmp"}) {
    std::string name = AsyncTempName(ext);
    {
      TRedozIrIO writer;
      writer.GetIEBitmap()->Assign(src.get());
      writer.SaveToFile(name);
    }
    TRedozIrView plain(nullptr);
    plain.GetIO()->LoadFromFile(name);

    TShownView s;
    ASSERT_TRUE(s.view->HandleAllocated());
    TEventLog log;
    log.Attach(s.view);
    TRedozIrIO* io = s.view->GetIO();
    io->AsyncMode = true;
    int widthBefore = s.view->ImageWidth();
    io->LoadFromFile(name);
    // Nothing reaches the view before its loop runs.
    EXPECT_EQ(s.view->ImageWidth(), widthBefore);
    EXPECT_TRUE(log.progress.empty());
    ASSERT_TRUE(PumpUntil([&] { return log.finished > 0; })) << ext;
    io->WaitLoad();
    EXPECT_FALSE(io->IsLoading());
    // Whatever else is still queued changes nothing.
    Application->ProcessMessages();
    EXPECT_EQ(log.finished, 1) << ext;
    EXPECT_FALSE(log.offThread) << ext;
    ASSERT_GE(log.progress.size(), 10u) << ext;
    EXPECT_EQ(log.progress.front(), 0);
    EXPECT_EQ(log.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end())) << ext;
    EXPECT_EQ(MaxRGBDiff(*s.view->GetIEBitmap(), *plain.GetIEBitmap()), 0) << ext;
    // The posted update reached the view's own Update.
    EXPECT_EQ(s.view->ImageWidth(), 64);
    EXPECT_EQ(s.view->ImageHeight(), 180);
    EXPECT_EQ(io->Params().FileType, plain.GetIO()->Params().FileType);
    std::remove(name.c_str());
  }
}

TEST(RedozIrIOAsync, AFailedThreadedLoadRaisesInWaitLoadAndLeavesTheImage) {
  auto src = MakeRGB(20, 30);
  TMemoryStream good(EncodeAs(*src, ioPNG));
  std::vector<std::uint8_t> cut(good.Bytes());
  cut.resize(cut.size() / 2);
  TMemoryStream bad(cut);

  TShownView s;
  TEventLog log;
  log.Attach(s.view);
  TRedozIrIO* io = s.view->GetIO();
  io->LoadFromStream(good);
  log.progress.clear();
  log.finished = 0;
  io->AsyncMode = true;
  io->LoadFromStreamPNG(bad);
  ASSERT_TRUE(PumpUntil([&] { return log.finished > 0; }));
  EXPECT_THROW(io->WaitLoad(), Exception);
  io->WaitLoad();  // the failure is raised once
  Application->ProcessMessages();
  EXPECT_EQ(log.finished, 1);
  ASSERT_FALSE(log.progress.empty());
  EXPECT_NE(log.progress.back(), 100);
  EXPECT_EQ(MaxRGBDiff(*s.view->GetIEBitmap(), *src), 0);
}

TEST(RedozIrIOAsync, WithoutAWindowToPostToTheLoadRunsOnTheCallingThread) {
  auto src = MakeRGB(9, 7);
  TMemoryStream ms(EncodeAs(*src, ioBMP));
  TRedozIrView hidden(nullptr);
  int finished = 0;
  hidden.SetOnFinishWork([&](TObject*) { ++finished; });
  TRedozIrIO* io = hidden.GetIO();
  io->AsyncMode = true;
  io->LoadFromStream(ms);
  // Done on return, with the events called directly.
  EXPECT_FALSE(io->IsLoading());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(MaxRGBDiff(*hidden.GetIEBitmap(), *src), 0);
  EXPECT_FALSE(hidden.HandleAllocated());
  // On a form never shown there is no window to make either.
  THeadlessSession session;
  auto* form = new TForm(nullptr);
  auto* placed = new TRedozIrView(form);
  placed->SetParent(form);
  placed->GetIO()->AsyncMode = true;
  ms.SetPosition(0);
  placed->GetIO()->LoadFromStream(ms);
  EXPECT_FALSE(placed->GetIO()->IsLoading());
  EXPECT_EQ(MaxRGBDiff(*placed->GetIEBitmap(), *src), 0);
  EXPECT_FALSE(placed->HandleAllocated());
  delete form;
}

TEST(RedozIrIOAsync, FreeingTheViewOrAStandaloneComponentWaitsForTheRunningLoad) {
  auto src = MakeRGB(300, 300);
  auto bytes = EncodeAs(*src, ioPNG);
  {
    // The view (and its component) goes while the load may still run.
    TShownView s;
    TMemoryStream ms(bytes);
    TRedozIrIO* io = s.view->GetIO();
    io->AsyncMode = true;
    io->LoadFromStream(ms);
    delete s.view;
  }
  {
    // A component of its own attached to the view: freeing the view first
    // stops the load before the view's bitmap goes.
    TShownView s;
    TMemoryStream ms(bytes);
    TRedozIrIO io(nullptr);
    io.SetAttachedRedozIr(s.view);
    io.AsyncMode = true;
    io.LoadFromStream(ms);
    delete s.view;
    EXPECT_EQ(io.AttachedRedozIr(), nullptr);
    EXPECT_FALSE(io.IsLoading());
  }
}

TEST(RedozIrIOAsync, TheViewHandlesThePrivateMessagesOnItsThread) {
  TRedozIrView v(nullptr);
  std::vector<int> per;
  int finished = 0;
  v.SetOnProgress([&](TObject* sender, int p) {
    EXPECT_EQ(sender, &v);
    per.push_back(p);
  });
  v.SetOnFinishWork([&](TObject*) { ++finished; });
  v.Perform(IEM_PROGRESS, 50, 0);
  v.Perform(IEM_FINISHWORK, 0, 0);
  EXPECT_EQ(per, std::vector<int>{50});
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(IEM_UPDATE, 8024u);
  EXPECT_EQ(IEM_PROGRESS, 8027u);
  EXPECT_EQ(IEM_FINISHWORK, 8028u);
  // The update message brings the view up to its image.
  v.GetIEBitmap()->Allocate(13, 11, ie24RGB);
  v.Perform(IEM_UPDATE, 0, 0);
  EXPECT_EQ(v.ImageWidth(), 13);
  EXPECT_EQ(v.ImageHeight(), 11);
}

TEST(RedozIrIOAsync, TheVideoFrontNotifiesTheWindowOfTheAttachedView) {
  TShownView s;
  TRedozIrIO* io = s.view->GetIO();
  EXPECT_EQ(io->DShowControl()->NotifyWindow(), s.view->Handle());
  TRedozIrIO alone(nullptr);
  EXPECT_EQ(alone.DShowControl()->NotifyWindow(), 0u);
}

TEST(RedozIrIOAsync, ALoadOrSaveStartedWhileALoadRunsWaitsForIt) {
  auto big = MakeRGB(200, 150);
  auto small = MakePalette(20, 10, 6);
  TMemoryStream first(EncodeAs(*big, ioPNG));
  TMemoryStream second(EncodeAs(*small, ioBMP, [](TIOParamsVals& p) { p.SamplesPerPixel = 1; }));
  TShownView s;
  TEventLog log;
  log.Attach(s.view);
  TRedozIrIO* io = s.view->GetIO();
  io->AsyncMode = true;
  io->LoadFromStream(first);
  io->LoadFromStream(second);
  // Saving waits for the second load and writes what it gave.
  TMemoryStream saved;
  io->SaveToStream(saved, ioPNG);
  EXPECT_FALSE(io->IsLoading());
  ASSERT_TRUE(PumpUntil([&] { return log.finished >= 3; }));
  Application->ProcessMessages();
  EXPECT_EQ(log.finished, 3);
  EXPECT_EQ(MaxRGBDiff(*s.view->GetIEBitmap(), *small), 0);
  EXPECT_EQ(MaxRGBDiff(*DecodeBytes(saved.Bytes()), *small), 0);
  EXPECT_EQ(io->Params().FileType, ioPNG);
}
