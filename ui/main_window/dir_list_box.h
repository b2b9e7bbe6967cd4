#pragma once

#include "engine/fs_lists.h"

#include <QTreeWidget>

// A classic directory list: the current directory's ancestors from the root down, each indented
// under the one before, then the current directory's sub-directories; a double click or Enter
// opens one. It is the file-system directory list of the engine shown as a widget: setting its
// path moves the list at once (the change handler runs before setPath returns), while the
// display follows when the event loop next runs, or when refreshDisplay() is called (a run does
// so, throttled, since it holds the event loop).
class DirListBox : public QTreeWidget, public SourceDirList
{
    Q_OBJECT

public:
    DirListBox(FsDirectoryReader &reader, QWidget *parent);

    // The change handler (Dir1_Change, say).
    std::function<void()> onChange;

    QByteArray path() const override { return dirs_.path(); }
    void setPath(const QByteArray &path) override;
    int subDirCount() override { return dirs_.subDirCount(); }
    QByteArray subDirPath(int i) override { return dirs_.subDirPath(i); }
    int readError() override { return dirs_.readError(); }
    int identity(DirIdentity *identity) override { return dirs_.identity(identity); }
    void readAhead(FileDetails details) override { dirs_.readAhead(details); }
    void release() override { dirs_.release(); }
    void setOrder(const ListOrder &order) override { dirs_.setOrder(order); }

    void refreshDisplay();

signals:
    // A directory the user opened could not be read; the list stayed where it was.
    void openFailed(const QByteArray &path, int error);

private:
    void open(QTreeWidgetItem *item);
    void keyPressEvent(QKeyEvent *event) override;
    // No expand or collapse marks: every shown level is open, as the indentation says.
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}

    FsDirList dirs_;
    bool displayStale_ = false;
};
