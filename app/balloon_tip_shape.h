// The balloon tip's geometry, in pixels, without a window system: a rectangular
// body around the text (and the icon left of it) with a pointer under the body's
// right end whose tip ends exactly at the mouse cursor.
#pragma once

#include <array>

struct BalloonPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const BalloonPoint&, const BalloonPoint&) = default;
};

// Space between the body's edge and its text or icon, left / right and top / bottom.
inline constexpr int kBalloonMarginX = 12;
inline constexpr int kBalloonMarginY = 10;
// Between the icon and the text.
inline constexpr int kBalloonIconGap = 5;
// The pointer: 25 pixels wide at the body, 25 pixels long below it.
inline constexpr int kBalloonPointerWidth = 25;
inline constexpr int kBalloonPointerLength = 25;

struct BalloonShape {
  int width = 0;        // the body's width W, also the window's
  int height = 0;       // the body's height H; the window is H + the pointer's length
  int text_left = 0;    // where the text starts, right of the icon when there is one
  int text_top = 0;

  int WindowWidth() const { return width; }
  int WindowHeight() const { return height + kBalloonPointerLength; }
  // The body: the rectangle (0, 0, W, H), right and bottom edges excluded.
  // The pointer: a triangle hanging from the body's bottom edge, its second point
  // the tip.
  std::array<BalloonPoint, 3> Pointer() const;
  BalloonPoint Tip() const { return Pointer()[1]; }
  // The icon's top-left corner in the window.
  BalloonPoint IconOrigin() const { return {kBalloonMarginX, kBalloonMarginY}; }
};

// The shape for text of the given extent (as the tip's font measures it) and an
// icon of the given size (0 x 0: none). The body is the text plus its margins, and
// with an icon as much wider as the icon and its gap; it is at least as high as the
// icon with the same margins above and below, so that the icon is never cut off.
BalloonShape BalloonShapeFor(int text_width, int text_height, int icon_width, int icon_height);

// The window's top-left corner on the screen that puts the pointer's tip on the
// anchor (the cursor position for which the tip is shown).
BalloonPoint BalloonWindowOrigin(const BalloonShape& shape, BalloonPoint anchor);
