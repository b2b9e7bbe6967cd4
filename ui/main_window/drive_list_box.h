#pragma once

#include <QComboBox>

#include <functional>

class VolumeSource;

// The list of the mounted volumes ("drives"), the system volume "/" first.
class DriveListBox : public QComboBox
{
    Q_OBJECT

public:
    DriveListBox(VolumeSource &volumes, QWidget *parent);

    // The change handler (Drive1_Change, say): runs whenever the chosen volume changes, by the
    // user or from code.
    std::function<void()> onChange;

    // The chosen volume's root, as a drive's text ("/" for the system volume).
    QString drive() const;
    // Chooses the volume with this root, adding it to the list if it is not there.
    void setDrive(const QString &root);
    // The volumes again, as they are mounted now; the choice stays.
    void refresh();

private:
    VolumeSource &volumes_;
};
