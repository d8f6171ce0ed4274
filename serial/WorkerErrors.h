#pragma once
// Where a worker thread's unexpected exception goes: one reporting function,
// which the program points at its default error display.
#include <functional>
#include <string>

void SetWorkerErrorReporter(std::function<void(const std::string& message)> reporter);
void ReportWorkerError(const std::string& message);  // any thread; never throws
