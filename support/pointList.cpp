#include "support/pointList.h"

#include <stdexcept>

namespace lti {

template <class T>
tpointList<T>::tpointList() {
  head_.next = &head_;
  head_.prev = &head_;
}

template <class T>
tpointList<T>::tpointList(const tpointList& other) : tpointList() {
  assignFrom(other);
}

template <class T>
tpointList<T>::~tpointList() = default;  // the chunks free every node

template <class T>
const char* tpointList<T>::getTypeName() const {
  return "tpointList<T>";
}

namespace {
constexpr std::size_t firstChunkNodes = 16;
constexpr std::size_t largestChunkNodes = 8192;

// 16, 32, 64, ..., then 8192 for every further chunk.
std::size_t chunkNodes(std::size_t index) {
  std::size_t nodes = firstChunkNodes;
  for (std::size_t i = 0; i < index && nodes < largestChunkNodes; ++i) nodes *= 2;
  return nodes;
}
}  // namespace

template <class T>
typename tpointList<T>::node* tpointList<T>::makeNode(const tpoint<T>& value) {
  node* n;
  if (reusable_ != nullptr) {
    n = static_cast<node*>(reusable_);
    reusable_ = reusable_->next;
  } else {
    if (carved_ == chunkSize_) {
      if (chunkSize_ != 0) ++chunkInUse_;
      chunkSize_ = chunkNodes(chunkInUse_);
      carved_ = 0;
      if (chunkInUse_ == chunks_.size()) chunks_.emplace_back(new node[chunkSize_]);
    }
    n = &chunks_[chunkInUse_][carved_++];
  }
  n->value = value;
  return n;
}

template <class T>
void tpointList<T>::freeNode(link* n) {
  n->next = reusable_;
  reusable_ = n;
}

template <class T>
void tpointList<T>::releaseAllNodes() {
  // Every node goes back at once: carving restarts at the first chunk.
  reusable_ = nullptr;
  chunkInUse_ = 0;
  carved_ = 0;
  chunkSize_ = chunks_.empty() ? 0 : chunkNodes(0);
}

template <class T>
void tpointList<T>::linkBefore(link* position, node* n) {
  n->next = position;
  n->prev = position->prev;
  position->prev->next = n;
  position->prev = n;
  ++count_;
}

template <class T>
int tpointList<T>::size() const {
  return count_;
}

template <class T>
bool tpointList<T>::hasFewerPointsThan(const tpointList& other) const {
  return size() < other.size();
}

template <class T>
bool tpointList<T>::hasMorePointsThan(const tpointList& other) const {
  return size() > other.size();
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::begin() {
  return iterator(head_.next);
}

template <class T>
typename tpointList<T>::const_iterator tpointList<T>::begin() const {
  return const_iterator(head_.next);
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::end() {
  return iterator(&head_);
}

template <class T>
typename tpointList<T>::const_iterator tpointList<T>::end() const {
  return const_iterator(&head_);
}

template <class T>
void tpointList<T>::clear() {
  releaseAllNodes();
  head_.next = &head_;
  head_.prev = &head_;
  count_ = 0;
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::eraseRange(iterator first, iterator last) {
  while (first != last) first = erase(first);
  return last;
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::erase(iterator position) {
  link* n = position.at_;
  link* next = n->next;
  n->prev->next = next;
  next->prev = n->prev;
  freeNode(n);
  --count_;
  return iterator(next);
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::insertRange(iterator position, const_iterator first,
                                                            const_iterator last) {
  iterator firstInserted = position;
  bool any = false;
  for (; first != last; ++first) {
    node* n = makeNode(*first);
    linkBefore(position.at_, n);
    if (!any) {
      firstInserted = iterator(n);
      any = true;
    }
  }
  return firstInserted;
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::insertCopies(iterator position, int n,
                                                             const tpoint<T>& value) {
  iterator firstInserted = position;
  for (int i = 0; i < n; ++i) {
    node* added = makeNode(value);
    linkBefore(position.at_, added);
    if (i == 0) firstInserted = iterator(added);
  }
  return firstInserted;
}

template <class T>
typename tpointList<T>::iterator tpointList<T>::insert(iterator position, const tpoint<T>& value) {
  node* n = makeNode(value);
  linkBefore(position.at_, n);
  return iterator(n);
}

template <class T>
int tpointList<T>::pushFront(const tpoint<T>& value) {
  linkBefore(head_.next, makeNode(value));
  return count_;
}

template <class T>
int tpointList<T>::popFront() {
  if (count_ == 0) return 0;
  erase(begin());
  return count_;
}

template <class T>
int tpointList<T>::pushBack(const tpoint<T>& value) {
  linkBefore(&head_, makeNode(value));
  return count_;
}

template <class T>
void tpointList<T>::appendPoints(const tpoint<T>* first, const tpoint<T>* last) {
  // Reused nodes one by one, then fresh nodes carved a chunk's stretch at a
  // time and linked in a loop that keeps the list's end in a register.
  while (first != last && reusable_ != nullptr) linkBefore(&head_, makeNode(*first++));
  while (first != last) {
    if (carved_ == chunkSize_) {
      if (chunkSize_ != 0) ++chunkInUse_;
      chunkSize_ = chunkNodes(chunkInUse_);
      carved_ = 0;
      if (chunkInUse_ == chunks_.size()) chunks_.emplace_back(new node[chunkSize_]);
    }
    const std::size_t room = chunkSize_ - carved_;
    const std::size_t wanted = static_cast<std::size_t>(last - first);
    const std::size_t k = wanted < room ? wanted : room;
    node* fresh = &chunks_[chunkInUse_][carved_];
    carved_ += k;
    link* tail = head_.prev;
    for (std::size_t i = 0; i < k; ++i) {
      node* n = fresh + i;
      n->value = first[i];
      n->prev = tail;
      tail->next = n;
      tail = n;
    }
    tail->next = &head_;
    head_.prev = tail;
    count_ += static_cast<int>(k);
    first += k;
  }
}

template <class T>
int tpointList<T>::popBack() {
  if (count_ == 0) return 0;
  erase(iterator(head_.prev));
  return count_;
}

template <class T>
tpoint<T>& tpointList<T>::front() {
  if (count_ == 0) throw std::out_of_range("front() of an empty point list");
  return static_cast<node*>(head_.next)->value;
}

template <class T>
const tpoint<T>& tpointList<T>::front() const {
  if (count_ == 0) throw std::out_of_range("front() of an empty point list");
  return static_cast<const node*>(head_.next)->value;
}

template <class T>
tpoint<T>& tpointList<T>::back() {
  if (count_ == 0) throw std::out_of_range("back() of an empty point list");
  return static_cast<node*>(head_.prev)->value;
}

template <class T>
const tpoint<T>& tpointList<T>::back() const {
  if (count_ == 0) throw std::out_of_range("back() of an empty point list");
  return static_cast<const node*>(head_.prev)->value;
}

template <class T>
tpointList<T>* tpointList<T>::clone() const {
  return new tpointList<T>(*this);
}

template <class T>
bool tpointList<T>::equals(const tpointList& other) const {
  if (size() != other.size() || storedBox != other.storedBox) return false;
  const_iterator a = begin();
  const_iterator b = other.begin();
  for (; a != end(); ++a, ++b) {
    if (*a != *b) return false;
  }
  return true;
}

template <class T>
bool tpointList<T>::isEqual(const tpointList& other) const {
  return equals(other);
}

template <class T>
bool tpointList<T>::empty() const {
  return size() == 0;
}

template <class T>
tpointList<T>& tpointList<T>::assignFrom(const tpointList& other) {
  if (&other != this) {
    // Both ends are sentinels that stay where they are.
    const iterator targetEnd = end();
    const const_iterator sourceEnd = other.end();
    iterator target = begin();
    const_iterator source = other.begin();
    for (; target != targetEnd && source != sourceEnd; ++target, ++source) *target = *source;
    if (target != targetEnd) eraseRange(target, targetEnd);
    if (source != sourceEnd) insertRange(targetEnd, source, sourceEnd);
  }
  storedBox = other.storedBox;
  return *this;
}

template <class T>
void tpointList<T>::sortPoints() {
  if (count_ < 2) return;

  // Spans usually arrive in scan order already; a stable sort leaves such a
  // list as it is, so checking first saves the relinking.
  bool sorted = true;
  for (link* n = head_.next; n->next != &head_; n = n->next) {
    if (scanOrderLess(static_cast<node*>(n->next)->value, static_cast<node*>(n)->value)) {
      sorted = false;
      break;
    }
  }
  if (sorted) return;

  // Bottom-up merge sort on the singly linked chain of next pointers; the
  // prev pointers are rebuilt at the end. Merging takes from the left run on
  // ties, which keeps the sort stable.
  link* list = head_.next;
  head_.prev->next = nullptr;
  auto valueOf = [](link* n) -> const tpoint<T>& { return static_cast<node*>(n)->value; };

  for (std::size_t width = 1;; width *= 2) {
    link* remaining = list;
    link* merged = nullptr;
    link** tail = &merged;
    int merges = 0;
    while (remaining != nullptr) {
      ++merges;
      link* left = remaining;
      std::size_t leftSize = 0;
      while (remaining != nullptr && leftSize < width) {
        remaining = remaining->next;
        ++leftSize;
      }
      link* right = remaining;
      std::size_t rightSize = 0;
      while (remaining != nullptr && rightSize < width) {
        remaining = remaining->next;
        ++rightSize;
      }
      while (leftSize > 0 || rightSize > 0) {
        link* taken;
        if (rightSize == 0 || (leftSize > 0 && !scanOrderLess(valueOf(right), valueOf(left)))) {
          taken = left;
          left = left->next;
          --leftSize;
        } else {
          taken = right;
          right = right->next;
          --rightSize;
        }
        *tail = taken;
        tail = &taken->next;
      }
    }
    *tail = nullptr;
    list = merged;
    if (merges <= 1) break;
  }

  link* previous = &head_;
  for (link* n = list; n != nullptr; n = n->next) {
    n->prev = previous;
    previous->next = n;
    previous = n;
  }
  previous->next = &head_;
  head_.prev = previous;
}

template <class T>
box tpointList<T>::boundingBox() const {
  box b;
  if (count_ == 0) return b;
  const tpoint<T>& first = front();
  b.minX = b.maxX = first.x;
  b.minY = b.maxY = first.y;
  for (const tpoint<T>& p : *this) {
    if (p.x < b.minX) b.minX = p.x;
    if (p.x > b.maxX) b.maxX = p.x;
    if (p.y < b.minY) b.minY = p.y;
    if (p.y > b.maxY) b.maxY = p.y;
  }
  return b;
}

template class tpointList<int>;

}  // namespace lti
