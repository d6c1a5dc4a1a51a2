// One catch per entry point: what an entry point answers and logs when its body throws.
#include "guarded_entry.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "captured_log.h"
#include "logger.h"
#include "untrusted_json.h"

namespace {

TEST(GuardEntry, AThrowingBodyGivesTheFailureValueAndOneErrorLine) {
  DebugOutputCapture capture;
  EXPECT_EQ(GuardEntry("IsSessionActive failed: ", 7, [] { return 1; }), 1);
  EXPECT_FALSE(LoggedContaining(capture, "IsSessionActive failed"));

  const std::optional<std::string> failed =
      GuardEntry("Exception in RefreshAccessToken: ", std::nullopt,
                 []() -> std::optional<std::string> { throw std::runtime_error("store gone"); });
  EXPECT_FALSE(failed);
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Exception in RefreshAccessToken: store gone"));

  EXPECT_FALSE(GuardEntry("Deleting k failed: ", false, []() -> bool { throw 42; }));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Deleting k failed: unknown exception"));
  EXPECT_EQ(capture.Lines().size(), 2u);
}

TEST(GuardEntry, TheFailureHandlerWritesTheEntryPointsOwnLineAndValue) {
  DebugOutputCapture capture;
  const auto fallback = [](const CaughtFailure& caught) {
    LogWarning("Failed to read environment setting, using DEVELOPMENT: " +
               caught.Text("unknown error"));
    return std::string(caught.IsStandard() ? "desa" : "desa (unknown)");
  };
  EXPECT_EQ(GuardEntry([]() -> std::string { throw std::runtime_error("locked"); }, fallback),
            "desa");
  EXPECT_EQ(GuardEntry([]() -> std::string { throw "text"; }, fallback), "desa (unknown)");
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Failed to read environment setting, using DEVELOPMENT: locked"));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Failed to read environment setting, using DEVELOPMENT: unknown error"));

  // JSON faults read as the library's message, without its prefix or the echoed input.
  std::string reason;
  GuardEntry([] { ParseUntrustedJson("{\"a\":1"); },
             [&](const CaughtFailure& caught) { reason = caught.JsonText(); });
  EXPECT_EQ(reason.rfind("parse error at line 1", 0), 0u) << reason;
  EXPECT_EQ(reason.find("[json.exception"), std::string::npos) << reason;

  // Void bodies: the handler runs once, after the body's own lines.
  int handled = 0;
  GuardEntry(
      [] {
        LogInfo("step one");
        throw std::logic_error("step two");
      },
      [&](const CaughtFailure& caught) {
        ++handled;
        LogEntryFailure("Method m failed: ", caught);
      });
  EXPECT_EQ(handled, 1);
  EXPECT_TRUE(LoggedInOrder(capture, {"step one", "Method m failed: step two"}));
}

}  // namespace
