#include "SdlLibrary.h"

#include <dlfcn.h>

namespace belvane {

std::unique_ptr<SdlLibrary> SdlLibrary::load(const char *fileName)
{
    void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return nullptr;
    }
    auto library = std::make_unique<SdlLibrary>();
    bool complete = true;
    // A handle's lookup covers the libraries it depends on, so SDL's own functions are found too.
#define BELVANE_SDL_RESOLVE(name)                                                                            \
    library->name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                             \
    complete = complete && library->name != nullptr;
    BELVANE_SDL_FUNCTIONS(BELVANE_SDL_RESOLVE)
#undef BELVANE_SDL_RESOLVE
    if (!complete) {
        ::dlclose(handle);
        return nullptr;
    }
    return library;
}

} // namespace belvane
