#pragma once

namespace platform {

// View coordinates in points: origin at the lower-left corner, y upwards.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

}  // namespace platform
