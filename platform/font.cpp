#include "platform/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <iconv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <list>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>

#include "platform/exceptions.h"
#include "platform/numeric.h"

namespace redozir {

int CharsetCodePage(TFontCharset charset) {
  switch (charset) {
    case SHIFTJIS_CHARSET: return 932;
    case HANGEUL_CHARSET: return 949;
    case JOHAB_CHARSET: return 1361;
    case GB2312_CHARSET: return 936;
    case CHINESEBIG5_CHARSET: return 950;
    case GREEK_CHARSET: return 1253;
    case TURKISH_CHARSET: return 1254;
    case VIETNAMESE_CHARSET: return 1258;
    case HEBREW_CHARSET: return 1255;
    case ARABIC_CHARSET: return 1256;
    case BALTIC_CHARSET: return 1257;
    case RUSSIAN_CHARSET: return 1251;
    case THAI_CHARSET: return 874;
    case EASTEUROPE_CHARSET: return 1250;
    case OEM_CHARSET: return 437;
    default: return 1252;
  }
}

namespace {
std::string IconvName(int codePage) {
  switch (codePage) {
    case 437: return "IBM437";
    case 874: return "CP874";
    case 1361: return "JOHAB";
    default: return "CP" + std::to_string(codePage);
  }
}

// A conversion handle, closed whatever the conversion raises (a handle holds
// tens of kilobytes).
struct TIconv {
  iconv_t cd;
  TIconv(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;
  ~TIconv() {
    if (Valid()) iconv_close(cd);
  }
  bool Valid() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

// Converts through iconv to UTF-32; a byte that does not convert becomes
// U+FFFD and conversion goes on after it.
std::u32string Convert(const std::string& text, const std::string& from) {
  std::u32string out;
  if (text.empty()) return out;
  TIconv conv("UTF-32LE", from.c_str());
  if (!conv.Valid()) conv.cd = iconv_open("UTF-32LE", "CP1252");
  if (!conv.Valid()) {
    for (unsigned char c : text) out.push_back(c);
    return out;
  }
  iconv_t cd = conv.cd;
  std::vector<char> in(text.begin(), text.end());
  char* ip = in.data();
  size_t il = in.size();
  std::vector<char> buf(4 * in.size() + 16);
  while (il > 0) {
    char* op = buf.data();
    size_t ol = buf.size();
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    size_t produced = (buf.size() - ol) / 4;
    for (size_t i = 0; i < produced; ++i) {
      const unsigned char* q = reinterpret_cast<const unsigned char*>(buf.data()) + 4 * i;
      out.push_back(static_cast<char32_t>(q[0] | (q[1] << 8) | (q[2] << 16) | (std::uint32_t(q[3]) << 24)));
    }
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back(U'\uFFFD');
      ++ip;
      --il;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}
}  // namespace

std::u32string CharsetToUnicode(const std::string& text, TFontCharset charset) {
  if (charset == SYMBOL_CHARSET) {
    // Symbol fonts keep their byte values (the private-use mapping of
    // symbol faces is not emulated).
    std::u32string out;
    for (unsigned char c : text) out.push_back(c);
    return out;
  }
  // The code pages of the charsets keep ASCII as it is, but for Johab's won
  // sign at 0x5C: no conversion needed (text drawn a character at a time
  // would open a converter per character).
  if (charset != JOHAB_CHARSET &&
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::u32string(text.begin(), text.end());
  return Convert(text, IconvName(CharsetCodePage(charset)));
}

int UnicodeToCharsetByte(char32_t ch, TFontCharset charset) {
  if (ch < 0x80) return static_cast<int>(ch);
  if (charset == SYMBOL_CHARSET) return ch < 0x100 ? static_cast<int>(ch) : -1;
  TIconv conv(IconvName(CharsetCodePage(charset)).c_str(), "UTF-32LE");
  if (!conv.Valid()) return -1;
  char in[4] = {static_cast<char>(ch & 0xFF), static_cast<char>((ch >> 8) & 0xFF),
                static_cast<char>((ch >> 16) & 0xFF), static_cast<char>((ch >> 24) & 0xFF)};
  char out[8];
  char* ip = in;
  char* op = out;
  size_t il = sizeof in, ol = sizeof out;
  size_t r = iconv(conv.cd, &ip, &il, &op, &ol);
  if (r != 0 || il != 0 || sizeof out - ol != 1) return -1;
  return static_cast<unsigned char>(out[0]);
}

std::u32string Utf16ToUnicode(const std::u16string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out.push_back(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      out.push_back(U'\uFFFD');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::u32string Utf8ToUnicode(const std::string& text) { return Convert(text, "UTF-8"); }

std::u16string Utf8ToWide(const std::string& text) {
  std::u16string out;
  for (char32_t c : Utf8ToUnicode(text)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string FontFamilyFor(const std::string& name) {
  static const std::map<std::string, std::string> aliases = {
      // The desktop's dialog faces: a face of the same widths (Arial's), so
      // that dialogs laid out for them keep their captions in their room.
      {"ms sans serif", "Liberation Sans"},
      {"ms shell dlg", "Liberation Sans"},
      {"ms shell dlg 2", "Liberation Sans"},
      {"system", "sans-serif"},
      {"default", "sans-serif"},
      {"ms serif", "serif"},
      {"fixedsys", "monospace"},
      {"terminal", "monospace"},
      {"", "sans-serif"},
  };
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = aliases.find(lower);
  return it == aliases.end() ? name : it->second;
}

namespace {
// Faces, instances and their caches are shared: one lock guards them all.
std::recursive_mutex& FontMutex() {
  static std::recursive_mutex m;
  return m;
}

struct Match {
  std::string file;
  int index = 0;
  bool synthBold = false;
  bool synthItalic = false;
};

// fontconfig's choice for a name, weight and slant (cached; FontMutex held).
Match MatchFace(const std::string& name, bool bold, bool italic) {
  static std::map<std::tuple<std::string, bool, bool>, Match> cache;
  auto key = std::make_tuple(name, bold, italic);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  // fontconfig's configuration is released at exit, so that leak checkers
  // see a clean process.
  static bool inited = [] {
    bool ok = FcInit();
    std::atexit([] { FcFini(); });
    return ok;
  }();
  (void)inited;
  Match m;
  FcPattern* p = FcPatternCreate();
  std::string family = FontFamilyFor(name);
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(p, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult res;
  FcPattern* f = FcFontMatch(nullptr, p, &res);
  if (f) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(f, FC_FILE, 0, &file) == FcResultMatch)
      m.file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(f, FC_INDEX, 0, &m.index);
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(f, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(f, FC_SLANT, 0, &slant);
    m.synthBold = bold && weight < FC_WEIGHT_DEMIBOLD;
    m.synthItalic = italic && slant == FC_SLANT_ROMAN;
    FcPatternDestroy(f);
  }
  FcPatternDestroy(p);
  cache[key] = m;
  return m;
}

FT_Library Library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l)) throw EInvalidGraphic("FreeType could not be initialised");
    return l;
  }();
  return lib;
}

int EmPixelsFor(FT_Face face, int height) {
  double em;
  if (height < 0) {
    em = -static_cast<double>(height);
  } else if (height == 0) {
    em = kDefaultFontPixels;
  } else {
    // A positive height is the cell: ascent plus descent.
    TT_OS2* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double cell = os2 && os2->usWinAscent + os2->usWinDescent > 0 ? os2->usWinAscent + os2->usWinDescent
                                                                  : face->ascender - face->descender;
    em = cell > 0 ? height * double(face->units_per_EM) / cell : height;
  }
  return RoundClamp(em, 1, kMaxFontPixels);
}

class FreeTypeInstance : public TFontInstance {
 public:
  FreeTypeInstance(FT_Face face, const Match& m, const TFont& font) : face_(face), match_(m) {
    em_ = EmPixelsFor(face, font.Height);
    mono_ = font.Quality == fqNonAntialiased || font.Quality == fqDraft;
    angle_ = font.Escapement / 10.0 * std::numbers::pi / 180.0;
    rotated_ = font.Escapement % 3600 != 0;
    double upem = face->units_per_EM ? face->units_per_EM : 2048;
    double scale = em_ / upem;
    TT_OS2* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double asc = os2 && os2->usWinAscent ? os2->usWinAscent : face->ascender;
    double desc = os2 && os2->usWinDescent ? os2->usWinDescent : -face->descender;
    tm_.tmAscent = RoundClamp(asc * scale, 0, 1 << 20);
    tm_.tmDescent = RoundClamp(desc * scale, 0, 1 << 20);
    tm_.tmHeight = tm_.tmAscent + tm_.tmDescent;
    tm_.tmInternalLeading = std::max(tm_.tmHeight - em_, 0);
    tm_.tmExternalLeading =
        RoundClamp(std::max(0.0, double(face->height) - (asc + desc)) * scale, 0, 1 << 20);
    tm_.tmAveCharWidth = os2 && os2->xAvgCharWidth > 0 ? RoundClamp(os2->xAvgCharWidth * scale, 1, 1 << 20)
                                                       : std::max(1, em_ / 2);
    tm_.tmMaxCharWidth = RoundClamp((face->bbox.xMax - face->bbox.xMin) * scale, 1, 1 << 20);
    tm_.tmWeight = font.Bold() ? 700 : 400;
    tm_.tmItalic = font.Italic();
    tm_.tmUnderlined = font.Style & fsUnderline;
    tm_.tmStruckOut = font.Style & fsStrikeOut;
    tm_.tmCharSet = font.Charset;
    underlineOffset_ = RoundClamp(-face->underline_position * scale, 1, 1 << 20);
    underlineThickness_ = RoundClamp(face->underline_thickness * scale, 1, 1 << 20);
    strikeOffset_ = os2 && os2->yStrikeoutPosition ? -RoundClamp(os2->yStrikeoutPosition * scale, 0, 1 << 20)
                                                   : -tm_.tmAscent / 3;
    strikeThickness_ = os2 && os2->yStrikeoutSize ? RoundClamp(os2->yStrikeoutSize * scale, 1, 1 << 20)
                                                  : underlineThickness_;
  }

  TTextMetric Metrics() const override { return tm_; }
  int EmPixels() const override { return em_; }
  void UnderlineMetrics(int& offset, int& thickness) const override {
    offset = underlineOffset_;
    thickness = underlineThickness_;
  }
  void StrikeOutMetrics(int& offset, int& thickness) const override {
    offset = strikeOffset_;
    thickness = strikeThickness_;
  }

  int Advance(char32_t ch) override {
    if (ch < kFast)
      if (std::uint64_t v = fastAdvances_[ch].load(std::memory_order_acquire))
        return static_cast<int>(static_cast<std::uint32_t>(v));
    std::lock_guard<std::recursive_mutex> g(FontMutex());
    auto it = advances_.find(ch);
    if (it != advances_.end()) return it->second;
    int adv = 0;
    if (Load(ch, false)) adv = static_cast<int>((face_->glyph->advance.x + 32) >> 6);
    advances_[ch] = adv;
    if (ch < kFast)
      fastAdvances_[ch].store(kKnown | static_cast<std::uint32_t>(adv), std::memory_order_release);
    return adv;
  }

  const TGlyphImage& Glyph(char32_t ch) override {
    if (ch < kFast)
      if (const TGlyphImage* fast = fastGlyphs_[ch].load(std::memory_order_acquire)) return *fast;
    std::lock_guard<std::recursive_mutex> g(FontMutex());
    auto it = glyphs_.find(ch);
    if (it != glyphs_.end()) return it->second;
    int adv = Advance(ch);
    TGlyphImage img;
    img.AdvanceX = adv * std::cos(angle_);
    img.AdvanceY = -adv * std::sin(angle_);
    if (Load(ch, rotated_) &&
        FT_Render_Glyph(face_->glyph, mono_ ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) == 0) {
      const FT_Bitmap& bm = face_->glyph->bitmap;
      img.Left = face_->glyph->bitmap_left;
      img.Top = face_->glyph->bitmap_top;
      img.Width = static_cast<int>(bm.width);
      img.Rows = static_cast<int>(bm.rows);
      img.Coverage.resize(static_cast<size_t>(img.Width) * img.Rows);
      for (int y = 0; y < img.Rows; ++y) {
        const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
        for (int x = 0; x < img.Width; ++x) {
          std::uint8_t v =
              bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) : row[x];
          img.Coverage[static_cast<size_t>(y) * img.Width + x] = v;
        }
      }
    }
    const TGlyphImage& made = glyphs_.emplace(ch, std::move(img)).first->second;
    if (ch < kFast) fastGlyphs_[ch].store(&made, std::memory_order_release);
    return made;
  }

 private:
  // Loads the glyph at this instance's size (FontMutex held); rotated, the
  // outline is turned by the escapement.
  bool Load(char32_t ch, bool rotate) {
    FT_Set_Char_Size(face_, 0, static_cast<FT_F26Dot6>(em_) * 64, 72, 72);
    FT_Matrix m{0x10000, 0, 0, 0x10000};
    if (match_.synthItalic) m.xy = 0x0366A;  // a 12-degree slant
    if (rotate) {
      double c = std::cos(angle_), s = std::sin(angle_);
      FT_Matrix r{
          static_cast<FT_Fixed>(std::lround(c * 0x10000)), static_cast<FT_Fixed>(std::lround(-s * 0x10000)),
          static_cast<FT_Fixed>(std::lround(s * 0x10000)), static_cast<FT_Fixed>(std::lround(c * 0x10000))};
      FT_Matrix_Multiply(&r, &m);
      m = r;
    }
    FT_Set_Transform(face_, &m, nullptr);
    FT_UInt index = FT_Get_Char_Index(face_, ch);
    FT_Int32 flags = FT_LOAD_NO_BITMAP;
    if (rotate || match_.synthItalic)
      flags |= FT_LOAD_NO_HINTING;
    else
      flags |= mono_ ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT;
    if (FT_Load_Glyph(face_, index, flags)) return false;
    if (match_.synthBold) FT_GlyphSlot_Embolden(face_->glyph);
    return true;
  }

  FT_Face face_;
  Match match_;
  int em_ = 0;
  bool mono_ = false;
  bool rotated_ = false;
  double angle_ = 0;
  TTextMetric tm_;
  int underlineOffset_ = 1, underlineThickness_ = 1, strikeOffset_ = 0, strikeThickness_ = 1;
  std::map<char32_t, int> advances_;
  std::map<char32_t, TGlyphImage> glyphs_;
  // The first code points, which most text is made of, are found without
  // the lock: a slot is set once, under it, to what the maps hold (their
  // entries never move), and read by any thread.
  static constexpr char32_t kFast = 256;
  static constexpr std::uint64_t kKnown = std::uint64_t{1} << 32;
  std::array<std::atomic<std::uint64_t>, kFast> fastAdvances_{};
  std::array<std::atomic<const TGlyphImage*>, kFast> fastGlyphs_{};
};

FT_Face OpenFace(const Match& m) {
  static std::map<std::pair<std::string, int>, FT_Face> faces;
  auto key = std::make_pair(m.file, m.index);
  auto it = faces.find(key);
  if (it != faces.end()) return it->second;
  FT_Face face = nullptr;
  if (m.file.empty() || FT_New_Face(Library(), m.file.c_str(), m.index, &face)) face = nullptr;
  if (face) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  faces[key] = face;
  return face;
}
}  // namespace

std::string MatchFontFile(const std::string& name, bool bold, bool italic) {
  std::lock_guard<std::recursive_mutex> g(FontMutex());
  return MatchFace(name, bold, italic).file;
}

std::shared_ptr<TFontInstance> GetFontInstance(const TFont& font) {
  // A few recently used instances are kept; each holds its glyph cache.
  using Key = std::tuple<std::string, int, int, int, int>;
  static std::list<std::pair<Key, std::shared_ptr<TFontInstance>>> recent;
  bool mono = font.Quality == fqNonAntialiased || font.Quality == fqDraft;
  Key key{font.Name, font.Height, font.Style.Bits & (fsBold | fsItalic).Bits, font.Escapement % 3600, mono};
  // Text is drawn a character at a time in one font: the thread's last
  // instance answers without the lock.
  thread_local std::pair<Key, std::shared_ptr<TFontInstance>> last;
  if (last.second && last.first == key) return last.second;
  std::lock_guard<std::recursive_mutex> g(FontMutex());
  for (auto it = recent.begin(); it != recent.end(); ++it)
    if (it->first == key) {
      recent.splice(recent.begin(), recent, it);
      last = recent.front();
      return last.second;
    }
  Match m = MatchFace(font.Name, font.Bold(), font.Italic());
  FT_Face face = OpenFace(m);
  if (!face) return nullptr;
  auto inst = std::make_shared<FreeTypeInstance>(face, m, font);
  recent.emplace_front(key, inst);
  if (recent.size() > 32) recent.pop_back();
  last = recent.front();
  return inst;
}

TTextMetric TFixedTextMeasurer::Metrics(const TFont& font) {
  TTextMetric tm;
  tm.tmAscent = ascent_;
  tm.tmDescent = descent_;
  tm.tmHeight = ascent_ + descent_;
  tm.tmInternalLeading = leading_;
  tm.tmAveCharWidth = tm.tmMaxCharWidth = charWidth_;
  tm.tmWeight = font.Bold() ? 700 : 400;
  tm.tmItalic = font.Italic();
  tm.tmCharSet = font.Charset;
  return tm;
}

TSize TFixedTextMeasurer::Extent(const TFont&, const std::u32string& text) {
  return {static_cast<int>(text.size()) * charWidth_, ascent_ + descent_};
}

namespace {
class FreeTypeMeasurer : public TTextMeasurer {
 public:
  TTextMetric Metrics(const TFont& font) override {
    auto inst = GetFontInstance(font);
    return inst ? inst->Metrics() : TTextMetric{};
  }
  TSize Extent(const TFont& font, const std::u32string& text) override {
    auto inst = GetFontInstance(font);
    if (!inst) return {};
    long long w = 0;
    for (char32_t c : text) w += inst->Advance(c);
    return {static_cast<int>(std::min<long long>(w, 1 << 30)), inst->Metrics().tmHeight};
  }
};

TTextMeasurer*& Current() {
  static TTextMeasurer* m = nullptr;
  return m;
}
}  // namespace

TTextMeasurer& FreeTypeTextMeasurer() {
  static FreeTypeMeasurer m;
  return m;
}

TTextMeasurer* SetTextMeasurer(TTextMeasurer* m) {
  TTextMeasurer* old = Current();
  Current() = m;
  return old;
}

TTextMeasurer& CurrentTextMeasurer() { return Current() ? *Current() : FreeTypeTextMeasurer(); }

}  // namespace redozir
