// Error objects: every failure travels as an instance of Exception or a class derived
// from it, raised with RaiseError and taken by C++ catch clauses in written order (the
// first clause whose class is the object's class or one of its parents wins).
//
// A handler passes the object it holds on unchanged, with its first raise position, by
// ReRaise(); raising a new object inside a handler destroys the one being handled as the
// new one leaves the body.

#ifndef QUILLPACK_FAILURES_ERROR_OBJECTS_H_
#define QUILLPACK_FAILURES_ERROR_OBJECTS_H_

#include <cstdint>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>

#include "failures/object.h"

namespace quillpack {

// One argument of a format text: a text for %s, a number for %d and %x, a code position
// for %p.
class FormatArgument {
 public:
  enum class Kind { kText, kNumber, kPosition };

  FormatArgument(std::string_view text) : kind_(Kind::kText), text_(text) {}
  FormatArgument(const char* text) : kind_(Kind::kText), text_(text) {}
  FormatArgument(const std::string& text) : kind_(Kind::kText), text_(text) {}
  FormatArgument(int32_t number) : kind_(Kind::kNumber), number_(number) {}
  FormatArgument(int64_t number) : kind_(Kind::kNumber), number_(number) {}
  FormatArgument(const void* position)
      : kind_(Kind::kPosition),
        number_(static_cast<int64_t>(reinterpret_cast<uintptr_t>(position))) {}

  Kind kind() const { return kind_; }
  std::string_view text() const { return text_; }
  int64_t number() const { return number_; }

 private:
  Kind kind_;
  std::string_view text_;
  int64_t number_ = 0;
};

// Fills a format text: %s a text, %d a signed decimal number, %x an upper-case hexadecimal
// number without leading zeros, %p a position as exactly 8 upper-case hexadecimal digits,
// %% a percent sign. Arguments are taken in order; a missing one fills nothing.
std::string FormatText(std::string_view format, std::initializer_list<FormatArgument> arguments);

class Exception : public TObject {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  Exception(std::string_view format, std::initializer_list<FormatArgument> arguments)
      : message_(FormatText(format, arguments)) {}

  const char* ClassName() const override { return "Exception"; }

  const std::string& Message() const { return message_; }
  int32_t HelpContext() const { return helpContext_; }
  void SetHelpContext(int32_t context) { helpContext_ = context; }

  // The code position just behind the raise; null until the object is raised.
  const void* RaisePosition() const { return raisePosition_; }
  void SetRaisePosition(const void* position) { raisePosition_ = position; }

 private:
  std::string message_;
  int32_t helpContext_ = 0;
  const void* raisePosition_ = nullptr;
};

#define QUILLPACK_ERROR_CLASS(Name, Parent)                  \
  class Name : public Parent {                               \
   public:                                                   \
    using Parent::Parent;                                    \
    const char* ClassName() const override { return #Name; } \
  }

// The tool's own messages.
QUILLPACK_ERROR_CLASS(myException, Exception);
// Misuse of a string list.
QUILLPACK_ERROR_CLASS(EStringListError, Exception);

// File and console failures, with the failure code that caused them.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int32_t failureCode)
      : Exception(std::move(message)), failureCode_(failureCode) {}
  const char* ClassName() const override { return "EInOutError"; }
  int32_t FailureCode() const { return failureCode_; }

 private:
  int32_t failureCode_;
};

// Memory and machine faults; the tool never raises these itself.
QUILLPACK_ERROR_CLASS(EHeapException, Exception);
QUILLPACK_ERROR_CLASS(EInvalidPointer, EHeapException);
QUILLPACK_ERROR_CLASS(EExternal, Exception);
QUILLPACK_ERROR_CLASS(EDivByZero, EExternal);
QUILLPACK_ERROR_CLASS(ERangeError, EExternal);
QUILLPACK_ERROR_CLASS(EIntOverflow, EExternal);
QUILLPACK_ERROR_CLASS(EInvalidOp, EExternal);
QUILLPACK_ERROR_CLASS(EZeroDivide, EExternal);
QUILLPACK_ERROR_CLASS(EOverflow, EExternal);
QUILLPACK_ERROR_CLASS(EUnderflow, EExternal);
QUILLPACK_ERROR_CLASS(EAccessViolation, EExternal);
QUILLPACK_ERROR_CLASS(EPrivilege, EExternal);
QUILLPACK_ERROR_CLASS(EStackOverflow, EExternal);
QUILLPACK_ERROR_CLASS(EControlC, EExternal);
QUILLPACK_ERROR_CLASS(EExternalException, EExternal);

#undef QUILLPACK_ERROR_CLASS

// Memory exhaustion. It is also a std::bad_alloc, so that a failed allocation may throw
// it where the language expects that class.
class EOutOfMemory : public EHeapException, public std::bad_alloc {
 public:
  using EHeapException::EHeapException;
  const char* ClassName() const override { return "EOutOfMemory"; }
  const char* what() const noexcept override { return "Out of memory"; }
};

// The object made in advance for memory exhaustion: its message fits the string's own
// storage, so raising a copy of it needs no memory from the heap.
const EOutOfMemory& OutOfMemoryError();

// Raises `error`, recording the position just behind the call as its raise position.
template <typename Error>
[[noreturn, gnu::noinline]] void RaiseError(Error error) {
  error.SetRaisePosition(__builtin_extract_return_addr(__builtin_return_address(0)));
  throw error;
}

// Inside a handler: passes the object being handled on, unchanged.
[[noreturn]] inline void ReRaise() {
  throw;
}

}  // namespace quillpack

#endif  // QUILLPACK_FAILURES_ERROR_OBJECTS_H_
