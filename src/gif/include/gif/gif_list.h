// Owning ordered list of GIF items. Items take themselves out of their list when destroyed,
// however that happens, so the list hands an item to its destructor only after letting go of it.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "gif/gif_types.h"

namespace clipsmith {

template <class T>
class TGIFList : public TPersistent {
 public:
  TGIFList() = default;
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;
  ~TGIFList() override { Clear(); }

  // Takes ownership; an item already in the list is not added twice.
  int Add(T* item) {
    int i = IndexOf(item);
    if (i >= 0) return i;
    FItems.emplace_back(item);
    return int(FItems.size()) - 1;
  }
  // Takes ownership of an item that cannot be in the list yet (one just constructed).
  int AddNew(T* item) {
    FItems.emplace_back(item);
    return int(FItems.size()) - 1;
  }
  void Insert(int index, T* item) {
    if (IndexOf(item) >= 0) return;
    index = std::clamp(index, 0, Count());
    FItems.emplace(FItems.begin() + index, item);
  }
  // Destroys every item, the first one first. The list lets go of all of them at once, so an
  // image of many thousand frames is cleared in linear time.
  void Clear() {
    std::vector<std::unique_ptr<T>> doomed;
    doomed.swap(FItems);
    for (auto& item : doomed) item.reset();
  }
  void Delete(int index) {
    if (index < 0 || index >= Count()) return;
    std::unique_ptr<T> doomed = std::move(FItems[std::size_t(index)]);
    FItems.erase(FItems.begin() + index);
    doomed.reset();
  }
  void Exchange(int index1, int index2) { std::swap(FItems.at(std::size_t(index1)), FItems.at(std::size_t(index2))); }
  void Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    auto item = std::move(FItems.at(std::size_t(curIndex)));
    FItems.erase(FItems.begin() + curIndex);
    newIndex = std::clamp(newIndex, 0, Count());
    FItems.insert(FItems.begin() + newIndex, std::move(item));
  }
  // Takes the item out without destroying it; the caller owns it afterwards.
  std::unique_ptr<T> Remove(T* item) {
    int i = IndexOf(item);
    if (i < 0) return nullptr;
    std::unique_ptr<T> out = std::move(FItems[std::size_t(i)]);
    FItems.erase(FItems.begin() + i);
    return out;
  }
  // Lets go of an item that is being destroyed by someone else.
  void Extract(const T* item) noexcept {
    // Items leave from the end more often than not (the last one added, or the list cleared).
    for (auto it = FItems.end(); it != FItems.begin();) {
      --it;
      if (it->get() == item) {
        (void)it->release();
        FItems.erase(it);
        return;
      }
    }
  }
  // From the back: the item looked for is most often the one just added (a reader dropping an
  // empty frame it has just read), which must not cost a scan of the whole list.
  int IndexOf(const T* item) const {
    for (std::size_t i = FItems.size(); i-- > 0;)
      if (FItems[i].get() == item) return int(i);
    return -1;
  }
  int Count() const { return int(FItems.size()); }
  T* Items(int index) const { return FItems.at(std::size_t(index)).get(); }
  T* operator[](int index) const { return Items(index); }
  T* First() const { return FItems.empty() ? nullptr : FItems.front().get(); }
  T* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }

 protected:
  std::vector<std::unique_ptr<T>> FItems;
};

}  // namespace clipsmith
