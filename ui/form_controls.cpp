#include "form_controls.h"

#include "forms.h"
#include "main_window/dir_list_box.h"
#include "main_window/drive_list_box.h"
#include "main_window/file_list_box.h"
#include "main_window/form1.h"
#include "options/frm_options.h"
#include "platform/lossless_text.h"
#include "platform/volumes.h"

#include <QLineEdit>
#include <QRadioButton>

void FormControls::centreMainWindow()
{
    forms_.form1().centre();
}

void FormControls::installTrayIcon()
{
    forms_.form1().installTrayIcon();
}

bool FormControls::setDrive(Side side, const QString &root)
{
    if (!forms_.volumes().isReady(root))
        return false;
    drives(side)->setDrive(root);
    return true;
}

QString FormControls::volumeHolding(const QByteArray &path)
{
    QString best = systemVolume();
    const QString wanted = losslessText(path);
    for (const Volume &volume : forms_.volumes().volumes()) {
        const QString root = volume.root;
        const bool holds =
            wanted == root ||
            wanted.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

QByteArray FormControls::dirPath(Side side)
{
    return dirs(side)->path();
}

void FormControls::setDirPath(Side side, const QByteArray &path)
{
    dirs(side)->setPath(path);
}

QString FormControls::fileName()
{
    return forms_.form1().Text4->text();
}

void FormControls::setFileName(const QString &name)
{
    forms_.form1().Text4->setText(name);
}

QString FormControls::filePattern()
{
    return forms_.form1().File1->pattern();
}

void FormControls::setFilePattern(const QString &pattern)
{
    forms_.form1().File1->setPattern(pattern);
}

int FormControls::check(OptionsCheck box)
{
    return frmOptions::value(forms_.window<frmOptions>().check(box));
}

void FormControls::setCheck(OptionsCheck box, int value)
{
    frmOptions::setValue(forms_.window<frmOptions>().check(box), value);
}

bool FormControls::optionSelected(OptionArray array, int index)
{
    QRadioButton *option = button(array, index);
    return option && option->isChecked();
}

void FormControls::selectOption(OptionArray array, int index)
{
    if (QRadioButton *option = button(array, index))
        option->setChecked(true);
}

QString FormControls::text(OptionsText box)
{
    return forms_.window<frmOptions>().text(box)->text();
}

void FormControls::setText(OptionsText box, const QString &text)
{
    forms_.window<frmOptions>().text(box)->setText(text);
}

DriveListBox *FormControls::drives(Side side)
{
    return side == Side::Source ? forms_.form1().Drive1 : forms_.form1().Drive2;
}

DirListBox *FormControls::dirs(Side side)
{
    return side == Side::Source ? forms_.form1().Dir1 : forms_.form1().Dir2;
}

QRadioButton *FormControls::button(OptionArray array, int index)
{
    frmOptions &dialog = forms_.window<frmOptions>();
    switch (array) {
    case OptionArray::FileOption:
        return index >= 0 && index < 3 ? dialog.FileOption[index] : nullptr;
    case OptionArray::FileLg:
        return index >= 0 && index < 2 ? dialog.FileLg[index] : nullptr;
    case OptionArray::Language:
        return index >= 0 && index < 2 ? dialog.Language[index] : nullptr;
    }
    return nullptr;
}
