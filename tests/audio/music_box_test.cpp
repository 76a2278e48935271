#include "audio/music_box.h"

#include <gtest/gtest.h>

namespace music_box_test {

namespace {

TEST(MusicBox, TracksAreNamedAfterTheirFileUnlessNamed) {
  audio::CMusicBox box;
  const irr::core::stringw given(L"Given Name");
  struct Case {
    const wchar_t* path;
    const irr::core::stringw* name;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"sounds/music/Deep Space.ogg", nullptr, L"Deep Space"},
      {L"sounds\\music\\calm.v2.ogg", nullptr, L"calm.v2"},
      {L"plain", nullptr, L"plain"},
      {L"sounds/music/x.ogg", &given, L"Given Name"},
  };
  for (const Case& c : cases)
    box.addTrack(c.path, c.name);
  ASSERT_EQ(box.getTrackCount(), 4u);
  for (irr::u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(box.track(i)->path, irr::core::stringw(cases[i].path));
    EXPECT_EQ(box.track(i)->name, irr::core::stringw(cases[i].expected));
  }
  EXPECT_EQ(box.track(4), nullptr);
}

}  // namespace

}  // namespace music_box_test
