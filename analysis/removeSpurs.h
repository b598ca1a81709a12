#pragma once

#include "support/borderPoints.h"

namespace tressel {

// Removes one-pixel spurs from a closed contour in one walk from the front: a
// point whose two contour neighbours coincide is a spur's tip; it goes with
// the point before it and the walk resumes at the point after it, so a longer
// spur is consumed from its tip inward. There is no second pass, and a
// contour of fewer than three points is left as it is.
void removeSpurs(lti::borderPoints& contour);

}  // namespace tressel
