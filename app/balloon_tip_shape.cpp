#include "app/balloon_tip_shape.h"

#include <algorithm>

std::array<BalloonPoint, 3> BalloonShape::Pointer() const {
  const int right = width - kBalloonMarginX;
  const int base = height - kBalloonMarginY;
  return {{
      {right, base},
      {right, base + kBalloonPointerLength},
      {right - kBalloonPointerWidth, base},
  }};
}

BalloonShape BalloonShapeFor(int text_width, int text_height, int icon_width, int icon_height) {
  BalloonShape shape;
  shape.width = text_width + 2 * kBalloonMarginX;
  shape.height = std::max(text_height, icon_height) + 2 * kBalloonMarginY;
  shape.text_left = kBalloonMarginX;
  shape.text_top = kBalloonMarginY;
  if (icon_width > 0) {
    shape.width += icon_width + kBalloonIconGap;
    shape.text_left += icon_width + kBalloonIconGap;
  }
  return shape;
}

BalloonPoint BalloonWindowOrigin(const BalloonShape& shape, BalloonPoint anchor) {
  const BalloonPoint tip = shape.Tip();
  return {anchor.x - tip.x, anchor.y - tip.y};
}
