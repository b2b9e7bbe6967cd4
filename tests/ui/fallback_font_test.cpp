// The windows on a machine without the font they were designed for (Liberation Sans hidden,
// DejaVu Sans in its place): every caption whole and clear of its neighbours, in both
// languages, at a size of at least 7 points.

#include "ui/about/form2.h"
#include "ui/forms.h"
#include "ui/main_window/form1.h"
#include "ui/options/frm_options.h"
#include "ui_fakes.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QtTest>

class FallbackFontTest : public QObject
{
    Q_OBJECT

    // Where the control's caption ends, left to right, on one line.
    static int captionEnd(QWidget *control, const QString &text)
    {
        const QFontMetrics metrics(control->font());
        int start = 0;
        if (auto *button = qobject_cast<QAbstractButton *>(control);
            qobject_cast<QCheckBox *>(control) || qobject_cast<QRadioButton *>(control)) {
            QStyleOptionButton option;
            option.initFrom(button);
            const bool check = qobject_cast<QCheckBox *>(control) != nullptr;
            start = control->style()
                        ->subElementRect(check ? QStyle::SE_CheckBoxIndicator
                                               : QStyle::SE_RadioButtonIndicator,
                                         &option, control)
                        .right() +
                    5;
        }
        return control->x() + start + metrics.horizontalAdvance(text);
    }

    static void checkWindow(QWidget *window, const QString &where)
    {
        for (QWidget *control : window->findChildren<QWidget *>()) {
            QString text;
            if (auto *button = qobject_cast<QAbstractButton *>(control))
                text = button->text().remove(QLatin1Char('&'));
            else if (auto *label = qobject_cast<QLabel *>(control))
                text = label->text();
            if (text.isEmpty() || qobject_cast<QPushButton *>(control))
                continue;
            const QString what = where + QStringLiteral(": ") + text;
            const QFontMetrics metrics(control->font());
            const bool wraps =
                control->height() >= 2 * metrics.lineSpacing() ||
                (qobject_cast<QLabel *>(control) && static_cast<QLabel *>(control)->wordWrap());
            if (wraps) {
                const QRect room(0, 0, control->width(), control->height());
                QVERIFY2(metrics.boundingRect(room, Qt::TextWordWrap, text).height() <=
                             control->height(),
                         qPrintable(what));
                continue;
            }
            const int end = captionEnd(control, text);
            QVERIFY2(end <= control->x() + control->width(), qPrintable(what + " is cut"));
            QVERIFY2(end <= control->parentWidget()->width(), qPrintable(what + " leaves"));
            for (QObject *object : control->parentWidget()->children()) {
                auto *other = qobject_cast<QWidget *>(object);
                if (!other || other == control || other->x() <= control->x() ||
                    other->y() >= control->y() + control->height() ||
                    other->y() + other->height() <= control->y())
                    continue;
                QVERIFY2(end < other->x(), qPrintable(what + " runs under a neighbour"));
            }
        }
        for (QGroupBox *frame : window->findChildren<QGroupBox *>())
            QVERIFY(QFontMetrics(frame->font()).horizontalAdvance(frame->title()) < frame->width());
    }

private slots:
    void everyCaptionIsWholeAndClearOfItsNeighbours()
    {
        QVERIFY(QFontInfo(QApplication::font()).family() != QStringLiteral("Liberation Sans"));
        MemoryStore store;
        store.values = {{"SplashScreen", "Non"}};
        TestProgram p(&store);
        p.start();
        QVERIFY(QApplication::font().pointSizeF() >= 7);
        for (int langue : {1, 0}) {
            frmOptions &options = p.forms->window<frmOptions>();
            options.Language[langue]->setChecked(true);
            const QString language = langue ? QStringLiteral("fr ") : QStringLiteral("en ");
            checkWindow(&p.form1(), language + QStringLiteral("main window"));
            checkWindow(&options, language + QStringLiteral("options"));
            checkWindow(&p.forms->window<Form2>(), language + QStringLiteral("about"));
        }
    }
};

QTEST_MAIN(FallbackFontTest)
#include "fallback_font_test.moc"
