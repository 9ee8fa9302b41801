#pragma once
// Small helpers of the form components: resource texts, integer minimum and maximum, and the
// edge-inclusive point-in-rectangle test that the bars and grids use for hit-testing.
#include "platform/graphics/Types.h"

#include <string>

namespace components {

// Resource texts are the program's own: the text is returned as it stands.
std::string ResStr(const std::string& text);

int Max(int a, int b);
int Min(int a, int b);
void SwapInt(int& a, int& b);

// True when P lies in R with all four edges included (Right and Bottom too, unlike TRect::Contains).
bool PointInRect(const platform::gfx::TPoint& p, const platform::gfx::TRect& r);

} // namespace components
