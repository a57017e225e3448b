// What happens when an exception escapes where nothing can catch it. The C++
// runtime's own handler prints the exception's type to the standard error
// stream, which a control's host does not have, and brings a symbol
// demangler with it, some 70 KB of the library. Ending the process as
// std::abort() does is all that is left to do either way.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
