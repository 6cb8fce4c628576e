// SPDX-License-Identifier: GPL-3.0-or-later
// Checks the shipped pictures and the tune byte by byte: the program hands them to a browser
// view, the window icon and the MIDI player as they are, so their structure must be exactly
// what those expect (GIF89a with a 256-entry table and a loop extension, a BMP-style icon
// entry, a MIDI file whose notes all end inside a loop of 20 to 40 seconds).
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMovie>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

QByteArray readAsset(const char *relative)
{
    QFile f(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/") + QString::fromUtf8(relative));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(std::string("cannot open ") + relative);
    return f.readAll();
}

class Reader {
public:
    explicit Reader(const QByteArray &data)
        : m_data(data)
    {
    }

    uint8_t u8()
    {
        need(1);
        return static_cast<uint8_t>(m_data[m_pos++]);
    }
    uint16_t le16()
    {
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | (u8() << 8));
    }
    uint32_t le32()
    {
        const uint32_t lo = le16();
        return lo | (static_cast<uint32_t>(le16()) << 16);
    }
    uint16_t be16()
    {
        const uint16_t hi = u8();
        return static_cast<uint16_t>((hi << 8) | u8());
    }
    uint32_t be32()
    {
        const uint32_t hi = be16();
        return (hi << 16) | be16();
    }
    uint32_t vlq()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = u8();
            v = (v << 7) | (b & 0x7f);
            if (!(b & 0x80))
                return v;
        }
        throw std::runtime_error("variable-length quantity longer than 4 bytes");
    }
    QByteArray bytes(qsizetype n)
    {
        need(n);
        const QByteArray b = m_data.mid(m_pos, n);
        m_pos += n;
        return b;
    }
    void skip(qsizetype n)
    {
        need(n);
        m_pos += n;
    }
    qsizetype pos() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }

private:
    void need(qsizetype n) const
    {
        if (m_pos + n > m_data.size())
            throw std::runtime_error("unexpected end of data");
    }
    QByteArray m_data;
    qsizetype m_pos = 0;
};

struct GifInfo {
    QByteArray signature;
    int width = 0;
    int height = 0;
    int globalTableEntries = 0;
    bool netscapeLoop = false;
    int loopCount = -1;
    std::vector<int> delays; // hundredths of a second, one per frame that has a control block
    int frames = 0;
    bool framesCoverCanvas = true;
    bool trailer = false;
};

void skipSubBlocks(Reader &r)
{
    for (uint8_t len = r.u8(); len != 0; len = r.u8())
        r.skip(len);
}

GifInfo parseGif(const QByteArray &data)
{
    GifInfo g;
    Reader r(data);
    g.signature = r.bytes(6);
    g.width = r.le16();
    g.height = r.le16();
    const uint8_t packed = r.u8();
    r.skip(2);
    if (packed & 0x80) {
        g.globalTableEntries = 1 << ((packed & 7) + 1);
        r.skip(3 * g.globalTableEntries);
    }
    while (!r.atEnd()) {
        const uint8_t tag = r.u8();
        if (tag == 0x3b) {
            g.trailer = true;
            break;
        }
        if (tag == 0x21) {
            const uint8_t label = r.u8();
            if (label == 0xf9) {
                const uint8_t size = r.u8();
                if (size != 4)
                    throw std::runtime_error("bad graphic control block");
                r.u8();
                g.delays.push_back(r.le16());
                r.u8();
                skipSubBlocks(r);
            } else if (label == 0xff) {
                const uint8_t size = r.u8();
                const QByteArray app = r.bytes(size);
                if (app == "NETSCAPE2.0") {
                    const uint8_t len = r.u8();
                    if (len == 3 && r.u8() == 1) {
                        g.netscapeLoop = true;
                        g.loopCount = r.le16();
                    } else {
                        r.skip(len == 3 ? 2 : len);
                    }
                }
                skipSubBlocks(r);
            } else {
                skipSubBlocks(r);
            }
        } else if (tag == 0x2c) {
            const int left = r.le16();
            const int top = r.le16();
            const int w = r.le16();
            const int h = r.le16();
            const uint8_t ipacked = r.u8();
            if (left != 0 || top != 0 || w != g.width || h != g.height)
                g.framesCoverCanvas = false;
            if (ipacked & 0x80)
                r.skip(3 * (1 << ((ipacked & 7) + 1)));
            const uint8_t minCode = r.u8();
            if (minCode < 2 || minCode > 8)
                throw std::runtime_error("bad LZW code size");
            skipSubBlocks(r);
            ++g.frames;
        } else {
            throw std::runtime_error("unknown GIF block");
        }
    }
    return g;
}

struct GifExpectation {
    const char *path;
    int width;
    int height;
    std::vector<int> delays; // empty: a still picture
};

void checkGif(const GifExpectation &e)
{
    SCOPED_TRACE(e.path);
    const QByteArray data = readAsset(e.path);
    const GifInfo g = parseGif(data);
    EXPECT_EQ(g.signature, QByteArray("GIF89a"));
    EXPECT_EQ(g.width, e.width);
    EXPECT_EQ(g.height, e.height);
    EXPECT_EQ(g.globalTableEntries, 256);
    EXPECT_TRUE(g.trailer);
    EXPECT_TRUE(g.framesCoverCanvas);
    if (e.delays.empty()) {
        EXPECT_EQ(g.frames, 1);
    } else {
        EXPECT_EQ(g.frames, static_cast<int>(e.delays.size()));
        EXPECT_EQ(g.delays, e.delays);
        EXPECT_TRUE(g.netscapeLoop);
        EXPECT_EQ(g.loopCount, 0) << "0 means loop forever";
    }

    // Qt's own decoder must agree, since the program shows these through Qt.
    QImageReader reader(
        QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/") + QString::fromUtf8(e.path));
    EXPECT_EQ(reader.format(), QByteArray("gif"));
    const QImage first = reader.read();
    ASSERT_FALSE(first.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(first.size(), QSize(e.width, e.height));
    if (!e.delays.empty()) {
        QMovie movie(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/") + QString::fromUtf8(e.path));
        EXPECT_EQ(movie.frameCount(), static_cast<int>(e.delays.size()));
        EXPECT_EQ(movie.loopCount(), -1) << "Qt reports an endless loop as -1";
    }
}

} // namespace

TEST(AssetsTest, ButtonPicturesAreStill22PixelGifs)
{
    for (const char *p : { "buttons/Picture1.gif", "buttons/Picture7.gif", "buttons/Picture8.gif",
             "buttons/Picture10.gif" })
        checkGif({ p, 22, 22, {} });
}

TEST(AssetsTest, SceneAnimationsLoopForever)
{
    const GifInfo idle = parseGif(readAsset("★MailData/Yatai.gif"));
    // The idle pane is about 97 pixels square: the whole picture must fit.
    EXPECT_LE(idle.width, 97);
    EXPECT_LE(idle.height, 97);
    EXPECT_GE(idle.frames, 2);
    checkGif({ "★MailData/Yatai.gif", idle.width, idle.height,
        std::vector<int>(idle.delays.begin(), idle.delays.end()) });
    for (int d : idle.delays)
        EXPECT_GE(d, 2) << "browsers slow down delays below 2 hundredths";

    for (const char *p : { "★MailData/nande.gif", "★MailData/nande2.gif" }) {
        const GifInfo g = parseGif(readAsset(p));
        EXPECT_GE(g.frames, 4) << p;
        for (int d : g.delays)
            EXPECT_GE(d, 2) << p;
        checkGif({ p, 250, 200, g.delays });
    }
}

// The image dialog offers a choice between the two event scenes: they must not look alike. Each
// frame of one is compared with the frame at the same place in the other's loop.
TEST(AssetsTest, TheTwoEventScenesDifferInMostPixels)
{
    QImageReader first(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/★MailData/nande.gif"));
    QImageReader second(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/★MailData/nande2.gif"));
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(frame);
        const QImage a = first.read().convertToFormat(QImage::Format_RGB32);
        const QImage b = second.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(a.size(), b.size());
        qsizetype differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                differing += a.pixel(x, y) != b.pixel(x, y);
        EXPECT_GT(differing, a.width() * a.height() * 3 / 4);
    }
}

TEST(AssetsTest, PreviewsHaveTheirFramesAndDelays)
{
    checkGif({ "previews/Image1.gif", 250, 200, { 16, 8, 8, 16, 8 } });
    checkGif({ "previews/Image2.gif", 250, 200, std::vector<int>(14, 8) });
}

TEST(AssetsTest, GifParserRejectsTruncatedData)
{
    QByteArray data = readAsset("previews/Image1.gif");
    data.chop(data.size() / 2);
    EXPECT_THROW(parseGif(data), std::runtime_error);
}

TEST(AssetsTest, IconIsOneBmpStyle256ColourEntry)
{
    const QByteArray data = readAsset("icon/brindle.ico");
    Reader r(data);
    EXPECT_EQ(r.le16(), 0);
    EXPECT_EQ(r.le16(), 1) << "type 1: icon";
    ASSERT_EQ(r.le16(), 1) << "one image";
    EXPECT_EQ(r.u8(), 32);
    EXPECT_EQ(r.u8(), 32);
    EXPECT_EQ(r.u8(), 0) << "0 colours in the entry means 256";
    r.u8();
    EXPECT_EQ(r.le16(), 1) << "planes";
    EXPECT_EQ(r.le16(), 8) << "bits per pixel";
    const uint32_t bytes = r.le32();
    const uint32_t offset = r.le32();
    ASSERT_EQ(offset + bytes, static_cast<uint32_t>(data.size()));

    const QByteArray entry = data.mid(offset);
    ASSERT_FALSE(entry.startsWith("\x89PNG")) << "the entry must be a bitmap, not a PNG";
    Reader b(entry);
    EXPECT_EQ(b.le32(), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(b.le32(), 32u);
    EXPECT_EQ(b.le32(), 64u) << "height covers the colour bitmap and the mask";
    EXPECT_EQ(b.le16(), 1);
    EXPECT_EQ(b.le16(), 8);
    EXPECT_EQ(b.le32(), 0u) << "uncompressed";
    // Header, 256-entry palette, 32x32 bytes of pixels, 32 rows of a 4-byte 1-bit mask.
    EXPECT_EQ(bytes, 40u + 256 * 4 + 32 * 32 + 32 * 4);

    // The mask must actually make some of the corners transparent and keep the middle solid.
    const QByteArray mask = entry.right(32 * 4);
    int transparent = 0;
    for (char c : mask)
        for (int bit = 0; bit < 8; ++bit)
            transparent += (static_cast<uint8_t>(c) >> bit) & 1;
    EXPECT_GT(transparent, 0);
    EXPECT_LT(transparent, 32 * 32 / 2);

    QImageReader reader(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/icon/brindle.ico"));
    const QImage img = reader.read();
    ASSERT_FALSE(img.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(img.size(), QSize(32, 32));
    EXPECT_TRUE(img.hasAlphaChannel());
}

TEST(AssetsTest, PngIconCopyIs32PixelRgba)
{
    const QByteArray data = readAsset("icon/brindle.png");
    ASSERT_TRUE(data.startsWith("\x89PNG\r\n\x1a\n"));
    Reader r(data);
    r.skip(8);
    EXPECT_EQ(r.be32(), 13u);
    EXPECT_EQ(r.bytes(4), QByteArray("IHDR"));
    EXPECT_EQ(r.be32(), 32u);
    EXPECT_EQ(r.be32(), 32u);
    EXPECT_EQ(r.u8(), 8) << "bit depth";
    EXPECT_EQ(r.u8(), 6) << "colour type RGBA";

    // Same picture as the icon.
    QImage png(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/icon/brindle.png"));
    QImage ico(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/icon/brindle.ico"));
    ASSERT_FALSE(png.isNull());
    ASSERT_FALSE(ico.isNull());
    png = png.convertToFormat(QImage::Format_ARGB32);
    ico = ico.convertToFormat(QImage::Format_ARGB32);
    int differing = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb a = png.pixel(x, y);
            const QRgb b = ico.pixel(x, y);
            if (qAlpha(a) != qAlpha(b) || (qAlpha(a) != 0 && a != b))
                ++differing;
        }
    EXPECT_EQ(differing, 0);
}

// The icon theme's copies: whole multiples of 32 pixels are the picture enlarged pixel for pixel;
// the other sizes are averaged down, so they cover the same share of their square.
TEST(AssetsTest, ThemeIconsAreThePictureAtEachSize)
{
    const auto load = [](const QString &name) {
        return QImage(QString::fromUtf8(BRINDLE_SOURCE_DIR "/assets/icon/") + name)
            .convertToFormat(QImage::Format_ARGB32);
    };
    const auto coverage = [](const QImage &img) {
        double alpha = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                alpha += qAlpha(img.pixel(x, y)) / 255.0;
        return alpha / (img.width() * img.height());
    };
    const QImage icon = load(QStringLiteral("brindle.png"));
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        SCOPED_TRACE(size);
        const QImage png = load(QStringLiteral("brindle-%1.png").arg(size));
        ASSERT_EQ(png.size(), QSize(size, size));
        if (size % 32 != 0) {
            EXPECT_NEAR(coverage(png), coverage(icon), 0.01);
            continue;
        }
        int differing = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                differing += png.pixel(x, y) != icon.pixel(x * 32 / size, y * 32 / size);
        EXPECT_EQ(differing, 0);
    }
}

namespace {

struct MidiInfo {
    int format = -1;
    int division = 0;
    double seconds = 0;
    std::set<int> noteChannels; // 1-based
    int unbalanced = 0;
    bool offsBeforeEnd = true;
    std::set<int> programChannels;
    bool everyTrackEnds = true;
    uint64_t endTick = 0;
    uint64_t lastNoteTick = 0;
    uint64_t barTicks = 0; // from the time signature; 0 when there is none
};

MidiInfo parseMidi(const QByteArray &data)
{
    MidiInfo m;
    Reader r(data);
    if (r.bytes(4) != "MThd" || r.be32() != 6)
        throw std::runtime_error("bad MIDI header");
    m.format = r.be16();
    const int tracks = r.be16();
    m.division = r.be16();
    if (m.division & 0x8000)
        throw std::runtime_error("SMPTE timing not expected");

    std::map<uint64_t, uint32_t> tempos; // tick -> microseconds per quarter
    uint64_t lastTick = 0;
    std::vector<std::pair<uint64_t, int>> noteChanges; // tick, +1/-1 per (channel, note)
    std::map<int, int> open;
    for (int t = 0; t < tracks; ++t) {
        if (r.bytes(4) != "MTrk")
            throw std::runtime_error("bad track chunk");
        const uint32_t len = r.be32();
        const qsizetype end = r.pos() + len;
        uint64_t tick = 0;
        uint8_t status = 0;
        bool ended = false;
        while (r.pos() < end) {
            tick += r.vlq();
            uint8_t b = r.u8();
            if (b == 0xff) {
                const uint8_t type = r.u8();
                const uint32_t n = r.vlq();
                const QByteArray payload = r.bytes(n);
                if (type == 0x51 && n == 3)
                    tempos[tick] = (uint8_t(payload[0]) << 16) | (uint8_t(payload[1]) << 8)
                        | uint8_t(payload[2]);
                if (type == 0x58 && n == 4)
                    m.barTicks
                        = uint64_t(m.division) * 4 * uint8_t(payload[0]) >> uint8_t(payload[1]);
                if (type == 0x2f) {
                    ended = true;
                    lastTick = std::max(lastTick, tick);
                }
                continue;
            }
            if (b == 0xf0 || b == 0xf7) {
                r.skip(r.vlq());
                continue;
            }
            if (b & 0x80) {
                status = b;
                b = r.u8();
            } else if (!status) {
                throw std::runtime_error("running status without a status");
            }
            const int kind = status & 0xf0;
            const int channel = (status & 0x0f) + 1;
            const int data1 = b;
            const int data2 = (kind == 0xc0 || kind == 0xd0) ? 0 : r.u8();
            const int key = channel * 128 + data1;
            if (kind == 0x80 || kind == 0x90)
                m.lastNoteTick = std::max(m.lastNoteTick, tick);
            if (kind == 0xc0)
                m.programChannels.insert(channel);
            if (kind == 0x90 && data2 > 0) {
                m.noteChannels.insert(channel);
                ++open[key];
            } else if (kind == 0x80 || (kind == 0x90 && data2 == 0)) {
                if (open[key] <= 0)
                    ++m.unbalanced; // an off without an on
                else
                    --open[key];
            }
        }
        if (r.pos() != end || !ended)
            m.everyTrackEnds = false;
        lastTick = std::max(lastTick, tick);
    }
    for (const auto &[key, count] : open)
        m.unbalanced += count;

    if (tempos.empty() || tempos.begin()->first != 0)
        tempos[0] = 500000; // the MIDI default until the first tempo event
    double us = 0;
    for (auto it = tempos.begin(); it != tempos.end(); ++it) {
        const auto next = std::next(it);
        const uint64_t until = next == tempos.end() ? lastTick : std::min(next->first, lastTick);
        if (until > it->first)
            us += double(until - it->first) * it->second / m.division;
    }
    m.seconds = us / 1e6;
    m.endTick = lastTick;
    return m;
}

} // namespace

TEST(AssetsTest, TuneIsALoopOfTwentyToFortySecondsWithMelodyBassAndDrums)
{
    const QByteArray data = readAsset("Sound/Kouka.mid");
    const MidiInfo m = parseMidi(data);
    EXPECT_TRUE(m.format == 0 || m.format == 1);
    EXPECT_TRUE(m.everyTrackEnds) << "each track ends with its end-of-track event";
    EXPECT_GE(m.seconds, 20.0);
    EXPECT_LE(m.seconds, 40.0);
    EXPECT_GE(m.noteChannels.size(), 3u);
    EXPECT_TRUE(m.noteChannels.count(10)) << "drums on channel 10";
    EXPECT_EQ(m.unbalanced, 0) << "every note-on is ended by a note-off";
    for (int ch : m.noteChannels)
        if (ch != 10)
            EXPECT_TRUE(m.programChannels.count(ch)) << "channel " << ch << " picks its instrument";

    // The player restarts at tick 0 as soon as the file ends, so the end must fall on a bar
    // line and the music must run up to the last bar, or the loop stumbles.
    ASSERT_GT(m.barTicks, 0u) << "time signature";
    EXPECT_EQ(m.endTick % m.barTicks, 0u);
    EXPECT_GT(m.lastNoteTick + m.barTicks, m.endTick);
}

TEST(AssetsTest, MidiParserCountsHangingNotesAndTempo)
{
    // One track, 96 ticks per quarter, tempo 1 s per quarter, a note on channel 1 held
    // for 30 quarters and never released.
    QByteArray d("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14);
    QByteArray t;
    t += QByteArray("\x00\xff\x51\x03\x0f\x42\x40", 7);
    t += QByteArray("\x00\x90\x3c\x64", 4);
    t += QByteArray("\x96\x40\xff\x2f\x00", 5); // 22 * 128 + 64 = 2880 ticks = 30 quarters
    d += "MTrk";
    d += char(0) + QByteArray(1, 0) + QByteArray(1, 0) + QByteArray(1, char(t.size()));
    d += t;
    const MidiInfo m = parseMidi(d);
    EXPECT_NEAR(m.seconds, 30.0, 1e-9);
    EXPECT_EQ(m.unbalanced, 1);
    EXPECT_EQ(m.noteChannels, std::set<int>({ 1 }));
}
