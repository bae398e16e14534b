// The text editing control with 2 000 and 20 000 characters of wrapped text in
// a 640 x 480 control on a shown (headless) form: a
// caret move (Right, then the paint it asks for), the caret on the
// screen (at character 1 000) and a typed letter with its
// Backspace (two edits and their paints per iteration).
#include <benchmark/benchmark.h>

#include <string>

#include "imaging/view/ie_textcontrol.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/keys.h"

using namespace redozir;

namespace {

std::string Words(int n) {
  static const char* words[] = {"lorem",      "ipsum", "dolor", "sit", "amet",    "consectetur",
                                "adipiscing", "elit",  "sed",   "do",  "eiusmod", "tempor"};
  std::string s;
  for (int i = 0; static_cast<int>(s.size()) < n; ++i) {
    s += words[i % 12];
    s += i % 97 == 96 ? '\n' : ' ';
  }
  s.resize(static_cast<size_t>(n));
  return s;
}

struct TEditor {
  THeadlessSession session;
  TForm* form = new TForm(nullptr);
  TIETextControl* ctl = new TIETextControl(form);
  explicit TEditor(int chars) {
    form->SetBounds(0, 0, 700, 540);
    ctl->SetParent(form);
    ctl->SetBounds(10, 10, 640, 480);
    TIETextMemo m;
    m.Text = Words(chars);
    ctl->SetMemo(std::move(m));
    form->Show();
    ctl->SetFocus();
    Application->ProcessMessages();
    ctl->SetCaretIndex(1000);
    Application->ProcessMessages();
  }
  ~TEditor() { delete form; }
};

void BM_TextCaretMove(benchmark::State& state) {
  TEditor e(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    Inject::Key(++i % 2 ? VK_RIGHT : VK_LEFT);
    Application->ProcessMessages();
  }
}
BENCHMARK(BM_TextCaretMove)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_TextTypeAndErase(benchmark::State& state) {
  TEditor e(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Inject::Text("a");
    Application->ProcessMessages();
    Inject::Key(VK_BACK);
    Application->ProcessMessages();
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_TextTypeAndErase)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
