// What an action raises, for tests of failures: the error object itself, or its message.

#ifndef QUILLPACK_SUPPORT_RAISED_H_
#define QUILLPACK_SUPPORT_RAISED_H_

#include <optional>
#include <string>

namespace quillpack::test_support {

// A copy of the error of class Error that `action` raises, or nothing when it raises none;
// an error of another class passes on.
template <typename Error, typename Action>
std::optional<Error> ErrorRaisedBy(Action action) {
  try {
    action();
  } catch (const Error& error) {
    return error;
  }
  return std::nullopt;
}

// The message of the error of class Error that `action` raises, or "" when it raises none.
template <typename Error, typename Action>
std::string MessageRaisedBy(Action action) {
  std::optional<Error> error = ErrorRaisedBy<Error>(action);
  return error ? error->Message() : std::string();
}

}  // namespace quillpack::test_support

#endif  // QUILLPACK_SUPPORT_RAISED_H_
