// The position converter and the distance calculator of the window, as text in and text out.
#pragma once

#include <string>
#include <string_view>

namespace tracora {

// A typed latitude and longitude in the geographic, decimal and UTM forms, one per line.
// 0, or -1 with `text` saying which input is bad.
int DescribePosition(std::string_view latitude, std::string_view longitude, std::string& text);

// The geodesic distance between two typed positions: "12345.678 m (12.346 km)". 0, or -1 with
// `text` saying what went wrong.
int DescribeDistance(std::string_view latitude1, std::string_view longitude1,
                     std::string_view latitude2, std::string_view longitude2, std::string& text);

}  // namespace tracora
