// One out-of-line copy of std::string for the whole Windows build.
//
// In C++20 mode libstdc++ no longer declares its own explicit instantiation of
// std::string, so every object file compiled its own copies of the members it uses,
// and with them the library's error texts; the linker folds the code but not those
// texts, and inlines the rest at every call site. Force-included into the stub's
// objects (see CMakeLists.txt), this makes them call the one copy that
// StringInstances.cpp instantiates. The member templates that a string made from a
// literal goes through are named too: they are not part of the class instantiation.
#pragma once

#include <string>
#include <vector>

extern template class std::__cxx11::basic_string<char>;
extern template std::__cxx11::basic_string<char>::basic_string(const char*, const std::allocator<char>&);
extern template void std::__cxx11::basic_string<char>::_M_construct<const char*>(const char*, const char*,
                                                                                 std::forward_iterator_tag);
