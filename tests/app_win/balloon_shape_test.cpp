// The balloon tip's geometry: the body around the text and icon, the pointer, and
// the window placed so that the pointer's tip is on the cursor.
#include <gtest/gtest.h>

#include "app/balloon_tip_shape.h"

namespace {

TEST(BalloonShape, OneLineWithoutIcon) {
  const BalloonShape s = BalloonShapeFor(100, 13, 0, 0);
  EXPECT_EQ(s.width, 124);
  EXPECT_EQ(s.height, 33);
  EXPECT_EQ(s.WindowWidth(), 124);
  EXPECT_EQ(s.WindowHeight(), 13 + 45);
  EXPECT_EQ(s.text_left, 12);
  EXPECT_EQ(s.text_top, 10);
  // 25 pixels wide under the body's right end, 25 long.
  const auto p = s.Pointer();
  EXPECT_EQ(p[0], (BalloonPoint{112, 23}));
  EXPECT_EQ(p[1], (BalloonPoint{112, 48}));
  EXPECT_EQ(p[2], (BalloonPoint{87, 23}));
  EXPECT_EQ(s.Tip(), (BalloonPoint{112, 48}));
}

TEST(BalloonShape, TheTipEndsOnTheAnchor) {
  const struct {
    int text_w, text_h, icon_w, icon_h;
    BalloonPoint anchor;
  } cases[] = {
      {100, 13, 0, 0, {500, 400}},
      {0, 0, 0, 0, {0, 0}},
      {250, 26, 32, 32, {30, 20}},
      {60, 13, 16, 16, {1279, 1023}},
  };
  for (const auto& c : cases) {
    const BalloonShape s = BalloonShapeFor(c.text_w, c.text_h, c.icon_w, c.icon_h);
    const BalloonPoint origin = BalloonWindowOrigin(s, c.anchor);
    EXPECT_EQ(origin.x + s.Tip().x, c.anchor.x);
    EXPECT_EQ(origin.y + s.Tip().y, c.anchor.y);
    // The window's top-left corner: W - 12 to the left, H + 15 above.
    EXPECT_EQ(origin.x, c.anchor.x - s.width + 12);
    EXPECT_EQ(origin.y, c.anchor.y - (s.height + 25) + 10);
    // The tip is the window's lowest point, inside it.
    EXPECT_LT(s.Tip().y, s.WindowHeight());
    EXPECT_LT(s.Tip().x, s.WindowWidth());
  }
}

TEST(BalloonShape, AnIconWidensTheBodyAndMovesTheText) {
  const BalloonShape s = BalloonShapeFor(100, 13, 16, 16);
  EXPECT_EQ(BalloonShapeFor(100, 20, 16, 16).height, 20 + 20);
  EXPECT_EQ(s.width, 100 + 24 + 16 + 5);
  EXPECT_EQ(s.height, 16 + 20);
  EXPECT_EQ(s.text_left, 16 + 17);
  EXPECT_EQ(s.IconOrigin(), (BalloonPoint{12, 10}));
}

TEST(BalloonShape, AnIconTallerThanTheTextKeepsItsMargins) {
  // A 32-pixel icon beside one 13-pixel line: the body grows so that the icon,
  // drawn 10 pixels below the top, ends 10 pixels above the bottom.
  const BalloonShape s = BalloonShapeFor(100, 13, 32, 32);
  EXPECT_EQ(s.height, 32 + 20);
  EXPECT_EQ(s.IconOrigin().y + 32 + 10, s.height);
}

TEST(BalloonShape, EmptyTextStillMakesABalloon) {
  const BalloonShape s = BalloonShapeFor(0, 0, 0, 0);
  EXPECT_EQ(s.WindowWidth(), 24);
  EXPECT_EQ(s.WindowHeight(), 45);
  EXPECT_EQ(s.Tip(), (BalloonPoint{12, 35}));
}

}  // namespace
