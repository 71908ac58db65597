// What one full-screen update costs the view's picture, step by step, with
// no server and no window: taking the pixels over from the decoder, scaling
// them to the window as before (a copy, then QImage's smooth scaling) and
// now (GridScaler, no copy, buffers reused), and drawing the result.
//
// bench_picture [WxH [window WxH [repetitions]]]   default 1920x1080 1280x720 200
#include "gridscaler.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace
{
double seconds(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Median wall and process CPU (all threads, Qt's pool included) per call.
void measure(const char *name, int repetitions, const std::function<void()> &step)
{
    std::vector<double> wall, cpu;
    step(); // warm caches and buffers
    for (int i = 0; i < repetitions; ++i) {
        const double w0 = seconds(CLOCK_MONOTONIC), c0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
        step();
        wall.push_back(seconds(CLOCK_MONOTONIC) - w0);
        cpu.push_back(seconds(CLOCK_PROCESS_CPUTIME_ID) - c0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    printf("%-44s wall %6.3f ms   CPU %6.3f ms\n", name, 1e3 * wall[wall.size() / 2], 1e3 * cpu[cpu.size() / 2]);
}

QSize parseSize(const char *text, QSize fallback)
{
    int w = 0, h = 0;
    return text && sscanf(text, "%dx%d", &w, &h) == 2 && w > 0 && h > 0 ? QSize(w, h) : fallback;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QSize desktop = parseSize(argc > 1 ? argv[1] : nullptr, QSize(1920, 1080));
    const QSize window = parseSize(argc > 2 ? argv[2] : nullptr, QSize(1280, 720));
    const int repetitions = argc > 3 ? std::max(1, atoi(argv[3])) : 200;
    const QSize fitted = desktop.scaled(window, Qt::KeepAspectRatio);

    QImage decoded(desktop, QImage::Format_RGB32);
    QRandomGenerator random(1);
    for (int y = 0; y < desktop.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(decoded.scanLine(y));
        for (int x = 0; x < desktop.width(); ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffff);
    }
    printf("desktop %dx%d, fitted into %dx%d, median of %d\n", desktop.width(), desktop.height(),
           fitted.width(), fitted.height(), repetitions);

    QImage own(desktop, QImage::Format_RGB32);
    measure("own copy of the update (row by row)", repetitions, [&] {
        const size_t bytes = size_t(desktop.width()) * 4;
        for (int y = 0; y < desktop.height(); ++y)
            memcpy(own.scanLine(y), decoded.constScanLine(y), bytes);
    });

    measure("scaled before: copy, then QImage::scaled", repetitions, [&] {
        const QImage part = decoded.copy(-1, -1, desktop.width() + 2, desktop.height() + 2)
                                .scaled(fitted + QSize(1, 1), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        Q_UNUSED(part);
    });
    GridScaler scaler;
    QImage scaled;
    measure("scaled now: GridScaler, buffers reused", repetitions, [&] {
        scaler.setSizes(desktop, fitted);
        scaler.scale(own, QRect(QPoint(), fitted), scaled);
    });

    // The window's backing store stands in as an image of the window's size.
    QImage store(desktop, QImage::Format_RGB32);
    measure("draw 1:1 (desktop size)", repetitions, [&] {
        QPainter painter(&store);
        painter.drawImage(QPoint(), own);
    });
    measure("draw scaled (window size)", repetitions, [&] {
        QPainter painter(&store);
        painter.drawImage(QPoint(), scaled, QRect(QPoint(), fitted));
    });
    return 0;
}
