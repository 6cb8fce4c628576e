// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the media-command parser and interpreter. Not part of the normal build
// (scripts/fuzz builds it).
//
// Input: command texts separated by newlines; the first byte of each line chooses the reply
// buffer's size (0 to 31). The interpreter runs them against a device that keeps no sound.
// Checks, beyond not crashing: nothing is written past the reply buffer, a reply is NUL-ended
// within it, a failed command leaves it empty, and a parsed command's alias is never empty.
#include "fuzzcheck.h"
#include "scenes/mediadevice.h"
#include "scenes/mediainterpreter.h"
#include "scenes/mediaparser.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

class SilentDevice : public MediaDevice {
public:
    int open(const QString &path) override { return path.isEmpty() ? MediaError::BadFile : 0; }
    int play(bool) override { return m_mode = MediaMode::Playing, 0; }
    int stop() override { return m_mode = MediaMode::Stopped, 0; }
    MediaMode mode() override { return m_mode; }

private:
    MediaMode m_mode = MediaMode::Stopped;
};

QString aliasOf(const MediaCommand &command)
{
    return std::visit([](const auto &c) { return c.alias; }, command);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MediaCommandInterpreter interpreter(
        [] { return std::unique_ptr<MediaDevice>(std::make_unique<SilentDevice>()); });
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : input.split('\n')) {
        if (line.isEmpty())
            continue;
        const int replySize = static_cast<unsigned char>(line[0]) % 32;
        const QString text = QString::fromUtf8(line.mid(1));

        const MediaParse parsed = parseMediaCommand(text);
        if (parsed.ok())
            CHECK(!aliasOf(parsed.command).isEmpty());

        char buffer[48];
        std::memset(buffer, 0x5a, sizeof buffer);
        const int code = interpreter.sendString(text, replySize ? buffer : nullptr, replySize);
        for (size_t i = size_t(replySize); i < sizeof buffer; ++i)
            CHECK(buffer[i] == 0x5a);
        if (replySize > 0) {
            CHECK(std::memchr(buffer, 0, size_t(replySize)) != nullptr);
            if (code != 0)
                CHECK(buffer[0] == '\0');
        }
    }
    return 0;
}
