#pragma once
// The configuration window as the store sees it: the 128 ID boxes through the slot
// table (vehicle slot v at position v, trailer slot t at position 96 + t), the
// group list and the outcome line.
#include <array>
#include <string>
#include <vector>

#include "store/GroupIDs.h"
#include "store/StoreWindow.h"

class QLineEdit;
class TOutcomeLine;
class QWidget;

namespace Ui {
class TIDForm;
}

class TStoreWindowAdapter : public TStoreWindow {
public:
    using TSlotTable = std::array<QLineEdit*, kVehicleSlots + kTrailerSlots>;

    // `ui` is the window's design; its controls are used once the window has made them.
    TStoreWindowAdapter(const Ui::TIDForm& ui, TOutcomeLine& outcome)
        : ui_(ui), outcome_(outcome) {}

    // Fills the slot table: position k is the box named "Edit" followed by k + 1.
    const TSlotTable& FillSlotTable(const QWidget& window);

    std::string VehicleSlot(int slot) const override;
    void SetVehicleSlot(int slot, const std::string& text) override;
    std::string TrailerSlot(int slot) const override;
    void SetTrailerSlot(int slot, const std::string& text) override;
    void ShowGroupList(const std::vector<std::string>& names, const std::string& shown) override;
    void ShowOutcome(const std::string& text) override;

private:
    const Ui::TIDForm& ui_;
    TOutcomeLine& outcome_;
    TSlotTable slots_{};
};
