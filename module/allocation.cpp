// The allocation functions of every plug-in module file. The modules carry
// their own copy of the C++ runtime, and that runtime's nothrow new calls
// its throwing new inside a try block: using it links the exception
// runtime, whose emergency pool is allocated when the module is loaded and
// never freed when a host unloads it. The modules throw nothing, so plain
// malloc and free serve, and a host may load and unload them for ever.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }
