#include "file_list_box.h"

#include <QTimer>

namespace {

constexpr int kNameRole = Qt::UserRole;

} // namespace

FileListBox::FileListBox(FsDirectoryReader &reader, QWidget *parent)
    : QListWidget(parent), files_(reader)
{
    setUniformItemSizes(true);
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
    const QListWidgetItem *item = currentItem();
    return item && item->isSelected() ? item->data(kNameRole).toByteArray() : QByteArray();
}

void FileListBox::refreshDisplay()
{
    if (!displayStale_)
        return;
    displayStale_ = false;
    clear();
    const int count = files_.fileCount();
    for (int k = 0; k < count; ++k) {
        const ListedName name = files_.fileName(k);
        auto *item = new QListWidgetItem(name.text, this);
        item->setData(kNameRole, name.bytes);
    }
}
