#include "shell/TestHooks.h"

#include <QtGlobal>

std::optional<QString> ScreenshotGroup() {
    if (!qEnvironmentVariableIsSet("HG_SCREENSHOT_GROUP")) return std::nullopt;
    return qEnvironmentVariable("HG_SCREENSHOT_GROUP");
}

bool ReportShown() {
    return qEnvironmentVariable("HG_REPORT_SHOWN") == QLatin1String("1");
}
