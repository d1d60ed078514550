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

// The fault handler must end the process with the run error, never let it go on or end
// with status 0.
TEST(MachineFaults, AccessViolationEndsWithRunError216) {
  EXPECT_EXIT(
      {
        platform::InstallFaultHandler(
            [](int32_t runError, const void*) { platform::ExitProcessWith(runError); });
        // Not null: the undefined-behaviour checker would stop a null store first.
        volatile uintptr_t nowhere = 16;
        *reinterpret_cast<volatile int*>(nowhere) = 1;
      },
      ::testing::ExitedWithCode(216), "");
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
