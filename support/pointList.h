// Ordered list of integer points: a doubly linked list with a sentinel and one
// node per point. Order is meaningful (a contour's walk order, a scan order),
// so every operation keeps it; iterators stay valid until their own point is
// erased. The list is instantiated for int only.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include "support/object.h"
#include "support/point.h"

namespace lti {

template <class T>
class tpointList : public ioObject {
  struct link {
    link* next;
    link* prev;
  };
  struct node : link {
    tpoint<T> value;
  };

 public:
  using value_type = tpoint<T>;

  class const_iterator;

  class iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = tpoint<T>;
    using difference_type = std::ptrdiff_t;
    using pointer = tpoint<T>*;
    using reference = tpoint<T>&;

    iterator() = default;
    reference operator*() const { return static_cast<node*>(at_)->value; }
    pointer operator->() const { return &static_cast<node*>(at_)->value; }
    iterator& operator++() { at_ = at_->next; return *this; }
    iterator operator++(int) { iterator old = *this; at_ = at_->next; return old; }
    iterator& operator--() { at_ = at_->prev; return *this; }
    iterator operator--(int) { iterator old = *this; at_ = at_->prev; return old; }
    friend bool operator==(iterator a, iterator b) { return a.at_ == b.at_; }
    friend bool operator!=(iterator a, iterator b) { return a.at_ != b.at_; }

   private:
    friend class tpointList;
    friend class const_iterator;
    explicit iterator(link* at) : at_(at) {}
    link* at_ = nullptr;
  };

  class const_iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = tpoint<T>;
    using difference_type = std::ptrdiff_t;
    using pointer = const tpoint<T>*;
    using reference = const tpoint<T>&;

    const_iterator() = default;
    const_iterator(iterator it) : at_(it.at_) {}  // NOLINT: implicit like the standard containers
    reference operator*() const { return static_cast<const node*>(at_)->value; }
    pointer operator->() const { return &static_cast<const node*>(at_)->value; }
    const_iterator& operator++() { at_ = at_->next; return *this; }
    const_iterator operator++(int) { const_iterator old = *this; at_ = at_->next; return old; }
    const_iterator& operator--() { at_ = at_->prev; return *this; }
    const_iterator operator--(int) { const_iterator old = *this; at_ = at_->prev; return old; }
    friend bool operator==(const_iterator a, const_iterator b) { return a.at_ == b.at_; }
    friend bool operator!=(const_iterator a, const_iterator b) { return a.at_ != b.at_; }

   private:
    friend class tpointList;
    explicit const_iterator(const link* at) : at_(at) {}
    const link* at_ = nullptr;
  };

  tpointList();
  tpointList(const tpointList& other);
  tpointList& operator=(const tpointList& other) { return assignFrom(other); }

  // The virtual operations, in the order of the class's table.
  ~tpointList() override;
  const char* getTypeName() const override;
  virtual int size() const;
  virtual bool hasFewerPointsThan(const tpointList& other) const;
  virtual bool hasMorePointsThan(const tpointList& other) const;
  virtual iterator begin();
  virtual const_iterator begin() const;
  virtual iterator end();
  virtual const_iterator end() const;
  virtual void clear();                                    // keeps storedBox
  virtual iterator eraseRange(iterator first, iterator last);  // [first, last); returns last
  virtual iterator erase(iterator position);               // returns the follower
  virtual iterator insertRange(iterator position, const_iterator first, const_iterator last);
  virtual iterator insertCopies(iterator position, int n, const tpoint<T>& value);
  virtual iterator insert(iterator position, const tpoint<T>& value);
  virtual int pushFront(const tpoint<T>& value);
  virtual int popFront();  // on an empty list: nothing, returns 0
  virtual int pushBack(const tpoint<T>& value);
  virtual int popBack();   // on an empty list: nothing, returns 0
  virtual tpoint<T>& front();  // these four throw std::out_of_range on an empty list
  virtual const tpoint<T>& front() const;
  virtual tpoint<T>& back();
  virtual const tpoint<T>& back() const;
  virtual tpointList* clone() const;  // always of the base class; the caller owns it
  virtual bool equals(const tpointList& other) const;  // points in order and storedBox
  virtual bool isEqual(const tpointList& other) const;
  virtual bool empty() const;

  // Appends the points of [first, last) in order, as pushBack of each would,
  // without a virtual call per point.
  void appendPoints(const tpoint<T>* first, const tpoint<T>* last);
  // Copy assignment that reuses this list's nodes; copies storedBox too.
  tpointList& assignFrom(const tpointList& other);
  // Stable merge sort into scan order that relinks nodes and copies no points.
  void sortPoints();
  // Smallest box holding every point; (0, 0, 0, 0) for an empty list.
  box boundingBox() const;

  // Extent the raster conversions draw into. Nothing keeps it in step with the
  // points: only assignment and the conversions set it.
  box storedBox;

 private:
  node* makeNode(const tpoint<T>& value);
  void startNextChunk();  // when the chunk in use is carved up
  // Up to `wanted` unused nodes in a row from the chunks; sets `wanted` to the
  // number given, at least one.
  node* carveNodes(std::size_t& wanted);
  // Appends n points, each the value of the next call of source().
  template <class Source>
  void appendFrom(Source source, std::size_t n);
  void freeNode(link* n);
  void releaseAllNodes();
  void linkBefore(link* position, node* n);

  link head_;
  int count_ = 0;

  // Node storage: nodes are carved from chunks that grow geometrically, and
  // erased nodes are kept for reuse, so a list of n points costs a handful of
  // allocations instead of n. Chunks live as long as the list.
  std::vector<std::unique_ptr<node[]>> chunks_;
  std::size_t chunkInUse_ = 0;  // index of the chunk nodes are carved from
  std::size_t carved_ = 0;      // nodes carved from that chunk so far
  std::size_t chunkSize_ = 0;   // nodes in that chunk (0 before the first)
  link* reusable_ = nullptr;    // erased nodes, linked through next
};

extern template class tpointList<int>;

}  // namespace lti
