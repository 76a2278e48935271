// The selection set: membership, the selection id and the sub-selection
// index through each change, the references the set holds on its graphics
// objects, and a walk under the lock that may call the set again.
#include "ui/selection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "app/base/event_handler.h"
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
    shiftKeyDown = controlKeyDown = altKeyDown = false;
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
      // Three members, index 2: at the new count it would read nothing.
      {"remove c, index at the count", removeFromSelection, c, 2, 1, 2, 0},
      {"remove a non-member, index below the count", removeFromSelection, detached, 1, 1, 2, 1},
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

TEST_F(SelectionTest, ModifierKeysDecideWhatAPickDoes) {
  graphicsObject* object = make();
  graphicsObject* other = make();
  enum Start { kAlone, kWithOther, kOtherOnly };
  const struct {
    const char* label;
    bool shift, control, alt;
    Start start;
    int picks;
    bool member;         // `object` afterwards
    uint32_t count;      // members afterwards
  } rows[] = {
      {"shift adds", true, false, false, kOtherOnly, 1, true, 2},
      {"shift adds a member again", true, false, false, kWithOther, 1, true, 2},
      {"shift wins over control and alt", true, true, true, kOtherOnly, 1, true, 2},
      {"control adds a non-member", false, true, false, kOtherOnly, 1, true, 2},
      {"control removes a member", false, true, false, kWithOther, 1, false, 1},
      {"control twice leaves it unselected", false, true, false, kOtherOnly, 2, false, 1},
      {"control wins over alt", false, true, true, kOtherOnly, 1, true, 2},
      {"alt removes", false, false, true, kWithOther, 1, false, 1},
      {"alt on a non-member", false, false, true, kOtherOnly, 1, false, 1},
      {"a plain pick replaces", false, false, false, kWithOther, 1, true, 1},
      {"a plain pick of a non-member", false, false, false, kOtherOnly, 1, true, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    setSelection(row.start == kOtherOnly ? other : object);
    if (row.start == kWithOther)
      addToSelection(other);
    shiftKeyDown = row.shift;
    controlKeyDown = row.control;
    altKeyDown = row.alt;
    const uint32_t id = getSelectionId();
    for (int i = 0; i < row.picks; ++i)
      selectWithModifiers(object);
    EXPECT_GT(getSelectionId(), id);
    EXPECT_EQ(object->selected.load(), row.member);
    EXPECT_EQ(selectedObjectAt(0) == object || selectedObjectAt(1) == object, row.member);
    EXPECT_EQ(getSelectedObjectCount(), row.count);
    shiftKeyDown = controlKeyDown = altKeyDown = false;
  }
  // Null picks nothing, whatever is held.
  const uint32_t id = getSelectionId();
  selectWithModifiers(nullptr);
  EXPECT_EQ(getSelectionId(), id);
}

TEST_F(SelectionTest, AnActionThatSelectsAgainEndsTheWalkSafely) {
  graphicsObject* a = make();
  graphicsObject* b = make();
  graphicsObject* c = make();
  setSelection(a);
  addToSelection(b);
  addToSelection(c);
  // The first member visited picks another object alone: the members that
  // left are not visited, and nothing waits on the lock the walk holds.
  struct Reselect : SelectedObjectAction {
    void act(graphicsObject* object) override {
      visited.push_back(object);
      setSelection(target);
    }
    graphicsObject* target = nullptr;
    std::vector<graphicsObject*> visited;
  } reselect;
  reselect.target = make();
  forEachSelected(reselect);
  ASSERT_EQ(reselect.visited.size(), 1u);
  EXPECT_EQ(getSingleSelectedObject(), reselect.target);
  EXPECT_FALSE(a->selected || b->selected || c->selected);

  // A walk whose action empties the set holds every member until it ends.
  setSelection(a);
  addToSelection(b);
  made_.erase(made_.begin(), made_.begin() + 2);
  a->drop();
  b->drop();  // the set's references are the last ones
  struct Empty : SelectedObjectAction {
    void act(graphicsObject*) override {
      ++runs;
      setSelection(nullptr);
    }
    int runs = 0;
  } empty;
  forEachSelected(empty);
  EXPECT_EQ(empty.runs, 1);
  EXPECT_EQ(deleted_, 2);
}

// Selection changes and walks on two threads at once (for the thread
// sanitizer build): every operation holds the lock.
TEST_F(SelectionTest, TwoThreadsSelectAndWalkAtOnce) {
  std::vector<graphicsObject*> objects;
  for (int i = 0; i < 8; ++i)
    objects.push_back(make());
  struct Count : SelectedObjectAction {
    void act(graphicsObject* object) override { seen += object->selected ? 1 : 0; }
    long seen = 0;
  };
  // At least 1000 rounds each, and on for 2 s.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  const auto going = [&until](unsigned round) { return round < 1000 || std::chrono::steady_clock::now() < until; };
  std::thread walker([&] {
    Count count;
    for (unsigned round = 0; going(round); ++round) {
      forEachSelected(count);
      (void)selectedObjectAt(1);
      (void)getSelectedObjectCount();
    }
  });
  for (unsigned i = 0; going(i); ++i) {
    graphicsObject* object = objects[i % objects.size()];
    switch (i % 4) {
      case 0: setSelection(object); break;
      case 1: addToSelection(object); break;
      case 2: removeFromSelection(object); break;
      default: {
        Count count;
        forEachSelected(count);
      }
    }
  }
  walker.join();
  setSelection(nullptr);
  for (graphicsObject* object : objects)
    EXPECT_EQ(object->refCount.load(), 1);
}

}  // namespace

}  // namespace selection_test
