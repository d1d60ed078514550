#include "process/process_end.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace quillpack {
namespace {

std::string Report(const Exception& error, const void* position = nullptr,
                   std::size_t capacity = kErrorReportCapacity) {
  char buffer[kErrorReportCapacity];
  std::size_t length = FormatErrorReport(error, position, buffer, capacity);
  EXPECT_EQ(length, std::string(buffer).size());
  return std::string(buffer, length);
}

// The second line of a report: the message with its end mark.
std::string MessageLine(const std::string& report) {
  std::size_t start = report.find("\r\n") + 2;
  return report.substr(start);
}

TEST(FormatErrorReport, EndMark) {
  struct Case {
    const char* message;
    const char* line;
  };
  const Case cases[] = {
      {"No files matched.", "No files matched.\r\n"},
      {"File not found", "File not found.\r\n"},
      {"I/O error 32", "I/O error 32.\r\n"},
      {"Stop!", "Stop!.\r\n"},
      {"", "\r\n"},
      {"...", "...\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageLine(Report(myException(c.message))), c.line) << c.message;
  }
}

TEST(FormatErrorReport, FirstLineNamesClassModuleAndOffset) {
  std::string report = Report(EInOutError("I/O error 105", 105));
  std::string prefix = "Exception EInOutError in module quillpack_tests";
  ASSERT_EQ(report.substr(0, prefix.size()), prefix) << report;
  std::size_t at = report.find(" at ");
  ASSERT_NE(at, std::string::npos);
  std::string offset = report.substr(at + 4, 8);
  EXPECT_EQ(offset.find_first_not_of("0123456789ABCDEF"), std::string::npos) << offset;
  EXPECT_EQ(report.substr(at + 12, 3), ".\r\n");
}

TEST(FormatErrorReport, OffsetIsWithinTheImage) {
  const void* position = reinterpret_cast<const void*>(&FormatErrorReport);
  std::string report = Report(myException("x"), position);
  std::size_t at = report.find(" at ");
  uintptr_t offset = std::stoul(report.substr(at + 4, 8), nullptr, 16);
  EXPECT_GT(offset, 0u);
  EXPECT_LT(offset, reinterpret_cast<uintptr_t>(position));
}

TEST(FormatErrorReport, CutAtCapacityLessOne) {
  std::string report = Report(myException(std::string(2000, 'm')));
  EXPECT_EQ(report.size(), kErrorReportCapacity - 1);
  EXPECT_EQ(report.back(), 'm');
  EXPECT_EQ(Report(myException("short"), nullptr, 10), "Exception");
}

TEST(FormatRunErrorReport, Template) {
  struct Case {
    int32_t number;
    uintptr_t position;
    std::string text;
  };
  const Case cases[] = {
      {217, 0x00ABCDEF, "Runtime error 217 at 00ABCDEF"},
      {216, 0, "Runtime error 216 at 00000000"},
      {5, 0x1234, "Runtime error   5 at 00001234"},
      {200, 0xFFFFFFFF, "Runtime error 200 at FFFFFFFF"},
  };
  for (const Case& c : cases) {
    char report[kRunErrorReportBytes];
    FormatRunErrorReport(c.number, c.position, report);
    EXPECT_EQ(std::string(report, sizeof report), c.text + '\0') << c.number;
  }
}

// The faults a tool's body may meet, each as a body of its own.
int32_t StoresNowhere() {
  // Not null: the undefined-behaviour checker would stop a null store first.
  volatile uintptr_t nowhere = 16;
  *reinterpret_cast<volatile int*>(nowhere) = 1;
  return 0;
}

[[gnu::no_sanitize("integer-divide-by-zero")]] int32_t DividesByZero() {
  volatile int32_t zero = 0;
  return 100 / zero;
}

// Far more than any stack that has a limit (8 MB on Linux, 1 MB on Windows, by default);
// a stack without one is not exhausted, and the run then ends normally.
constexpr int32_t kDeepestCall = 64 * 1024;

// Each call keeps a frame that the optimiser cannot drop, so that the stack runs out.
[[gnu::noinline]] int32_t Recurse(volatile char* above, int32_t depth) {
  volatile char frame[1024];
  frame[0] = above[0];
  frame[sizeof frame - 1] = 0;
  if (depth == kDeepestCall) return 0;
  return Recurse(frame, depth + 1) + frame[sizeof frame - 1];
}

int32_t OverflowsTheStack() {
  volatile char start[1] = {0};
  return Recurse(start, 0);
}

int32_t ExecutesATrap() {
  __builtin_trap();
}

// A machine fault ends the process with its run error, through the fault handler that the
// process installs: never a status of 0, and never a run that goes on. A stack without a
// limit cannot run over here: that run ends with 0 and proves nothing.
TEST(MachineFaults, EndWithTheirRunErrors) {
  struct Case {
    const char* fault;
    int32_t (*body)();
    int32_t status;
  };
  const Case cases[] = {
      {"access violation", &StoresNowhere, 216},
      {"division by zero", &DividesByZero, 200},
      {"stack overflow", &OverflowsTheStack, 202},
      {"other fault", &ExecutesATrap, 217},
  };
  static char program[] = "quillpack_tests";
  static char* argv[] = {program, nullptr};
  for (const Case& c : cases) {
    bool mayEndNormally = c.body == &OverflowsTheStack;
    auto endsAsExpected = [&](int exit) {
      return ::testing::ExitedWithCode(c.status)(exit) ||
             (mayEndNormally && ::testing::ExitedWithCode(0)(exit));
    };
    EXPECT_EXIT(RunProcess(1, argv, {c.body, nullptr}), endsAsExpected, "") << c.fault;
  }
}

int32_t AllocatesWithoutEnd() {
  // Far more than any machine has: the allocation fails at once.
  std::size_t huge = std::size_t{1} << 60;
  volatile char* block = new char[huge];
  block[0] = 1;
  return 0;
}

TEST(MachineFaults, MemoryExhaustionIsReportedAsAnErrorObject) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer ends such an allocation itself";
#endif
  static char program[] = "quillpack_tests";
  static char* argv[] = {program, nullptr};
  EXPECT_EXIT(RunProcess(1, argv, {&AllocatesWithoutEnd, nullptr}), ::testing::ExitedWithCode(1),
              "Exception EOutOfMemory in module quillpack_tests");
}

}  // namespace
}  // namespace quillpack
