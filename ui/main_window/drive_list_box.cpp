#include "drive_list_box.h"

#include "platform/volumes.h"

namespace {

QString displayText(const QString &root, const QString &label)
{
    return label.isEmpty() ? root : root + QStringLiteral(" [") + label + QLatin1Char(']');
}

} // namespace

DriveListBox::DriveListBox(VolumeSource &volumes, QWidget *parent)
    : QComboBox(parent), volumes_(volumes)
{
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (onChange)
            onChange();
    });
}

QString DriveListBox::drive() const
{
    return currentData().toString();
}

void DriveListBox::setDrive(const QString &root)
{
    int index = findData(root);
    if (index < 0) {
        addItem(root, root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

void DriveListBox::refresh()
{
    const QString chosen = drive();
    const QSignalBlocker quiet(this);
    clear();
    for (const Volume &volume : volumes_.volumes())
        addItem(displayText(volume.root, volume.label), volume.root);
    const int index = findData(chosen.isEmpty() ? systemVolume() : chosen);
    setCurrentIndex(index < 0 ? 0 : index);
}
