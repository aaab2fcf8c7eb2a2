// What one load may still allocate for pixels, shared by the frame list and the frame decoder.
#pragma once

#include <cstdint>

namespace clipsmith::gifread {

// Active while a frame list is being read; frames decoded outside such a load are held only to
// the per-frame limit.
struct TPixelBudget {
  std::uint64_t Used = 0;
};

// The budget of the load running on this thread, or null.
TPixelBudget*& ActiveBudget();

class TBudgetScope {
 public:
  explicit TBudgetScope(TPixelBudget& budget) : FSaved(ActiveBudget()) { ActiveBudget() = &budget; }
  ~TBudgetScope() { ActiveBudget() = FSaved; }
  TBudgetScope(const TBudgetScope&) = delete;
  TBudgetScope& operator=(const TBudgetScope&) = delete;

 private:
  TPixelBudget* FSaved;
};

}  // namespace clipsmith::gifread
