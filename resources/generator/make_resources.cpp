// Draws Shakelog's artwork and writes its alarm sound. Run by scripts/make-resources; the
// outputs are committed, so a normal build never runs this.
//
//   make_resources RESOURCES_DIR   writes RESOURCES_DIR/images/*.png, icons/hicolor/*/apps/*.png
//                                  and sounds/alarm.wav
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kGlyph(0x30, 0x36, 0x40);  // toolbar glyphs: dark slate on a light toolbar
const QColor kAlert(0xd0, 0x20, 0x20);

bool saveImage(const QString &dir, const QString &name, int width, int height,
               const std::function<void(QPainter &)> &draw) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return image.save(QDir(dir).filePath(name), "PNG");
}

void speaker(QPainter &p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    QPainterPath body;
    body.moveTo(8, 18);
    body.lineTo(16, 18);
    body.lineTo(27, 8);
    body.lineTo(27, 40);
    body.lineTo(16, 30);
    body.lineTo(8, 30);
    body.closeSubpath();
    p.drawPath(body);
}

void toolbarIcons(const QString &dir) {
    saveImage(dir, "forward.png", 48, 48, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGlyph);
        p.drawPolygon(QPolygonF({{14, 8}, {40, 24}, {14, 40}}));
    });
    saveImage(dir, "pause.png", 48, 48, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGlyph);
        p.drawRoundedRect(QRectF(12, 9, 9, 30), 2, 2);
        p.drawRoundedRect(QRectF(27, 9, 9, 30), 2, 2);
    });
    saveImage(dir, "sound.png", 48, 48, [](QPainter &p) {
        speaker(p);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kGlyph, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(22, 14, 14, 20), -50 * 16, 100 * 16);
        p.drawArc(QRectF(22, 8, 22, 32), -50 * 16, 100 * 16);
    });
    saveImage(dir, "ban.png", 48, 48, [](QPainter &p) {
        speaker(p);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kAlert, 4));
        p.drawEllipse(QRectF(4, 4, 40, 40));
        p.drawLine(QPointF(10, 10), QPointF(38, 38));
    });
    saveImage(dir, "info.png", 48, 48, [](QPainter &p) {
        p.setPen(QPen(kGlyph, 3));
        p.drawEllipse(QRectF(6, 6, 36, 36));
        p.setPen(Qt::NoPen);
        p.setBrush(kGlyph);
        p.drawEllipse(QRectF(21, 12, 6, 6));
        p.drawRoundedRect(QRectF(21, 21, 6, 15), 2, 2);
    });
    saveImage(dir, "spectrum.png", 48, 48, [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGlyph);
        const int heights[] = {10, 24, 34, 18, 12, 6};
        for (int i = 0; i < 6; ++i) {
            p.drawRect(QRectF(6 + i * 6.3, 42 - heights[i], 4.5, heights[i]));
        }
    });
    saveImage(dir, "share.png", 48, 48, [](QPainter &p) {
        p.setPen(QPen(kGlyph, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({{16, 20}, {10, 20}, {10, 42}, {38, 42}, {38, 20}, {32, 20}}));
        p.drawLine(QPointF(24, 6), QPointF(24, 30));
        p.drawPolyline(QPolygonF({{16, 13}, {24, 5}, {32, 13}}));
    });
    saveImage(dir, "config.png", 48, 48, [](QPainter &p) {
        p.setPen(QPen(kGlyph, 3, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 3; ++i) {
            const qreal y = 12 + i * 12;
            p.drawLine(QPointF(6, y), QPointF(42, y));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(kGlyph);
        const qreal knobs[] = {30, 14, 24};
        for (int i = 0; i < 3; ++i) {
            p.drawEllipse(QPointF(knobs[i], 12 + i * 12), 5, 5);
        }
    });
}

// Needles rest at the right end of each strip and point left at the newest value.
void needles(const QString &dir) {
    const struct {
        const char *name;
        QColor colour;
    } kinds[] = {{"needle_x.png", QColor(0xc0, 0x30, 0x30)},
                 {"needle_y.png", QColor(0x2a, 0x8a, 0x3a)},
                 {"needle_z.png", QColor(0x2a, 0x4a, 0xc0)}};
    for (const auto &kind : kinds) {
        saveImage(dir, kind.name, 30, 16, [&kind](QPainter &p) {
            p.setPen(QPen(kind.colour.darker(140), 1));
            p.setBrush(kind.colour);
            QPainterPath needle;
            needle.moveTo(1, 8);
            needle.lineTo(14, 2);
            needle.lineTo(29, 2);
            needle.lineTo(29, 14);
            needle.lineTo(14, 14);
            needle.closeSubpath();
            p.drawPath(needle);
        });
    }
}

// Drawn on a 128-unit grid and scaled, so that every size is the same picture.
void drawApplicationIcon(QPainter &p, int size) {
    const double scale = size / 128.0;
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x3f, 0x8f));
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 24, 24);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(14, 28, 100, 72), 6, 6);
    QPainterPath trace;
    trace.moveTo(18, 64);
    for (int x = 0; x <= 92; ++x) {
        const double t = x / 92.0;
        const double envelope = std::exp(-std::pow((t - 0.45) / 0.18, 2));
        const double wiggle = std::sin(t * 60.0) * 0.7 + std::sin(t * 23.0) * 0.3;
        trace.lineTo(18 + x, 64 - 30 * envelope * wiggle);
    }
    p.setBrush(Qt::NoBrush);
    // Scaled down, the trace would thin to a grey haze: at least 1.5 pixels wide.
    const double width = std::max(3.0, 1.5 / scale);
    p.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);
}

void applicationIcon(const QString &dir) {
    saveImage(dir, "shakelog.png", 128, 128, [](QPainter &p) { drawApplicationIcon(p, 128); });
}

// The desktop's icon theme sizes (freedesktop hicolor), installed by the package under the
// application's identifier. Committed rather than drawn at build time: a cross build cannot run
// the generator it builds.
bool desktopIcons(const QString &dir) {
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        if (!QDir().mkpath(folder) ||
            !saveImage(folder, "org.example.shakelog.Shakelog.png", size, size,
                       [size](QPainter &p) { drawApplicationIcon(p, size); })) {
            return false;
        }
    }
    return true;
}

// A clear two-tone beep pair, 16-bit mono PCM at 22050 Hz, about 0.4 s.
bool alarmSound(const QString &path) {
    const int rate = 22050;
    QVector<qint16> samples;
    const auto tone = [&](double hz, double seconds) {
        const int n = int(seconds * rate);
        const int fade = rate / 200;  // 5 ms ramps: no clicks
        for (int i = 0; i < n; ++i) {
            const double ramp = std::min({1.0, double(i) / fade, double(n - 1 - i) / fade});
            samples.append(
                qint16(std::lround(0.6 * 32767 * ramp * std::sin(2 * M_PI * hz * i / rate))));
        }
    };
    const auto silence = [&](double seconds) {
        samples.append(QVector<qint16>(int(seconds * rate), 0));
    };
    tone(1760, 0.12);
    silence(0.04);
    tone(1320, 0.12);
    silence(0.12);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 dataBytes = quint32(samples.size() * 2);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << dataBytes;
    for (qint16 s : samples) {
        out << s;
    }
    return out.status() == QDataStream::Ok;
}

}  // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_resources RESOURCES_DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    const QString images = root.filePath("images");
    QDir().mkpath(images);
    QDir().mkpath(root.filePath("sounds"));
    toolbarIcons(images);
    needles(images);
    applicationIcon(images);
    if (!desktopIcons(root.filePath("icons/hicolor"))) {
        std::fprintf(stderr, "make_resources: cannot write the desktop icons\n");
        return 1;
    }
    if (!alarmSound(root.filePath("sounds/alarm.wav"))) {
        std::fprintf(stderr, "make_resources: cannot write the alarm sound\n");
        return 1;
    }
    return 0;
}
