// The root of the runtime's class tree.

#ifndef QUILLPACK_FAILURES_OBJECT_H_
#define QUILLPACK_FAILURES_OBJECT_H_

namespace quillpack {

class TObject {
 public:
  virtual ~TObject() = default;

  // The class's own name, as reports print it.
  virtual const char* ClassName() const { return "TObject"; }
};

}  // namespace quillpack

#endif  // QUILLPACK_FAILURES_OBJECT_H_
