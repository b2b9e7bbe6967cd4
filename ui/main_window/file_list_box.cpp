#include "file_list_box.h"

#include <QTimer>

void FileNamesModel::show(std::shared_ptr<const DirListing> listing)
{
    beginResetModel();
    listing_ = std::move(listing);
    endResetModel();
}

QByteArray FileNamesModel::bytes(int row) const
{
    return listing_ && row >= 0 && row < listing_->files.size() ? listing_->files.bytes(row)
                                                                : QByteArray();
}

int FileNamesModel::rowCount(const QModelIndex &parent) const
{
    return listing_ && !parent.isValid() ? listing_->files.size() : 0;
}

QVariant FileNamesModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    return listing_->files.text(index.row());
}

FileListBox::FileListBox(FsDirectoryReader &reader, QWidget *parent)
    : QListView(parent), files_(reader), names_(this)
{
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(&names_);
    connect(this, &QListView::doubleClicked, this, &FileListBox::fileDoubleClicked);
}

void FileListBox::setPath(const QByteArray &path)
{
    files_.setPath(path);
    displayChanged();
}

void FileListBox::setPattern(const QString &pattern)
{
    files_.setPattern(pattern);
    displayChanged();
}

void FileListBox::displayChanged()
{
    if (displayStale_)
        return;
    displayStale_ = true;
    QTimer::singleShot(0, this, &FileListBox::refreshDisplay);
}

QByteArray FileListBox::selectedName() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? names_.bytes(current.row())
                                                                      : QByteArray();
}

QString FileListBox::shownText(int row) const
{
    return names_.data(names_.index(row), Qt::DisplayRole).toString();
}

void FileListBox::selectRow(int row)
{
    setCurrentIndex(names_.index(row));
}

void FileListBox::refreshDisplay()
{
    if (!displayStale_)
        return;
    displayStale_ = false;
    names_.show(files_.current());
}
