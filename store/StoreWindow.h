#pragma once
// What the store needs of the configuration window besides its boxes.
#include <string>
#include <vector>

class TStoreWindow {
public:
    virtual ~TStoreWindow() = default;
    virtual std::string VehicleSlot(int slot) const = 0;  // 0..95
    virtual void SetVehicleSlot(int slot, const std::string& text) = 0;
    virtual std::string TrailerSlot(int slot) const = 0;  // 0..31
    virtual void SetTrailerSlot(int slot, const std::string& text) = 0;
    // The group list now holds these names in this order and shows `shown` ("" = none).
    virtual void ShowGroupList(const std::vector<std::string>& names, const std::string& shown) = 0;
    // What the user's last action came to ("Saved"), readable until the next one; ""
    // empties the line. A window without such a line shows nothing.
    virtual void ShowOutcome(const std::string& text) { (void)text; }
};
