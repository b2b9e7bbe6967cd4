#include "form2.h"

#include "engine/product.h"
#include "settings/listing_settings.h"
#include "ui/forms.h"
#include "ui/language/captions.h"
#include "ui/main_window/form1.h"
#include "ui/widgets/caption_fit.h"
#include "ui/widgets/classic_font.h"
#include "ui/widgets/design_geometry.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>

Form2::Form2(Forms &forms) : QDialog(nullptr), forms_(forms)
{
    setWindowTitle(designCaption(Caption::Form2_Title).arg(shortProductName()));
    // A small tool window: a close box and nothing else.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(classicDialogFont());
    setFixedSize(scaled(0, 0, 346, 130).size());

    Label2 = new QLabel(designCaption(Caption::Form2_Label2), this);
    Label2->setGeometry(scaled(8, 32, 113, 17));
    Label3 = new QLabel(homePageAddress(), this);
    Label3->setGeometry(scaled(168, 32, 169, 17));
    // Blue on a light window; under a dark palette, the palette's own link colour, which is
    // made to be read on it.
    QPalette link = Label3->palette();
    const bool dark = link.color(QPalette::Window).lightness() < 128;
    link.setColor(QPalette::WindowText, dark ? link.color(QPalette::Link) : QColor(0, 0, 255));
    if (dark && link.color(QPalette::Link).lightness() < 128)
        link.setColor(QPalette::WindowText, QColor(0x80, 0xb0, 0xff));
    Label3->setPalette(link);
    // Underline alone: the windows' family and size still reach the label.
    QFont underlined;
    underlined.setUnderline(true);
    Label3->setFont(underlined);
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);
    Label4 = new QLabel(designCaption(Caption::Form2_Label4), this);
    Label4->setGeometry(scaled(8, 56, 81, 17));
    Label4->setFont(underlined);
    Label5 = new QLabel(designCaption(Caption::Form2_Label5), this);
    Label5->setGeometry(scaled(8, 80, 329, 49));
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QRect Form2::scaled(int left, int top, int width, int height) const
{
    return designRect(this, left, top, width, height);
}

void Form2::Form_Load()
{
    centreOnScreen(this);
    const int langue = forms_.settings().Langue;
    setWindowTitle(caption(Caption::Form2_Title, langue).arg(productName()));
    Label2->setText(caption(Caption::Form2_Label2, langue));
    Label4->setText(caption(Caption::Form2_Label4_OwnLoad, langue));
    Label5->setText(caption(Caption::Form2_Label5, langue));
    fitCaption(Label2);
    fitCaption(Label4);
}

void Form2::applyCaptions(int langue)
{
    setWindowTitle(caption(Caption::Form2_Title, langue).arg(productName()));
    Label2->setText(caption(Caption::Form2_Label2, langue));
    Label4->setText(caption(Caption::Form2_Label4, langue));
    Label5->setText(caption(Caption::Form2_Label5, langue));
    fitCaption(Label2);
    fitCaption(Label4);
}

void Form2::Label3_Click()
{
    // The box stays open; whatever the shell makes of it shows nothing here.
    forms_.form1().ShellExecute(QString(), homePageAddress(), QString(), QString());
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label3_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Form2::closeEvent(QCloseEvent *event)
{
    forms_.forget(this);
    event->accept();
}
