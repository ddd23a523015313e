// TList: an ordered list of shared object references with stable links.
//
// The engine keeps its world lists, child lists and surface lists in these. A link
// can be kept (an entity remembers its place in the world list) and removed later
// in constant time, and enumeration survives removal of any element, including the
// current one: a removed link keeps its forward pointer, so an iterator standing on
// it still reaches the rest of the list. Removed links are skipped.
//
// Reading by index remembers the last index read and its link, so the loop every
// program writes (index 1, 2, 3, ...) steps one link per read rather than walking from
// the head each time. Any change to the list forgets it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

template <class T>
class TList {
 public:
  struct Link {
    std::shared_ptr<T> value;  // null once removed (and in the two sentinels)
    std::shared_ptr<Link> next;
    Link* prev = nullptr;
    bool live = false;
    const std::shared_ptr<T>& Value() const { return value; }
  };
  using LinkPtr = std::shared_ptr<Link>;

  class Iterator {
   public:
    Iterator() = default;
    Iterator(LinkPtr link, const Link* tail) : link_(std::move(link)), tail_(tail) { Skip(); }
    const std::shared_ptr<T>& operator*() const { return link_->value; }
    Iterator& operator++() {
      link_ = link_->next;
      Skip();
      return *this;
    }
    bool operator==(const Iterator& o) const { return link_.get() == o.link_.get(); }
    bool operator!=(const Iterator& o) const { return !(*this == o); }
    Link* link() const { return link_.get(); }

   private:
    void Skip() {
      while (link_ && link_.get() != tail_ && !link_->live) link_ = link_->next;
    }
    LinkPtr link_;
    const Link* tail_ = nullptr;
  };

  TList() : head_(std::make_shared<Link>()), tail_(std::make_shared<Link>()) {
    head_->next = tail_;
    tail_->prev = head_.get();
  }
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() {
    Clear();
    head_->next.reset();
  }

  bool IsEmpty() const { return count_ == 0; }
  size_t Count() const { return count_; }

  LinkPtr AddLast(std::shared_ptr<T> value) { return InsertBefore(std::move(value), tail_.get()); }
  LinkPtr AddFirst(std::shared_ptr<T> value) { return InsertAfter(std::move(value), head_.get()); }

  // Null or removed links stand for the end (before) or the front (after).
  LinkPtr InsertBeforeLink(std::shared_ptr<T> value, Link* succ) {
    return InsertBefore(std::move(value), succ && succ->live ? succ : tail_.get());
  }
  LinkPtr InsertAfterLink(std::shared_ptr<T> value, Link* pred) {
    return InsertAfter(std::move(value), pred && pred->live ? pred : head_.get());
  }

  // Removing a link twice, or a link of another list that was already removed, is harmless.
  void RemoveLink(Link* link) {
    if (!link || !link->live) return;
    Forget();
    LinkPtr keep = link->prev->next;  // the predecessor's pointer may be the last owner
    link->live = false;
    link->value.reset();
    link->prev->next = link->next;
    link->next->prev = link->prev;
    --count_;
  }

  // Links stepped over by Remove, over every list of this kind: what tells a linear
  // walk over many removals from a quadratic one (tests read it).
  static inline std::atomic<uint64_t> links_searched{0};

  // Removes every link that holds the object; returns whether any did. Walks the
  // whole list: where an element leaves often, keep its link and use RemoveLink.
  bool Remove(const T* object) {
    bool found = false;
    uint64_t steps = 0;
    for (Link* l = head_->next.get(); l != tail_.get(); ++steps) {
      Link* next = l->next.get();
      if (l->value.get() == object) {
        RemoveLink(l);
        found = true;
      }
      l = next;
    }
    links_searched.fetch_add(steps, std::memory_order_relaxed);
    return found;
  }

  bool Contains(const T* object) const {
    for (Link* l = head_->next.get(); l != tail_.get(); l = l->next.get())
      if (l->value.get() == object) return true;
    return false;
  }

  void Clear() {
    Forget();
    // Iterative, so a long list does not unwind recursively through its links.
    while (head_->next.get() != tail_.get()) {
      LinkPtr first = head_->next;
      first->live = false;
      first->value.reset();
      head_->next = first->next;
      first->next->prev = head_.get();
    }
    count_ = 0;
  }

  // First and last live links, or null when empty.
  Link* FirstLink() const { return count_ ? head_->next.get() : nullptr; }
  Link* LastLink() const { return count_ ? tail_->prev : nullptr; }
  // Neighbours of a live link, or null at either end.
  Link* NextLink(const Link* l) const { return l->next.get() == tail_.get() ? nullptr : l->next.get(); }
  Link* PrevLink(const Link* l) const { return l->prev == head_.get() ? nullptr : l->prev; }

  std::shared_ptr<T> First() const { return count_ ? head_->next->value : nullptr; }
  std::shared_ptr<T> Last() const { return count_ ? tail_->prev->value : nullptr; }

  // Links stepped over by ValueAtIndex, over every list of this kind (tests read it).
  static inline std::atomic<uint64_t> links_indexed{0};

  // The index-th value counted from 0, or null. Walks from whichever is nearest: the
  // head, the tail or the link read last.
  std::shared_ptr<T> ValueAtIndex(size_t index) const {
    if (index >= count_) return nullptr;
    Link* l = head_->next.get();
    size_t at = 0;
    if (count_ - 1 - index < index) l = tail_->prev, at = count_ - 1;
    if (last_link_ && Distance(last_index_, index) < Distance(at, index)) l = last_link_, at = last_index_;
    const uint64_t steps = Distance(at, index);
    for (; at < index; ++at) l = l->next.get();
    for (; at > index; --at) l = l->prev;
    links_indexed.fetch_add(steps, std::memory_order_relaxed);
    last_link_ = l;
    last_index_ = index;
    return l->value;
  }

  Iterator begin() const { return Iterator(head_->next, tail_.get()); }
  Iterator end() const { return Iterator(tail_, tail_.get()); }

 private:
  LinkPtr InsertBefore(std::shared_ptr<T> value, Link* succ) { return InsertAfter(std::move(value), succ->prev); }
  LinkPtr InsertAfter(std::shared_ptr<T> value, Link* pred) {
    Forget();
    auto link = std::make_shared<Link>();
    link->value = std::move(value);
    link->live = true;
    link->next = pred->next;
    link->prev = pred;
    pred->next->prev = link.get();
    pred->next = link;
    ++count_;
    return link;
  }

  static size_t Distance(size_t a, size_t b) { return a > b ? a - b : b - a; }
  void Forget() const { last_link_ = nullptr; }

  LinkPtr head_;
  LinkPtr tail_;
  size_t count_ = 0;
  // The link ValueAtIndex read last and its index; null after any change. Live links
  // only: removing or inserting anything forgets it.
  mutable Link* last_link_ = nullptr;
  mutable size_t last_index_ = 0;
};
