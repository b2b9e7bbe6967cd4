#pragma once

#include "engine/fs_lists.h"

#include <QListWidget>

// The list of the files of a directory that match the pattern: the engine's file-system file
// list shown as a widget. Like the directory list, its contents follow at once and its display
// when the event loop next runs or refreshDisplay() is called.
class FileListBox : public QListWidget, public SourceFileList
{
    Q_OBJECT

public:
    FileListBox(FsDirectoryReader &reader, QWidget *parent);

    QByteArray path() const { return files_.path(); }
    void setPath(const QByteArray &path);
    QString pattern() const { return files_.pattern(); }
    void setPattern(const QString &pattern);

    int fileCount() override { return files_.fileCount(); }
    ListedName fileName(int k) override { return files_.fileName(k); }
    int fileStat(int k, FileStat *stat) override { return files_.fileStat(k, stat); }
    int openFile(int k) override { return files_.openFile(k); }
    void setOrder(const ListOrder &order) override { files_.setOrder(order); }

    // The selected file's name as the file system holds it; empty when none is selected.
    QByteArray selectedName() const;

    void refreshDisplay();

private:
    void displayChanged();

    FsFileList files_;
    bool displayStale_ = false;
};
