#pragma once
// The configuration window as the store sees it: the 128 ID boxes through the slot
// table (vehicle slot v at position v, trailer slot t at position 96 + t) and the
// group list.
#include <array>
#include <string>
#include <vector>

#include "store/GroupIDs.h"
#include "store/StoreWindow.h"

class QLineEdit;
class QWidget;

namespace Ui {
class TIDForm;
}

class TStoreWindowAdapter : public TStoreWindow {
public:
    using TSlotTable = std::array<QLineEdit*, kVehicleSlots + kTrailerSlots>;

    // `ui` is the window's design; its controls are used once the window has made them.
    explicit TStoreWindowAdapter(const Ui::TIDForm& ui) : ui_(ui) {}

    // Fills the slot table: position k is the box named "Edit" followed by k + 1.
    const TSlotTable& FillSlotTable(const QWidget& window);

    std::string VehicleSlot(int slot) const override;
    void SetVehicleSlot(int slot, const std::string& text) override;
    std::string TrailerSlot(int slot) const override;
    void SetTrailerSlot(int slot, const std::string& text) override;
    void ShowGroupList(const std::vector<std::string>& names, const std::string& shown) override;

private:
    const Ui::TIDForm& ui_;
    TSlotTable slots_{};
};
