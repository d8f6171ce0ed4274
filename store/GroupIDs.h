#pragma once
// The 128 IDs of one group, as the window's slots hold them: 96 vehicle IDs and 32
// trailer IDs.
#include <array>
#include <string>

inline constexpr int kVehicleSlots = 96;
inline constexpr int kTrailerSlots = 32;

struct TGroupIDs {
    std::array<std::string, kVehicleSlots> Vehicle;
    std::array<std::string, kTrailerSlots> Trailer;
};

// A group to add: its name and the IDs it starts with.
struct TNewGroup {
    std::string Name;
    TGroupIDs IDs;
};
