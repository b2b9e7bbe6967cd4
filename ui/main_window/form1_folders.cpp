// The main window's ways to a folder besides its lists: typed or pasted in the standard dialog,
// dropped from the file manager, taken from the recent ones; and after a run, the list and the
// target folder opened.

#include "form1.h"

#include "dir_list_box.h"
#include "engine/engines.h"
#include "engine/product.h"
#include "platform/lossless_text.h"
#include "settings/registry.h"
#include "settings/stored_values.h"
#include "ui/form_controls.h"
#include "ui/forms.h"
#include "ui/language/window_texts.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

namespace {

constexpr int kRecentFolders = 5;

QString recentName(bool target, int i)
{
    return (target ? QStringLiteral("RecentTarget") : QStringLiteral("RecentSource")) +
           QString::number(i + 1);
}

QStringList storedRecent(Registry &registry, bool target)
{
    QStringList folders;
    for (int i = 0; i < kRecentFolders; ++i) {
        registry.ReadRegValue(kSettingsRoot, FormatsKey(), recentName(target, i));
        if (!registry.RegValue.isEmpty() && !folders.contains(registry.RegValue))
            folders << registry.RegValue;
    }
    return folders;
}

QString withoutMnemonic(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("&(?!&)"))).remove(QStringLiteral("..."));
}

// The local folder a drop brings (a file gives its folder), or "".
QString droppedFolder(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls()[0].isLocalFile())
        return QString();
    const QFileInfo dropped(data->urls()[0].toLocalFile());
    if (dropped.isDir())
        return dropped.absoluteFilePath();
    return dropped.isFile() ? dropped.absolutePath() : QString();
}

} // namespace

void Form1::createFolderMenus()
{
    QAction *separator = mnuFile->insertSeparator(mnuQuit);
    mnuChooseSource = new QAction(mnuFile);
    mnuChooseSource->setShortcut(QKeySequence::Open);
    connect(mnuChooseSource, &QAction::triggered, this, &Form1::mnuChooseSource_Click);
    mnuChooseTarget = new QAction(mnuFile);
    connect(mnuChooseTarget, &QAction::triggered, this, &Form1::mnuChooseTarget_Click);
    mnuRecentSources = new QMenu(mnuFile);
    mnuRecentTargets = new QMenu(mnuFile);
    mnuOpenList = new QAction(mnuFile);
    connect(mnuOpenList, &QAction::triggered, this, &Form1::mnuOpenList_Click);
    mnuOpenTarget = new QAction(mnuFile);
    connect(mnuOpenTarget, &QAction::triggered, this, &Form1::mnuOpenTarget_Click);
    mnuFile->insertActions(separator, {mnuChooseSource, mnuChooseTarget});
    mnuFile->insertMenu(separator, mnuRecentSources);
    mnuFile->insertMenu(separator, mnuRecentTargets);
    mnuFile->insertSeparator(separator);
    mnuFile->insertActions(separator, {mnuOpenList, mnuOpenTarget});
    mnuOpenList->setEnabled(false); // until a run writes a list
    // Read as the menu opens: what another run stored meanwhile is there too.
    connect(mnuFile, &QMenu::aboutToShow, this, &Form1::fillRecentMenus);
    applyFolderCaptions(1); // the window is designed in French
    setAcceptDrops(true);
    chooseFolder = [this](const QString &title, const QString &start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
}

void Form1::applyFolderCaptions(int langue)
{
    mnuChooseSource->setText(windowText(WindowText::ChooseSource, langue));
    mnuChooseTarget->setText(windowText(WindowText::ChooseTarget, langue));
    mnuRecentSources->setTitle(windowText(WindowText::RecentSources, langue));
    mnuRecentTargets->setTitle(windowText(WindowText::RecentTargets, langue));
    mnuOpenList->setText(windowText(WindowText::OpenList, langue));
    mnuOpenTarget->setText(windowText(WindowText::OpenTarget, langue));
}

void Form1::fillRecentMenus()
{
    for (const bool target : {false, true}) {
        QMenu *menu = target ? mnuRecentTargets : mnuRecentSources;
        menu->clear();
        for (const QString &folder : storedRecent(registry_, target)) {
            QString shown = folder;
            menu->addAction(shown.replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                            [this, target, folder] { goToFolder(target, losslessBytes(folder)); });
        }
        menu->setEnabled(!menu->isEmpty());
    }
}

void Form1::rememberFolder(bool target, const QByteArray &path)
{
    QStringList folders = storedRecent(registry_, target);
    const QString folder = losslessText(path);
    if (!folders.isEmpty() && folders.front() == folder)
        return; // as it is: nothing to write
    folders.removeAll(folder);
    folders.prepend(folder);
    for (int i = 0; i < kRecentFolders; ++i)
        registry_.WriteRegValue(kSettingsRoot, FormatsKey(), recentName(target, i),
                                i < folders.size() ? folders[i] : QString());
}

bool Form1::goToFolder(bool target, const QByteArray &wanted)
{
    if (engines_->running() || wanted.isEmpty())
        return false;
    const QByteArray path = nearestDirectory(wanted);
    FormControls controls(forms_);
    const Side side = target ? Side::Target : Side::Source;
    if (!controls.setDrive(side, controls.volumeHolding(path))) {
        MsgBox(windowText(WindowText::DeviceUnavailable, settings_.Langue), kStyleCritical,
               shortProductName());
        return false;
    }
    controls.setDirPath(side, path);
    rememberFolder(target, path);
    return true;
}

void Form1::chooseFolderFor(bool target)
{
    const QString chosen = chooseFolder(
        withoutMnemonic(windowText(target ? WindowText::ChooseTarget : WindowText::ChooseSource,
                                   settings_.Langue)),
        losslessText((target ? Dir2 : Dir1)->path()));
    if (!chosen.isEmpty())
        goToFolder(target, losslessBytes(chosen));
}

void Form1::mnuChooseSource_Click()
{
    chooseFolderFor(false);
}

void Form1::mnuChooseTarget_Click()
{
    chooseFolderFor(true);
}

void Form1::mnuOpenList_Click()
{
    if (!lastListPath_.isEmpty())
        ShellExecute(QString(), lastListPath_, QString(), QString());
}

void Form1::mnuOpenTarget_Click()
{
    ShellExecute(QString(), losslessText(Dir2->path()), QString(), QString());
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!engines_->running() && !droppedFolder(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    const QString folder = droppedFolder(event->mimeData());
    if (folder.isEmpty())
        return;
    const QPoint at = Frame2->mapFrom(this, event->position().toPoint());
    if (goToFolder(Frame2->rect().contains(at), losslessBytes(folder)))
        event->acceptProposedAction();
}
