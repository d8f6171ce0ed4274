#include "shell/TStoreWindowAdapter.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "shell/TOutcomeLine.h"
#include "ui_TIDForm.h"

const TStoreWindowAdapter::TSlotTable& TStoreWindowAdapter::FillSlotTable(const QWidget& window) {
    for (int k = 0; k < int(slots_.size()); ++k) {
        slots_[k] = window.findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(k + 1));
        Q_ASSERT(slots_[k]);
    }
    return slots_;
}

std::string TStoreWindowAdapter::VehicleSlot(int slot) const {
    return slots_.at(slot)->text().toStdString();
}
void TStoreWindowAdapter::SetVehicleSlot(int slot, const std::string& text) {
    slots_.at(slot)->setText(QString::fromStdString(text));
}
std::string TStoreWindowAdapter::TrailerSlot(int slot) const {
    return slots_.at(kVehicleSlots + slot)->text().toStdString();
}
void TStoreWindowAdapter::SetTrailerSlot(int slot, const std::string& text) {
    slots_.at(kVehicleSlots + slot)->setText(QString::fromStdString(text));
}

void TStoreWindowAdapter::ShowGroupList(const std::vector<std::string>& names,
                                        const std::string& shown) {
    QComboBox* combo = ui_.GroupNameComboBox;
    QStringList list;
    for (const std::string& name : names) list << QString::fromStdString(name);
    QStringList current;
    for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
    const QSignalBlocker block(combo);
    const bool same = current == list;
    // Keep the entry the user picked when it shows the same name (a duplicate name).
    if (same && combo->currentIndex() >= 0 && combo->currentText() == QString::fromStdString(shown))
        return;
    if (!same) {
        combo->clear();
        combo->addItems(list);
    }
    combo->setCurrentIndex(shown.empty() ? -1 : list.indexOf(QString::fromStdString(shown)));
}

void TStoreWindowAdapter::ShowOutcome(const std::string& text) {
    outcome_.Show(text);
}
