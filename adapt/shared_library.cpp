#include "adapt/shared_library.h"

#include <dlfcn.h>

namespace loopsmith::adapt {

SharedLibrary::SharedLibrary(const char* soname)
    : m_handle(::dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {}

void* SharedLibrary::Symbol(const char* symbol) const {
  return m_handle == nullptr ? nullptr : ::dlsym(m_handle, symbol);
}

}  // namespace loopsmith::adapt
