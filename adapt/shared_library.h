#pragma once

namespace loopsmith::adapt {

// A shared library opened the first time a file needs it. Decoders, the
// resampler and the beat tracker pull in much of a media framework; linked
// in, they would be loaded and relocated at every start of the command line,
// which is most of a plain conversion's time.
class SharedLibrary {
 public:
  // Opens `soname` (RTLD_LOCAL: its symbols stay out of the program's).
  explicit SharedLibrary(const char* soname);
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  // Kept open: function pointers taken from it live as long as the process.
  ~SharedLibrary() = default;

  bool loaded() const { return m_handle != nullptr; }

  // Points `function` at the library's symbol of that name; false if it has none.
  template <typename Function>
  bool Find(Function*& function, const char* symbol) const {
    function = reinterpret_cast<Function*>(Symbol(symbol));
    return function != nullptr;
  }

 private:
  void* Symbol(const char* symbol) const;

  void* m_handle = nullptr;
};

}  // namespace loopsmith::adapt
