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
#define BELVANE_SDL_RESOLVE(name)                                                                            \
    library->name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                             \
    complete = complete && library->name != nullptr;
    BELVANE_SDL_CORE_FUNCTIONS(BELVANE_SDL_RESOLVE)
#undef BELVANE_SDL_RESOLVE
    if (!complete) {
        ::dlclose(handle);
        return nullptr;
    }
    return library;
}

bool SdlLibrary::loadMixer(const char *fileName)
{
    if (hasMixer()) {
        return true;
    }
    void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return false;
    }
    SdlLibrary mixer;
    bool complete = true;
#define BELVANE_SDL_RESOLVE(name)                                                                            \
    mixer.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                                \
    complete = complete && mixer.name != nullptr;
    BELVANE_SDL_MIXER_FUNCTIONS(BELVANE_SDL_RESOLVE)
#undef BELVANE_SDL_RESOLVE
    if (!complete) {
        ::dlclose(handle);
        return false;
    }
#define BELVANE_SDL_TAKE(name) name = mixer.name;
    BELVANE_SDL_MIXER_FUNCTIONS(BELVANE_SDL_TAKE)
#undef BELVANE_SDL_TAKE
    return true;
}

} // namespace belvane
