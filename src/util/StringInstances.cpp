// The one copy of std::string that StringInstances.h declares.
#include "util/StringInstances.h"

template class std::__cxx11::basic_string<char>;
template std::__cxx11::basic_string<char>::basic_string(const char*, const std::allocator<char>&);
template void std::__cxx11::basic_string<char>::_M_construct<const char*>(const char*, const char*,
                                                                          std::forward_iterator_tag);
