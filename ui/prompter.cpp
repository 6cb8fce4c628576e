// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/prompter.h"

#include <QtGlobal>

namespace {
Prompter *g_prompter = nullptr;
}

Prompter &prompter()
{
    Q_ASSERT(g_prompter);
    return *g_prompter;
}

void setPrompter(Prompter *p)
{
    g_prompter = p;
}
