#include "imaging/view/iopreviews.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/iebitmap.h"
#include "imaging/view/iepalettedialog.h"
#include "imaging/view/iopreviews_internal.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/inject.h"
#include "platform/timers.h"

using namespace redozir;

namespace {

// A metafile's file type: a format the dialog has no page for.
constexpr int kWMF = 6;

// A component with a 40 x 30 colour image (every pixel different enough to
// keep the encoders busy) and the dialog installed.
struct TDialogRun {
  THeadlessSession session;
  TRedozIrIO io;
  bool shown = false;
  TDialogRun(int FileType, bool Simplified = false, TIEPixelFormat Format = ie24RGB) {
    IEInitPreviewsDialog();
    io.Params().FileType = FileType;
    io.SimplifiedParamsDialogs = Simplified;
    TIEBitmap* b = io.GetIEBitmap();
    b->Allocate(40, 30, ie24RGB);
    for (int y = 0; y < 30; ++y) {
      auto* row = b->GetScanline(y);
      for (int x = 0; x < 120; ++x) row[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
    }
    if (Format != ie24RGB) b->SetPixelFormat(Format);
  }
  // Opens the dialog with Pages; Act drives it once it is up and must end it.
  bool Run(std::uint16_t Pages, const std::function<void(TfIOPreviews&)>& Act) {
    TfIOPreviews* dialog = nullptr;
    io.OnIOPreview = [&](TObject*, TObject* Form) { dialog = static_cast<TfIOPreviews*>(Form); };
    TTimer timer(nullptr);
    timer.SetInterval(10);
    timer.SetOnTimer([&](TObject*) {
      timer.SetEnabled(false);
      shown = true;
      Act(*dialog);
    });
    return io.DoPreviews(Pages);
  }
};

// Selects an item of a list as a user does: focus, the first item, then down.
void Choose(TComboBox* c, int Index) {
  c->SetFocus();
  Inject::Key(VK_HOME);
  for (int i = 0; i < Index; ++i) Inject::Key(VK_DOWN);
}

void Type(TEdit* e, const std::string& s) {
  e->SetFocus();
  e->SelectAll();
  Inject::Text(s);
}

void Ok(TfIOPreviews& d) { Inject::Click(d.Button1, 5, 5); }
void Cancel(TfIOPreviews& d) { Inject::Click(d.Button2, 5, 5); }

}  // namespace

TEST(IOPreviews, TheAutomaticPageAloneWithoutAPageAnswersFalseUnshown) {
  TDialogRun r(kWMF);
  EXPECT_FALSE(r.Run(ppAUTO, Cancel));
  EXPECT_FALSE(r.shown);
  TDialogRun t(ioTIFF);
  std::vector<std::string> tabs;
  EXPECT_FALSE(t.Run(ppAUTO, [&](TfIOPreviews& d) {
    for (int i = 0; i < d.PageControl1->PageCount(); ++i)
      if (d.PageControl1->Pages(i)->TabVisible()) tabs.push_back(d.PageControl1->Pages(i)->Caption());
    EXPECT_EQ(d.PageControl1->ActivePage(), d.TabSheetTIFF1);
    Cancel(d);
  }));
  EXPECT_EQ(tabs, std::vector<std::string>{"TIFF"});
}

TEST(IOPreviews, WithNoPageOfTheFileTypeTheFirstShownPageIsActive) {
  TDialogRun r(kWMF);
  r.Run(ppGIF | ppPNG, [](TfIOPreviews& d) {
    EXPECT_EQ(d.PageControl1->ActivePage(), d.TabSheetGIF1);
    EXPECT_EQ(TfIOPreviewsTesting::PreviewCount(d), 1);
    Cancel(d);
  });
  EXPECT_TRUE(r.shown);
}

TEST(IOPreviews, AThrowingEventStillClosesTheDialogAndLeavesTheImage) {
  TDialogRun r(ioJPEG, false, ie16g);
  r.io.OnIOPreview = [](TObject*, TObject*) { throw std::runtime_error("event failed"); };
  EXPECT_THROW(r.io.DoPreviews(ppJPEG), std::runtime_error);
  EXPECT_EQ(r.io.GetIEBitmap()->PixelFormat(), ie16g);
  EXPECT_EQ(r.io.GetIEBitmap()->Width(), 40);
  // Nothing of the first dialog is left behind: the next one opens as usual.
  EXPECT_TRUE(r.Run(ppJPEG, Ok));
}

TEST(IOPreviews, WithoutLzwAStoredLzwShowsPackBitsAndOkWritesIt) {
  struct TNoLzw {
    TTIFFLZWProc saved = IEGlobalTIFFLZWCompressor;
    TNoLzw() { IEGlobalTIFFLZWCompressor = nullptr; }
    ~TNoLzw() { IEGlobalTIFFLZWCompressor = saved; }
  } noLzw;
  TDialogRun r(ioTIFF);
  r.io.Params().TIFFCompression = ioTIFF_LZW;
  EXPECT_TRUE(r.Run(ppTIFF, [](TfIOPreviews& d) {
    EXPECT_EQ(d.ComboBox2->Items.size(), 8u);
    EXPECT_EQ(d.ComboBox2->Text(), "PACKBITS");
    Ok(d);
  }));
  EXPECT_EQ(r.io.Params().TIFFCompression, ioTIFF_PACKBITS);
  EXPECT_EQ(r.io.Params().FileType, ioTIFF);
}

TEST(IOPreviews, TheTIFFPageOfAnEightBitOneSamplePictureShowsItsColours) {
  for (int photometric : {ioTIFF_WHITEISZERO, ioTIFF_BLACKISZERO, ioTIFF_RGB, ioTIFF_RGBPALETTE}) {
    TDialogRun r(ioTIFF, false, ie8g);
    r.io.Params().BitsPerSample = 8;
    r.io.Params().SamplesPerPixel = 1;
    r.io.Params().TIFFPhotometric = static_cast<std::uint8_t>(photometric);
    EXPECT_TRUE(r.Run(ppTIFF, [&](TfIOPreviews& d) {
      EXPECT_EQ(d.ComboBox4->Text(), "256") << photometric;
      EXPECT_EQ(d.ComboBox3->ItemIndex(), photometric);
      Ok(d);
    }));
    EXPECT_EQ(r.io.Params().BitsPerSample, 8) << photometric;
    EXPECT_EQ(r.io.Params().SamplesPerPixel, 1) << photometric;
  }
}

TEST(IOPreviews, TIFFCompressionListMapsBothWays) {
  // value, index with LZW, index without
  const int table[][3] = {{0, 0, 0}, {4, 4, 4}, {5, 5, 6}, {7, 6, 5},
                          {8, 7, 6}, {9, 8, 7}, {6, 0, 0}, {12, 0, 0}};
  for (auto& t : table) {
    EXPECT_EQ(IETIFFCompressionToIndex(t[0], true), t[1]) << t[0];
    EXPECT_EQ(IETIFFCompressionToIndex(t[0], false), t[2]) << t[0];
  }
  const int back[] = {0, 1, 2, 3, 4, 7, 8, 9};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(IETIFFIndexToCompression(i, false), back[i]);
  EXPECT_EQ(IETIFFIndexToCompression(8, false), 0);
  EXPECT_EQ(IETIFFIndexToCompression(5, true), 5);
}

TEST(IOPreviews, SimplifiedTIFFFaxForcesBilevelAndMoreColoursUndoIt) {
  TDialogRun r(ioTIFF, true);
  EXPECT_TRUE(r.Run(ppTIFF, [](TfIOPreviews& d) {
    EXPECT_EQ(d.PageControl1->ActivePage(), d.TabSheetTIFF2);
    Choose(d.ComboBox16, 4);
    EXPECT_EQ(d.ComboBox16->Text(), "G4FAX");
    EXPECT_EQ(d.ComboBox17->Text(), "2");
    Choose(d.ComboBox17, 2);
    EXPECT_EQ(d.ComboBox16->Text(), "UNCOMPRESSED");
    Ok(d);
  }));
  const TIOParamsVals& p = r.io.Params();
  EXPECT_EQ(p.TIFFCompression, ioTIFF_UNCOMPRESSED);
  EXPECT_EQ(p.TIFFPhotometric, ioTIFF_BLACKISZERO);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 1);
}

TEST(IOPreviews, QualityTextReadsItsDefaultAndIsClamped) {
  struct TCase {
    const char* typed;
    int quality;
  };
  for (TCase c : {TCase{"abc", 50}, TCase{"500", 100}, TCase{"37", 37}}) {
    TDialogRun r(ioJPEG);
    EXPECT_TRUE(r.Run(ppJPEG, [&](TfIOPreviews& d) {
      Type(d.Edit22, c.typed);
      EXPECT_EQ(d.TrackBar13->Position(), c.quality) << c.typed;
      Ok(d);
    }));
    EXPECT_EQ(r.io.Params().JPEGQuality, c.quality) << c.typed;
  }
}

TEST(IOPreviews, RetypedNumbersWaitWhileUnfinishedAndKeepTheCaret) {
  struct TCase {
    int fileType;
    bool simplified;
    TEdit* TfIOPreviews::*edit;
    const char* capped;  // what "5000" shows
    double (*written)(const TIOParamsVals&);
  };
  const TCase cases[] = {
      {ioJPEG, false, &TfIOPreviews::Edit22, "100",
       [](const TIOParamsVals& p) { return double(p.JPEGQuality); }},
      {ioJPEG, true, &TfIOPreviews::Edit16, "100",
       [](const TIOParamsVals& p) { return double(p.JPEGQuality); }},
      {ioJ2K, false, &TfIOPreviews::Edit15, "1000",
       [](const TIOParamsVals& p) { return p.J2000Rate * 1000; }},
  };
  for (const TCase& c : cases) {
    TDialogRun r(c.fileType, c.simplified);
    EXPECT_TRUE(r.Run(ppJPEG | ppJ2000, [&](TfIOPreviews& d) {
      TEdit* e = d.*c.edit;
      // Capped as typed, the caret staying at the end.
      Type(e, "5000");
      EXPECT_EQ(e->Text(), c.capped);
      EXPECT_EQ(e->SelStart(), static_cast<int>(e->Text().size()));
      // Cleared, the edit waits; then "5" is 5.
      e->SelectAll();
      Inject::Key(VK_DELETE);
      EXPECT_EQ(e->Text(), "");
      Inject::Text("5");
      EXPECT_EQ(e->Text(), "5");
      Ok(d);
    }));
    EXPECT_NEAR(c.written(r.io.Params()), 5, 1e-9) << c.capped;
  }
}

TEST(IOPreviews, AJpegPreviewsProgressRunsThroughBothHalvesAndEndsAtZero) {
  TDialogRun r(ioJPEG);
  std::vector<int> seen;
  r.Run(ppJPEG, [&](TfIOPreviews& d) {
    EXPECT_NE(d.CompressedSizeLabel(d.TabSheetJPEG1)->Caption(), "---") << "the preview at activation";
    for (TRedozIrView* v : {d.RedozIr1, d.RedozIr2})
      v->SetOnProgress([&](TObject*, int Per) {
        d.RedozIr1Progress(Per);
        seen.push_back(d.ProgressBar1->Position());
      });
    Inject::Click(d.Button3, 5, 5);
    EXPECT_EQ(d.ProgressBar1->Position(), 0);
    Cancel(d);
  });
  ASSERT_FALSE(seen.empty());
  auto fifty = std::find(seen.begin(), seen.end(), 50);
  ASSERT_NE(fifty, seen.end());
  EXPECT_TRUE(std::all_of(seen.begin(), fifty, [](int p) { return p >= 0 && p <= 50; }));
  EXPECT_TRUE(std::all_of(fifty, seen.end(), [](int p) { return p >= 50 && p <= 100; }));
  EXPECT_EQ(seen.back(), 100);
}

TEST(IOPreviews, ApplyThenCancelKeepsTheAppliedParameters) {
  TDialogRun r(ioJPEG);
  r.io.PreviewsParams = ioppApplyButton;
  EXPECT_FALSE(r.Run(ppJPEG, [](TfIOPreviews& d) {
    EXPECT_FALSE(d.Button4->Enabled());
    Choose(d.ComboBox1, 1);
    EXPECT_TRUE(d.Button4->Enabled());
    Inject::Click(d.Button4, 5, 5);
    EXPECT_FALSE(d.Button4->Enabled());
    Choose(d.ComboBox1, 2);
    Cancel(d);
  }));
  EXPECT_EQ(r.io.Params().JPEGDCTMethod, 1);
}

TEST(IOPreviews, OnePreviewAtActivationAndNoneOnChangesWithTheLockOff) {
  for (bool lock : {false, true}) {
    TDialogRun r(ioPNG);
    r.io.PreviewsParams = lock ? ioppDefaultLockPreview : 0;
    r.Run(ppALL, [&](TfIOPreviews& d) {
      EXPECT_EQ(TfIOPreviewsTesting::PreviewCount(d), 1) << lock;
      EXPECT_EQ(d.PageControl1->ActivePage(), d.TabSheetPNG1);
      EXPECT_EQ(d.Button3->Enabled(), !lock);
      d.ComboBox12->SetFocus();
      Inject::Key(VK_DOWN);
      EXPECT_EQ(TfIOPreviewsTesting::PreviewCount(d), lock ? 2 : 1) << lock;
      // A sub-dialog closing activates the form again: nothing reruns.
      d.Activate();
      EXPECT_EQ(TfIOPreviewsTesting::PreviewCount(d), lock ? 2 : 1) << lock;
      Cancel(d);
    });
  }
}

TEST(IOPreviews, EachPageWritesItsParametersAndFileType) {
  struct TCase {
    int fileType;
    std::function<void(TfIOPreviews&)> act;
    std::function<void(const TIOParamsVals&)> check;
  };
  const TCase cases[] = {
      {ioJPEG,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox13, 1);
         d.CheckBox3->SetFocus();
         Inject::Key(VK_SPACE);
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.JPEGColorSpace, ioJPEG_GRAYLEV);
         EXPECT_TRUE(p.JPEGProgressive);
       }},
      {ioTIFF,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox3, 5);
         Type(d.Edit4, "doc");
         Type(d.Edit1, "3");
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.TIFFPhotometric, ioTIFF_CMYK);
         EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 84);
         EXPECT_EQ(p.TIFFDocumentName, "doc");
         EXPECT_EQ(p.GIFImageIndex, 3) << "the image index goes to every format";
       }},
      {ioGIF,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox5, 3);
         Inject::Click(d.CheckBox4, 3, 3);
         Type(d.Edit12, "25");
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.BitsPerSample, 4);
         EXPECT_TRUE(p.GIFTransparent);
         EXPECT_EQ(p.GIFDelayTime, 25);
       }},
      {ioBMP,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox7, 4);
         Choose(d.ComboBox6, 1);
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 83);
         EXPECT_EQ(p.BMPCompression, 1);
       }},
      {ioPCX, [](TfIOPreviews& d) { Choose(d.ComboBox9, 1); },
       [](const TIOParamsVals& p) { EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 41); }},
      {ioPNG,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox10, 0);
         Choose(d.ComboBox12, 9);
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 11);
         EXPECT_EQ(p.PNGCompression, 9);
       }},
      {ioTGA,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox14, 1);
         Type(d.Edit13, "name");
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 81);
         EXPECT_EQ(p.TGAImageName, "name");
       }},
      {ioJ2K,
       [](TfIOPreviews& d) {
         Choose(d.ComboBox15, 0);
         Type(d.Edit15, "0");
       },
       [](const TIOParamsVals& p) {
         EXPECT_EQ(p.J2000ColorSpace, ioJ2000_GRAYSCALE);
         EXPECT_EQ(p.BitsPerSample * 10 + p.SamplesPerPixel, 81);
         EXPECT_DOUBLE_EQ(p.J2000Rate, 0.001) << "a rate of 0 is raised to the least step";
       }},
  };
  for (const TCase& c : cases) {
    TDialogRun r(c.fileType);
    r.io.Params().FileType = c.fileType == ioJ2K ? ioJP2 : c.fileType;
    EXPECT_TRUE(r.Run(ppALL, [&](TfIOPreviews& d) {
      c.act(d);
      Ok(d);
    })) << c.fileType;
    EXPECT_EQ(r.io.Params().FileType, c.fileType);
    c.check(r.io.Params());
  }
}

TEST(IOPreviews, TheCallersImageIsNeverDegraded) {
  struct TCase {
    TIEPixelFormat given, after;
  };
  for (TCase c : {TCase{ie8g, ie24RGB}, TCase{ie1g, ie1g}, TCase{ie16g, ie16g}, TCase{ieRGB48, ieRGB48}}) {
    TDialogRun r(ioPNG, false, c.given);
    r.Run(ppPNG, [](TfIOPreviews& d) {
      TIEPixelFormat shown = d.RedozIr1->GetIEBitmap()->PixelFormat();
      EXPECT_TRUE(shown == ie24RGB || shown == ie1g) << int(shown);
      Cancel(d);
    });
    EXPECT_EQ(r.io.GetIEBitmap()->PixelFormat(), c.after) << int(c.given);
  }
}

TEST(IOPreviews, ThePalettePickerShowsNoMoreThanTheResultsColourMap) {
  TDialogRun r(ioGIF);
  int cells = -1;
  r.Run(ppGIF, [&](TfIOPreviews& d) {
    Choose(d.ComboBox5, 2);  // 8 colours
    TfIOPreviewsTesting::SetExecutePalette(d, [&](TRedozIrPaletteDialog& p) {
      cells = p.CellCount();
      EXPECT_EQ(p.CancelButton()->Caption(), d.CancelCaption);
      p.PickCell(1);
      return true;
    });
    Inject::Click(d.Panel4, 3, 3);
    const TRGB& e = d.RedozIr2->GetIO()->Params().ColorMap[1];
    EXPECT_EQ(d.Panel4->Color(), RGB(e.r, e.g, e.b));
    Ok(d);
  });
  EXPECT_EQ(cells, 8);
}

TEST(IOPreviews, ABackgroundPickEnablesApplyOnlyForANewColourOverTheStripes) {
  gIEDialogsBackground = 1;
  TDialogRun r(ioPNG);
  r.Run(ppPNG, [&](TfIOPreviews& d) {
    TBitmap stripes;
    IEMakeStripesBitmap(&stripes, d.Image1->Width(), d.Image1->Height());
    EXPECT_EQ(d.Image1->Picture.Width(), d.ClientWidth());
    EXPECT_EQ(d.Image1->Picture.GetPixel(3, 200), stripes.GetPixel(3, 200));
    const TColor was = d.Panel1->Color();
    for (TColor answer : {clNone, was, clRed}) {
      TCommonDialog::Answerer = [&](TCommonDialog* c) {
        static_cast<TColorDialog*>(c)->Color = answer;
        return answer != clNone;
      };
      Inject::Click(d.Panel1, 3, 3);
      EXPECT_EQ(d.Button4->Enabled(), answer == clRed) << std::hex << answer;
    }
    EXPECT_EQ(d.Panel1->Color(), clRed);
    Cancel(d);
  });
  TCommonDialog::Answerer = nullptr;
  gIEDialogsBackground = 0;
  EXPECT_TRUE(r.shown);
}

TEST(IOPreviews, TheLockPreviewBoxShowsTheStripesOrMetalAroundItsBoxAndGlyphs) {
  for (int background : {1, 2}) {
    gIEDialogsBackground = background;
    TDialogRun r(ioPNG);
    r.Run(ppPNG, [&](TfIOPreviews& d) {
      TCheckBox* c = d.chkLockPreview;
      const TPoint o = c->SurfaceOrigin(), io = d.Image1->SurfaceOrigin();
      auto shot = [&] {
        Application->ProcessMessages();
        std::vector<TColor> px;
        for (int y = 0; y < c->Height(); ++y)
          for (int x = 0; x < c->Width(); ++x) px.push_back(d.Surface()->GetPixel(o.X + x, o.Y + y));
        return px;
      };
      const std::vector<TColor> before = shot();
      // The box is 13 pixels wide, its caption 4 further on.
      TControlCanvas* canvas = c->Canvas();
      canvas->Font = c->Font;
      const int captionEnd = 17 + canvas->TextWidth(ShownCaption(c->Caption()).Text);
      ASSERT_LT(captionEnd, c->Width());
      int shown = 0, all = 0;
      for (int y = 0; y < c->Height(); ++y)
        for (int x = 0; x < c->Width(); ++x) {
          if (!(x >= 13 && x < 17) && x <= captionEnd) continue;
          ++all;
          shown += before[static_cast<size_t>(y * c->Width() + x)] ==
                   d.Image1->Picture.GetPixel(o.X + x - io.X, o.Y + y - io.Y);
        }
      EXPECT_EQ(shown, all) << "background " << background;
      // Checked and cleared again, it paints over the background, not over
      // its last paint.
      Inject::Click(c, 5, 8);
      Inject::Click(c, 5, 8);
      EXPECT_FALSE(c->Checked());
      EXPECT_TRUE(shot() == before) << "background " << background;
      Cancel(d);
    });
    EXPECT_TRUE(r.shown);
  }
  gIEDialogsBackground = 0;
}

TEST(IOPreviews, EveryCaptionFitsBeforeItsNeighbourInEveryLanguage) {
  THeadlessSession session;
  TfIOPreviews d(nullptr);
  std::vector<TControl*> captioned;
  std::function<void(TControl*)> walk = [&](TControl* c) {
    for (int i = 0; i < c->ControlCount(); ++i) {
      TControl* o = c->Controls(i);
      if (dynamic_cast<TLabel*>(o) || dynamic_cast<TCheckBox*>(o) || dynamic_cast<TButton*>(o) ||
          dynamic_cast<TGroupBox*>(o))
        captioned.push_back(o);
      walk(o);
    }
  };
  walk(&d);
  for (int language = msEnglish; language <= msHungarian; ++language) {
    d.SetLanguage(static_cast<TMsgLanguage>(language));
    for (TControl* c : captioned)
      EXPECT_LE(IECaptionWidth(c), IECaptionRoom(c))
          << "language " << language << ": \"" << c->Caption() << "\" at " << c->Left() << "," << c->Top();
  }
}

TEST(IOPreviews, SetLanguageCaptionsFromTheDialogTexts) {
  TDialogRun r(ioJPEG);
  r.io.MsgLanguage = msGerman;
  r.Run(ppJPEG, [](TfIOPreviews& d) {
    EXPECT_EQ(d.Caption(), IEGetDialogText(37, msGerman));
    EXPECT_EQ(d.Label1->Caption(), IEGetDialogText(1, msGerman) + ":");
    EXPECT_EQ(d.CancelCaption, "&" + IEGetDialogText(4, msGerman));
    EXPECT_EQ(d.CheckBox2->Caption(), IEGetDialogText(42, msGerman));
    Cancel(d);
  });
}
