// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// C libraries loaded when first needed instead of being linked, so that a program at rest does
// not carry them: what this buys is memory and libraries while the program waits, not a faster
// start (FluidSynth, loaded at the first tune, is about 40 libraries and 4 MB). Each user lists
// the functions it calls, and gets all of them or none:
//
//   #define ZLIB_FUNCTIONS(X) X(compress) X(uncompress)
//   BRINDLE_RUNTIME_API(ZlibApi, ZLIB_FUNCTIONS)
//   static const ZlibApi zlib = loadRuntimeApi<ZlibApi>(QStringLiteral("z"), 1);
//   if (zlib.loaded) zlib.compress(...);
#include <QLibrary>

template<class Function>
bool resolveRuntimeFunction(QLibrary &library, const char *name, Function &target)
{
    target = reinterpret_cast<Function>(library.resolve(name));
    return target != nullptr;
}

#define BRINDLE_RUNTIME_POINTER(name) decltype(&::name) name = nullptr;
#define BRINDLE_RUNTIME_RESOLVE(name)                                                              \
    complete = resolveRuntimeFunction(library, #name, name) && complete;

// A struct with one pointer per listed function, typed as the function's declaration.
#define BRINDLE_RUNTIME_API(Api, FUNCTIONS)                                                        \
    struct Api {                                                                                   \
        FUNCTIONS(BRINDLE_RUNTIME_POINTER)                                                         \
        bool loaded = false;                                                                       \
        void resolve(QLibrary &library)                                                            \
        {                                                                                          \
            bool complete = true;                                                                  \
            FUNCTIONS(BRINDLE_RUNTIME_RESOLVE)                                                     \
            loaded = complete;                                                                     \
        }                                                                                          \
    };

// Loads the library for the rest of the run (QLibrary never unloads it by itself) and resolves
// the API; `loaded` stays false when the library or any function is missing.
template<class Api>
Api loadRuntimeApi(const QString &name, int version, QLibrary::LoadHints hints = {})
{
    Api api;
    QLibrary library(name, version);
    library.setLoadHints(hints);
    if (library.load())
        api.resolve(library);
    return api;
}
