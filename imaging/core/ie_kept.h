// Storage let go by one picture and kept for about a second, because the
// next picture of a similar size can take it over: pixel blocks whose pages
// the system would otherwise have to clear again, disk-buffer files whose
// space and cached pages would otherwise be given up and reserved again.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include <sys/types.h>

#pragma GCC visibility push(default)
namespace redozir {

class TIEKeeper {
 public:
  struct TItem {
    std::uintptr_t Handle = 0;  // an address or a descriptor
    std::int64_t Length = 0;
    std::chrono::steady_clock::time_point Born{};  // when the storage was first made
  };
  using TLetGo = void (*)(TItem);

  // Keepers are made once and never destroyed (storage may be let go from
  // static destructors); a forked child starts with none of its parent's
  // state. Under, when given, bounds this keeper by its limit as well, and
  // letting all of Under's items go lets all of this one's go too. Making a
  // keeper allocates nothing: made with placement new in static storage, one
  // can first be needed where memory has run out.
  TIEKeeper(TLetGo LetGo, std::int64_t DefaultLimit, std::size_t MaxItems, TIEKeeper* Under = nullptr);
  TIEKeeper(const TIEKeeper&) = delete;
  TIEKeeper& operator=(const TIEKeeper&) = delete;

  // The kept item of the smallest length in [Min, Max], taken out; false when none.
  bool Take(std::int64_t Min, std::int64_t Max, TItem& Got);
  // Keeps Item, letting go of the oldest past the limit or the count; an item
  // above the limit goes at once.
  void Keep(TItem Item);
  // Lets go of the oldest items past the limit, or of all.
  void Trim(bool All);

  std::int64_t Bytes();
  std::int64_t Limit() const;
  // A negative value restores the default; 0 keeps nothing.
  void SetLimit(std::int64_t Bytes);

 private:
  using TClock = std::chrono::steady_clock;
  struct TKept {
    TItem Item;
    TClock::time_point Since;
  };
  void Reap();
  void TrimOwn(bool All);
  static void AtFork(int Stage);

  TIEKeeper* const fUnder;
  std::array<TIEKeeper*, 8> fOver{};  // keepers made under this one (guarded by gKeepersLock)
  std::size_t fOverCount = 0;
  const TLetGo fLetGo;
  const std::int64_t fDefaultLimit;
  const std::size_t fMaxItems;
  std::mutex fLock;
  std::condition_variable fWake;
  std::vector<TKept> fKept;  // oldest first
  std::int64_t fBytes = 0;
  pid_t fReaperPid = 0;
  std::atomic<std::int64_t> fLimit{-1};
};

}  // namespace redozir
#pragma GCC visibility pop
