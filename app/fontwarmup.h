// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <thread>

// Start-up runs on one thread, and the first caption the main window lays out makes Qt set up
// fontconfig: parse its configuration and map its caches, a good part of start-up on a
// desktop with many fonts. This does that on a second thread while the application connects
// to the display, so the main thread finds it done: without it, the first paint came 1.8 ms
// later (bench/startup --peer-build). The result is fontconfig's process-wide configuration
// and one family name; nothing of Qt is touched from the second thread.
class FontConfigWarmUp {
public:
    FontConfigWarmUp();
    ~FontConfigWarmUp();
    FontConfigWarmUp(const FontConfigWarmUp &) = delete;
    FontConfigWarmUp &operator=(const FontConfigWarmUp &) = delete;

    // Returns once the warm-up has ended. Call before the first text is laid out: fontconfig
    // would otherwise set itself up twice, once on each thread.
    void wait();

    // The family fontconfig prefers for Japanese sans-serif text, in UTF-8; empty when there
    // is none. Valid after wait().
    const std::string &japaneseFamily() const { return m_japaneseFamily; }

private:
    std::string m_japaneseFamily;
    std::thread m_thread;
};
