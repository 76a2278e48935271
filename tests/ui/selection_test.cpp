// The selection set: membership, the selection id and the sub-selection
// index through each change, the references the set holds on its graphics
// objects, and a walk under the lock that may call the set again.
#include "ui/selection.h"

#include <gtest/gtest.h>

#include <vector>

#include "gfx/graphics_object.h"

namespace selection_test {

namespace {

// Counts its deletions.
class CountedGraphics : public graphicsObject {
 public:
  explicit CountedGraphics(int& deleted) : graphicsObject(nullptr), deleted_(deleted) {}
  ~CountedGraphics() override { ++deleted_; }

 private:
  int& deleted_;
};

class SelectionTest : public testing::Test {
 protected:
  void SetUp() override { setSelection(nullptr); }
  void TearDown() override {
    setSelection(nullptr);
    for (graphicsObject* object : made_)
      object->drop();
  }

  graphicsObject* make() {
    made_.push_back(new CountedGraphics(deleted_));
    return made_.back();
  }

  int deleted_ = 0;
  std::vector<graphicsObject*> made_;
};

TEST_F(SelectionTest, ChangesByTable) {
  graphicsObject* a = make();
  graphicsObject* b = make();
  graphicsObject* c = make();
  graphicsObject* detached = make();
  detached->attached = false;
  const struct {
    const char* label;
    void (*change)(graphicsObject*);
    graphicsObject* object;
    uint32_t subBefore;     // set just before the change
    uint32_t idStep;        // how much the selection id grows
    uint32_t count;         // members afterwards
    uint32_t subAfter;
  } steps[] = {
      {"select a", setSelection, a, 2, 1, 1, 0},
      {"add b", addToSelection, b, 0, 1, 2, 0},
      {"add b again", addToSelection, b, 0, 1, 2, 0},
      {"add c", addToSelection, c, 0, 1, 3, 0},
      {"an unattached object", addToSelection, detached, 0, 0, 3, 0},
      {"null", addToSelection, nullptr, 0, 0, 3, 0},
      {"remove a non-member", removeFromSelection, detached, 0, 1, 3, 0},
      {"remove c, index at the count", removeFromSelection, c, 2, 1, 2, 2},
      {"remove b, index past the count", removeFromSelection, b, 2, 1, 1, 0},
      {"empty", setSelection, nullptr, 1, 1, 0, 0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.label);
    setSubSelection(step.subBefore);
    const uint32_t id = getSelectionId();
    step.change(step.object);
    EXPECT_EQ(getSelectionId() - id, step.idStep);
    EXPECT_EQ(getSelectedObjectCount(), step.count);
    EXPECT_EQ(getSubSelection(), step.subAfter);
  }
  EXPECT_FALSE(a->selected || b->selected || c->selected || detached->selected);
  // The set gave back every reference it took.
  for (graphicsObject* object : made_)
    EXPECT_EQ(object->refCount.load(), 1);
}

TEST_F(SelectionTest, LookupsAndAWalkThatChangesTheSet) {
  graphicsObject* a = make();
  graphicsObject* b = make();
  setSelection(a);
  EXPECT_EQ(getSingleSelectedObject(), a);
  EXPECT_EQ(selectedObjectAt(0), a);
  EXPECT_EQ(selectedObjectAt(1), nullptr);
  addToSelection(b);
  EXPECT_EQ(getSingleSelectedObject(), nullptr);
  EXPECT_NE(selectedObjectAt(0), selectedObjectAt(1));
  EXPECT_EQ(selectedObjectAt(2), nullptr);
  EXPECT_TRUE(a->selected && b->selected);

  // The walk holds the lock, which is re-entrant: an action may ask the
  // set again.
  struct Collect : SelectedObjectAction {
    void act(graphicsObject* object) override {
      seen.push_back(object);
      counts.push_back(getSelectedObjectCount());
    }
    std::vector<graphicsObject*> seen;
    std::vector<uint32_t> counts;
  } collect;
  forEachSelected(collect);
  EXPECT_EQ(collect.seen, (std::vector<graphicsObject*>{selectedObjectAt(0), selectedObjectAt(1)}));
  EXPECT_EQ(collect.counts, (std::vector<uint32_t>{2, 2}));
}

TEST_F(SelectionTest, TheSetsReferenceMayBeTheLast) {
  graphicsObject* a = make();
  setSelection(a);
  made_.clear();
  a->drop();  // the set's reference is the only one left
  EXPECT_EQ(deleted_, 0);
  removeFromSelection(a);
  EXPECT_EQ(deleted_, 1);
}

}  // namespace

}  // namespace selection_test
