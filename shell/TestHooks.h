#pragma once
// Hooks for the screenshot script and the start-up benchmark, switched on by
// environment variables that only they set. The program behaves as usual without
// them.
//
//   HG_SCREENSHOT_GROUP=<name>  (tools/screenshot) shortly after the launcher is
//       shown, press Start, then choose the group <name> in the new window and
//       close its drop-down list, as a user would.
//   HG_REPORT_SHOWN=1  (bench/startup_bench) print the line "launcher shown" on
//       standard output once the launcher has been painted.
#include <QString>
#include <optional>

std::optional<QString> ScreenshotGroup();
bool ReportShown();
