#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "universe/spatial/oct_tree.h"
#include "universe/spatial/quad_tree.h"

namespace spatial_tree_test {

namespace {

// A stand-in for a game object: the trees only keep its address.
struct Body {
  int id;
};

using QuadTree = quad_tree<Body*, float>;
using QuadNode = QuadTree::child;
using QuadItem = QuadTree::item;
using Octs = OctTree<Body>;
using OctNode = Octs::child;
using OctItem = Octs::item;

// Bodies with ids 0 .. n-1 at stable addresses.
std::vector<Body> makeBodies(int n) {
  std::vector<Body> bodies(n);
  for (int i = 0; i < n; ++i)
    bodies[i].id = i;
  return bodies;
}

template <class Items>
std::vector<int> idsOf(const Items& items) {
  std::vector<int> ids;
  for (irr::u32 i = 0; i < items.size(); ++i)
    ids.push_back(items[i].object->id);
  return ids;
}

// The tree as text: each node's ids, then its children in brackets.
std::string describe(const QuadNode& node) {
  std::string text = "{";
  for (int id : idsOf(node.items))
    text += std::to_string(id) + " ";
  for (const QuadNode* sub : node.children)
    text += sub == nullptr ? "-" : describe(*sub);
  return text + "}";
}

// The child indices from `node` down to the node holding `id`.
bool pathTo(const QuadNode& node, int id, std::vector<int>& path) {
  for (int held : idsOf(node.items))
    if (held == id)
      return true;
  for (int k = 0; k < 4; ++k) {
    if (node.children[k] == nullptr)
      continue;
    path.push_back(k);
    if (pathTo(*node.children[k], id, path))
      return true;
    path.pop_back();
  }
  return false;
}

struct Collect : qtResultCallback<Body*> {
  std::vector<int> ids;
  void onResult(Body* body) override { ids.push_back(body->id); }
};

std::vector<int> query(const QuadTree& tree, float x, float y, float z, float radius) {
  Collect found;
  tree.query(irr::core::vector3df(x, y, z), x, z, radius, found);
  std::sort(found.ids.begin(), found.ids.end());
  return found.ids;
}

// Quad tree --------------------------------------------------------------

TEST(QuadTreeTest, SplitsOnTheSeventhItemKeepingLineCrossersInTheParent) {
  auto bodies = makeBodies(7);
  struct Case {
    float x, z, r;
    int child;  // where it lies after the split, -1 for the root
  };
  const Case cases[] = {
      {-50, 50, 5, 0},
      {3, 40, 5, -1},  // across the x line
      {50, 50, 5, 1},
      {-40, -2, 5, -1},  // across the z line
      {-50, -50, 5, 2},
      {95, 50, 10, -1},  // does not fit the root at all
      {50, -50, 5, 3},
  };
  QuadTree tree(100.0f);
  for (int i = 0; i < 7; ++i) {
    tree.insert({&bodies[i], cases[i].r, cases[i].x, 0, cases[i].z});
    if (i < 6) {
      EXPECT_TRUE(tree.root.isLeaf()) << "after " << i + 1 << " items";
      EXPECT_EQ(tree.root.items.size(), static_cast<irr::u32>(i + 1));
    }
  }
  ASSERT_FALSE(tree.root.isLeaf());
  EXPECT_EQ(idsOf(tree.root.items), (std::vector<int>{1, 3, 5}));
  for (int k = 0; k < 4; ++k) {
    const QuadNode& sub = *tree.root.children[k];
    EXPECT_EQ(idsOf(sub.items), std::vector<int>{2 * k}) << "child " << k;
    EXPECT_TRUE(sub.isLeaf());
    EXPECT_EQ(sub.halfSize, 50.0f);
    EXPECT_EQ(sub.halfSizeSq, 2500.0f);
    EXPECT_EQ(sub.centreX, k % 2 == 0 ? -50.0f : 50.0f);
    EXPECT_EQ(sub.centreZ, k < 2 ? 50.0f : -50.0f);
  }
  // The misfit is still found where a walk from the root looks.
  EXPECT_EQ(query(tree, 95, 0, 50, 1), std::vector<int>{5});
  EXPECT_TRUE(tree.remove({&bodies[5], 10, 95, 0, 50}));
}

TEST(QuadTreeTest, ItemsMovedDownDoNotSplitTheChildUntilItsOwnInsertion) {
  auto bodies = makeBodies(8);
  QuadTree tree(100.0f);
  for (int i = 0; i < 7; ++i)
    tree.insert({&bodies[i], 1, 20.0f + 10 * i, 0, 20.0f + 9 * i});
  ASSERT_FALSE(tree.root.isLeaf());
  EXPECT_EQ(tree.root.children[1]->items.size(), 7u);
  EXPECT_TRUE(tree.root.children[1]->isLeaf());
  tree.insert({&bodies[7], 1, 80, 0, 80});
  EXPECT_FALSE(tree.root.children[1]->isLeaf());
}

TEST(QuadTreeTest, ItemsTouchingADividingLineStayInTheirNode) {
  // Two levels: the root split, and its (+, +) child split too.
  auto fillers = makeBodies(8);
  QuadTree tree(100.0f);
  const float spots[8][2] = {{60, 60}, {40, 60}, {60, 40}, {40, 40}, {70, 70}, {30, 70}, {70, 30}, {80, 80}};
  for (int i = 0; i < 8; ++i)
    tree.insert({&fillers[i], 1, spots[i][0], 0, spots[i][1]});
  ASSERT_FALSE(tree.root.children[1]->isLeaf());
  const std::string before = describe(tree.root);

  struct Case {
    float x, z, r;
    std::vector<int> path;
  };
  const std::vector<Case> cases = {
      {0, 50, 5, {}},        // dx = 0 at the root
      {50, 0, 5, {}},        // dz = 0 at the root
      {5, 50, 5, {}},        // |dx| = r touches the line
      {95, 50, 10, {}},      // does not fit the root
      {-90, 50, 10, {0}},    // fits the root exactly
      {5.5f, 50, 5, {1}},    // clear of it
      {-50, 50, 0.001f, {0}},  // the (-, +) child is a leaf
      {50, 50, 2, {1}},      // dx = 0 in the child
      {45, 45, 5, {1}},      // |dx| = r in the child
      {60, 62, 2, {1, 1}},   // clear of both levels' lines
      {40, 40, 4, {1, 2}},
  };
  std::vector<Body> probes(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    probes[i].id = 100 + static_cast<int>(i);
    tree.insert({&probes[i], cases[i].r, cases[i].x, 0, cases[i].z});
    std::vector<int> path;
    ASSERT_TRUE(pathTo(tree.root, probes[i].id, path));
    EXPECT_EQ(path, cases[i].path) << "case " << i;
  }
  LogCapture log;
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_TRUE(tree.remove({&probes[i], cases[i].r, cases[i].x, 0, cases[i].z})) << "case " << i;
  EXPECT_EQ(log.take(), "");
  EXPECT_EQ(describe(tree.root), before);
}

TEST(QuadTreeTest, QueryCentredOnANodeReachesAllFourChildren) {
  auto bodies = makeBodies(7);
  QuadTree tree(100.0f);
  const float corners[4][2] = {{-50, 50}, {50, 50}, {-50, -50}, {50, -50}};
  for (int i = 0; i < 4; ++i)
    tree.insert({&bodies[i], 5, corners[i][0], 0, corners[i][1]});
  for (int i = 4; i < 7; ++i)  // more of the (+, -) quarter forces the split
    tree.insert({&bodies[i], 5, 60.0f + 5 * i, 0, -60});
  ASSERT_FALSE(tree.root.isLeaf());
  EXPECT_EQ(query(tree, 0, 0, 0, 66), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(query(tree, 0, 0, 0, 65), std::vector<int>{});   // 70.7 away, reach 70
  EXPECT_EQ(query(tree, 0, 80, 0, 66), std::vector<int>{});  // the distance is measured in 3D
}

TEST(QuadTreeTest, QueriesMatchABruteForceScanBeforeAndAfterRemovals) {
  std::mt19937 random(17);
  std::uniform_real_distribution<float> plane(-1100, 1100);  // some items lie outside the root
  std::uniform_real_distribution<float> height(-50, 50);
  std::uniform_real_distribution<float> size(0, 40);
  auto bodies = makeBodies(3000);
  std::vector<QuadItem> items;
  QuadTree tree(1000.0f);
  for (Body& body : bodies) {
    const float r = body.id % 10 == 0 ? 0.0f : size(random);
    items.push_back({&body, r, plane(random), height(random), plane(random)});
    tree.insert(items.back());
  }

  // Random circles, plus circles centred on node centres.
  struct Circle {
    float x, y, z, r;
  };
  std::vector<Circle> circles;
  std::uniform_real_distribution<float> reach(0, 100);
  for (int i = 0; i < 400; ++i)
    circles.push_back({plane(random), height(random), plane(random), reach(random)});
  std::function<void(const QuadNode&)> addCentres = [&](const QuadNode& node) {
    circles.push_back({node.centreX, 0, node.centreZ, 30});
    for (const QuadNode* sub : node.children)
      if (sub != nullptr && sub->halfSize > 60)
        addCentres(*sub);
  };
  addCentres(tree.root);

  auto check = [&](const std::vector<bool>& present) {
    for (const Circle& c : circles) {
      std::vector<int> expected;
      for (size_t i = 0; i < items.size(); ++i) {
        if (!present[i])
          continue;
        const QuadItem& it = items[i];
        const float dx = it.x - c.x, dy = it.y - c.y, dz = it.z - c.z, sum = it.radius + c.r;
        if (dx * dx + dy * dy + dz * dz <= sum * sum)
          expected.push_back(it.object->id);
      }
      ASSERT_EQ(query(tree, c.x, c.y, c.z, c.r), expected) << "circle at " << c.x << ", " << c.z;
    }
  };
  std::vector<bool> present(items.size(), true);
  check(present);

  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::shuffle(order.begin(), order.end(), random);
  LogCapture log;
  for (size_t i = 0; i < order.size() / 2; ++i) {
    ASSERT_TRUE(tree.remove(items[order[i]]));
    present[order[i]] = false;
  }
  EXPECT_EQ(log.take(), "");
  check(present);
}

TEST(QuadTreeTest, RemovingAnAbsentItemLogsAndChangesNothing) {
  auto bodies = makeBodies(12);
  QuadTree tree(100.0f);
  for (int i = 0; i < 10; ++i)
    tree.insert({&bodies[i], 2, -90.0f + 20 * i, 0, 50.0f - 13 * i});
  const std::string before = describe(tree.root);
  const QuadItem first = {&bodies[0], 2, -90, 0, 50};
  ASSERT_NE(tree.root.children[0], nullptr);
  ASSERT_EQ(idsOf(tree.root.children[0]->items).front(), 0);

  const QuadItem absent[] = {
      {&bodies[11], 2, -90, 0, 50},  // never inserted
      {&bodies[0], 2, 90, 0, -50},   // moved to another quarter
      {&bodies[0], 95, -90, 0, 50},  // grown past the dividing line
  };
  LogCapture log;
  for (const QuadItem& entry : absent) {
    EXPECT_FALSE(tree.remove(entry));
    EXPECT_NE(log.take().find("nothing removed"), std::string::npos);
    EXPECT_EQ(describe(tree.root), before);
  }
  EXPECT_TRUE(tree.remove(first));
}

TEST(QuadTreeTest, ResizeEmptiesTheTreeAndSetsTheSquare) {
  auto bodies = makeBodies(8);
  QuadTree tree(50000.0f);
  EXPECT_EQ(tree.root.halfSizeSq, 2.5e9f);
  for (Body& body : bodies)
    tree.insert({&body, 1, 100.0f * body.id + 10, 0, 10});
  tree.resize(3000.0f);
  EXPECT_TRUE(tree.root.isLeaf());
  EXPECT_EQ(tree.root.items.size(), 0u);
  EXPECT_EQ(tree.root.halfSize, 3000.0f);
  EXPECT_EQ(tree.root.halfSizeSq, 9.0e6f);
}

// Oct tree ---------------------------------------------------------------

int countNodes(const OctNode& node) {
  int count = 1;
  for (const OctNode* sub : node.children)
    if (sub != nullptr)
      count += countNodes(*sub);
  return count;
}

int countItems(const OctNode& node) {
  int count = static_cast<int>(node.items.size());
  for (const OctNode* sub : node.children)
    if (sub != nullptr)
      count += countItems(*sub);
  return count;
}

TEST(OctTreeTest, ItemsTouchingAFaceDoNotFitAndItemsTouchingAPlaneStay) {
  Body body{0};
  struct Case {
    float x, y, z, r;
    int depth;  // of the node found; 0 when none is
    int nodes;  // in the tree afterwards
  };
  const Case cases[] = {
      {90, 10, 10, 10, 0, 1},  // |d| + r = halfSize on one axis
      {10, -90, 10, 10, 0, 1},
      {10, 10, -90, 10, 0, 1},
      {0, 0, 110, 5, 0, 1},       // outside
      {5, 40, 40, 10, 1, 1},      // across a plane of the root: no child is made
      {40, 5, 40, 10, 1, 1},
      {40, 40, 5, 10, 1, 1},
      {89.5f, 10, 10, 10, 1, 2},  // fits the root but not its child
      {40, 40, 40, 10, 2, 3},     // tangent to a face of the grandchild
  };
  for (const Case& c : cases) {
    Octs tree(100.0f);
    const OctItem entry = {&body, c.r, c.x, c.y, c.z};
    const OctNode* node = tree.root.findInsertNode(entry);
    ASSERT_EQ(node == nullptr, c.depth == 0) << c.x << ", " << c.y << ", " << c.z;
    if (node != nullptr) {
      EXPECT_EQ(node->depth, c.depth) << c.x << ", " << c.y << ", " << c.z;
    }
    EXPECT_EQ(countNodes(tree.root), c.nodes) << c.x << ", " << c.y << ", " << c.z;
    EXPECT_EQ(tree.insert(entry), node == nullptr ? &tree.root : node);
    EXPECT_TRUE(tree.remove(entry));
    EXPECT_EQ(countItems(tree.root), 0);
  }
}

TEST(SpatialTreesTest, RemovalTakesTheLastItemOfTheObjectInItsNode) {
  auto bodies = makeBodies(2);
  Octs octs(100.0f);
  QuadTree quads(100.0f);
  for (float y : {10.0f, 0.0f, 20.0f}) {
    Body* body = &bodies[y == 0.0f ? 1 : 0];
    octs.insert({body, 5, 0, y, 40});  // across the x plane: all in the root
    quads.insert({body, 5, 0, y, 40});
  }
  ASSERT_TRUE(octs.remove({&bodies[0], 5, 0, 10, 40}));
  ASSERT_TRUE(quads.remove({&bodies[0], 5, 0, 10, 40}));
  ASSERT_EQ(octs.root.items.size(), 2u);
  ASSERT_EQ(quads.root.items.size(), 2u);
  EXPECT_EQ(octs.root.items[0].y, 10.0f);
  EXPECT_EQ(quads.root.items[0].y, 10.0f);
}

TEST(OctTreeTest, ChildrenLieOnTheItemsSide) {
  Body body{0};
  for (int k = 0; k < 8; ++k) {
    const float sx = (k & 2) ? -1.0f : 1.0f;
    const float sy = (k & 1) ? -1.0f : 1.0f;
    const float sz = (k & 4) ? -1.0f : 1.0f;
    Octs tree(100.0f, 1000, 2000, 3000);
    tree.insert({&body, 1, 1000 + 30 * sx, 2000 + 30 * sy, 3000 + 30 * sz});
    for (int other = 0; other < 8; ++other) {
      const OctNode* sub = tree.root.children[other];
      ASSERT_EQ(sub != nullptr, other == k) << "item side " << k << ", child " << other;
      if (sub == nullptr)
        continue;
      EXPECT_EQ(sub->centreX, 1000 + 50 * sx);
      EXPECT_EQ(sub->centreY, 2000 + 50 * sy);
      EXPECT_EQ(sub->centreZ, 3000 + 50 * sz);
      EXPECT_EQ(sub->halfSize, 50.0f);
      EXPECT_EQ(sub->depth, 2);
    }
  }
}

TEST(OctTreeTest, NoNodeIsMadeBelowDepthSix) {
  std::mt19937 random(6);
  std::uniform_real_distribution<float> coordinate(-999, 999);
  auto bodies = makeBodies(2000);
  Octs tree(1000.0f);
  int deepest = 0;
  for (Body& body : bodies) {
    const OctNode* node = tree.insert({&body, 0.001f, coordinate(random), coordinate(random), coordinate(random)});
    deepest = std::max(deepest, node->depth);
  }
  EXPECT_EQ(deepest, 6);
  std::function<void(const OctNode&)> check = [&](const OctNode& node) {
    EXPECT_LE(node.depth, 6);
    for (const OctNode* sub : node.children) {
      if (sub == nullptr)
        continue;
      EXPECT_EQ(sub->depth, node.depth + 1);
      EXPECT_EQ(sub->halfSize, node.halfSize / 2);
      check(*sub);
    }
  };
  check(tree.root);
}

TEST(OctTreeTest, RemovalReachesTheNodeInsertionChose) {
  auto bodies = makeBodies(5);
  const OctItem items[] = {
      {&bodies[0], 10, 60, 60, 60},     // tangent to a face of the depth-3 node it would enter
      {&bodies[1], 5, 0, 40, 40},       // across a plane of the root
      {&bodies[2], 5, 98, 0, 0},        // does not fit the root
      {&bodies[3], 0.01f, 33, -33, 71},  // as deep as allowed
      {&bodies[4], 1, 20, 20, 20},
  };
  Octs tree(100.0f);
  for (const OctItem& entry : items)
    tree.insert(entry);
  EXPECT_EQ(countItems(*tree.root.children[0]), 2);  // items 0 and 4
  for (const OctItem& entry : items)
    EXPECT_TRUE(tree.remove(entry)) << entry.object->id;
  EXPECT_EQ(countItems(tree.root), 0);
  // An absent item changes nothing, wherever it leads.
  const int nodes = countNodes(tree.root);
  for (const OctItem& absent : {items[3], OctItem{&bodies[3], 0.01f, -60, -60, -60}}) {
    EXPECT_FALSE(tree.remove(absent));
    EXPECT_EQ(countNodes(tree.root), nodes);
  }
}

TEST(OctTreeTest, PruneFreesExactlyTheEmptySubtrees) {
  auto bodies = makeBodies(4);
  const OctItem deep = {&bodies[0], 0.01f, 33, -33, 71};  // stored at depth 6
  const OctItem other = {&bodies[1], 0.01f, -70, 20, -5};
  const OctItem rootItems[] = {{&bodies[2], 5, 0, 40, 40}, {&bodies[3], 5, 98, 0, 0}};

  struct Case {
    bool keepDeep;
    int nodesLeft;
  };
  for (const Case c : {Case{false, 1}, Case{true, 6}}) {
    Octs tree(100.0f);
    for (const OctItem& entry : rootItems)
      tree.insert(entry);
    ASSERT_EQ(tree.insert(deep)->depth, 6);
    tree.insert(other);
    tree.remove(other);
    if (!c.keepDeep)
      tree.remove(deep);
    tree.prune();
    EXPECT_EQ(countNodes(tree.root), c.nodesLeft) << "deep item kept: " << c.keepDeep;
    EXPECT_EQ(idsOf(tree.root.items), (std::vector<int>{2, 3}));
  }

  Octs empty(100.0f);
  empty.insert(deep);
  empty.remove(deep);
  EXPECT_TRUE(empty.root.prune());
  EXPECT_EQ(countNodes(empty.root), 1);
}

}  // namespace

}  // namespace spatial_tree_test
