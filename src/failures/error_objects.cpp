#include "failures/error_objects.h"

namespace quillpack {
namespace {

void AppendHex(uint64_t value, int minimumDigits, std::string* out) {
  char digits[17];
  int n = 0;
  do {
    digits[n++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (n < minimumDigits)
    digits[n++] = '0';
  while (n > 0)
    out->push_back(digits[--n]);
}

void AppendArgument(char conversion, const FormatArgument& argument, std::string* out) {
  switch (conversion) {
    case 's':
      out->append(argument.text());
      break;
    case 'd':
      out->append(std::to_string(argument.number()));
      break;
    case 'x':
      AppendHex(static_cast<uint64_t>(argument.number()), 1, out);
      break;
    case 'p':
      AppendHex(static_cast<uint64_t>(argument.number()) & 0xFFFFFFFFu, 8, out);
      break;
  }
}

}  // namespace

std::string FormatText(std::string_view format, std::initializer_list<FormatArgument> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 == format.size()) {
      out.push_back(c);
      continue;
    }
    char conversion = format[++i];
    if (conversion == '%') {
      out.push_back('%');
    } else if (conversion == 's' || conversion == 'd' || conversion == 'x' || conversion == 'p') {
      if (next != arguments.end()) AppendArgument(conversion, *next++, &out);
    } else {
      out.push_back('%');
      out.push_back(conversion);
    }
  }
  return out;
}

const EOutOfMemory& OutOfMemoryError() {
  static const EOutOfMemory kMadeInAdvance("Out of memory");
  return kMadeInAdvance;
}

}  // namespace quillpack
