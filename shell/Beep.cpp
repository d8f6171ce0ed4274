#include "shell/Beep.h"

#include <QApplication>
#include <atomic>

namespace {
std::atomic<int> beeps{0};
}

void Beep() {
    beeps.fetch_add(1, std::memory_order_relaxed);
    QApplication::beep();
}

int BeepCount() {
    return beeps.load(std::memory_order_relaxed);
}
