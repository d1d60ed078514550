// The hidden name of a new file the tool writes beside the one it is for, before the new
// file takes that name; kept apart from the backends so that its tests run on every host.

#ifndef QUILLPACK_PLATFORM_TEMPORARY_NAME_H_
#define QUILLPACK_PLATFORM_TEMPORARY_NAME_H_

#include <cstdint>
#include <string>

namespace quillpack::platform {

// ".quillpack-" and eight lower-case hexadecimal digits drawn from every bit of `seed`:
// hidden, and recognisable as the tool's own to whoever finds one left by a power cut.
// The backends seed it with the process, the moment and the attempt, so that names rarely
// meet; an exclusive create settles the rest.
std::string TemporaryFileName(uint64_t seed);

}  // namespace quillpack::platform

#endif  // QUILLPACK_PLATFORM_TEMPORARY_NAME_H_
