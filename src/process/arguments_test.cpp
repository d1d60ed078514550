#include "process/arguments.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quillpack {
namespace {

using Arguments = std::vector<std::string>;

constexpr std::string_view kProgram = "quillpack.exe";

// The line with every byte outside printable ASCII written as \xNN, for failure messages.
std::string Shown(std::string_view line) {
  std::string shown;
  for (char c : line) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte > 32 && byte < 127) {
      shown += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    }
  }
  return '[' + shown + ']';
}

// The arguments after the program name, read one index at a time as the option parser does.
Arguments SplitAfterProgram(std::string_view line, const platform::LeadByteSet& leadBytes = {}) {
  Arguments arguments;
  int32_t count = CountArguments(line, leadBytes);
  for (int32_t i = 1; i <= count; ++i)
    arguments.push_back(ArgumentOf(line, i, leadBytes));
  return arguments;
}

platform::LeadByteSet ShiftJisLeadBytes() {
  platform::LeadByteSet leadBytes;
  for (std::size_t byte = 0x81; byte <= 0x9F; ++byte)
    leadBytes.set(byte);
  for (std::size_t byte = 0xE0; byte <= 0xFC; ++byte)
    leadBytes.set(byte);
  return leadBytes;
}

TEST(ArgumentOf, QuotingSamples) {
  struct Case {
    std::string_view rest;
    Arguments arguments;
  };
  const Case cases[] = {
      {R"(-merge "C:\My Files\*.txt" out.txt)", {"-merge", R"(C:\My Files\*.txt)", "out.txt"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"(x""y)", {"xy"}},
      {R"("" x)", {"x"}},
      {R"("""" x)", {"x"}},
      {R"(""" x)", {" x"}},
      {R"("abc def)", {"abc def"}},
      {R"("a\" b)", {R"(a\)", "b"}},
      {"-merge\tin\tout", {"-merge", "in", "out"}},
      {R"(-merge ")", {"-merge"}},
      {"  \r\n-extract \x01pack.txt\x1F dir  ", {"-extract", "pack.txt", "dir"}},
      {R"(" lead and trail " x)", {" lead and trail ", "x"}},
      {R"(a\\"b\"c)", {R"(a\\b\c)"}},
  };
  for (const Case& c : cases) {
    std::string line = std::string(kProgram) + ' ' + std::string(c.rest);
    EXPECT_EQ(SplitAfterProgram(line), c.arguments) << Shown(line);
    EXPECT_EQ(ArgumentOf(line, 0), kProgram) << Shown(line);
  }
}

TEST(ArgumentOf, EmptyAndBlankLinesHoldNothing) {
  for (std::string_view line : {"", " ", " \t\r\n ", "\x01\x1F\x20", "\"\"", " \"\" \"\"\t"}) {
    EXPECT_EQ(CountArguments(line), 0) << Shown(line);
    EXPECT_EQ(ArgumentOf(line, 0), "") << Shown(line);
    EXPECT_EQ(ArgumentOf(line, 1), "") << Shown(line);
  }
  EXPECT_EQ(CountArguments(kProgram), 0);
  EXPECT_EQ(CountArguments("quillpack.exe \t "), 0);
}

TEST(ArgumentOf, IndexOutsideTheLineGivesEmptyText) {
  const std::string_view line = "quillpack.exe -merge in out";
  ASSERT_EQ(CountArguments(line), 3);
  EXPECT_EQ(ArgumentOf(line, 3), "out");
  for (int32_t index : {4, 1000, INT32_MAX, -1, INT32_MIN}) {
    EXPECT_EQ(ArgumentOf(line, index), "") << index;
  }
}

TEST(ArgumentOf, QuotedProgramNameIsOneElement) {
  const std::string_view line = R"("C:\Program Files\Quill Pack\quillpack.exe" -merge a b)";
  EXPECT_EQ(CountArguments(line), 3);
  EXPECT_EQ(ArgumentOf(line, 0), R"(C:\Program Files\Quill Pack\quillpack.exe)");
  EXPECT_EQ(SplitAfterProgram(line), (Arguments{"-merge", "a", "b"}));
}

TEST(ArgumentOf, HighBytesAreOrdinary) {
  std::string high;
  for (int byte = 128; byte <= 255; ++byte)
    high += static_cast<char>(byte);
  const std::string line = "p \t" + high + "  \"" + high + " x\" ";
  EXPECT_EQ(SplitAfterProgram(line), (Arguments{high, high + " x"})) << Shown(line);
}

TEST(ArgumentOf, DoubleByteCharacterIsSteppedOverWhole) {
  struct Case {
    std::string_view line;
    Arguments withLeadBytes;
    Arguments singleByte;
  };
  const Case cases[] = {
      // The trail byte is a quote: it neither opens nor closes a run.
      {"p a\x95\"b c",
       {"a\x95\"b", "c"},
       {"a\x95"
        "b c"}},
      {"p \"a\x95\" b\" c", {"a\x95\" b", "c"}, {"a\x95", "b c"}},
      // The trail byte is a space or a tab: it does not separate.
      {"p a\x95 b", {"a\x95 b"}, {"a\x95", "b"}},
      {"p \x95\t\x95\tx", {"\x95\t\x95\tx"}, {"\x95", "\x95", "x"}},
      // A lead byte at the end, or before the NUL, stands alone.
      {"p a\x95", {"a\x95"}, {"a\x95"}},
      {std::string_view("p a\x95\0b", 6), {"a\x95"}, {"a\x95"}},
      // A byte outside the set is single even when the set is in use.
      {"p \xA0\"x y\"", {"\xA0x y"}, {"\xA0x y"}},
  };
  const platform::LeadByteSet leadBytes = ShiftJisLeadBytes();
  for (const Case& c : cases) {
    EXPECT_EQ(SplitAfterProgram(c.line, leadBytes), c.withLeadBytes) << Shown(c.line);
    EXPECT_EQ(SplitAfterProgram(c.line), c.singleByte) << Shown(c.line);
  }
}

TEST(ArgumentOf, NulEndsTheLine) {
  struct Case {
    std::string_view line;
    Arguments arguments;
  };
  const Case cases[] = {
      {std::string_view("p a\0b c", 7), {"a"}},
      {std::string_view("p \"a\0b\" c", 9), {"a"}},
      {std::string_view("p a \0 b", 7), {"a"}},
      {std::string_view("\0p a", 4), {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SplitAfterProgram(c.line), c.arguments) << Shown(c.line);
}

TEST(TakeArgument, StopsAtSeparatorOrEnd) {
  struct Case {
    std::string_view line;
    std::size_t position;
    std::string_view argument;
    std::size_t next;
  };
  const Case cases[] = {
      {"  ab  cd", 0, "ab", 4},   {"  ab  cd", 4, "cd", 8},
      {"  ab  cd", 8, "", 8},     {"\"a b\"c d", 0, "a bc", 6},
      {"\"a b\" d", 0, "a b", 5}, {"x \"\"", 1, "", 4},
      {"x \"", 1, "", 3},         {"ab cd", 1, "b", 2},
      {"ab", 9, "", 9},           {std::string_view("a \0b", 4), 1, "", 2},
  };
  for (const Case& c : cases) {
    TakenArgument taken = TakeArgument(c.line, c.position);
    EXPECT_EQ(taken.argument, c.argument) << Shown(c.line) << " at " << c.position;
    EXPECT_EQ(taken.next, c.next) << Shown(c.line) << " at " << c.position;
  }
}

// Random lines over the bytes that matter: the count must agree with indexed access, and
// without quotes the arguments must hold every byte of the line except the separators.
TEST(ArgumentOf, CountMatchesIndexedArgumentsOnRandomLines) {
  const std::string_view alphabet("a\\ \t\"\"\x95\xE9\x01Z\0", 11);
  std::mt19937 random(20240607);
  const platform::LeadByteSet leadSets[] = {{}, ShiftJisLeadBytes()};
  for (int round = 0; round < 4000; ++round) {
    std::string line(random() % 24, ' ');
    for (char& c : line)
      c = alphabet[random() % alphabet.size()];
    const platform::LeadByteSet& leadBytes = leadSets[round % 2];
    int32_t nonEmpty = 0;
    while (!ArgumentOf(line, nonEmpty + 1, leadBytes).empty())
      ++nonEmpty;
    ASSERT_EQ(CountArguments(line, leadBytes), nonEmpty) << Shown(line);
    if (round % 2 != 0 || line.find('"') != std::string::npos) continue;
    std::string joined;
    std::string expected;
    for (int32_t i = 0; i <= nonEmpty; ++i)
      joined += ArgumentOf(line, i);
    for (char c : line.substr(0, line.find('\0'))) {
      if (static_cast<unsigned char>(c) > 32) expected += c;
    }
    ASSERT_EQ(joined, expected) << Shown(line);
  }
}

TEST(ArgumentAt, ProcessArguments) {
  int32_t count = ArgumentCount();
  EXPECT_GE(count, 0);
  EXPECT_NE(ArgumentAt(0), "");
  EXPECT_EQ(ArgumentAt(0), platform::ModuleFileName());
  for (int32_t i = 1; i <= count; ++i)
    EXPECT_NE(ArgumentAt(i), "") << i;
  EXPECT_EQ(ArgumentAt(-1), "");
  EXPECT_EQ(ArgumentAt(count + 1), "");
  EXPECT_EQ(ArgumentAt(INT32_MIN), "");
}

}  // namespace
}  // namespace quillpack
