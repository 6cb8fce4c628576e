// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CHECK for the fuzz targets: a property that fails aborts, so libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition);           \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
