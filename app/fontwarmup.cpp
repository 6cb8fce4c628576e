// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fontwarmup.h"

#include <fontconfig/fontconfig.h>

namespace {

std::string preferredFamily(const char *name)
{
    std::string family;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name));
    if (!pattern)
        return family;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern *match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8 *value = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch && value)
            family = reinterpret_cast<const char *>(value);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

void warmUp(std::string *japaneseFamily)
{
    if (!FcInit())
        return;
    // Matching also maps the cache files Qt's font database reads next.
    *japaneseFamily = preferredFamily("sans-serif:lang=ja");
}

} // namespace

FontConfigWarmUp::FontConfigWarmUp()
    : m_thread(warmUp, &m_japaneseFamily)
{
}

FontConfigWarmUp::~FontConfigWarmUp()
{
    wait();
}

void FontConfigWarmUp::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
