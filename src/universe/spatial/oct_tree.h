// An oct tree over all three coordinates that stores spheres of objects.
//
// Every node covers a cube (its centre and half the edge, `halfSize`). An
// item lives in the deepest node that holds it strictly inside, without
// touching a dividing plane, and no deeper than depth 6 (the root is depth
// 1); an item that does not fit the root lives in the root. Children are made
// one at a time as items need them, and `prune` frees the empty ones.
//
// Items are copied by value and their objects are not referenced: an object
// must be taken out before it is destroyed or moved, with the same centre and
// radius it went in with. Nothing here locks; the owner does.
#pragma once

#include <irrArray.h>

#include <cmath>
#include <cstdint>

template <class T>
class OctTree {
 public:
  struct item {
    T* object;
    float radius;
    float x, y, z;
  };

  // The root has depth 1; no node is made deeper than this.
  static constexpr int32_t kMaxDepth = 6;

  struct child {
    // Child k lies on the + side of x when bit 1 of k is clear, of y when
    // bit 0 is clear and of z when bit 2 is clear.
    child* children[8] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    irr::core::array<item> items;
    float centreX, centreY, centreZ;
    float halfSize;
    int32_t depth;

    child(float x, float y, float z, float size, int32_t nodeDepth)
        : centreX(x), centreY(y), centreZ(z), halfSize(size), depth(nodeDepth) {}
    ~child() { freeChildren(); }
    child(const child&) = delete;
    child& operator=(const child&) = delete;

    // Frees the children and drops every item.
    void clear() {
      freeChildren();
      items.clear();
    }

    // The deepest node, from this one down, that should hold the item,
    // making the children on the way; null when the item does not fit here.
    child* findInsertNode(const item& entry) { return walk(entry, true); }

    // Takes out the last item of the object in the node that the item's
    // centre and radius lead to (this one when the walk gives none). False,
    // with nothing changed, when the object is not there.
    bool remove(const item& entry) {
      child* node = walk(entry, false);
      if (node == nullptr)
        node = this;
      for (irr::u32 i = node->items.size(); i-- > 0;) {
        if (node->items[i].object == entry.object) {
          node->items.erase(i);
          return true;
        }
      }
      return false;
    }

    // Frees every subtree below this node that holds no item. True when
    // this node is left with neither items nor children.
    bool prune() {
      static constexpr int kOrder[8] = {0, 4, 1, 5, 2, 6, 3, 7};
      bool empty = items.empty();
      for (int k : kOrder) {
        child*& node = children[k];
        if (node == nullptr)
          continue;
        if (node->prune()) {
          delete node;
          node = nullptr;
        } else {
          empty = false;
        }
      }
      return empty;
    }

   private:
    bool fits(const item& entry) const {
      return std::abs(entry.x - centreX) + entry.radius < halfSize &&
             std::abs(entry.y - centreY) + entry.radius < halfSize &&
             std::abs(entry.z - centreZ) + entry.radius < halfSize;
    }

    // The node of an item from this one down. Insertion makes the missing
    // children on the way; removal stops where a child is missing. Both stop
    // before a child that the item does not fit, so that a removal reaches
    // the node the insertion chose.
    child* walk(const item& entry, bool makeChildren) {
      if (!fits(entry))
        return nullptr;
      child* node = this;
      for (;;) {
        const float dx = entry.x - node->centreX;
        const float dy = entry.y - node->centreY;
        const float dz = entry.z - node->centreZ;
        const float r = entry.radius;
        if (r > std::abs(dx) || r > std::abs(dy) || r > std::abs(dz) || node->depth >= kMaxDepth)
          return node;
        const int k = 2 * (dx < 0) + (dy < 0) + 4 * (dz < 0);
        child*& next = node->children[k];
        if (next == nullptr) {
          if (!makeChildren)
            return node;
          const float h = node->halfSize / 2;
          next = new child(node->centreX + (dx < 0 ? -h : h), node->centreY + (dy < 0 ? -h : h),
                           node->centreZ + (dz < 0 ? -h : h), h, node->depth + 1);
        }
        if (!next->fits(entry))
          return node;
        node = next;
      }
    }

    void freeChildren() {
      for (child*& node : children) {
        delete node;
        node = nullptr;
      }
    }
  };

  // An empty tree whose root cube is centred at (x, y, z).
  explicit OctTree(float halfSize, float x = 0, float y = 0, float z = 0) : root(x, y, z, halfSize, 1) {}

  // Appends the item to the node `findInsertNode` gives, or to the root when
  // it gives none; returns the node that holds it.
  child* insert(const item& entry) {
    child* node = root.findInsertNode(entry);
    if (node == nullptr)
      node = &root;
    node->items.push_back(entry);
    return node;
  }

  bool remove(const item& entry) { return root.remove(entry); }

  // Frees every empty subtree; the root stays.
  void prune() { root.prune(); }

  void clear() { root.clear(); }

  child root;
};
