#include "common/Collection.h"

#include <limits>
#include <stdexcept>

bool Collection::Add(Variant item, std::optional<String> key) {
  // Positions are 32-bit for callers; a list that could not be counted is refused.
  if (items_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return false;
  }
  if (!key) {
    items_.push_back(std::move(item));
    return true;
  }
  const auto [slot, inserted] = index_.try_emplace(FoldCase(*key), items_.size());
  if (!inserted) {
    return false;
  }
  try {
    items_.push_back(std::move(item));
  } catch (...) {
    index_.erase(slot);  // keep the key index and the list in step
    throw;
  }
  return true;
}

int32_t Collection::Count() const { return static_cast<int32_t>(items_.size()); }

const Variant& Collection::Item(int32_t position) const {
  if (position < 1 || position > Count()) {
    throw std::out_of_range("Collection: position " + std::to_string(position) + " outside 1.." +
                            std::to_string(Count()));
  }
  return items_[static_cast<size_t>(position - 1)];
}

const Variant& Collection::Item(const String& key) const {
  const auto found = index_.find(FoldCase(key));
  if (found == index_.end()) {
    throw std::out_of_range("Collection: no item under this key");
  }
  return items_[found->second];
}

bool Collection::Contains(const String& key) const { return index_.contains(FoldCase(key)); }
