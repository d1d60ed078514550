#include "failures/error_objects.h"

#include <gtest/gtest.h>

#include <string>

namespace quillpack {
namespace {

TEST(ErrorObjects, ClassNamesAndParents) {
  EXPECT_STREQ(myException("m").ClassName(), "myException");
  EXPECT_STREQ(EInOutError("m", 5).ClassName(), "EInOutError");
  EXPECT_STREQ(EStringListError("m").ClassName(), "EStringListError");
  EXPECT_STREQ(EAccessViolation("m").ClassName(), "EAccessViolation");
  EXPECT_STREQ(OutOfMemoryError().ClassName(), "EOutOfMemory");
  EXPECT_EQ(OutOfMemoryError().Message(), "Out of memory");
  const Exception& asParent = EDivByZero("m");
  EXPECT_NE(dynamic_cast<const EExternal*>(&asParent), nullptr);
  EXPECT_EQ(dynamic_cast<const EHeapException*>(&asParent), nullptr);
}

TEST(ErrorObjects, ReRaiseKeepsTheFirstRaisePosition) {
  const void* first = nullptr;
  const void* passedOn = nullptr;
  try {
    try {
      RaiseError(myException("Operation Cancelled."));
    } catch (myException& error) {
      first = error.RaisePosition();
      ReRaise();
    }
  } catch (Exception& error) {
    passedOn = error.RaisePosition();
    EXPECT_EQ(error.Message(), "Operation Cancelled.");
  }
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(first, passedOn);
}

TEST(ErrorObjects, OutOfMemoryIsABadAlloc) {
  try {
    RaiseError(OutOfMemoryError());
  } catch (const std::bad_alloc& error) {
    EXPECT_STREQ(error.what(), "Out of memory");
  }
}

TEST(FormatText, Conversions) {
  struct Case {
    const char* format;
    std::string expected;
    std::string result;
  };
  const void* position = reinterpret_cast<const void*>(uintptr_t{0xABCDEF});
  const Case cases[] = {
      {"I/O error %d", "I/O error 32", FormatText("I/O error %d", {32})},
      {"negative", "I/O error -7", FormatText("I/O error %d", {-7})},
      {"%s", "File a.txt does not exist.", FormatText("File %s does not exist.", {"a.txt"})},
      {"%x", "FF 0", FormatText("%x %x", {255, 0})},
      {"%p", "00ABCDEF", FormatText("%p", {position})},
      {"%%", "100%", FormatText("100%%", {})},
      {"missing argument", "a  b", FormatText("a %s b", {})},
      {"unknown conversion", "%q", FormatText("%q", {1})},
      {"List index", "List index out of bounds (-1)",
       FormatText("List index out of bounds (%d)", {-1})},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.result, c.expected) << c.format;
}

TEST(ErrorObjects, FormatConstructor) {
  myException error("Exception %s in module %s at %p.",
                    {"EInOutError", "quillpack", reinterpret_cast<const void*>(0x1234)});
  EXPECT_EQ(error.Message(), "Exception EInOutError in module quillpack at 00001234.");
  EXPECT_EQ(error.HelpContext(), 0);
}

}  // namespace
}  // namespace quillpack
