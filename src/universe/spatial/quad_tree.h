// A quad tree over the galactic plane (x and z) that stores spheres, for
// finding the items that overlap a circle without scanning them all.
//
// Every node covers a square (its centre and half the edge, `halfSize`). An
// item goes as deep as it can without touching a dividing line of the node
// it is in; an item that crosses a line, or does not fit the node an
// operation starts at, stays where it is. Leaves split lazily: the insertion
// that leaves a leaf holding 7 or more items gives it four children and
// moves down the items that lie wholly on one side. There is no depth limit.
//
// Items are copied by value and their objects are not referenced: an object
// must be taken out before it is destroyed, moved or resized, with the same
// centre and radius it went in with. Nothing here locks; the owner does.
#pragma once

#include <irrArray.h>
#include <vector3d.h>

#include <cmath>
#include <type_traits>

#include "core/log.h"

// Receives the objects found by a quad-tree query, one call per item.
template <class T>
class qtResultCallback {
 public:
  virtual ~qtResultCallback() = default;
  virtual void onResult(T object) = 0;
};

template <class T, class F>
class quad_tree {
 public:
  // A sphere in the tree. `y` takes no part in the placement; queries
  // measure distances in three dimensions.
  struct item {
    T object;
    F radius;
    F x, y, z;
  };

  // Node-splitting threshold: a leaf splits once it holds this many items.
  static constexpr unsigned kSplitCount = 7;

  struct child {
    irr::core::array<item> items;
    F halfSize;
    F halfSizeSq;  // kept with the size; the tree itself never reads it
    F centreX, centreZ;
    // Null in a leaf. With h = halfSize / 2 the children are centred at
    // (x - h, z + h), (x + h, z + h), (x - h, z - h), (x + h, z - h).
    child* children[4] = {nullptr, nullptr, nullptr, nullptr};

    child(F size, F x, F z) : halfSize(size), halfSizeSq(size * size), centreX(x), centreZ(z) {}
    ~child() { freeChildren(); }
    child(const child&) = delete;
    child& operator=(const child&) = delete;

    bool isLeaf() const { return children[0] == nullptr; }

    // Frees the children and drops every item.
    void clear() {
      freeChildren();
      items.clear();
    }

    // Adds the item below this node (see the file comment).
    void insert(const item& entry) {
      child* node = findNode(entry);
      node->items.push_back(entry);
      if (node->isLeaf() && node->items.size() >= kSplitCount)
        node->split(node == this);
    }

    // Takes out the last item of the object in the node that the item's
    // centre and radius lead to. Anything else is a caller's mistake: it is
    // logged, nothing changes and the result is false.
    bool remove(const item& entry) {
      child* node = findNode(entry);
      for (irr::u32 i = node->items.size(); i-- > 0;) {
        if (node->items[i].object == entry.object) {
          node->items.erase(i);
          return true;
        }
      }
      const void* address = nullptr;
      if constexpr (std::is_pointer_v<T>)
        address = static_cast<const void*>(entry.object);
      logError("Spatial tree: no item of object %p where (%g, %g) with radius %g leads; nothing removed\n", address,
               static_cast<double>(entry.x), static_cast<double>(entry.z), static_cast<double>(entry.radius));
      return false;
    }

    // Reports to `callback` every item whose sphere reaches the sphere of
    // `radius` around `position`; (x, z), normally the position's own x and
    // z, steers the walk. `includeOwnItems` tests this node's items even
    // when the query misses the node's square (the root holds the items that
    // do not fit it). The callback must not change the tree.
    void query(const irr::core::vector3d<F>& position, F x, F z, F radius, qtResultCallback<T>& callback,
               bool includeOwnItems) const {
      const F dx = x - centreX;
      const F dz = z - centreZ;
      const F reach = halfSize + radius;
      if (std::abs(dx) > reach || std::abs(dz) > reach) {
        if (includeOwnItems)
          reportItems(position, radius, callback);
        return;
      }
      if (!isLeaf()) {
        if (dx > -radius) {
          children[1]->query(position, x, z, radius, callback, false);
          children[3]->query(position, x, z, radius, callback, false);
        }
        if (dx < radius) {
          children[0]->query(position, x, z, radius, callback, false);
          children[2]->query(position, x, z, radius, callback, false);
        }
      }
      reportItems(position, radius, callback);
    }

   private:
    static bool fits(const child& node, F dx, F dz, F radius) {
      return std::abs(dx) <= node.halfSize - radius && std::abs(dz) <= node.halfSize - radius;
    }
    static bool clearOfLines(F dx, F dz, F radius) { return std::abs(dx) > radius && std::abs(dz) > radius; }
    static int sideOf(F dx, F dz) { return (dx > 0 ? 1 : 0) + (dz > 0 ? 0 : 2); }

    // The node an item belongs in, starting here: as deep as the existing
    // children allow while it touches no dividing line; here when it does
    // not fit this node.
    child* findNode(const item& entry) {
      child* node = this;
      F dx = entry.x - centreX;
      F dz = entry.z - centreZ;
      if (!fits(*this, dx, dz, entry.radius))
        return node;
      while (!node->isLeaf() && clearOfLines(dx, dz, entry.radius)) {
        node = node->children[sideOf(dx, dz)];
        dx = entry.x - node->centreX;
        dz = entry.z - node->centreZ;
      }
      return node;
    }

    // Gives a leaf its four children and moves down every item that lies
    // wholly on one side; the rest keep their order. When this is the node
    // an insertion started at, items that do not fit it stay too, where a
    // later walk from it will look for them.
    void split(bool keepMisfits) {
      const F h = halfSize / 2;
      children[0] = new child(h, centreX - h, centreZ + h);
      children[1] = new child(h, centreX + h, centreZ + h);
      children[2] = new child(h, centreX - h, centreZ - h);
      children[3] = new child(h, centreX + h, centreZ - h);
      irr::u32 kept = 0;
      for (irr::u32 i = 0; i < items.size(); ++i) {
        const item& entry = items[i];
        const F dx = entry.x - centreX;
        const F dz = entry.z - centreZ;
        if (clearOfLines(dx, dz, entry.radius) && (!keepMisfits || fits(*this, dx, dz, entry.radius)))
          children[sideOf(dx, dz)]->items.push_back(entry);
        else
          items[kept++] = entry;
      }
      if (kept < items.size())
        items.erase(kept, static_cast<irr::s32>(items.size() - kept));
    }

    void reportItems(const irr::core::vector3d<F>& position, F radius, qtResultCallback<T>& callback) const {
      for (irr::u32 i = 0; i < items.size(); ++i) {
        const item& entry = items[i];
        const F dx = entry.x - position.X;
        const F dy = entry.y - position.Y;
        const F dz = entry.z - position.Z;
        const F reach = entry.radius + radius;
        if (dx * dx + dy * dy + dz * dz <= reach * reach)
          callback.onResult(entry.object);
      }
    }

    void freeChildren() {
      for (child*& node : children) {
        delete node;
        node = nullptr;
      }
    }
  };

  // An empty tree whose root square is centred at (x, z).
  explicit quad_tree(F halfSize, F x = 0, F z = 0) : root(halfSize, x, z) {}

  // Empties the tree and gives the root a new half-size (and its square).
  void resize(F halfSize) {
    root.clear();
    root.halfSize = halfSize;
    root.halfSizeSq = halfSize * halfSize;
  }

  void clear() { root.clear(); }
  void insert(const item& entry) { root.insert(entry); }
  bool remove(const item& entry) { return root.remove(entry); }
  void query(const irr::core::vector3d<F>& position, F x, F z, F radius, qtResultCallback<T>& callback) const {
    root.query(position, x, z, radius, callback, true);
  }

  child root;
};
