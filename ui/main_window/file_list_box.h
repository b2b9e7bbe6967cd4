#pragma once

#include "engine/fs_lists.h"

#include <QAbstractListModel>
#include <QListView>

#include <memory>

// The names a file list shows, straight from the directory's reading: a name is decoded only
// when it is drawn, so that a folder of a hundred thousand files shows at once.
class FileNamesModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void show(std::shared_ptr<const DirListing> listing);
    // The name of a row as the file system holds it.
    QByteArray bytes(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    std::shared_ptr<const DirListing> listing_;
};

// The list of the files of a directory that match the pattern: the engine's file-system file
// list shown as a widget. Like the directory list, its contents follow at once and its display
// when the event loop next runs or refreshDisplay() is called.
class FileListBox : public QListView, public SourceFileList
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
    ShortBytes coverName() override { return files_.coverName(); }
    ShortBytes coverVersion() override { return files_.coverVersion(); }
    void setOrder(const ListOrder &order) override { files_.setOrder(order); }

    // The selected file's name as the file system holds it; empty when none is selected.
    QByteArray selectedName() const;
    // Rows shown, and the text of one, as the user sees them.
    int shownCount() const { return names_.rowCount(); }
    QString shownText(int row) const;
    void selectRow(int row);

    void refreshDisplay();

signals:
    void fileDoubleClicked();

private:
    void displayChanged();

    FsFileList files_;
    FileNamesModel names_;
    bool displayStale_ = false;
};
