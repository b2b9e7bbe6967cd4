// Times one listing run made through the main window (shown, repainting as it walks) against the
// same run made by the engine with no window at all, on the same tree, interleaved, best of 3;
// then, given a large directory, how long the window takes to show it in its lists, best of 3.
//   lystora-bench-window SOURCE_DIR [LARGE_DIR]
// Prints "ratio window=X" (window time / engine time) and "open LARGE_DIR: N files in T ms".

#include "engine/engines.h"
#include "engine/fs_lists.h"
#include "platform/settings_backend.h"
#include "platform/volumes.h"
#include "settings/registry.h"
#include "ui/forms.h"
#include "ui/main_window/dir_list_box.h"
#include "ui/main_window/file_list_box.h"
#include "ui/main_window/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct NoStore : SettingsBackend {
    QString readValue(int, const QString &, const QString &) override { return QString(); }
    int writeValue(int, const QString &, const QString &, const QString &) override { return 0; }
    QString location(const QString &) const override { return QString(); }
    StoreProblem problem() const override { return {}; }
};

ListingSettings benchSettings()
{
    ListingSettings s;
    s.ListingType = 2;
    s.HTML = true;
    s.DownAllow = true;
    s.BaseUrl = QStringLiteral("http://h/");
    s.AutoUpdate = true;
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_DIR [LARGE_DIR]\n", argv[0]);
        return 2;
    }
    const QByteArray source = argv[1];
    QTemporaryDir out;

    ListingSettings windowSettings = benchSettings();
    NoStore store;
    Registry registry(store);
    const auto volumes = makeVolumeSource();
    ProgramServices services{&windowSettings, &registry, volumes.get(), nullptr, nullptr};
    Forms forms(services);
    Form1 &form = forms.form1();
    form.show();
    form.Dir1->setPath(source);
    form.Dir2->setPath(QFile::encodeName(out.path()));
    form.Text4->setText(QStringLiteral("list.htm"));
    QApplication::processEvents();

    ListingSettings engineSettings = benchSettings();
    QuietListingWindow window(QFile::encodeName(out.path()), QStringLiteral("list.htm"));
    FsDirectoryReader reader;
    FsDirList dir1(reader);
    FsFileList file1(reader);
    dir1.onChange = [&] { file1.setPath(dir1.path()); };
    dir1.setPath(source);
    Engines engines(engineSettings, window.listingHost(dir1, file1));

    qint64 bestWindow = -1;
    qint64 bestEngine = -1;
    const auto best = [](qint64 &bestSoFar, qint64 time) {
        bestSoFar = bestSoFar < 0 ? time : std::min(bestSoFar, time);
    };
    for (int round = 0; round < 4; ++round) { // the first round warms the caches
        QElapsedTimer timer;
        timer.start();
        engines.Command1_Click();
        const qint64 engineTime = timer.nsecsElapsed();
        timer.start();
        form.Command1_Click();
        const qint64 windowTime = timer.nsecsElapsed();
        QApplication::processEvents();
        if (round > 0) {
            best(bestEngine, engineTime);
            best(bestWindow, windowTime);
        }
    }
    std::printf("engine %lld ms, window %lld ms\n", bestEngine / 1000000, bestWindow / 1000000);
    std::printf("ratio window=%.2f\n", double(bestWindow) / double(bestEngine));
    if (argc == 3) {
        qint64 bestOpen = -1;
        for (int round = 0; round < 4; ++round) {
            form.Dir1->setPath(source);
            form.Dir1->refreshDisplay();
            form.File1->refreshDisplay();
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            form.Dir1->setPath(argv[2]);
            form.Dir1->refreshDisplay();
            form.File1->refreshDisplay();
            form.File1->repaint();
            const qint64 openTime = timer.nsecsElapsed();
            if (round > 0)
                best(bestOpen, openTime);
        }
        std::printf("open %s: %d files in %lld ms\n", argv[2], form.File1->fileCount(),
                    bestOpen / 1000000);
    }
    return 0;
}
