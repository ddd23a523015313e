// TCopyContext: what one CopyEntity knows while it runs, passed down the copy instead
// of kept in statics: every (source, copy) pair made so far, root first, then each
// entity as its copy is finished. Links that cross branches of the copied subtree (a
// mesh and the skeleton beside it) are made from it once the whole subtree stands.
#pragma once

#include <unordered_map>
#include <utility>
#include <vector>

class TEntity;

class TCopyContext {
 public:
  using Pair = std::pair<const TEntity*, TEntity*>;

  TCopyContext(const TEntity& source, TEntity& copy) { pairs_.emplace_back(&source, &copy); }

  void Add(const TEntity& source, TEntity& copy) { pairs_.emplace_back(&source, &copy); }
  // In the order they were added.
  const std::vector<Pair>& Pairs() const { return pairs_; }
  // The copy made of source in this copy; null when source is not part of it. The
  // lookup table is built on the first call: most copies never ask.
  TEntity* CopyOf(const TEntity* source) const {
    if (copy_of_.empty()) copy_of_.insert(pairs_.begin(), pairs_.end());
    auto found = copy_of_.find(source);
    return found == copy_of_.end() ? nullptr : found->second;
  }

 private:
  std::vector<Pair> pairs_;
  mutable std::unordered_map<const TEntity*, TEntity*> copy_of_;
};
