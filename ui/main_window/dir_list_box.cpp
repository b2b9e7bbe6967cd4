#include "dir_list_box.h"

#include "platform/lossless_text.h"

#include <QKeyEvent>
#include <QStyle>
#include <QTimer>

namespace {

constexpr int kPathRole = Qt::UserRole;

QTreeWidgetItem *addItem(QTreeWidgetItem *parent, QTreeWidget *tree, const QByteArray &path,
                         const QString &text, const QIcon &icon)
{
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, text);
    item->setIcon(0, icon);
    item->setData(0, kPathRole, path);
    return item;
}

} // namespace

DirListBox::DirListBox(FsDirectoryReader &reader, QWidget *parent)
    : QTreeWidget(parent), dirs_(reader)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { open(item); });
    dirs_.onChange = [this] {
        if (!displayStale_) {
            displayStale_ = true;
            QTimer::singleShot(0, this, &DirListBox::refreshDisplay);
        }
        if (onChange)
            onChange();
    };
}

void DirListBox::setPath(const QByteArray &path)
{
    dirs_.setPath(path);
}

void DirListBox::refreshDisplay()
{
    if (!displayStale_)
        return;
    displayStale_ = false;
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QByteArray current = dirs_.path();
    // A long path shows as blank rows in so narrow a list: the whole of it on hovering.
    setToolTip(losslessText(current));

    QTreeWidgetItem *parent = addItem(nullptr, this, "/", QStringLiteral("/"), openIcon);
    qsizetype start = 1;
    while (start < current.size()) {
        qsizetype slash = current.indexOf('/', start);
        if (slash < 0)
            slash = current.size();
        parent = addItem(parent, this, current.left(slash),
                         QString::fromUtf8(current.mid(start, slash - start)), openIcon);
        start = slash + 1;
    }
    const NameList &names = dirs_.subDirNames();
    for (int i = 0; i < names.size(); ++i)
        addItem(parent, this, childPath(current, names.bytes(i)), names.text(i), closedIcon);
    expandAll();
    setCurrentItem(parent);
    scrollToItem(parent);
}

void DirListBox::open(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QByteArray previous = dirs_.path();
    const QByteArray wanted = item->data(0, kPathRole).toByteArray();
    setPath(wanted);
    if (const int error = dirs_.readError()) {
        setPath(previous);
        emit openFailed(wanted, error);
    }
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
